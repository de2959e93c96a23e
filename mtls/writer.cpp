#include "mtls/writer.h"

#include "catalogue/shadercatalogue.h"

#include <QHash>
#include <vector>

namespace mtls {

const char* const StringLimitMessage = "String Limit Reached";
const char* const UnknownTypeMessage = "Unknown parameter type: ";

namespace {

const QString GlobalMarker = QStringLiteral("Global");

// Offsets of the material name and main shader must stay below 65535; every other
// reference only has to fit its 16-bit field.
constexpr qint64 HeadNameLimit = 65535;
constexpr qint64 FieldLimit = 65536;

// Stands for the "" that the preview dictionary always ends with; resolved once the
// dictionary is complete.
constexpr int TrailingEmpty = -1;

// Members marked {} are always set before they are read; the others' first values count.
struct ParameterType {
    bool known = false; // the catalogue has a type line for the text
    quint16 type{};
    quint16 a{}; // types 1 and 3
    quint16 b{};
};

struct PlannedEntry {
    int name{}; // index into the rebuilt dictionary
    quint16 type{};
    quint64 first = 0;
    quint64 second = 0;
    int value{};         // type 4: index of the value text
    bool hashed = false; // a debug line was produced for it
};

struct PlannedMaterial {
    int name{};
    int mainShader{};
    int variant{};
    decltype(Material::flags) flags{};
    quint16 count{};
    std::vector<PlannedEntry> entries;
};

quint16 lowWord(const QString& text)
{
    return quint16(text.toUInt() & 0xFFFF); // 0 for what is no number
}

QString withoutSpaces(QString text)
{
    return text.remove(QLatin1Char(' '));
}

// Everything one call needs: the dictionary as it grows, and the catalogue look-ups made so
// far, each distinct shader and parameter name asked once.
class Planner {
public:
    Planner(const MaterialGrid& grid, const QStringList& dictionaryColumn,
            const ShaderCatalogue& catalogue, const WriteOptions& options)
        : grid(grid), catalogue(catalogue), options(options)
    {
        if (!(options.preview && dictionaryColumn.size() == 2))
            for (const QString& text : dictionaryColumn)
                append(text);
        if (!options.preview)
            textureDirectory = texture_dir(options.savePath);
    }

    void collectCells()
    {
        for (const GridRow& row : grid.rows)
            for (int column = MainShaderColumn; column < row.size(); ++column) {
                const Cell& cell = row.at(column);
                if (!cell || column == CountColumn || cell->contains(GlobalMarker) ||
                    cell->isEmpty())
                    continue;
                const QString text = withoutSpaces(*cell);
                if (!firstIndex.contains(text))
                    append(text);
            }
    }

    // Plans every record; false (with `refusal` set) when a parameter has no usable type.
    bool planMaterials()
    {
        materials.reserve(size_t(grid.rows.size()));
        for (int row = 0; row < grid.rows.size(); ++row) {
            PlannedMaterial material;
            if (!planMaterial(row, material)) {
                refusedRow = row;
                return false;
            }
            materials.push_back(std::move(material));
        }
        return true;
    }

    void finishDictionary()
    {
        trailingEmptyIndex = dictionary.size();
        if (options.preview)
            dictionary.append(QString());
        offsets = dictionaryOffsets(dictionary);
    }

    // Resolves the planned indices to offsets and hands each record to `out`, stopping at the
    // first that does not fit; `written` counts the records handed over. A planned record is
    // let go once it is written.
    bool resolve(BlockEncoder& out, int& written, int& debugLinesWritten)
    {
        written = 0;
        debugLinesWritten = 0;
        for (PlannedMaterial& planned : materials) {
            Material material;
            if (!fits(planned.name, HeadNameLimit, material.modelId) ||
                !fits(planned.mainShader, HeadNameLimit, material.mainShader) ||
                !fits(planned.variant, FieldLimit, material.variant))
                return false;
            material.flags = planned.flags;
            material.paramCount = planned.count;
            material.items.reserve(int(planned.entries.size()));
            for (const PlannedEntry& entry : planned.entries) {
                Item item;
                item.type = entry.type;
                item.first = entry.first;
                item.second = entry.second;
                if (!fits(entry.name, FieldLimit, item.name))
                    return false;
                if (entry.type == 4) {
                    quint16 value{};
                    if (!fits(entry.value, FieldLimit, value))
                        return false;
                    item.first = value;
                }
                if (entry.hashed)
                    ++debugLinesWritten;
                material.items.append(item);
            }
            out.append(material);
            ++written;
            std::vector<PlannedEntry>().swap(planned.entries);
        }
        return true;
    }

    QStringList dictionary;
    QStringList debugLines;
    QString refusal;
    int refusedRow = -1;

private:
    void append(const QString& text)
    {
        if (!firstIndex.contains(text))
            firstIndex.insert(text, dictionary.size());
        dictionary.append(text);
    }

    // Index of the first entry equal to `text`; a text the dictionary lacks is added so that
    // no field can point at a wrong string.
    int reference(const QString& text)
    {
        const auto found = firstIndex.constFind(text);
        if (found != firstIndex.constEnd())
            return found.value();
        if (options.preview && text.isEmpty())
            return TrailingEmpty;
        append(text);
        return dictionary.size() - 1;
    }

    bool fits(int index, qint64 limit, quint16& field) const
    {
        const qint64 offset = offsets.at(index == TrailingEmpty ? trailingEmptyIndex : index);
        if (offset >= limit)
            return false;
        field = quint16(offset);
        return true;
    }

