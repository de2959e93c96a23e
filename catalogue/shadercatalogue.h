#pragma once
// The shader catalogue: what the loads have learnt about shaders and parameter names. Backed
// by an INI file (QSettings) or, for tools and tests that must not touch the disk, by memory.

#include "mtls/refusal.h"
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

#include <QSettings>

class ShaderCatalogue {
public:
    static constexpr const char* DefaultFileName = "MTLs_Shaders.ini";

    // The catalogue of this user: DefaultFileName in the current directory when that file
    // exists there (older setups and scripts keep theirs), otherwise "lathrine/" + it under
    // the user's data folder. The window and mtls both take this one.
    static QString defaultPath();

    // A catalogue on the INI file at `path` (relative paths are taken from the current
    // directory when the object is made). A missing file reads as empty; its folder is made
    // when the catalogue first writes.
    explicit ShaderCatalogue(const QString& path = defaultPath());
    // A catalogue held in memory only.
    static ShaderCatalogue inMemory();
    // A memory catalogue holding what this one holds now: a trial load may teach it without
    // touching the file.
    ShaderCatalogue snapshot() const;
    ShaderCatalogue(ShaderCatalogue&&) noexcept;
    ShaderCatalogue& operator=(ShaderCatalogue&&) noexcept;
    ~ShaderCatalogue(); // writes pending changes of a file catalogue

    // Record-if-absent: writes `value` under `key` only when the key is not there yet.
    // Returns whether it wrote.
    bool record(const QString& key, const QVariant& value);
    bool contains(const QString& key) const;

    // "Params/" + shader, low 16 bits; 0 when missing.
    quint16 paramCount(const QString& fullShader) const;
    // "Shaders/" + shader as a list, empty strings kept; empty when missing.
    QStringList shaderCells(const QString& fullShader) const;
    // "Flags/" + shader as a list; empty when missing.
    QStringList flags(const QString& fullShader) const;
    // The type line recorded for a parameter name; nothing when the name was never met.
    std::optional<QString> typeLine(const QString& parameter) const;
    // Key names of the "Shaders" group, sorted case-sensitively.
    QStringList shaderNames() const;

    // Writes pending changes of a file catalogue to disk. What the file cannot take is kept
    // in memory for every catalogue on that file until the program ends.
    void sync();

    // Why the catalogue file at `path` could not take what this program learnt ("" when it
    // could, or was never asked to).
    static QString unsavedReason(const QString& path);
    // Why the file at `path` could not be written now ("" when it could), asked before
    // anything is learnt.
    static QString writeRefusal(const QString& path);
    // Usage when the file at `path` exists and is no INI text (an MTLs library, a zero byte,
    // bytes that are not UTF-8): it is left alone rather than rewritten. An empty file is an
    // empty catalogue.
    static mtls::Refusal refusalFor(const QString& path);
    struct Unsaved;

    static QString paramsKey(const QString& fullShader)
    {
        return QStringLiteral("Params/") + fullShader;
    }
    static QString shadersKey(const QString& fullShader)
    {
        return QStringLiteral("Shaders/") + fullShader;
    }
    static QString flagsKey(const QString& fullShader)
    {
        return QStringLiteral("Flags/") + fullShader;
    }

private:
    struct MemoryTag {};
    explicit ShaderCatalogue(MemoryTag);
    QVariant value(const QString& key) const;

    QString filePath;
    std::unique_ptr<QSettings> settings; // null for a memory catalogue
    std::shared_ptr<Unsaved> unsaved;    // set once the file has refused what was learnt
    QHash<QString, QVariant> learnt;     // recorded since the last sync
    QHash<QString, QVariant> memory;
};
