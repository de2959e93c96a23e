// mtls pack: the block a `dump --json` describes, every offset and number as the JSON gives
// it, so that a script can change a library by editing its dump. The `text` beside an offset
// and the `byte`, `index`, `shader` and `complete` fields are for reading and are not used.
// The first problem is reported with its JSON path, and then nothing is written.
#include "tools/mtls/commandline.h"

#include "mtls/libraryfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>
#include <cmath>
#include <limits>
#include <optional>

namespace cli {

namespace {

bool isHex(const QString& text)
{
    for (const QChar ch : text)
        // ASCII only: QChar::isDigit() takes every script's digits, which toULongLong() reads
        // as nothing.
        if (!(ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) &&
            !(ch.toLower() >= QLatin1Char('a') && ch.toLower() <= QLatin1Char('f')))
            return false;
    return true;
}

QString member(const QString& path, const char* key)
{
    return path.isEmpty() ? QLatin1String(key) : path + QLatin1Char('.') + QLatin1String(key);
}

QString member(const QString& path, const QString& key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

QString element(const QString& path, int index)
{
    return path + QStringLiteral("[%1]").arg(index);
}

// The path of the first key an object repeats, if one does (an empty key shows as "").
// QJsonDocument keeps the last of two equal keys without a word; a dump never repeats one. `json`
// has parsed already.
std::optional<QString> repeatedKey(const QByteArray& json)
{
    struct Level { // each made whole where its bracket opens
        bool object;
        QString path;
        QSet<QString> keys;
        QString key; // the member being read
        int index;
        bool expectsKey;
    };
    QVector<Level> levels;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            QString path;
            if (!levels.isEmpty())
                path = levels.last().object ? member(levels.last().path, levels.last().key)
                                            : element(levels.last().path, levels.last().index);
            levels.append({c == '{', path, {}, {}, 0, true});
        } else if ((c == '}' || c == ']') && !levels.isEmpty()) {
            levels.removeLast();
        } else if (c == ',' && !levels.isEmpty()) {
            levels.last().expectsKey = true;
            ++levels.last().index;
        } else if (c == '"') {
            int end = i + 1;
            while (json.at(end) != '"') // it parsed: every string closes
                end += json.at(end) == '\\' ? 2 : 1;
            if (!levels.isEmpty() && levels.last().object && levels.last().expectsKey) {
                const QByteArray literal = json.mid(i, end - i + 1);
                const QString key =
                    literal.contains('\\')
                        ? QJsonDocument::fromJson("[" + literal + "]").array().at(0).toString()
                        : QString::fromUtf8(literal.mid(1, literal.size() - 2));
                Level& level = levels.last();
                if (level.keys.contains(key))
                    return member(level.path, key.isEmpty() ? QStringLiteral("\"\"") : key);
                level.keys.insert(key);
                level.key = key;
                level.expectsKey = false;
            }
            i = end;
        }
    }
    return {};
}

// Reads values out of the document. The first problem is kept with its path; reads after it
// give zeros, so the caller looks at `problem` once, at the end.
class JsonReader {
public:
    QString problem;

    void refuse(const QString& path, const QString& text)
    {
        if (problem.isEmpty())
            problem = path + QStringLiteral(": ") + text;
    }
    QJsonValue field(const QJsonValue& object, const QString& path, const char* key)
    {
        if (!object.isObject()) {
            refuse(path, QStringLiteral("is not an object"));
            return QJsonValue(QJsonValue::Undefined);
        }
        const QJsonValue value = object.toObject().value(QLatin1String(key));
        if (value.isUndefined())
            refuse(member(path, key), QStringLiteral("is missing"));
        return value;
    }
    QJsonArray array(const QJsonValue& value, const QString& path,
                     std::optional<int> size = std::nullopt)
    {
        if (!value.isArray())
            refuse(path, QStringLiteral("is not an array"));
        else if (size && value.toArray().size() != *size)
            refuse(path, QStringLiteral("does not hold %1 values").arg(*size));
        return value.toArray();
    }
    qint64 integer(const QJsonValue& value, const QString& path, qint64 min, qint64 max)
    {
        const double number = value.toDouble();
        if (!value.isDouble() || number != std::floor(number) || number < double(min) ||
            number > double(max)) {
            refuse(path, QStringLiteral("is not a whole number from %1 to %2").arg(min).arg(max));
            return {}; // the first refusal stands, whatever follows reads
        }
        return qint64(number);
    }
    quint16 word(const QJsonValue& value, const QString& path)
    {
        return quint16(integer(value, path, 0, 0xFFFF));
    }
    quint64 hex64(const QJsonValue& value, const QString& path)
    {
        const QString text = value.toString();
        if (!value.isString() || !text.startsWith(QLatin1String("0x")) || text.size() < 3 ||
            text.size() > 18 || !isHex(text.mid(2))) {
            refuse(path, QStringLiteral("is not a string of 0x and 1 to 16 hex digits"));
            return {};
        }
        return text.mid(2).toULongLong(nullptr, 16);
    }
    QByteArray bytes(const QJsonValue& value, const QString& path)
    {
        const QString text = value.toString();
        if (!value.isString() || text.size() % 2 != 0 || !isHex(text)) {
            refuse(path, QStringLiteral("is not a string of hex byte pairs"));
            return {};
        }
        return QByteArray::fromHex(text.toLatin1());
    }
};

class Packer {
public:
    JsonReader in;
    QByteArray strings;
    QSet<quint32> starts;

