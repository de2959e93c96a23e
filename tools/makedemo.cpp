// Writes the demo library and model into the folder given as the only argument; the build
// runs it so that a first run has something to open. An empty catalogue file beside them (kept
// when there is one) makes the folder's own catalogue the one the editor and mtls use there.
//   lathrine_demo FOLDER
#include "tools/demofiles.h"

#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lathrine_demo FOLDER\n");
        return 2;
    }
    const QString error = demo::writeDemoFiles(QString::fromLocal8Bit(argv[1]));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "lathrine_demo: %s\n", qPrintable(error));
        return 1;
    }
    QFile catalogue(QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("MTLs_Shaders.ini")));
    if (!catalogue.exists() && !catalogue.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "lathrine_demo: %s\n", qPrintable(catalogue.errorString()));
        return 1;
    }
    return 0;
}
