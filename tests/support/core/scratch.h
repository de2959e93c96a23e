#pragma once
// Files in a scratch folder, and the mtls program run on them as a user runs it.

#include <QByteArray>
#include <QJsonDocument>
#include <QStringList>
#include <QTemporaryDir>

namespace testfiles {

bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path); // empty when it cannot be read

// A temporary folder that is the current directory while the object lives, so that the
// catalogue of a test never meets another's.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    QString path(const QString& name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};

struct ToolRun {
    int status = -1; // -1: the program did not finish on its own
    QByteArray out;
    QString err;
    QString text() const { return QString::fromUtf8(out); }
    QJsonDocument json() const { return QJsonDocument::fromJson(out); }
};

// Runs `program` (a test passes its MTLS_BINARY) and waits for it.
ToolRun runTool(const QString& program, const QStringList& arguments);

} // namespace testfiles
