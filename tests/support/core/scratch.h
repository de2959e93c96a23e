#pragma once
// Files in a scratch folder, and the mtls program run on them as a user runs it.

#include <QJsonDocument>
#include <QTemporaryDir>

namespace testfiles {

// How many times longer a timed step may take under the address sanitizer.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 SanitizerSlowdown = 5;
#else
constexpr qint64 SanitizerSlowdown = 1;
#endif

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
// Empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A temporary folder that is the current directory while the object lives. It holds an empty
// catalogue file unless told not to, so that the catalogue of a test never meets another's;
// without it the catalogue is the user's, in Qt's test folders (which the programs a test
// starts use too), never the real ones.
class ScratchDirectory {
public:
    enum Catalogue { CatalogueHere, UsersCatalogue };
    explicit ScratchDirectory(Catalogue catalogue = CatalogueHere);
    ~ScratchDirectory() { QDir::setCurrent(previous); }
    QString path(const QString& name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};

// `linuxText` in this system's words: on Windows each phrase Linux gives for a failed open
// becomes what opening a name that fails the same way gives there; `missing` names the file
// (or a file in the folder) that is not there, relative to the current directory.
QString systemWords(QString linuxText, const QString& missing = QStringLiteral("gone"));

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
