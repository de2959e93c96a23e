#include "scratch.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace testfiles {

QString systemWords(QString linuxText, const QString& missing)
{
#ifdef Q_OS_WIN
    const auto openError = [](const QString& path, QIODevice::OpenMode mode) {
        QFile file(path);
        return file.open(mode) ? QString() : file.errorString();
    };
    QTemporaryDir dir;
    writeFile(dir.filePath("plain"), "x");
    linuxText.replace("No such file or directory", openError(missing, QIODevice::ReadOnly))
        .replace("Is a directory", openError(dir.path(), QIODevice::ReadOnly))
        .replace("Not a directory", openError(dir.filePath("plain/c.ini"), QIODevice::WriteOnly));
#else
    Q_UNUSED(missing)
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
