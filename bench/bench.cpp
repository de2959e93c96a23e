// Times the editor's heavy paths on synthetic libraries made in memory:
//   lathrine_bench load        loading 1,000 and 10,000 materials into the window
//   lathrine_bench add         adding one material to 1,000 and 5,000 materials
//   lathrine_bench model       importing a model of 50 and 200 material names
//   lathrine_bench files DIR [LIBS MODELS]
//                              writes LIBS libraries (1,000) into DIR/libs and MODELS models
//                              of 50 names (100) into DIR/models, for timing mtls batches
// Run it offscreen: QT_QPA_PLATFORM=offscreen build/bench/lathrine_bench load
#include "app/mainwindow.h"
#include "mtls/block.h"
#include "support/core/modelbuilder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Short unique names keep a 10,000-material dictionary under the 16-bit offset limit.
QString shortName(int i)
{
    return QStringLiteral("m") + QString::number(i, 36);
}

// A library of `count` materials with ten parameters each (types 4, 1, 5, 2, 3 in turn)
// over a dictionary padded to about 60 KiB. `flavour` names a variant of the second shader.
QByteArray syntheticLibrary(int count, int flavour = 0)
{
    QStringList dictionary{"yCS_gear", "Normal", "yCS_head",
                           flavour ? QStringLiteral("Detail%1").arg(flavour) : "Detail"};
    const QStringList parameters{"colorMap",  "gain",  "hashA", "tint", "mix",
                                 "normalMap", "scale", "hashB", "warp", "blend"};
    const quint16 types[] = {4, 1, 5, 2, 3, 4, 1, 5, 2, 3};
    dictionary += parameters;
    for (int t = 0; t < 50; ++t)
        dictionary.append(QStringLiteral("tex_%1_d").arg(t));
    for (int i = 0; i < count; ++i)
        dictionary.append(shortName(i));
    int size = 0;
    for (const QString& s : dictionary)
        size += s.toUtf8().size() + 1;
    for (int filler = 0; size < 60 * 1024 - 40; ++filler) {
        dictionary.append(QStringLiteral("unused_string_%1").arg(filler));
        size += dictionary.last().toUtf8().size() + 1;
    }
    const QVector<qint64> offsets = mtls::dictionaryOffsets(dictionary);
    auto at = [&](const QString& text) { return quint16(offsets[dictionary.indexOf(text)]); };
    const quint16 shaders[2][2] = {{at("yCS_gear"), at("Normal")},
                                   {at("yCS_head"), at(dictionary[3])}};
    quint16 parameterOffsets[10];
    for (int p = 0; p < 10; ++p)
        parameterOffsets[p] = at(parameters[p]);
    QVector<quint16> textures;
    for (int t = 0; t < 50; ++t)
        textures.append(at(QStringLiteral("tex_%1_d").arg(t)));
    const int firstName = dictionary.indexOf(shortName(0));

    QVector<mtls::Material> materials;
    materials.reserve(count);
    for (int i = 0; i < count; ++i) {
        mtls::Material m;
        m.modelId = quint16(offsets[firstName + i]);
        m.mainShader = shaders[i % 2][0];
        m.variant = shaders[i % 2][1];
        m.flags = {1, 2, 3, 4};
        m.paramCount = 10;
        for (int p = 0; p < 10; ++p) {
            mtls::Item item;
            item.name = parameterOffsets[p];
            item.type = types[p];
            item.first = types[p] == 4 ? textures[(i + p) % 50] : quint64(p + 1000);
            m.items.append(item);
        }
        materials.append(m);
    }
    return mtls::encode(dictionary, materials);
}

