// mtls diff: two libraries compared the way a modder reads them. References are resolved to
// their strings first, so where the strings sit in the dictionary makes no difference.
#include "tools/mtls/commandline.h"

#include "mtls/library.h"
#include "tools/mtls/render.h"

#include <QHash>
#include <QSet>
#include <QTextStream>
#include <memory>

namespace cli {

namespace {

struct Parameter {
    QString key; // the parameter name, or the cell text of a global flag item
    quint16 type{};
    QString value;
    bool isHash() const { return type == 5; }
    QString shown() const { return isHash() ? QStringLiteral("hash ") + value : value; }
};

struct MaterialView {
    QString name;
    QString mainShader;
    QString variant;
    QString shader() const { return mainShader + QStringLiteral("::") + variant; }
    // Two shaders whose joined names agree still differ where "::" falls.
    QString shaderFields() const
    {
        return QStringLiteral("main shader \"%1\" variant \"%2\"").arg(mainShader, variant);
    }
    decltype(mtls::Material::flags) flags{};
    const mtls::Material* record = nullptr; // its parameters are laid out only when compared
};

QString quotedName(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A byte that is no part of valid UTF-8 stands as a lone low surrogate, which no decoded text
// holds: two strings compare equal exactly when their bytes do (a leading byte-order mark,
// which QString::fromUtf8 drops, included).
QString exactText(const QByteArray& bytes)
{
    static const char32_t least[] = {0x80, 0x800, 0x10000}; // below these, overlong
    QString text;
    for (int i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes.at(i));
        const int length = lead < 0x80         ? 1
                           : (lead >> 5) == 6  ? 2
                           : (lead >> 4) == 14 ? 3
                           : (lead >> 3) == 30 ? 4
                                               : 0;
        char32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            const uchar next = uchar(bytes.at(i + k));
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && (length == 1 || code >= least[length - 2]) && code <= 0x10FFFF &&
                !(code >= 0xD800 && code <= 0xDFFF);
        if (!valid) {
            text += QChar(0xDC00 + lead);
            ++i;
            continue;
        }
        // Not fromUcs4(), which drops a byte-order mark as fromUtf8() does.
        if (QChar::requiresSurrogates(code))
            text.append(QChar(QChar::highSurrogate(code))).append(QChar(QChar::lowSurrogate(code)));
        else
            text += QChar(ushort(code));
        i += length;
    }
    return text;
}

// The bytes exactText() kept aside, shown as \xNN.
QString readable(const QString& text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF)
            shown += QStringLiteral("\\x%1").arg(c.unicode() - 0xDC00, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

class Names {
public:
    explicit Names(const mtls::Block& block)
    {
        for (const mtls::DictionaryEntry& entry : block.dictionary)
            texts.insert(entry.offset, entry.bytes.isEmpty() ? entry.text : exactText(entry.bytes));
    }
    QString at(quint16 offset) const
    {
        return texts.value(offset, QStringLiteral("(none @%1)").arg(offset));
    }

private:
    QHash<quint32, QString> texts;
};

Parameter parameter(const Names& names, const mtls::Item& item)
{
    if (item.isGlobalFlag())
        return {mtls::globalFlagText(item.name, item.type), item.type,
                QStringLiteral("global flag item")};
    // A hash is compared as its value alone; shown() puts "hash " back.
    if (item.type == 5)
        return {names.at(item.name), item.type, hex64(item.first)};
    return {names.at(item.name), item.type,
            QStringLiteral("type %1 ").arg(item.type) +
                itemValue(item, [&](quint16 offset) { return quotedName(names.at(offset)); })};
}

QVector<MaterialView> materialsOf(const mtls::Block& block, const Names& names)
{
    QVector<MaterialView> views;
    for (const mtls::Material& material : block.materials)
        views.append({names.at(material.modelId), names.at(material.mainShader),
                      names.at(material.variant), material.flags, &material});
    return views;
}

QVector<Parameter> parametersOf(const MaterialView& view, const Names& names)
{
    QVector<Parameter> parameters;
    parameters.reserve(view.record->items.size());
    for (const mtls::Item& item : view.record->items) {
        Parameter next = parameter(names, item);
        // Runs of one global flag item share one key text.
        if (!parameters.isEmpty() && parameters.last().key == next.key)
            next.key = parameters.last().key;
        parameters.append(next);
    }
    return parameters;
}

// For each key of `a`, the index of its partner in `b`: the k-th time a key comes in `a`
// goes with the k-th time it comes in `b`, -1 when `b` has it fewer times.
QVector<int> partners(const QStringList& a, const QStringList& b)
{
    QHash<QString, QVector<int>> places;
    for (int j = 0; j < b.size(); ++j)
        places[b.at(j)].append(j);
    QHash<QString, int> seen;
    QVector<int> result;
    for (const QString& key : a) {
        const QVector<int> at = places.value(key);
        const int k = seen[key]++;
        result.append(k < at.size() ? at.at(k) : -1);
    }
    return result;
}

bool inOrder(const QVector<int>& partner)
{
    int last = -1;
    for (const int j : partner) {
        if (j < 0)
            continue;
        if (j < last)
            return false;
        last = j;
    }
    return true;
}

template <typename T, typename Key> QStringList keys(const QVector<T>& list, Key key)
{
    QStringList result;
    for (const T& element : list)
        result.append(key(element));
    return result;
}

QStringList changes(const MaterialView& a, const Names& namesA, const MaterialView& b,
                    const Names& namesB)
{
    QStringList lines;
    if (a.shader() != b.shader())
        lines.append(QStringLiteral("shader: %1 -> %2").arg(a.shader(), b.shader()));
    else if (a.mainShader != b.mainShader)
        lines.append(QStringLiteral("shader: %1 -> %2").arg(a.shaderFields(), b.shaderFields()));
    for (int f = 0; f < 4; ++f)
        if (a.flags[f] != b.flags[f])
            lines.append(QStringLiteral("flag word %1: %2 -> %3")
                             .arg(f + 1)
                             .arg(a.flags[f])
                             .arg(b.flags[f]));

    const QVector<Parameter> parametersA = parametersOf(a, namesA);
    const QVector<Parameter> parametersB = parametersOf(b, namesB);
    auto key = [](const Parameter& p) { return p.key; };
    const QStringList keysA = keys(parametersA, key), keysB = keys(parametersB, key);
    const QVector<int> partner = partners(keysA, keysB);
    QSet<int> matched;
    for (int i = 0; i < partner.size(); ++i) {
        const Parameter& old = parametersA.at(i);
        if (partner.at(i) < 0) {
            lines.append(
                QStringLiteral("parameter %1 removed: %2").arg(quotedName(old.key), old.shown()));
            continue;
        }
        matched.insert(partner.at(i));
        const Parameter& now = parametersB.at(partner.at(i));
        if (old.isHash() && now.isHash() && old.value != now.value)
            lines.append(QStringLiteral("texture hash %1: %2 -> %3")
                             .arg(quotedName(old.key), old.value, now.value));
        else if (old.type != now.type || old.value != now.value)
            lines.append(QStringLiteral("parameter %1: %2 -> %3")
                             .arg(quotedName(old.key), old.shown(), now.shown()));
    }
    for (int j = 0; j < parametersB.size(); ++j)
        if (!matched.contains(j))
            lines.append(QStringLiteral("parameter %1 added: %2")
                             .arg(quotedName(parametersB.at(j).key), parametersB.at(j).shown()));
    if (!inOrder(partner))
        lines.append(QStringLiteral("parameter order: %1 -> %2")
                         .arg(keysA.join(QStringLiteral(", ")), keysB.join(QStringLiteral(", "))));
    return lines;
}

} // namespace

int diff(const QString& a, const QString& b, Streams io)
{
    // A side's materials point into its block, which stays where it was read.
    struct Side {
        explicit Side(mtls::Block read)
            : block(std::move(read)), names(block), materials(materialsOf(block, names))
        {
        }
        const mtls::Block block;
        const Names names;
        const QVector<MaterialView> materials;
    };
    auto read = [&io](const QString& path) -> std::unique_ptr<Side> {
        int status = Success;
        std::optional<mtls::Block> block = readBlock(path, io.err, status);
        if (!block)
            return nullptr;
        // A cut-off library would show its missing records as removed ones.
        if (block->truncated) {
            report(io.err, path,
                   QStringLiteral("cut off, %1 of %2 materials read; run mtls check on it")
                       .arg(block->materials.size())
                       .arg(block->materialCount));
            return nullptr;
        }
        return std::make_unique<Side>(std::move(*block));
    };
    const std::unique_ptr<Side> was = read(a);
    const std::unique_ptr<Side> is = was ? read(b) : nullptr;
    if (!is)
        return Failure;
    const QVector<MaterialView>& old = was->materials;
    const QVector<MaterialView>& now = is->materials;
    auto name = [](const MaterialView& m) { return m.name; };
    const QStringList namesA = keys(old, name), namesB = keys(now, name);
    const QVector<int> partner = partners(namesA, namesB);

    int changed = 0, added = 0, removed = 0;
    QSet<int> matched;
    for (int i = 0; i < old.size(); ++i) {
        if (partner.at(i) < 0) {
            io.out << readable(QStringLiteral("- material %1 (%2)\n")
                                   .arg(quotedName(old.at(i).name), old.at(i).shader()));
            ++removed;
            continue;
        }
        matched.insert(partner.at(i));
        const QStringList lines = changes(old.at(i), was->names, now.at(partner.at(i)), is->names);
        if (lines.isEmpty())
            continue;
        io.out << readable(QStringLiteral("~ material ") + quotedName(old.at(i).name)) << '\n';
        for (const QString& line : lines)
            io.out << "    " << readable(line) << '\n';
        ++changed;
    }
    for (int j = 0; j < now.size(); ++j)
        if (!matched.contains(j)) {
            io.out << readable(QStringLiteral("+ material %1 (%2)\n")
                                   .arg(quotedName(now.at(j).name), now.at(j).shader()));
            ++added;
        }
    const bool reordered = !inOrder(partner);
    if (reordered)
        io.out << readable(
            QStringLiteral("material order: %1 -> %2\n")
                .arg(namesA.join(QStringLiteral(", ")), namesB.join(QStringLiteral(", "))));
    if (changed + added + removed == 0 && !reordered) {
        io.out << "same: " << old.size() << " materials\n";
        return Success;
    }
    io.out << changed << " changed, " << added << " added, " << removed << " removed\n";
    return Problems;
}

void setupDiff(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("A"), QStringLiteral("The library before."));
    parser.addPositionalArgument(QStringLiteral("B"), QStringLiteral("The library after."));
}

int runDiff(const QCommandLineParser& parser, Streams io)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usageError(io, QStringLiteral("diff takes two files"));
    return diff(files.at(0), files.at(1), io);
}

} // namespace cli
