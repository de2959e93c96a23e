// Writes the seed corpus of the fuzz targets into DIR/mtls and DIR/model, from the same
// fixtures the tests use.
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"

#include <QDir>
#include <QFile>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    QMap<QString, QVector<QByteArray>> seeds;
    seeds["mtls"] = {testdata::exampleBlock(), testdata::richBlock(), testdata::richBlock(false)};
    for (quint32 seed = 0; seed < 16; ++seed) // hashes as fuzz_mtls saves them
        seeds["mtls"] << testdata::generatedLibrary(seed, "/m/Characters/a/b.mtls");
    testsupport::ModelBuilder rig, parts;
    rig.names({"J_Hips", "Body", "Head", "Eye_L"}).chunk("BONE", "xxxx").materials({1, 2, 3});
    parts.names({"Teeth", "hair_caa_ptn:skinned"}).materials({1, 0, 1});
    seeds["model"] = {rig.end().build(), parts.build()};
    for (auto target = seeds.cbegin(); target != seeds.cend(); ++target) {
        const QDir folder(QString::fromLocal8Bit(argv[1]) + "/" + target.key());
        folder.mkpath(".");
        for (int i = 0; i < target.value().size(); ++i) {
            QFile file(folder.filePath(QString("seed%1").arg(i)));
            if (!file.open(QIODevice::WriteOnly) || file.write(target.value()[i]) < 0)
                return 1;
        }
    }
    return 0;
}