    std::array<quint16, 4> flagsOf(const QString& fullShader)
    {
        auto found = flagCache.constFind(fullShader);
        if (found == flagCache.constEnd()) {
            const QStringList words = catalogue.flags(fullShader);
            std::array<quint16, 4> flags{};
            for (int i = 0; i < 4 && i < words.size(); ++i)
                flags[i] = lowWord(words.at(i));
            found = flagCache.insert(fullShader, flags);
        }
        return found.value();
    }

    ParameterType typeOf(const QString& parameter)
    {
        auto found = typeCache.constFind(parameter);
        if (found == typeCache.constEnd()) {
            ParameterType parsed;
            if (const std::optional<QString> line = catalogue.typeLine(parameter)) {
                const QStringList parts = line->split(QLatin1Char(','));
                parsed.known = true;
                parsed.type = lowWord(parts.at(0));
                parsed.a = parts.size() > 1 ? lowWord(parts.at(1)) : 0;
                parsed.b = parts.size() > 2 ? lowWord(parts.at(2)) : 0;
            }
            found = typeCache.insert(parameter, parsed);
        }
        return found.value();
    }

    bool planMaterial(int row, PlannedMaterial& material)
    {
        const QString name = withoutSpaces(grid.text(row, ModelIdColumn));
        const QString mainShader = withoutSpaces(grid.text(row, MainShaderColumn));
        const QString variant = withoutSpaces(grid.text(row, VariantColumn));
        material.name = reference(name);
        material.mainShader = reference(mainShader);
        material.variant = reference(variant);
        material.flags = flagsOf(mainShader + QStringLiteral("::") + variant);
        const QString countText = grid.text(row, CountColumn);
        const std::optional<quint16> count = parameterCount(countText);
        if (!count) {
            refusal = countRefusal(grid.text(row, ModelIdColumn), countText);
            return false;
        }
        material.count = *count;
        material.entries.reserve(material.count);

        QString currentTexture;
        int column = FirstParameterColumn;
        while (material.entries.size() < material.count) {
            const QString text = grid.text(row, column);
            if (text.contains(GlobalMarker)) {
                ++column;
                continue;
            }
            const ParameterType parameter = typeOf(text);
            if (!parameter.known || !isSavedType(parameter.type)) {
                refusal = QLatin1String(UnknownTypeMessage) + text;
                return false;
            }
            PlannedEntry entry;
            entry.name = reference(text);
            entry.type = parameter.type;
            switch (parameter.type) {
            case 1:
            case 3:
                entry.first = parameter.a;
                entry.second = parameter.b;
                break;
            case 2:
                break;
            case 4: {
                QString value = grid.text(row, column + 1);
                if (value.contains(GlobalMarker))
                    value.clear();
                entry.value = reference(value);
                currentTexture = value;
                ++column;
                break;
            }
            case 5:
                if (options.preview) {
                    entry.first = PreviewHash;
                } else {
                    debugLines.append(QStringLiteral("CACHE: ") + currentTexture);
                    const QString path = textureDirectory + currentTexture + QStringLiteral(".tex");
                    entry.first = fnv1a_64(path.toLower().toUtf8());
                    entry.hashed = true;
                }
                break;
            }
            material.entries.push_back(entry);
            ++column;
            // Only types 1 to 3 show a value cell; after a hash the next cell is a name.
            if (parameter.type <= 3 && isShownValue(grid.text(row, column)))
                ++column;
        }
        return true;
    }

    // The loader shows the value of a type 1, 2 or 3 entry in the next cell; it is a value and
    // not a parameter when it is neither a "Global" placeholder nor a name with a type line.
    bool isShownValue(const QString& text)
    {
        return !text.contains(GlobalMarker) && !typeOf(text).known;
    }

    const MaterialGrid& grid;
    const ShaderCatalogue& catalogue;
    const WriteOptions& options;
    QString textureDirectory;
    QHash<QString, int> firstIndex;
    QHash<QString, std::array<quint16, 4>> flagCache;
    QHash<QString, ParameterType> typeCache;
    std::vector<PlannedMaterial> materials;
    QVector<qint64> offsets;
    int trailingEmptyIndex = 0;
};

} // namespace

std::optional<quint16> parameterCount(const QString& text)
{
    const QString digits = withoutSpaces(text);
    if (digits.isEmpty())
        return std::nullopt;
    uint number = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        number = number * 10 + uint(c.unicode() - '0');
        if (number > 0xFFFF)
            return std::nullopt;
    }
    return quint16(number);
}

QString countRefusal(const QString& material, const QString& text)
{
    return QStringLiteral(
               "Cannot save \"%1\": its SubMtls # \"%2\" is not a whole number from 0 to "
               "65535.")
        .arg(material, text);
}

WriteResult writeLibrary(const MaterialGrid& grid, const QStringList& dictionaryColumn,
                         const ShaderCatalogue& catalogue, const WriteOptions& options)
{
    WriteResult result;
    Planner planner(grid, dictionaryColumn, catalogue, options);
    planner.collectCells();
    if (!planner.planMaterials()) {
        result.refusal = refusal(Refusal::Content, planner.refusal);
        result.refusedRow = planner.refusedRow;
        return result;
    }
    planner.finishDictionary();
    result.dictionary = planner.dictionary;

    BlockEncoder encoder(FormatWord, encodeDictionary(planner.dictionary),
                         quint32(grid.rows.size()));
    int written = 0;
    int debugLinesWritten = 0;
    const bool fits = planner.resolve(encoder, written, debugLinesWritten);
    // The debug lines of the entries written before a stop have been printed all the same.
    result.hashDebugLines = planner.debugLines.mid(0, debugLinesWritten);
    if (!fits) {
        result.refusal = refusal(Refusal::StringLimit, QLatin1String(StringLimitMessage));
        result.refusedRow = written; // the record that did not fit
        return result;
    }
    result.bytes = encoder.take();
    return result;
}

} // namespace mtls