    void dictionary(const QJsonValue& root)
    {
        const QJsonArray entries = in.array(in.field(root, {}, "dictionary"), "dictionary");
        QString previousWhere; // the string before this one, and where it starts
        qint64 previousStart = 0;
        for (int k = 0; k < entries.size(); ++k) {
            const QString path = element(QStringLiteral("dictionary"), k);
            const QJsonValue entry = entries.at(k);
            const qint64 offset =
                in.integer(in.field(entry, path, "offset"), member(path, "offset"), 0,
                           std::numeric_limits<quint32>::max());
            // Where bytes are given they are the string; the text then only shows it.
            const bool raw = entry.toObject().contains(QLatin1String("bytes"));
            const QString where = member(path, raw ? "bytes" : "text");
            const QJsonValue value = in.field(entry, path, raw ? "bytes" : "text");
            if (!raw && !value.isString())
                in.refuse(where, QStringLiteral("is not a string"));
            const QByteArray bytes = raw ? in.bytes(value, where) : value.toString().toUtf8();
            if (bytes.contains('\0'))
                in.refuse(where, QStringLiteral("holds a zero byte, which would end the string"));
            if (offset != strings.size()) {
                // This string and the next agree with each other: the one before them is the
                // string whose length changed, not this offset.
                // Past the last entry QJsonArray gives an undefined value: no next string.
                const QJsonValue next = entries.at(k + 1).toObject().value(QLatin1String("offset"));
                if (k > 0 && next.isDouble() &&
                    next.toDouble() == double(offset + bytes.size() + 1))
                    in.refuse(previousWhere,
                              QStringLiteral("is %1 bytes, but the next string starts at %2, "
                                             "which leaves room for %3")
                                  .arg(strings.size() - previousStart - 1)
                                  .arg(offset)
                                  .arg(offset - previousStart - 1));
                else
                    in.refuse(member(path, "offset"),
                              QStringLiteral("%1 is not where the string starts (%2)")
                                  .arg(offset)
                                  .arg(strings.size()));
            }
            previousWhere = where;
            previousStart = strings.size();
            starts.insert(quint32(strings.size()));
            strings += bytes + '\0';
        }
    }

    quint16 reference(const QJsonValue& holder, const QString& path, const char* key)
    {
        const QString where = member(member(path, key), "offset");
        const quint16 offset =
            in.word(in.field(in.field(holder, path, key), member(path, key), "offset"), where);
        if (!starts.contains(offset))
            in.refuse(where, QStringLiteral("%1 starts no dictionary string").arg(offset));
        return offset;
    }

    QVector<quint16> words(const QJsonValue& holder, const QString& path, const char* key,
                           int count)
    {
        const QJsonArray values = in.array(in.field(holder, path, key), member(path, key), count);
        QVector<quint16> result(count);
        for (int w = 0; w < count; ++w) // past a short array: Undefined, refused above
            result[w] = in.word(values.at(w), element(member(path, key), w));
        return result;
    }

    mtls::Item item(const QJsonValue& value, const QString& path)
    {
        mtls::Item item;
        if (value.toObject().contains(QLatin1String("globalFlag"))) {
            const QVector<quint16> words = this->words(value, path, "globalFlag", 2);
            const QString where = member(path, "globalFlag");
            if (words[0] != 0)
                in.refuse(element(where, 0), QStringLiteral("is not 0"));
            if (words[1] != 0 && words[1] != mtls::GlobalFlagType)
                in.refuse(element(where, 1),
                          QStringLiteral("is neither 0 nor %1").arg(mtls::GlobalFlagType));
            item.kind = mtls::Item::GlobalFlag;
            item.type = words[1];
            return item;
        }
        item.name = reference(value, path, "name");
        item.type = in.word(in.field(value, path, "type"), member(path, "type"));
        if (item.name == 0 && (item.type == 0 || item.type == mtls::GlobalFlagType))
            in.refuse(member(path, "type"),
                      QStringLiteral("%1 after name offset 0 reads back as a global flag item")
                          .arg(item.type));
        QVector<quint16> pair{0, 0};
        switch (item.type) {
        case 1:
        case 3:
            pair = words(value, path, "numbers", 2);
            break;
        case 2: {
            const QString where = member(path, "values");
            const QJsonArray values = in.array(in.field(value, path, "values"), where, 2);
            item.first = in.hex64(values.at(0), element(where, 0));
            item.second = in.hex64(values.at(1), element(where, 1));
            return item;
        }
        case 4:
            pair[0] = reference(value, path, "value");
            break;
        case 5:
            item.first = in.hex64(in.field(value, path, "hash"), member(path, "hash"));
            return item;
        case mtls::GlobalFlagType:
            pair[0] = words(value, path, "words", 1)[0];
            break;
        default:
            pair = words(value, path, "words", 2);
        }
        item.first = pair[0];
        item.second = pair[1];
        return item;
    }

