// The core without the window: the block codec, the checker, the table layout and the writer;
// model files and the part-name rules, the rows built for new materials, the session's steps and
// the shader catalogue they come from. Exact bytes only for the documented example and the
// hash; the rest is rules over small fixtures and properties over generated libraries and plans.
#include "authoring/modelfile.h"
#include "authoring/rowbuilder.h"
#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/scratch.h"

#include <QtTest>

using namespace authoring;
using namespace mtls;
using namespace testdata;
using testsupport::ModelBuilder;

namespace {

// Grid rows written "0|s|m|1|v|tint", rows apart by "/"; "~" is a cell without an item.
MaterialGrid grid(const QString& text)
{
    MaterialGrid g;
    for (const QString& line : text.split('/')) {
        GridRow row;
        for (const QString& cell : line.split('|'))
            row.append(cell == "~" ? Cell() : Cell(cell));
        g.rows.append(row);
        g.columnCount = qMax(g.columnCount, row.size());
    }
    return g;
}

// A block as text: per material "name shader variant flags:" and its items.
QString describe(const Block& block)
{
    QHash<quint32, QString> at;
    for (const DictionaryEntry& e : block.dictionary)
        at.insert(e.offset, e.text);
    QStringList out;
    auto text = [&at](quint64 offset) { return at.value(quint32(offset), "?"); };
    for (const Material& m : block.materials) {
        out << text(m.modelId) + " " + text(m.mainShader) + " " + at.value(m.variant) +
                   QString::asprintf(" %d,%d,%d,%d:", m.flags[0], m.flags[1], m.flags[2],
                                     m.flags[3]);
        for (const Item& i : m.items)
            out.last() +=
                " " + text(i.name) +
                (i.type == 4 ? "=" + text(i.first)
                             : QString::asprintf(":%d,%llx,%llu", i.type, i.first, i.second));
    }
    return out.join(" / ");
}

QString records(const LoadedLibrary& library)
{
    QStringList lines;
    for (const CatalogueRecord& r : library.records)
        lines << r.key + "=" +
                     (r.value.userType() == QMetaType::QStringList
                          ? r.value.toStringList().join(',')
                          : r.value.toString());
    return lines.join(' ');
}

// What the size budget counts for `data` is what the layout lays out, swap column included.
void countedAsLaidOut(const QByteArray& data)
{
    const auto need = tableCells(data);
    const LoadedLibrary laid = layoutBlock(*decode(data));
    QCOMPARE(QVector<qint64>({need->strings, need->rows, need->columns}),
             QVector<qint64>(
                 {decode(data)->stringCount, laid.grid.rows.size(), laid.grid.columnCount + 1}));
}

ShaderCatalogue writerCatalogue()
{
    ShaderCatalogue c = ShaderCatalogue::inMemory();
    c.record(ShaderCatalogue::flagsKey("s::v"), QStringList{"1", "2", "3", "4"});
    for (const char* line : {"colorMap=4", "hash=5,Generic FNV", "tint=1,2,0", "gloss=3,7,9",
                             "my param=1,7,8", "six=6", "p=4", "pair=2,5,6", "short=3,5", "bare=1"})
        c.record(QString(line).section('=', 0, 0), QString(line).section('=', 1));
    return c;
}

ModelBuilder model(const QStringList& names = {"Body", "Head"})
{
    return ModelBuilder().names(names);
}

// Lists written as words split at single spaces ("a  b" holds an empty string between).
QStringList words(const QString& text)
{
    return text.isEmpty() ? QStringList() : text.split(' ');
}

QString cells(const mtls::GridRow& row)
{
    QStringList texts;
    for (const mtls::Cell& cell : row)
        texts << cell.value_or("<none>");
    return texts.join(' ');
}

} // namespace

class TestCore : public QObject {
    Q_OBJECT

private slots:
    void example()
    {
        // The documented 78-byte library; a byte after its last record is only noted.
        const auto block = decode(exampleBlock() + "j");
        QVERIFY(block && !block->truncated && block->findings.size() == 1);
        QCOMPARE(block->findings[0].offset, 78);
        QCOMPARE(block->dictionaryTexts().join(' '), QString("mat yCS_gear Normal colorMap tex_d"));
        QCOMPARE(block->materialCountOffset + block->materials[0].items[0].blockOffset, 48 + 70);
        QCOMPARE(describe(*block), QString("mat yCS_gear Normal 1,2,3,4: colorMap=tex_d"));
        const LoadedLibrary library = layoutBlock(*block);
        QCOMPARE(library.grid.rows, grid("0|yCS_gear|mat|1|Normal|colorMap|tex_d").rows);
        QCOMPARE(library.grid.columnCount, 15);
        QCOMPARE(records(library), QString("Params/yCS_gear::Normal=1 colorMap=4 "
                                           "Shaders/yCS_gear::Normal=colorMap,tex_d "
                                           "Flags/yCS_gear::Normal=1,2,3,4"));
        // A record head that ends with the data is read; one byte less, it is not.
        QCOMPARE(describe(*decode(exampleBlock().left(66))),
                 QString("mat yCS_gear Normal 1,2,3,4:"));
        QCOMPARE(decode(exampleBlock().left(65))->materials.size(), 0);
    }

