#include "catalogue/shadercatalogue.h"

#include <QFileInfo>
#include <QSettings>
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

} // namespace

ShaderCatalogue::ShaderCatalogue(const QString& path)
    : settings(
          std::make_unique<QSettings>(QFileInfo(path).absoluteFilePath(), QSettings::IniFormat))
{
}

ShaderCatalogue::ShaderCatalogue(MemoryTag) {}

ShaderCatalogue ShaderCatalogue::inMemory()
{
    return ShaderCatalogue(MemoryTag{});
}

ShaderCatalogue::ShaderCatalogue(ShaderCatalogue&&) noexcept = default;
ShaderCatalogue& ShaderCatalogue::operator=(ShaderCatalogue&&) noexcept = default;
ShaderCatalogue::~ShaderCatalogue() = default; // QSettings writes pending changes when dropped

bool ShaderCatalogue::record(const QString& key, const QVariant& value)
{
    const QString stored = normalisedKey(key);
    if (stored.isEmpty() || contains(stored))
        return false;
    if (settings)
        settings->setValue(stored, value);
    else
        memory.insert(stored, value);
    return true;
}

bool ShaderCatalogue::contains(const QString& key) const
{
    const QString stored = normalisedKey(key);
    if (stored.isEmpty())
        return false;
    return settings ? settings->contains(stored) : memory.contains(stored);
}

QVariant ShaderCatalogue::value(const QString& key) const
{
    const QString stored = normalisedKey(key);
    if (stored.isEmpty())
        return QVariant();
    return settings ? settings->value(stored) : memory.value(stored);
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
    if (!contains(parameter))
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
    } else {
        const QString prefix = group + QLatin1Char('/');
        for (auto it = memory.cbegin(); it != memory.cend(); ++it) {
            const QString& key = it.key();
            if (key.startsWith(prefix) && key.indexOf(QLatin1Char('/'), prefix.size()) < 0)
                names.append(key.mid(prefix.size()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ShaderCatalogue::sync()
{
    if (settings)
        settings->sync();
}