double timeLoad(MainWindow& window, const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(&window, "open_mtl", Qt::DirectConnection, Q_ARG(QString, path));
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void benchLoad(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s %10s\n", "load", "bytes", "seconds");
    for (int count : {1000, 10000}) {
        const QString path = dir.filePath(QStringLiteral("lib%1.mtls").arg(count));
        const QByteArray bytes = syntheticLibrary(count);
        writeFile(path, bytes);
        MainWindow window;
        window.show();
        timeLoad(window, path); // the first load also teaches the catalogue
        double best = 1e9;
        for (int run = 0; run < 3; ++run)
            best = qMin(best, timeLoad(window, path));
        std::printf("%-32s %10d %10.3f\n", qPrintable(QStringLiteral("%1 materials").arg(count)),
                    int(bytes.size()), best);
    }
}

void benchAdd(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s\n", "add one material", "seconds");
    for (int count : {1000, 5000}) {
        const QString path = dir.filePath(QStringLiteral("add%1.mtls").arg(count));
        writeFile(path, syntheticLibrary(count));
        MainWindow window;
        window.show();
        timeLoad(window, path);
        QElapsedTimer timer;
        timer.start();
        QMetaObject::invokeMethod(&window, "add_material", Qt::DirectConnection,
                                  Q_ARG(QString, QStringLiteral("Car_ALPHA")),
                                  Q_ARG(QString, QStringLiteral("yCS_gear::Normal")));
        std::printf("%-32s %10.3f\n", qPrintable(QStringLiteral("to %1 materials").arg(count)),
                    timer.nsecsElapsed() / 1e9);
    }
}

// A model with `count` material names: a few part names the rules know, the rest plain.
QByteArray syntheticModel(int count)
{
    const QStringList parts{"Head", "Body", "Eye_L", "hair_long", "Teeth", "titan_logo"};
    testsupport::ModelBuilder model;
    model.name(QStringLiteral("J_Hips"));
    QVector<quint32> indices;
    for (int i = 0; i < count; ++i) {
        model.name(i < parts.size() ? parts[i] : QStringLiteral("part_%1").arg(i));
        indices.append(quint32(i + 1));
    }
    model.chunk("BONE", QByteArray(64, 'b')).materials(indices).end();
    return model.build();
}

void benchModel(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s %14s\n", "import a model", "seconds", "ms per name");
    const QString library = dir.filePath(QStringLiteral("teach.mtls"));
    writeFile(library, syntheticLibrary(100));
    for (int count : {50, 200}) {
        const QString path = dir.filePath(QStringLiteral("model%1.mdl").arg(count));
        writeFile(path, syntheticModel(count));
        MainWindow window;
        window.show();
        timeLoad(window, library); // teaches the catalogue the shaders
        const double seconds = timeLoad(window, path);
        std::printf("%-32s %10.3f %14.2f\n", qPrintable(QStringLiteral("%1 names").arg(count)),
                    seconds, seconds * 1000 / count);
    }
}

// Inputs for timing the batch commands of mtls; every tenth library brings a new variant.
int writeBatchFiles(const QString& folder, int libraries, int models)
{
    if (!QDir().mkpath(folder + "/libs") || !QDir().mkpath(folder + "/models"))
        return 1;
    for (int i = 0; i < libraries; ++i)
        if (!writeFile(QStringLiteral("%1/libs/lib%2.mtls").arg(folder).arg(i, 4, 10, QChar('0')),
                       syntheticLibrary(50, i / 10)))
            return 1;
    for (int i = 0; i < models; ++i)
        if (!writeFile(
                QStringLiteral("%1/models/model%2.mdl").arg(folder).arg(i, 3, 10, QChar('0')),
                syntheticModel(50)))
            return 1;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc >= 3 && QByteArray(argv[1]) == "files")
        return writeBatchFiles(QString::fromLocal8Bit(argv[2]), argc > 3 ? atoi(argv[3]) : 1000,
                               argc > 4 ? atoi(argv[4]) : 100);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("load");
    QTemporaryDir dir;
    QDir::setCurrent(dir.path()); // the catalogue of a run stays in the scratch folder
    if (what == "load")
        benchLoad(dir);
    else if (what == "add")
        benchAdd(dir);
    else if (what == "model")
        benchModel(dir);
    else {
        std::fprintf(stderr, "usage: lathrine_bench load|add|model|files DIR [LIBS MODELS]\n");
        return 2;
    }
    return 0;
}