    mtls::Material material(const QJsonValue& value, const QString& path)
    {
        mtls::Material material;
        material.modelId = reference(value, path, "name");
        material.mainShader = reference(value, path, "mainShader");
        material.variant = reference(value, path, "variant");
        const QVector<quint16> flags = words(value, path, "flags", 4);
        std::copy(flags.begin(), flags.end(), material.flags.begin());
        material.paramCount =
            in.word(in.field(value, path, "parameterCount"), member(path, "parameterCount"));
        const QJsonArray items = in.array(in.field(value, path, "items"), member(path, "items"));
        for (int j = 0; j < items.size(); ++j)
            material.items.append(item(items.at(j), element(member(path, "items"), j)));
        return material;
    }

    QByteArray block(const QJsonValue& root)
    {
        const auto int32 = std::numeric_limits<qint32>();
        const qint32 formatWord = qint32(
            in.integer(in.field(root, {}, "formatWord"), "formatWord", int32.min(), int32.max()));
        dictionary(root);
        const qint64 size = in.integer(in.field(root, {}, "stringTableSize"), "stringTableSize", 0,
                                       std::numeric_limits<quint32>::max());
        if (size != strings.size())
            in.refuse("stringTableSize", QStringLiteral("%1 is not the size of the strings (%2)")
                                             .arg(size)
                                             .arg(strings.size()));
        const quint32 count =
            quint32(in.integer(in.field(root, {}, "materialCount"), "materialCount", 0,
                               std::numeric_limits<quint32>::max()));
        QVector<mtls::Material> materials;
        const QJsonArray records = in.array(in.field(root, {}, "materials"), "materials");
        if (count != quint32(records.size()))
            in.refuse("materialCount", QStringLiteral("%1 is not the number of materials (%2)")
                                           .arg(count)
                                           .arg(records.size()));
        for (int i = 0; i < records.size(); ++i)
            materials.append(material(records.at(i), element(QStringLiteral("materials"), i)));
        // A dump of a cut-off library lacks the bytes where it ends.
        const QJsonValue truncated = root.toObject().value(QLatin1String("truncated"));
        if (!truncated.isUndefined() && truncated != QJsonValue(false))
            in.refuse("truncated", QStringLiteral("only a library read to its end can be packed"));
        return mtls::encode(formatWord, strings, count, materials);
    }
};

} // namespace

int pack(const QString& json, const QString& out, Streams io)
{
    if (const mtls::Refusal notFile = outputRefusal(out))
        return refuse(io.err, out, notFile);
    QFile file(json);
    if (!file.open(QIODevice::ReadOnly)) {
        report(io.err, json, QStringLiteral("Cannot open file : ") + file.errorString());
        return Failure;
    }
    QJsonParseError error;
    const QByteArray text = file.readAll();
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        report(
            io.err, json,
            QStringLiteral("bad JSON at byte %1: %2").arg(error.offset).arg(error.errorString()));
        return Problems;
    }
    if (const std::optional<QString> repeated = repeatedKey(text)) {
        report(io.err, json, *repeated + QStringLiteral(": is given twice"));
        return Problems;
    }
    if (!document.isObject()) {
        report(io.err, json, QStringLiteral("bad JSON: the top level is not an object"));
        return Problems;
    }
    Packer packer;
    mtls::WriteResult result;
    result.bytes = packer.block(document.object());
    if (!packer.in.problem.isEmpty()) {
        report(io.err, json, packer.in.problem);
        return Problems;
    }
    return storeOutput(out, result, io);
}

void setupPack(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("IN.json"),
                                 QStringLiteral("A library as dump --json gives it."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("Where to write it."));
}

int runPack(const QCommandLineParser& parser, Streams io)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usageError(io, QStringLiteral("pack takes a JSON file and an output file"));
    return pack(files.at(0), files.at(1), io);
}

} // namespace cli