    // Every clean library decodes whole, checks clean, and encodes and saves to its own bytes;
    // every cut of it (of the rich example in place of the first) decodes as truncated, within
    // the data.
    void generatedLibrariesRoundTrip()
    {
        for (quint32 seed = 0; seed < 300; ++seed) {
            const QString path = seed % 2 ? "/m/Characters/hero/a.mtls" : "/m/Props/x.mtls";
            const QByteArray bytes = generatedLibrary(seed, path);
            const auto block = decode(bytes);
            QVERIFY(block && !block->truncated && block->findings.isEmpty());
            QVERIFY(checkBlock(bytes).isEmpty());
            QCOMPARE(encode(block->dictionaryTexts(), block->materials), bytes);
            ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
            const auto library = loadLibrary(bytes, catalogue);
            QVERIFY2(rebuildLibrary(*library, catalogue, path).bytes == bytes, qPrintable(path));
            countedAsLaidOut(bytes);
            const QByteArray whole = seed ? bytes : richBlock(); // which has global flag items
            for (int size = 4; seed < 10 && size < whole.size(); ++size) {
                const auto cut = decode(whole.left(size));
                QVERIFY(cut && cut->truncated && cut->endOffset <= size);
                for (const Material& m : cut->materials)
                    for (const Item& item : m.items)
                        QVERIFY(item.blockOffset + 4 + itemBodySize(item) <= size);
                QVERIFY(!checkBlock(whole.left(size)).isEmpty() && layoutBlock(*cut).truncated);
                countedAsLaidOut(whole.left(size));
            }
        }
    }

    // Offsets and padding in the dictionary are met by the round trip above; the hash and the
    // folder it is made under are fixed here.
    void hashAndTextureFolder()
    {
        // "a": the hash ends at the first zero byte.
        QCOMPARE(fnv1a_64(QByteArray("a\0b", 3)), Q_UINT64_C(0xAF63DC4C8601EC8C));
        QCOMPARE(fnv1a_64("characters/hero_01/textures/hero_01_d.tex"),
                 Q_UINT64_C(0x4624FFA483FBFA28));
        const char* dirs[][2] = {{"D:/mods/Characters/hero_01/b.mtls", "Characters/hero_01/"},
                                 {"D:/Arena/Props/ring.mtls", "Props/"},
                                 {"/x/characters/a.mtls", "/x/characters/"},
                                 {"/CAS/q/Belts/b/f.mtls", "Belts/b/"},
                                 {"f.mtls", "/"}};
        for (const auto& dir : dirs)
            QCOMPARE(texture_dir(dir[0]), QString(dir[1]) + "Textures/");
    }

    void checkFindings()
    {
        auto patched = [](int at, const QByteArray& with) {
            return exampleBlock().replace(at, with.size(), with);
        };
        auto bigBlock = [](int filler, quint16 name, quint16 variant) { // "big" after filler
            return buildBlock(
                {"mat", "yCS_gear", "Normal", "colorMap", "tex_d", QString(filler, 'x'), "big"},
                {{name, 4, variant, {}, 1, {entry4(20, variant)}}});
        };
        const std::pair<QByteArray, const char*> cases[] = {
            {bigBlock(65499, 0, 65535), ""},
            {bigBlock(65500, 0, 13), ""}, // "big" at 65536, where no reference reaches
            {bigBlock(65498, 65534, 13), ""},
            {bigBlock(65499, 65535, 13), "65556: material 0: Model_ID offset 65535 is past 65534, "
                                         "the last one a saved name or main shader can use"},
            // Types 1 to 5 are saved (the generated libraries hold them all); 0 and 6 are not,
            // whatever else is wrong with the entry.
            {buildBlock({"mat", "yCS_gear", "Normal", "colorMap"},
                        {{0, 4, 13, {}, 1, {entry1(20, 7, 8, 6)}}}),
             "68: warning: material 0 entry 0: type 6 cannot be saved"},
            {buildBlock({"m"}, {{0, 0, 0, {}, 2, {entry1(1, 0, 0, 0), entry1(1, 0, 0, 1)}}}),
             "38: material 0 entry 0: parameter name offset 1 starts no dictionary string|40: "
             "warning: material 0 entry 0: type 0 cannot be saved|46: material 0 entry 1: "
             "parameter name offset 1 starts no dictionary string"},
            {patched(52, le16(65535)),
             "52: material 0: Model_ID offset 65535 starts no dictionary string"},
            {patched(70, le16(1)).replace(76, 1, "\x01"),
             "70: material 0 entry 0: parameter name offset 1 starts no dictionary string|76: "
             "material 0 entry 0: the word after the texture value is not zero"},
            // At one offset the reference comes before the warning.
            {buildBlock({}, {{0, 0, 0, {}, 1, {entry4(5, 0)}}}),
             "16: material 0: Model_ID offset 0 starts no dictionary string|18: material 0: "
             "main shader offset 0 starts no dictionary string|22: material 0: shader variant "
             "offset 0 starts no dictionary string|34: material 0 entry 0: parameter name offset "
             "5 starts no dictionary string|38: material 0 entry 0: texture value offset 0 starts "
             "no dictionary string|38: warning: material 0 entry 0: texture value offset 0 has no "
             "cell, so a save takes the next cell for it"},
            {"MDL!",
             "0: not an MTLs block: it starts with 4D 44 4C 21, not 4D 54 4C 73 (\"MTLs\")"},
            {exampleBlock().left(50), "48: material count cut off"},
            // The dictionary's one byte of padding, and the material count just after it.
            {exampleBlock().replace(47, 1, "\x01"), "47: padding after the dictionary is not zero"},
            {exampleBlock().left(74), "70: material 0: parameter entry 1 of 1 cut off"},
            {buildBlock({"m"}, {{}}).replace(34, 1, "\x01"), // the count ends the data
             "34: material 0: padding after the head is not zero"},
            {patched(48, le32(2)), "78: 1 of 2 materials present"},
            {exampleBlock() + QByteArray(4, 0), "78: 4 bytes after the last record"},
            {richBlock(), "188: warning: material 0 entry 4: type 16256 cannot be saved|"
                          "194: material 1: main shader offset 65520 starts no dictionary string|"
                          "222: material 1 entry 1: texture value offset 1 starts no dictionary "
                          "string"}};
        for (const auto& [bytes, expected] : cases) {
            QStringList found;
            for (const Finding& f : checkBlock(bytes))
                found << QString("%1: %2").arg(f.offset).arg(f.text);
            QCOMPARE(found.join('|'), QString(expected));
        }
    }

