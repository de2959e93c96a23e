#include "scratch.h"

#include <QProcess>
#include <QStandardPaths>

namespace testfiles {

ScratchDirectory::ScratchDirectory(Catalogue catalogue) : previous(QDir::currentPath())
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_DATA_HOME",
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toUtf8());
    qputenv("XDG_CONFIG_HOME",
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toUtf8());
    QDir::setCurrent(dir.path());
    if (catalogue == CatalogueHere)
        writeFile(QStringLiteral("MTLs_Shaders.ini"), QByteArray());
}

QString systemWords(QString linuxText, const QString& missing)
{
    Q_UNUSED(missing) // on Linux
#ifdef Q_OS_WIN
    QTemporaryDir dir;
    QFile gone(missing), folder(dir.path()), under(dir.filePath("plain/c.ini"));
    writeFile(dir.filePath("plain"), "x");
    gone.open(QIODevice::ReadOnly);
    folder.open(QIODevice::ReadOnly);
    under.open(QIODevice::WriteOnly);
    linuxText.replace("No such file or directory", gone.errorString())
        .replace("Is a directory", folder.errorString())
        .replace("Not a directory", under.errorString());
#endif
    return linuxText;
}

ToolRun runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    if (!finished)
        process.kill();
    return {finished ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace testfiles
