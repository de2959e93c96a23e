#include "catalogue/shadercatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTextCodec>
#include <algorithm>

namespace {

// The key as QSettings stores it: runs of "/" collapse and leading or trailing ones go. The
// memory catalogue uses the same form so that both kinds answer alike, and a key that
// normalises to nothing is treated as absent (QSettings only warns about it).
QString normalisedKey(const QString& key)
{
    QString result;
    result.reserve(key.size());
    for (const QChar ch : key) {
        if (ch == QLatin1Char('/') && (result.isEmpty() || result.endsWith(QLatin1Char('/'))))
            continue;
        result.append(ch);
    }
    if (result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

// Names of the keys right under `group` in a flat key -> value table.
QStringList childKeys(const QHash<QString, QVariant>& table, const QString& group)
{
    QStringList names;
    const QString prefix = group + QLatin1Char('/');
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const QString& key = it.key();
        if (key.startsWith(prefix) && key.indexOf(QLatin1Char('/'), prefix.size()) < 0)
            names.append(key.mid(prefix.size()));
    }
    return names;
}

// Per catalogue file that could not take what this process learnt: those keys, kept for the
// rest of the session.
QHash<QString, std::shared_ptr<ShaderCatalogue::Unsaved>>& unsavedFiles()
{
    static QHash<QString, std::shared_ptr<ShaderCatalogue::Unsaved>> files;
    return files;
}

} // namespace

struct ShaderCatalogue::Unsaved {
    QHash<QString, QVariant> values;
    QString reason;
};

QString ShaderCatalogue::defaultPath()
{
    const QString here = QFileInfo(QString::fromLatin1(DefaultFileName)).absoluteFilePath();
    if (QFileInfo::exists(here))
        return here;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data + QStringLiteral("/lathrine/") + QLatin1String(DefaultFileName);
}

ShaderCatalogue::ShaderCatalogue(const QString& path)
    : filePath(QFileInfo(path).absoluteFilePath()),
      settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat)),
      unsaved(unsavedFiles().value(filePath))
{
}

QString ShaderCatalogue::unsavedReason(const QString& path)
{
    const std::shared_ptr<Unsaved> kept = unsavedFiles().value(QFileInfo(path).absoluteFilePath());
    return kept ? kept->reason : QString();
}

QString ShaderCatalogue::writeRefusal(const QString& path)
{
    QFile file(path);
    if (file.exists())
        return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) ? QString()
                                                                         : file.errorString();
    // A folder still to be made is made at the first write.
    if (!QFileInfo::exists(QFileInfo(path).absolutePath()))
        return QString();
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return file.errorString();
    file.close();
    file.remove();
    return QString();
}

ShaderCatalogue::ShaderCatalogue(MemoryTag) {}

ShaderCatalogue ShaderCatalogue::inMemory()
{
    return ShaderCatalogue(MemoryTag{});
}

ShaderCatalogue ShaderCatalogue::snapshot() const
{
    ShaderCatalogue copy = inMemory();
    if (!settings) {
        copy.memory = memory;
        return copy;
    }
    for (const QString& key : settings->allKeys())
        copy.memory.insert(key, settings->value(key));
    if (unsaved)
        for (auto it = unsaved->values.cbegin(); it != unsaved->values.cend(); ++it)
            if (!copy.memory.contains(it.key()))
                copy.memory.insert(it.key(), it.value());
    return copy;
}

ShaderCatalogue::ShaderCatalogue(ShaderCatalogue&&) noexcept = default;
ShaderCatalogue& ShaderCatalogue::operator=(ShaderCatalogue&&) noexcept = default;
ShaderCatalogue::~ShaderCatalogue()
{
    sync();
}

bool ShaderCatalogue::record(const QString& key, const QVariant& value)
{
    const QString stored = normalisedKey(key);
    if (stored.isEmpty() || contains(stored))
        return false;
    if (settings) {
        settings->setValue(stored, value);
        learnt.insert(stored, value);
    } else
        memory.insert(stored, value);
    return true;
}

bool ShaderCatalogue::contains(const QString& key) const
{
    const QString stored = normalisedKey(key);
    if (stored.isEmpty())
        return false;
    if (!settings)
        return memory.contains(stored);
    return settings->contains(stored) || (unsaved && unsaved->values.contains(stored));
}

QVariant ShaderCatalogue::value(const QString& key) const
{
    const QString stored = normalisedKey(key);
    if (stored.isEmpty())
        return QVariant();
    if (!settings)
        return memory.value(stored);
    if (unsaved && !settings->contains(stored))
        return unsaved->values.value(stored);
    return settings->value(stored);
}

quint16 ShaderCatalogue::paramCount(const QString& fullShader) const
{
    return quint16(value(paramsKey(fullShader)).toUInt() & 0xFFFF);
}

QStringList ShaderCatalogue::shaderCells(const QString& fullShader) const
{
    return value(shadersKey(fullShader)).toStringList();
}

QStringList ShaderCatalogue::flags(const QString& fullShader) const
{
    return value(flagsKey(fullShader)).toStringList();
}

std::optional<QString> ShaderCatalogue::typeLine(const QString& parameter) const
{
    // A name read as a group path would answer with another key's value.
    if (parameter.contains(QLatin1Char('/')) || parameter.contains(QLatin1Char('\\')) ||
        !contains(parameter))
        return std::nullopt;
    return value(parameter).toString();
}

QStringList ShaderCatalogue::shaderNames() const
{
    static const QString group = QStringLiteral("Shaders");
    QStringList names;
    if (settings) {
        settings->beginGroup(group);
        names = settings->childKeys();
        settings->endGroup();
        if (unsaved)
            for (const QString& name : childKeys(unsaved->values, group))
                if (!names.contains(name))
                    names.append(name);
    } else {
        names = childKeys(memory, group);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ShaderCatalogue::sync()
{
    if (!settings || learnt.isEmpty())
        return;
    QDir().mkpath(QFileInfo(filePath).absolutePath()); // the user's folder on a first run
    settings->sync();
    if (settings->status() != QSettings::AccessError) {
        learnt.clear();
        return;
    }
    // What was learnt still serves every catalogue on this file until the program ends.
    if (!unsaved) {
        std::shared_ptr<Unsaved>& kept = unsavedFiles()[filePath];
        if (!kept) {
            const QString why = writeRefusal(filePath);
            kept = std::make_shared<Unsaved>(
                Unsaved{{}, why.isEmpty() ? QStringLiteral("the file could not be written") : why});
        }
        unsaved = kept;
    }
    for (auto it = learnt.cbegin(); it != learnt.cend(); ++it)
        if (!unsaved->values.contains(it.key()))
            unsaved->values.insert(it.key(), it.value());
    learnt.clear();
}

mtls::Refusal ShaderCatalogue::refusalFor(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QString why;
    if (bytes.startsWith("MTLs"))
        why = QStringLiteral("it is an MTLs library");
    else if (bytes.contains('\0'))
        why = QStringLiteral("it holds a zero byte");
    else {
        QTextCodec::ConverterState state;
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
        if (state.invalidChars > 0 || state.remainingChars > 0)
            why = QStringLiteral("it is not UTF-8 text");
    }
    if (why.isEmpty())
        return {};
    return mtls::refusal(mtls::Refusal::Usage,
                         QStringLiteral("not a shader catalogue (%1); left as it is").arg(why));
}