    void layoutRules()
    {
        // Type 4 takes two cells; a type 1 value that starts no string shows "Global@7"; global
        // flag items one cell each; type 2 the low word of its first value; the 6-byte entry its
        // value word. No main shader item, an empty variant, a zero value word: one cell.
        const LoadedLibrary library = layoutBlock(*decode(richBlock()));
        countedAsLaidOut(richBlock());
        countedAsLaidOut(buildBlock({"m"}, {{}, {0, 0, 0, {}, 8, QVector(8, entry1(0, 7, 8, 1))}}));
        QCOMPARE(library.grid.rows,
                 grid(QStringLiteral("0|yCS_head|mat|5|Normal|colorMap|tex_d|gain|Global@7|"
                                     "Global@ShaderFlag0-0|Global@ShaderFlag0-16256|"
                                     "Global@ShaderFlag0-0|tint|Global@30600|hashA|odd|Global@3/"
                                     "1|~|Schön_ä|2||coverMap|other|Global@1/2|yCS_head|other|0|"
                                     "Normal"))
                     .rows);
        QCOMPARE(library.grid.columnCount, 17);
        for (const GridRow& row : library.grid.rows) // each row holds its cells and no room more
            QCOMPARE(row.capacity(), row.size());
        // The third record has no entry and no flag word: it teaches nothing.
        QVERIFY(records(library).endsWith(
            "Flags/yCS_head::Normal=1,2,3,4 Params/::=2 coverMap=3,0,5 other=4 Shaders/::="
            "coverMap,other,Global@1 Flags/::=9,0,0,65535"));
        QVERIFY(records(library).contains(
            "colorMap=4 gain=1,7,9 tint=2,1234605616436508552,42 hashA=5,Generic FNV odd= "));
        QCOMPARE(usedWidth(library.grid), 17);
        QCOMPARE(library.grid.text(1, 16) + library.grid.text(3, 0) + library.grid.text(0, 16),
                 "Global@3");
        QCOMPARE(usedWidth(grid("0|~|a")) + usedWidth(grid("~|a")) + usedWidth(MaterialGrid()), 1);
        QCOMPARE(usedWidth(grid("0|s|a|0|v/1|s|b|1|v|p|q")), 7);
        // N = 9 widens 15 columns to 19; a record cut inside its third entry keeps two.
        const QVector<RawItem> hashes(9, entry5(2, 0));
        QCOMPARE(layoutBlock(*decode(buildBlock({"m", "p"}, {{0, 0, 0, {}, 9, hashes}})))
                     .grid.columnCount,
                 19);
        const qint64 cut = decode(richBlock())->materials[0].items[2].blockOffset + 2;
        const LoadedLibrary part = layoutBlock(*decode(richBlock().left(int(cut))));
        QVERIFY(part.truncated && part.claimedMaterials == 3);
        QCOMPARE(part.grid.rows, grid("0|yCS_head|mat|5|Normal|colorMap|tex_d|gain|Global@7").rows);
        QCOMPARE(records(part), QString("colorMap=4 gain=1,7,9"));
        // Counts the data does not back buy neither rows, nor columns, nor time.
        const QByteArray head = QByteArray("MTLs") + le32(5);
        const RawMaterial wide{0, 0, 0, {}, 65535, QVector<RawItem>(20, entry4(0, 0))};
        for (const QByteArray& data :
             {head + le32(0) + le32(0x7FFFFFFF), head + le32(0xFFFFFFF0) + QByteArray("ab\0", 3),
              buildBlock({"m"}, {wide}, 0x7FFFFFFF),
              head + le32(0) + le32(1) + QByteArray(16, 0) + le16(3) + QByteArray(4000, 0)}) {
            const auto block = decode(data);
            QVERIFY(block && block->truncated && !block->findings.isEmpty());
            const LoadedLibrary hostile = layoutBlock(*block);
            countedAsLaidOut(data);
            QVERIFY(hostile.grid.rows.size() <= 1 &&
                    hostile.grid.columnCount <= 15 + data.size() / 4);
        }
        // The size budget, each term at 3,000,000 cells and one past: a string takes 3 cells, a
        // row its width (16 here); the refusal names the width when the rows make it large.
        const std::tuple<int, int, const char*> sizes[] = {
            {16, 187497, ""},
            {11, 187498, "11 dictionary strings and 187,498 materials of 16 columns"},
            {1000000, 0, ""},
            {999995, 1, "999,995 dictionary strings and 1 material"},
            {500016, 93753, "500,016 dictionary strings and 93,753 materials"}}; // a tie
        for (const auto& [strings, rows, named] : sizes)
            QCOMPARE(tooLarge(buildBlock(QVector<QString>(strings).toList(),
                                         QVector<RawMaterial>(rows, RawMaterial())))
                         .text,
                     *named ? QString("This library is too large to show: %1; the editor shows "
                                      "at most 3,000,000 cells.")
                                  .arg(named)
                            : QString());
    }

