#include "mtls/savechanges.h"

#include "mtls/library.h"

#include <QHash>
#include <QLocale>
#include <array>

namespace mtls {

namespace {

const QString GlobalMarker = QStringLiteral("Global");

// Byte offsets of the head words of a record.
constexpr int MainShaderWord = 2;
constexpr int VariantWord = 6;
constexpr std::array<int, 4> FlagWordOffsets = {4, 8, 10, 12};
static_assert(FlagWordOffsets.size() == std::tuple_size<decltype(Material::flags)>::value,
              "one offset per flag word");

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A string as stored: bytes that are not UTF-8 shown as \xNN, since their text is not theirs.
QString shown(const DictionaryEntry& entry)
{
    if (entry.bytes.isEmpty())
        return quoted(entry.text);
    QString text;
    for (const char byte : entry.bytes)
        text += uchar(byte) < 0x80
                    ? QString(QLatin1Char(byte))
                    : QStringLiteral("\\x%1").arg(uchar(byte), 2, 16, QLatin1Char('0'));
    return quoted(text);
}

class Strings {
public:
    explicit Strings(const Block& block) : entries(block.dictionary)
    {
        for (int i = 0; i < entries.size(); ++i)
            places.insert(entries.at(i).offset, i);
    }
    const DictionaryEntry* at(quint16 offset) const
    {
        const auto found = places.constFind(offset);
        return found == places.cend() ? nullptr : &entries.at(found.value());
    }
    QString text(quint16 offset) const
    {
        const DictionaryEntry* entry = at(offset);
        return entry ? entry->text : QString();
    }
    QString shownAt(quint16 offset) const
    {
        const DictionaryEntry* entry = at(offset);
        return entry ? shown(*entry) : QStringLiteral("no string at %1").arg(offset);
    }

private:
    const QVector<DictionaryEntry>& entries;
    QHash<quint32, int> places;
};

QString withoutSpaces(QString text)
{
    return text.remove(QLatin1Char(' '));
}

class Comparison {
public:
    Comparison(const Block& read, const Block& written, const ChangeReport& report)
        : before(read), after(written), report(report)
    {
    }

    void run()
    {
        const QVector<DictionaryEntry>& dictionary = before.block.dictionary;
        for (int i = 0; i < dictionary.size(); ++i)
            if (!dictionary.at(i).bytes.isEmpty())
                report({SaveChange::NotUtf8, DictionaryOffset + dictionary.at(i).offset, -1,
                        QStringLiteral("dictionary string %1").arg(i), shown(dictionary.at(i)),
                        quoted(dictionary.at(i).text)});
        const QVector<Material>& read = before.block.materials;
        const QVector<Material>& written = after.block.materials;
        for (int m = 0; m < read.size() && m < written.size(); ++m)
            compare(m, read.at(m), written.at(m));
        if (read.size() != written.size())
            report({SaveChange::Other, before.block.endOffset, -1, QStringLiteral("materials"),
                    QString::number(read.size()), QString::number(written.size())});
    }

private:
    struct Side {
        explicit Side(const Block& block) : block(block), strings(block) {}
        const Block& block;
        Strings strings;
    };

    // Field texts are made only for a change: most fields of most libraries have none.
    template <typename Field>
    void add(SaveChange::Kind kind, qint64 offset, const Field& field, const QString& was,
             const QString& now)
    {
        if (prefix.isNull())
            prefix = QStringLiteral("material %1 %2: ")
                         .arg(material)
                         .arg(before.strings.shownAt(record->modelId));
        report({kind, offset, material, prefix + field(), was, now});
    }

    static auto named(const char* text)
    {
        return [text] { return QString::fromLatin1(text); };
    }

    // A reference compared by the string it names.
    template <typename Field>
    void reference(qint64 offset, const Field& field, quint16 was, quint16 now,
                   bool texture = false)
    {
        const DictionaryEntry* old = before.strings.at(was);
        const QString writtenText = after.strings.text(now);
        if (old && old->bytes.isEmpty() && old->text == writtenText)
            return;
        SaveChange::Kind kind = SaveChange::Other;
        if (texture && (!old || old->text.contains(GlobalMarker)) && writtenText.isEmpty())
            kind = SaveChange::GlobalTexture;
        else if (old && !old->bytes.isEmpty())
            kind = SaveChange::NotUtf8;
        else if (old && withoutSpaces(old->text) == writtenText)
            kind = SaveChange::Spaces;
        add(kind, offset, field, before.strings.shownAt(was), quoted(writtenText));
    }

