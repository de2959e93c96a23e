#include "scratch.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace testfiles {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ScratchDirectory::ScratchDirectory() : previous(QDir::currentPath())
{
    QDir::setCurrent(dir.path());
}

ScratchDirectory::~ScratchDirectory()
{
    QDir::setCurrent(previous);
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