    // Per case: grid, dictionary column, preview, then the dictionary and records written.
    void writerRules()
    {
        const char* cases[][5] = {
            {"0|s|x|0|v", "x|x|unused", "", "x|x|unused|s|v", "x s v 1,2,3,4:"},
            {"0|a b|ab |0| v", "", "", "ab|v", "ab ab v 0,0,0,0:"},
            {"0|s|m|1|v|my param", "", "", "s|m|v|myparam|my param",
             "m s v 1,2,3,4: my param:1,7,8"},
            {"0|s|m|2|v|Global@ShaderFlag0-1|tint|Global@1|colorMap|Global@7", "", "",
             "s|m|v|tint|colorMap|", "m s v 1,2,3,4: tint:1,2,0 colorMap="},
            {"0|~|m|0|v", "", "", "m|v|", "m  v 0,0,0,0:"},
            {"0|s|m|2|v|short|bare", "", "", "s|m|v|short|bare",
             "m s v 1,2,3,4: short:3,5,0 bare:1,0,0"}, // type lines of 2 and 1 words
            {"0|s|m|3|v|tint|12|gloss|colorMap|tex", "", "", "s|m|v|tint|12|gloss|colorMap|tex",
             "m s v 1,2,3,4: tint:1,2,0 gloss:3,7,9 colorMap=tex"},
            {"0|s|m|1|v|pair|5/1|s|n|0|v", "", "", "s|m|v|pair|5|n",
             "m s v 1,2,3,4: pair:2,0,0 / n s v 1,2,3,4:"},
            {"0|s|m|2|v|colorMap|Global@3|hash", "a|b", "P", "s|m|v|colorMap|hash|",
             "m s v 1,2,3,4: colorMap= hash:5,deaddead,0"},
            {"0|s|m|0|v", "a|b|m", "P", "a|b|m|s|v|", "m s v 1,2,3,4:"}};
        for (const auto& c : cases) {
            const QStringList column = *c[1] ? QString(c[1]).split('|') : QStringList();
            const WriteResult result =
                writeLibrary(grid(c[0]), column, writerCatalogue(), {*c[2] != '\0', {}});
            QCOMPARE(result.dictionary.join('|'), QString(c[3]));
            const auto block = decode(result.bytes);
            QVERIFY(block && !block->truncated && block->findings.isEmpty());
            QCOMPARE(block->dictionaryTexts(), result.dictionary);
            QCOMPARE(describe(*block), QString(c[4]));
        }
        // Hashes take the texture of the entry before (none at first), per material.
        const WriteResult saved =
            writeLibrary(grid("0|s|m|3|v|hash|colorMap|Hero_01_D|hash/1|s|n|1|v|hash"), {},
                         writerCatalogue(), {false, "D:/mods/Characters/hero_01/body.mtls"});
        QCOMPARE(saved.hashDebugLines, (QStringList{"CACHE: ", "CACHE: Hero_01_D", "CACHE: "}));
        QCOMPARE(describe(*decode(saved.bytes)),
                 QString("m s v 1,2,3,4: hash:5,dc086c089833616d,0 colorMap=Hero_01_D "
                         "hash:5,4624ffa483fbfa28,0 / n s v 1,2,3,4: hash:5,dc086c089833616d,0"));
    }

    void writerRefuses()
    {
        const char* cases[][2] = {{"0|s|m|1|v|unknown", "unknown"},
                                  {"0|s|m|1|v|hash/1|s|m|1|v|six", "six"},
                                  {"0|s|m|3|v|tint", ""}};
        for (const auto& c : cases)
            for (const bool preview : {false, true}) {
                const WriteResult result =
                    writeLibrary(grid(c[0]), {}, writerCatalogue(), {preview, {}});
                QCOMPARE(result.refusal.kind, Refusal::Content);
                QCOMPARE(result.refusal.text, QString("Unknown parameter type: ") + c[1]);
                QVERIFY(result.bytes.isEmpty() && result.hashDebugLines.isEmpty());
            }
        // The count cell: every whole number up to 65535 is a count and nothing else is; a save
        // never reads another text as 0.
        for (int n = 0; n <= 70000; ++n)
            QCOMPARE(parameterCount(QString::number(n)),
                     n <= 65535 ? std::optional<quint16>(n) : std::nullopt);
        QCOMPARE(parameterCount(" 1 2 "), std::optional<quint16>(12));
        for (const char* text : {"", "abc", "-1", "1.5", "+1", "0x1", "000065536", "\u0663"}) {
            const WriteResult result =
                writeLibrary(grid(QString("0|s|m|%1|v").arg(text)), {}, writerCatalogue(), {});
            QCOMPARE(result.refusal.kind, Refusal::Content);
            QCOMPARE(result.refusal.text, "Cannot save \"m\": its SubMtls # \"" + QString(text) +
                                              "\" is not a whole number from 0 to 65535.");
        }
        // A string that lands at `offset`: names and main shaders stop below 65535, every
        // other reference below 65536.
        const int limits[] = {65535, 65535, 65536, 65536, 65536}; // m, s, v, p, t
        for (int field = 0; field < 5; ++field)
            for (const int offset : {limits[field] - 1, limits[field]}) {
                QStringList column{"m", "s", "v", "p", "t"};
                const QString moved = column.takeAt(field);
                const WriteResult result =
                    writeLibrary(grid("0|s|m|1|v|p|t"), column << QString(offset - 9, 'a'),
                                 writerCatalogue(), {});
                QCOMPARE(result.refusal.kind,
                         offset < limits[field] ? Refusal::None : Refusal::StringLimit);
                QCOMPARE(result.refusal.text, offset < limits[field] ? "" : "String Limit Reached");
                if (offset < limits[field])
                    QCOMPARE(decode(result.bytes)->dictionary.last(),
                             (DictionaryEntry{moved, quint32(offset)}));
            }
    }

