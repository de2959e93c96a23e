#include "scratch.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace testfiles {

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