    void compare(int index, const Material& read, const Material& written)
    {
        material = index;
        record = &read;
        prefix = QString();
        const qint64 head = read.blockOffset;
        reference(head, named("name"), read.modelId, written.modelId);
        reference(head + MainShaderWord, named("main shader"), read.mainShader, written.mainShader);
        reference(head + VariantWord, named("variant"), read.variant, written.variant);
        for (std::size_t f = 0; f < read.flags.size(); ++f)
            if (read.flags[f] != written.flags[f])
                add(
                    SaveChange::FlagWord, head + FlagWordOffsets[f],
                    [f] { return QStringLiteral("flag word %1").arg(f + 1); },
                    QString::number(read.flags[f]), QString::number(written.flags[f]));
        int entry = 0;
        for (const Item& item : read.items) {
            if (item.isGlobalFlag()) {
                add(
                    SaveChange::GlobalFlagDropped, item.blockOffset,
                    [&] {
                        return QStringLiteral("parameter ") +
                               quoted(globalFlagText(item.name, item.type));
                    },
                    QStringLiteral("global flag item"), QStringLiteral("not written"));
                continue;
            }
            if (entry < written.items.size())
                compare(item, written.items.at(entry));
            ++entry;
        }
        if (entry != written.items.size())
            add(SaveChange::Other, head, named("entries"), QString::number(entry),
                QString::number(written.items.size()));
    }

    static QString pair(quint64 first, quint64 second)
    {
        return QStringLiteral("%1 %2").arg(first).arg(second);
    }

    void compare(const Item& read, const Item& written)
    {
        const qint64 at = read.blockOffset;
        auto parameter = [&](const char* what) {
            return [this, &read, what] {
                return QStringLiteral("parameter ") + before.strings.shownAt(read.name) +
                       QLatin1String(what);
            };
        };
        reference(at, parameter(" name"), read.name, written.name);
        if (read.type != written.type) {
            add(SaveChange::Type, at + 2, parameter(" type"), QString::number(read.type),
                QString::number(written.type));
            return;
        }
        const qint64 body = at + 4;
        const bool same = read.first == written.first && read.second == written.second;
        switch (read.type) {
        case 1:
        case 3:
            if (!same)
                add(SaveChange::Numbers, body, parameter(" numbers"), pair(read.first, read.second),
                    pair(written.first, written.second));
            break;
        case 2:
            if (!same)
                add(SaveChange::Values, body, parameter(" values"), pair(read.first, read.second),
                    pair(written.first, written.second));
            break;
        case 4:
            reference(body, parameter(" value"), read.valueWord(), written.valueWord(), true);
            break;
        case 5:
            if (read.first != written.first)
                add(SaveChange::TextureHash, body, parameter(" hash"), hex64(read.first),
                    hex64(written.first));
            break;
        } // the writer writes no other type, and both sides have this one
    }

    Side before;
    Side after;
    const ChangeReport& report;
    int material = -1;
    const Material* record = nullptr;
    QString prefix; // of the record being compared, made at its first change
};

struct KindPhrase {
    SaveChange::Kind kind;
    const char* one;
    const char* many;
};

const KindPhrase Phrases[] = {
    {SaveChange::GlobalFlagDropped, "global flag item dropped", "global flag items dropped"},
    {SaveChange::FlagWord, "flag word taken from the catalogue",
     "flag words taken from the catalogue"},
    {SaveChange::Numbers, "type-1/3 number pair taken from the catalogue",
     "type-1/3 number pairs taken from the catalogue"},
    {SaveChange::Values, "type-2 value pair written as zeros",
     "type-2 value pairs written as zeros"},
    {SaveChange::Type, "parameter type taken from the catalogue",
     "parameter types taken from the catalogue"},
    {SaveChange::Spaces, "name without its spaces", "names without their spaces"},
    {SaveChange::NotUtf8, "string not valid UTF-8 written as U+FFFD",
     "strings not valid UTF-8 written as U+FFFD"},
    {SaveChange::GlobalTexture, "texture value written as \"\"", "texture values written as \"\""},
    {SaveChange::Other, "other change", "other changes"},
};

} // namespace

QString SaveChange::text() const
{
    return field + QStringLiteral(": ") + was + QStringLiteral(" -> ") + now;
}

void saveChanges(const Block& read, const Block& written, const ChangeReport& report)
{
    Comparison(read, written, report).run();
}

QString changeSummary(const Block& read, const Block& written)
{
    QHash<int, qint64> counts;
    saveChanges(read, written, [&counts](const SaveChange& change) {
        // A reference to a string that is not UTF-8 loses nothing the string itself does not.
        if (!(change.kind == SaveChange::NotUtf8 && change.material >= 0))
            ++counts[change.kind];
    });
    const QLocale numbers(QLocale::English);
    QStringList parts;
    for (const KindPhrase& phrase : Phrases)
        if (const qint64 count = counts.value(phrase.kind))
            parts.append(numbers.toString(count) + QLatin1Char(' ') +
                         QLatin1String(count == 1 ? phrase.one : phrase.many));
    return parts.join(QStringLiteral(", "));
}

} // namespace mtls