    // Per file: the name table, the materials and whether it is damaged, "|" apart.
    void modelFiles()
    {
        const QByteArray rig = model({"J_Hips", "Body", "Head", "Eye_L"})
                                   .chunk("BONE", "xxxx")
                                   .materials({1, 2, 3})
                                   .end()
                                   .build();
        const std::pair<QByteArray, const char*> cases[] = {
            {rig, "J_Hips Body Head Eye_L|Body Head Eye_L|0"},
            {model({"Köpf", "Body", "Hair"})
                 .materials({2, 0, 2})
                 .chunk("MTLs", le32(1) + le32(1))
                 .materials({1, 0})
                 .end()
                 .build(),
             "Köpf Body Hair|Hair Köpf Body|0"},
            {model().materials({0}).end().materials({1}).build(), "Body Head|Body|0"},
            {model().nameChunkSize(30).chunk("MTL!").materials({1}).end().build(),
             "Body Head|Head|0"},
            {model().nameOffset(1, 1000).materials({1, 0}).end().build(), "Body | Body|1"},
            {ModelBuilder().name("Body").pool("Helmet").build(), "Helmet||1"},
            {model().materials(2, {1, 0}, 1000).build(), "Body Head|Head Body|1"},
            {model().materials({0}).chunk("XXXX", "ab", 1000).materials({1}).build(),
             "Body Head|Body|1"},
            {model().chunk("XXXX", {}, 0xFFFFFFF8).materials({1}).end().build(), "Body Head||1"},
            {model().materials({1}).build(), "Body Head|Head|1"},
            // A count as large as the indices the chunk holds, and one more; a count word that
            // ends with the chunk, and one a byte short.
            {model().materials(2, {1, 0}).end().build(), "Body Head|Head Body|0"},
            {model().materials(3, {1, 0}).end().build(), "Body Head|Head Body|1"},
            {model().chunk("MTL!", le32(0)).end().build(), "Body Head||0"},
            {model().chunk("MTL!", QByteArray(3, 0)).end().build(), "Body Head||1"},
            {model().materials({2, 0, 0xFFFFFFFF, 1}).end().build(), "Body Head|Body Head|1"},
            {model().materials(0xFFFFFFFF, {1, 0}, 12).materials({0}).end().build(),
             "Body Head|Head Body|1"},
            // 44 + S0 wraps to 8 in 32 bits, where the filler holds a list and an end chunk.
            {model()
                 .filler("....MTL!" + le32(8) + le32(1) + le32(1) + "MBfD" + le32(0))
                 .nameChunkSize(0xFFFFFFDC)
                 .build(),
             "Body Head||1"},
            {"MDL!" + QByteArray(36, 0) + le32(16) + le32(0xFFFFFFFF) + le32(0) + le32(7) + le32(0),
             "  ||1"}};
        for (const auto& [data, expected] : cases) {
            const auto read = readModelFile(data);
            QCOMPARE(read->nameTable.join(' ') + "|" + read->materials.join(' ') + "|" +
                         QString::number(read->damaged),
                     QString(expected));
        }
        // A cut file reads as a damaged part of the whole, never as something else.
        const QStringList names{"J_Hips", "Body", "Head", "Eye_L"};
        for (int length = 0; length < rig.size(); ++length) {
            const auto read = readModelFile(rig.left(length));
            QCOMPARE(bool(read), length >= 4);
            if (!read)
                continue;
            QVERIFY(read->damaged && read->nameTable.size() <= 4);
            for (int i = 0; i < read->nameTable.size(); ++i)
                QVERIFY(names[i].startsWith(read->nameTable[i]));
            QCOMPARE(read->materials,
                     names.mid(1, length >= rig.size() - 8 ? 3 : read->materials.size()));
        }
        // 200 names ending at one zero byte take no more text than the file holds.
        ModelBuilder overlapping;
        for (int i = 0; i < 200; ++i)
            overlapping.name("x").nameOffset(i, quint32(i));
        const QByteArray data = overlapping.pool(QByteArray(200, 'a') + '\0').build();
        const auto read = readModelFile(data);
        QCOMPARE(read->nameTable.value(1), QString(199, 'a'));
        QVERIFY(read->nameTable.join(QString()).size() <= data.size());
    }

    void partNames()
    {
        // "name=shader", "name+=shader" with J_Hips in the name table.
        const QStringList rules =
            QString("HEAD=yCS_head::Normal head_2+=yCS_gear::Normal eye=yCS_eye::Normal "
                    "eye_r=yCS_eye::Normal Eye_L+=yCS_eye::Normal Eye_Overlay=yCS_eyeOv::Normal "
                    "EyeLash=yCS_eyeOv::Normal Body=yCS_skin::Normal Body_Armor=yPBR::t_BRDF "
                    "eye_caruncle+=yCS_head::Caruncle Teeth+=yCS_Teeth::Normal "
                    "MouthBag+=yCS_Teeth::Normal "
                    "Shirt_Combinations_01+=yCS_hair::NewHair_ColorChanging_WDF "
                    "combinations_hair+=yCS_hair::NewHair_ColorChanging "
                    "hair_layout_new+=yModelMovie::T_Movie_Mask layoutnew=yPBR::t_BRDF "
                    "Cap_Titan_Logo+=yIllumination::t_IlluminationMask "
                    "TITANLOGO2=yIllumination::t_IlluminationMask "
                    "hair_caa_ptn+=yIllumination::t_IlluminationMask")
                .split(' ');
        for (const char* whole : {"head", "eye", "eye_r", "eye_l", "eye_overlay", "eyelash", "body",
                                  "eye_caruncle", "teeth", "mouthbag"}) // whole names only
            QCOMPARE(shaderForPart(QString(whole) + "_2", true), QString("yCS_gear::Normal"));
        for (const QString& rule : rules) {
            const QString name = rule.section('=', 0, 0).remove('+');
            QCOMPARE(name + "=" + shaderForPart(name, rule.contains("+=")),
                     QString(rule).remove('+'));
        }
        // Duplicates go before ":skinned" does; "J_Hips" counts only whole and in that case.
        const auto rig = readModelFile(
            model({"J_Hips", "Jersey:skinned", "Head:SKINNED", "Body:skinned:skinned", "Body"})
                .materials({1, 2, 3, 4})
                .build());
        QCOMPARE(materialPlan(*rig), (QVector<PlannedMaterial>{{"Jersey", "yCS_gear::Normal"},
                                                               {"Head:SKINNED", "yCS_gear::Normal"},
                                                               {"Body", "yCS_skin::Normal"},
                                                               {"Body", "yCS_skin::Normal"}}));
        const auto noHips =
            readModelFile(model({"j_hips", "Jersey", "J_Hips_End"}).materials({1}).build());
        QCOMPARE(materialPlan(*noHips), QVector<PlannedMaterial>({{"Jersey", "yPBR::t_BRDF"}}));
    }

    void rows()
    {
        const char* cases[][3] = {
            {"Car_ALPHA yCS_gear::Normal", "colorMap Old_color g_mPixMsk Old_pm g_mPixMsk@ref X",
             "12 yCS_gear Car_ALPHA 65535 Normal colorMap Car_color g_mPixMsk Car_pm g_mPixMsk@ref "
             "X"},
            {"Door yPBR", "", "12 yPBR Door 65535 yPBR"},
            {"Door a::b::c", "  ", "12 a Door 65535 c"},
            {"Door ::v", "", "12  Door 65535 v"},
            // Dropped before the rules look ahead: "@ref" counts two places on once gaps go.
            {"Car s::v", " g_comboMap  Old  g_comboMap@ref ",
             "12 s Car 65535 v g_comboMap Car_rai g_comboMap@ref"}};
        for (const auto& c : cases) {
            const QStringList input = words(c[0]);
            QCOMPARE(cells(buildMaterialRow(12, input[0], input[1], words(c[1]), 65535)),
                     QString(c[2]));
        }
        QCOMPARE(textureStem("Car_ALPHA_Door_ALPHA") + textureStem("_ALPHA") +
                     textureStem("Car_alpha"),
                 QString("CarCar_alpha"));
        // Name, default (rules 1 to 5) or reference (rules 6 to 12, two places on), new name.
        const char* const rules[] = {
            "colorMap default_color Car_color",    "g_nrmMap default_nrm Car_nrm",
            "normalMap default_normal Car_normal", "roughnessMap default_roughness Car_roughness",
            "metalMap default_metal Car_metal",    "g_mPixMsk g_mPixMsk@ref Car_pm",
            "g_comboMap g_comboMap@ref Car_rai",   "sampIllumMap1 sampIllumMap1@ref Car_emissive",
            "lightmap lightmap@ref Car_lightmap",  "maskMap maskMap@ref Car_emissive",
            "coverMap coverMap@ref Car_coverMap",  "flowMap flowMap@ref Car_flow"};
        QStringList lists, expected;
        for (int k = 0; k < 12; ++k) {
            const QStringList r = words(rules[k]);
            const QString after = k >= 5 ? r[1] : "Tail",
                          kept = r[0] + (k >= 5 ? " Old" : " " + r[1]) + " Tail";
            lists << "Head " + r[0] + " Old " + after << kept << "Head " + r[0] + " Old" << r[0];
            expected << "Head " + r[0] + " " + r[2] + " " + after << kept
                     << "Head " + r[0] + (k >= 5 ? " Old" : " " + r[2]) << r[0];
        }
        // A rule tests the value the rule before consumed; an earlier rule is not tested again.
        lists << "colorMap g_nrmMap X"
              << "g_nrmMap colorMap X"
              << "g_mPixMsk maskMap g_mPixMsk@ref maskMap@ref metalMap Old";
        expected << "colorMap Car_color Car_nrm"
                 << "g_nrmMap Car_nrm X"
                 << "g_mPixMsk Car_pm Car_emissive maskMap@ref metalMap Car_metal";
        for (int i = 0; i < lists.size(); ++i)
            QCOMPARE(cells(buildMaterialRow(0, "Car_ALPHA", "s::v", words(lists[i]), 0).mid(5)),
                     expected[i]);
    }

    // A typed cell is taken anywhere in the grid, from its first row and column to its last,
    // and nowhere past them.
    void editCellBounds()
    {
        Session state;
        state.grid = grid("0|s|a|0|v|~/1|s|b|0|v|~");
        const struct {
            int row, column;
            bool taken;
        } cases[] = {{0, 0, true},  {1, 5, true},   {-1, 0, false},
                     {2, 0, false}, {0, -1, false}, {0, 6, false}};
        ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
        state.swapPending = true;
        for (const auto& c : cases) {
            const Step step = editCell(state, c.row, c.column, QStringLiteral("7"));
            QCOMPARE(step.done(), c.taken);
            QCOMPARE(step.session.grid.text(c.row, c.column), c.taken ? "7" : "");
            // A row is deleted, and replaced by a MODIFY, where one is; otherwise the add appends.
            // A delete drops the MODIFY; a refused one keeps it.
            const bool row = c.row >= 0 && c.row < 2;
            const Step deleted = deleteRows(state, {c.row});
            QVERIFY(deleted.done() == row && deleted.session.swapPending == !row);
            state.swapRow = c.row;
            const Step added = addMaterial(state, "n", "s::v", QString(), catalogue);
            QCOMPARE(added.session.grid.text(row ? c.row : 2, mtls::ModelIdColumn), "n");
        }
        // A MODIFY of the cut last material makes it whole; one of another row leaves it cut.
        state.cutRow = 1;
        for (state.swapRow = 0; state.swapRow < 2; ++state.swapRow) {
            const Step added = addMaterial(state, "n", "s::v", {}, catalogue);
            QCOMPARE(added.session.grid.rows.size(), state.swapRow + 1);
        }
        // A delete before the cut material moves it up; one of it leaves the rest whole.
        QVERIFY(deleteRows(state, {0}).session.cutRow == 0 &&
                deleteRows(state, {1}).session.cutRow == -1);
    }

    // A model file is read to its end, however far that is: here past 512 MiB, in a sparse
    // file of which only the head and the tail are read.
    void modelReadToItsEnd()
    {
        const qint64 hole = qint64(600) << 20;
        const QByteArray data =
            model({"J_Hips", "Head"}).chunk("PAD_", {}, quint32(hole)).materials({1}).end().build();
        const int tail = data.indexOf("PAD_") + 8;
        QTemporaryDir dir;
        QFile file(dir.filePath("far.mdl"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data.left(tail)) == tail);
        QVERIFY(file.resize(tail + hole) && file.seek(tail + hole));
        QVERIFY(file.write(data.mid(tail)) == data.size() - tail);
        file.close();
        const ModelFileRead read = readModelFileAt(file.fileName());
        QVERIFY2(read.model && !read.model->damaged, qPrintable(read.refusal.text));
        QCOMPARE(read.model->materials, QStringList{"Head"});
        // A file that cannot be read to its end (on Linux this process's memory from address 0;
        // elsewhere a file that is not there).
        const ModelFileRead failed = readModelFileAt("/proc/self/mem");
        QVERIFY(!failed.model && failed.refusal.text.startsWith("Cannot "));
    }

    // Importing a model is one add after another: the same state, catalogue and refusal from
    // the empty view or a library with a MODIFY pending, for plans of known and unknown
    // shaders, repeated names, values a load shows where a parameter name may start, and a
    // name at the string limit's last offset and one past it.
    void importIsAddAfterAdd()
    {
        QTemporaryDir dir;
        const QString working = dir.filePath("working.mtls"); // rewritten by each add
        Step imported;
        std::tuple<QStringList, mtls::MaterialGrid, QVector<int>, QByteArray> sides[2];
        auto compare = [&](quint32 seed, bool fromLibrary, const QVector<PlannedMaterial>& plan) {
            for (const bool whole : {true, false}) {
                const QString file = dir.filePath(QString("%1-%2.ini").arg(seed).arg(whole));
                auto catalogue = std::make_unique<ShaderCatalogue>(file);
                QFile::remove(working);
                catalogue->record("u", QString("1,%1,0").arg(seed % 15 + 1));
                catalogue->record("v", "4");
                catalogue->record("Params/y y::w", 2); // whose reload teaches yy::w
                catalogue->record("Shaders/y y::w", QStringList{"u", "Global@9", "v", "Global@9"});
                Step step{Session::cleared(), {}, {}, {}};
                if (fromLibrary) // with a text of a space where a value may point
                    step.session = loadBytes({}, generatedLibrary(seed), "l", *catalogue).session;
                if (fromLibrary)
                    step.session.dictionary = QStringList{"", "a b"} + step.session.dictionary;
                step.session.swapPending = whole; // which the import drops first
                if (whole)
                    step = imported = importModel(step.session, plan, working, *catalogue);
                for (const PlannedMaterial& m : whole ? QVector<PlannedMaterial>() : plan) {
                    const Step next =
                        addMaterial(step.session, m.name, m.shader, working, *catalogue);
                    if ((step.refusal = next.refusal))
                        break;
                    step = {next.session, {}, step.hashLines + next.hashLines, {}};
                    step.session.notice = imported.session.notice;
                }
                catalogue.reset();
                const Session& s = step.session;
                const QStringList texts{s.dictionary.join('|'), step.hashLines.join('|'),
                                        s.currentFile, s.notice, step.refusal.text};
                const QVector<int> numbers{s.swapPending, s.swapRow, s.cutRow, s.announceSave,
                                           step.refusal.kind};
                sides[whole] = {texts, s.grid, numbers,
                                (s.loaded ? s.loaded->source : "-") + testfiles::readFile(file) +
                                    testfiles::readFile(working)};
            }
            QVERIFY2(sides[0] == sides[1], qPrintable(QString("seed %1").arg(seed)));
        };
        const QStringList names{"q", "B", "mat", "z", "c d", "Hüt", "u", "", "ab", QChar(0xD800)};
        const QStringList shaders{"yCS_gear::Normal", "u::v", "z", "y y::w", "yy::w"};
        for (quint32 seed = 0; seed < 300; ++seed) {
            QRandomGenerator r(seed);
            QVector<PlannedMaterial> plan(r.bounded(1, 12));
            for (PlannedMaterial& m : plan)
                m = {names[r.bounded(names.size())], shaders[r.bounded(shaders.size())]};
            compare(seed, seed % 2, plan);
        }
        compare(2010, true, {{"a", "y y::w"}, {"ab", "z"}}); // "a b" shown, "ab" comes after
        // The first material of the one write is the one past the string limit.
        compare(2011, false, {{QString(65529, 'n'), "u::v"}, {"t", "u::v"}}); // t at 65535
        // From the empty view, the last material's texts but its name stand before it and its
        // name starts at 65534, the last offset a name may take, then at 65535.
        for (const int past : {0, 1}) {
            QVector<PlannedMaterial> plan(262, {"", "u::v"});
            for (int i = 0; i < 262; ++i)
                plan[i].name = QString::number(i).rightJustified(i ? 250 : 252 + past, 'n');
            plan[1] = {"q", "yy::w"};
            plan[261] = {"t", past ? "y y::w" : "u::v"};
            compare(1000 + past, false, plan);
            QCOMPARE(int(imported.refusal.kind), past ? int(mtls::Refusal::StringLimit) : 0);
        }
        // In proportion: 3,000 materials, each with a value and a texture, take 20 ms in one
        // write, 8 s added one by one.
        const QVector<PlannedMaterial> many(3000, {"m", "u::v"});
        ShaderCatalogue taught = ShaderCatalogue::inMemory();
        QVERIFY(taught.record("u", "1,1,0") && taught.record("v", "4") &&
                taught.record("Params/u::v", 2) &&
                taught.record("Shaders/u::v", QStringList{"u", "v"}));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(importModel(Session::cleared(), many, working, taught).session.grid.rows.size(),
                 3000);
        QVERIFY(timer.elapsed() < 2000 * testfiles::SanitizerSlowdown);
    }

    // Record-if-absent, read back from memory, from the file, from the file reopened, and from a
    // file that cannot be written, reopened.
    void catalogue()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("MTLs_Shaders.ini");
        const QStringList cells{"", "colorMap", "a,b", " lead", "färg", ""};
        // Under a folder that is a file, what is learnt stays in memory for the program's life.
        QVERIFY(testfiles::writeFile(dir.filePath("file"), ""));
        for (int form = 0; form < 4; ++form) {
            const QString path = form < 3 ? file : dir.filePath("file/MTLs_Shaders.ini");
            auto c = std::make_unique<ShaderCatalogue>(form ? ShaderCatalogue(path)
                                                            : ShaderCatalogue::inMemory());
            for (const char* key : {"", "/", "//"})
                QVERIFY(!c->record(key, "4") && !c->contains(key));
            QVERIFY(c->record("Params//h::N/", 70007) && c->record("Shaders/h::N", cells));
            QVERIFY(c->record("oddEntry", QString("")) &&
                    c->record("Flags/h::N", QStringList(cells.mid(1, 2))));
            for (const char* name : {"b::x", "_z::x", "odd/name::x"})
                QVERIFY(c->record(ShaderCatalogue::shadersKey(name), QStringList{"p"}));
            QVERIFY(!c->record("/Params/h::N", 3) && !c->record("oddEntry", "4"));
            if (form >= 2) // once the first is gone, so that the two share nothing
                c = (c.reset(), std::make_unique<ShaderCatalogue>(path));
            QCOMPARE(c->paramCount("h::N") + c->paramCount("s::v"), 70007 - 65536);
            QCOMPARE(c->shaderCells("h::N"), cells);
            QCOMPARE(c->flags("h::N").join('|') + c->flags("s::v").join('|'),
                     QString("colorMap|a,b"));
            QCOMPARE(c->typeLine("oddEntry"), std::optional<QString>(""));
            QCOMPARE(c->typeLine("colorMap"), std::optional<QString>());
            QCOMPARE(c->shaderNames().join(' '), QString("_z::x b::x h::N"));
            c.reset();
            QCOMPARE(QFile::remove(path), form == 1 || form == 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
