// mtls and the window on the same files. The user's data under refused, failed and hostile
// saves: no file changes unless it is written whole, the catalogue learns only what is real, and
// what cannot be kept is said. mtls's resave and authoring commands against the window doing the
// same steps: the same bytes out, the same catalogue afterwards, the same refusals; a working
// write that is refused leaves the window as it was. And where texture hashes point: one table
// of libraries lying in different folders, each judged by the core, `mtls textures`, `mtls check
// --hashes` and the window's status bar, and a save into the library's own folder always giving
// hashes that match it.
// And mtls run as a program. What it prints, a JSON dump packs back to the very bytes it came from,
// a broken dump is refused at its JSON path without touching the output, and diff names what a
// modder changed and nothing else. Then one table of mtls run from a shell as scripts run it:
// what it must never write, and answers that must be true; every row checks its exit status and
// a phrase of what it says, and that every file that was there keeps its bytes and only the
// files the row names appear.
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"
#include "mtls/textures.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

const QByteArray Old("old library bytes"), Absent("<absent>");
const QString Saved = QStringLiteral("File Saved Successfully.");

QByteArray contents(const QString& path)
{
    return QFileInfo(path).isFile() ? readFile(path) : Absent;
}

// The example library with more dictionary strings after tex_d (the first at offset 35).
QByteArray exampleWith(const QStringList& extra, const QVector<RawItem>& items, quint16 name = 0)
{
    return buildBlock(QStringList{"mat", "yCS_gear", "Normal", "colorMap", "tex_d"} + extra,
                      {{name, 4, 13, {1, 2, 3, 4}, quint16(items.size()), items}});
}

// Its name is the string after the dictionary, at 65535: past what a save can refer to.
const QByteArray Limit = exampleWith({QString(65499, 'x')}, {entry4(20, 29)}, 65535);

// What `mtls` is given and says (stderr, stdout and its exit status, paths relative), and what
// out.mtls holds after it.
struct ToolCase {
    QByteArray in;
    QString command, said;
    QByteArray out = Absent;
};

// A clean library of random strings, records and items with a random format word; one of
// its strings is not valid UTF-8.
QByteArray randomLibrary(QRandomGenerator& random)
{
    auto roll = [&random](int n) { return quint16(random.bounded(n)); };
    const QString odd = QStringLiteral("\x01\x02\x03"); // stands for the bytes ff c3 28
    QStringList dictionary{"mat", odd};
    for (int k = roll(10); k > 0; --k)
        dictionary.insert(1 + roll(dictionary.size()),
                          QString::number(random.generate(), 36).left(roll(7)) +
                              QString("\"\\\t\x1f ").mid(roll(6), 1) + QChar(0xA0 + roll(0x700)));
    auto any = [&](int from) {
        return offsetOf(dictionary, dictionary.at(from + roll(dictionary.size() - from)));
    };
    QVector<RawMaterial> materials(roll(5));
    for (RawMaterial& m : materials) {
        m = {any(0), any(0), any(0), {roll(65536), roll(65536), roll(65536), roll(65536)}, 0, {}};
        for (int n = roll(7); n > 0; --n, ++m.count) {
            if (roll(3) == 0) // global flag items only ever come before an entry
                m.items.append(globalFlag(roll(2) ? 0x3F80 : 0));
            const quint16 name = any(1), a = roll(0x10000), b = roll(0x10000);
            const quint64 x = random.generate64(), y = random.generate64();
            m.items.append(QVector<RawItem>{entry1(name, a, b, a % 2 ? 1 : 3), entry2(name, x, y),
                                            entry4(name, any(0)), entry5(name, x),
                                            entry3F80(name, a), entry1(name, a, b, 6 + b % 0x3F7A)}
                               .at(roll(6)));
        }
    }
    QByteArray block = buildBlock(dictionary, materials).replace(4, 4, le32(random.generate()));
    return block.replace(12 + offsetOf(dictionary, odd), 3, "\xff\xc3\x28");
}

// A clean library that its save changes: generated, then flag words and type-1/3 numbers that
// may disagree with the first record of their shader or name, type-2 values, global flag items;
// its hashes are made for another folder.
QByteArray changedLibrary(quint32 seed)
{
    QRandomGenerator random(seed);
    mtls::Block block = *mtls::decode(generatedLibrary(seed, seed % 2 ? "/x/Props/a.mtls" : ""));
    for (mtls::Material& m : block.materials) {
        m.flags[random.bounded(4)] += quint16(random.bounded(2));
        for (int i = m.items.size() - 1; i >= 0; --i) {
            mtls::Item& item = m.items[i];
            if (item.type < 4 && random.bounded(3) == 0) // a value word that starts no string
                item.first = random.bounded(4);
            item.second += item.type == 2 ? random.generate64() : 0;
            mtls::Item flag;
            flag.kind = mtls::Item::GlobalFlag;
            flag.type = random.bounded(2) ? mtls::GlobalFlagType : 0;
            if (random.bounded(5) == 0)
                m.items.insert(i, flag);
        }
    }
    return mtls::encode(block.dictionaryTexts(), block.materials);
}

// "material|field" for every note of check and every line of diff: a note's main shader or
// variant is diff's shader, a note's parameter field is diff's parameter or texture hash.
QSet<QString> fields(const QString& report, const QRegularExpression& pattern)
{
    QSet<QString> found;
    QString material;
    for (const QString& line : report.split('\n')) {
        const QRegularExpressionMatch m = pattern.match(line);
        material = m.captured(1).isEmpty() ? material : m.captured(1);
        if (!m.captured(2).isEmpty())
            found << material + "|" +
                         m.captured(2).replace(QRegularExpression("main shader|variant"), "shader");
    }
    return found;
}

// Materials alike but for their names, with the names after the other strings or before.
QByteArray library(const QStringList& names, bool namesFirst = false)
{
    const QStringList rest{"colorMap", "tex_d", "gain", "hashA", "yCS_gear", "Normal", "yCS_skin"};
    const QStringList dictionary = namesFirst ? names + rest : rest + names;
    auto at = [&dictionary](const QString& text) { return offsetOf(dictionary, text); };
    const QVector<RawItem> items{entry4(at("colorMap"), at("tex_d")), entry1(at("gain"), 7, 9),
                                 entry5(at("hashA"), 0xDEADDEAD)};
    QVector<RawMaterial> materials;
    for (const QString& name : names)
        materials.append({at(name), at("yCS_gear"), at("Normal"), {1, 2, 3, 4}, 3, items});
    return buildBlock(dictionary, materials);
}

// B beside A = library({"mat", "other"}): the names of its materials (~: strings in another
// order), "from|to": A with one edit of its dump, -: no library at all. Then the status of
// the diff and a phrase of its report; or "-" and the JSON path where pack refuses the edit.
const char* const Edits[][3] = {
    {R"("formatWord": 5,|"formatWord": 5,,)", "-", "bad JSON at byte 21"},
    {R"("flags": [1, 2, 3, 4],|)", "-", "materials[0].flags"},
    {"[1, 2, 3, 4]|[1, 2, 3, 65536]", "-", "materials[0].flags[3]"},
    {"[1, 2, 3, 4]|[-1, 2, 3, 4]", "-", "materials[0].flags[0]"},
    {"[1, 2, 3, 4]|[1, 2, 3]", "-", "materials[0].flags"},
    {"[1, 2, 3, 4]|[1, 2, 3, 4, 5]", "-", "materials[0].flags"},
    {R"("formatWord": 5|"formatWord": 2147483648)", "-", "formatWord"},
    {R"("formatWord": 5|"formatWord": -2147483649)", "-", "formatWord"},
    {"[1, 2, 3, 4]|[1, \"2\", 3, 4]", "-", "materials[0].flags[1]"},
    {R"("materialCount": 2|"materialCount": -2)", "-", "materialCount"},
    {R"({"offset": 0,|{"offset": 1,)", "-", "materials[0].items[0].name.offset"},
    {R"(: {"offset": 9|: {"offset": 8)", "-", "materials[0].items[0].value.offset"},
    {R"("colorMap"}|"colorMap", "bytes": "6d6"})", "-",
     "dictionary[0].bytes: is not a string of hex byte pairs"},
    {R"("colorMap"}|"colorMap", "bytes": "6d00"})", "-",
     "dictionary[0].bytes: holds a zero byte, which would end the string"},
    {R"("offset": 9,|"offset": 8,)", "-", "dictionary[1].offset"},
    {R"("text": "other"|"text": 5)", "-", "dictionary[8].text"},
    {R"(0, "text": "colorMap"|1, "text": "olorMap")", "-", "dictionary[0].offset"},
    {R"("formatWord": 5,|"": 0, "formatWord": 5, "": 1,)", "-", R"("")"},
    {R"("formatWord": 5,|"formatWord": 5, "\u0066ormatWord": 5,)", "-", "formatWord"},
    {R"("stringTableSize": |"stringTableSize": 1)", "-", "stringTableSize"},
    {R"("truncated": false|"truncated": true)", "-", "truncated"},
    {R"({"offset": 0,|0, "globalFlag": [0, 7], "": {)", "-", "materials[0].items[0].globalFlag[1]"},
    {R"("type": 4|"type": 0)", "-", "materials[0].items[0].type"},
    {"mat other", "0", "same: 2 materials\n"},
    {"~mat other", "0", "same: 2 materials\n"},
    {"mat2 other", "1", "\"mat\" (yCS_gear::Normal)\n+ material \"mat2\""},
    {"mat other x", "1", "+ material \"x\" (yCS_gear::Normal)\n0 changed, 1 added"},
    {"mat", "1", "- material \"other\""},
    {"other mat", "1", "material order: mat, other -> other, mat"},
    {R"(: {"offset": 26|: {"offset": 42)", "1", "shader: yCS_gear::Normal -> yCS_skin::Normal"},
    {R"({"offset": 0, "text": "colorMap"}|{"offset": 42, "text": "yCS_skin"})", "1",
     "\"yCS_skin\" added"},
    {"[1, 2, 3, 4]|[8, 2, 3, 4]", "1", "\"mat\"\n    flag word 1: 1 -> 8\n"},
    {R"("text": "Normal"|"text": "offset")", "1", "shader: yCS_gear::Normal -> yCS_gear::offset"},
    {"[7, 9]|[7, 10]", "1", "\"gain\": type 1 numbers 7 9 -> type 1 numbers 7 10"},
    {"deaddead|00000001", "1", "hash \"hashA\": 0x00000000deaddead -> 0x0000000000000001"},
    {"-", "2", "Invalid File"}};

#define PACKED(file, edit)                                                                         \
    "$M dump --json " file " | sed '" edit "' >e.json && $M pack e.json o.mtls"

// Name, command line (bash, $M is mtls), exit status, phrase of stdout + stderr, new files.
const char* const Rows[][5] = {
    {"info, from a pipe", "cat ex.mtls | $M info /dev/stdin", "0",
     "/dev/stdin: 1 materials, 5 strings, 35 dictionary bytes, 1 shaders: yCS_gear::Normal\n"},
    // The example's dump, its name made of a character written escaped and a space, which is not.
    {"dump", PACKED("ex.mtls", R"(s/"mat"/"\\u001f t"/)") " && $M dump o.mtls", "0",
     "MTLs Dictionary: 5 strings, 35 bytes\n  Index  Offset  Item\n      0       0  \"\\u001f t\"\n"
     "      1       4  \"yCS_gear\"\n      2      13  \"Normal\"\n      3      20  \"colorMap\"\n"
     "      4      29  \"tex_d\"\nFound 1 materials:\n  Index 0 (byte 52)  Main Shader "
     "\"yCS_gear\" @4  Model_ID \"\\u001f t\" @0  SubMtls # 1  P0 \"Normal\" @13\n    shader "
     "yCS_gear::Normal  flags 1 2 3 4\n    byte 70  \"colorMap\" @20  type 4  value \"tex_d\" "
     "@29\n",
     "e.json o.mtls"},
    {"dump of every kind of item", "$M dump odd.mtls", "0",
     "    byte 146  Global@ShaderFlag0-16256\n    byte 150  Global@ShaderFlag0-0\n    byte 154  "
     "\"tint\" @41  type 2  values 0x1122334455667788 0x000000000000002a\n    byte 174  \"hashA\" "
     "@46  type 5  hash 0x00000000deaddead\n    byte 186  \"odd\" @52  type 16256  word 3\n  Index "
     "1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" @56"},
    // Offset 65535 names a string; offset 1 none, though the one at 65537 has its low 16 bits.
    {"names and a shader at offset 65535",
     "$M info w.mtls | cut -d, -f4-; $M dump w.mtls | grep -o 'Mo.*'", "0",
     " 2 shaders: s::, w::\nModel_ID \"w\" @65535  SubMtls # 0  P0 (none) @1\n"},
    {"onto a device, a pipe, standard output as a pipe",
     "mkfifo p; ($M resave ex.mtls /dev/null; $M pack ex.json p; $M pack ex.json /dev/stdout | "
     "cat) "
     "2>&1 | grep -c ': Cannot write file : not a regular file$'",
     "2", "3\n", "p"},
    {"to standard output", "$M resave ex.mtls - >o && $M resave ex.mtls o.mtls && cmp o o.mtls",
     "0", "", "o o.mtls MTLs_Shaders.ini"},
    {"two models, one output", "$M from-model hero.mdl a/hero.mdl -o out", "2",
     "hero.mdl and a/hero.mdl would both write"},
    {"shaders, with cells and without",
     "$M learn ex.mtls --catalogue c && printf '[Shaders]\\nz=@Invalid()\\n' >>c && $M shaders "
     "--catalogue c",
     "0", "yCS_gear::Normal: 1 parameters: \"colorMap\" \"tex_d\"\nz: 0 parameters\n", "c"},
    {"a library as catalogue", "$M learn ex.mtls --catalogue odd.mtls", "2",
     "odd.mtls: not a shader catalogue (it is an MTLs library)"},
    {"catalogues holding a zero byte, a byte not UTF-8, one cut short, nothing",
     "printf 'a\\0' >z; printf '\\377' >y; printf 'a\\303' >w; : >x; for c in z y w x; do $M "
     "shaders --catalogue $c; echo $?; done",
     "0",
     "2\n2\n2\n0\nmtls: z: not a shader catalogue (it holds a zero byte); left as it "
     "is\nmtls: y: not a shader catalogue (it is not UTF-8 text); left as it is\nmtls: w: not a "
     "shader catalogue (it is not UTF-8 text); left as it is\ncatalogue: ",
     "z y w x"},
    {"no material names", "$M from-model none.mdl -o new/deeper", "1",
     "mtls: no materials in none.mdl\n"},
    {"no model", "$M from-model gone.mdl -o new/deeper", "2", "gone.mdl: Cannot open file"},
    {"a cut model", "$M from-model cut.mdl -o new", "1",
     "cut.mdl: the model is cut short: 1 materials read", "new new/cut.mtls"},
    {"an add, then an unknown shader in the last pair",
     "$M learn ex.mtls >/dev/null && $M add ex.mtls x yCS_gear::Normal -o o.mtls && $M add "
     "ex.mtls x yCS_gear::Normal y No::Such -o o.mtls",
     "1", "o.mtls: 2 materials\nmtls: ex.mtls: unknown shader \"No::Such\": ",
     "MTLs_Shaders.ini o.mtls"},
    // add takes pairs after LIB, replace one pair after LIB ROW, both an output; a row from 0.
    // Each command is refused with its usage or the row it lacks, before anything is written.
    {"operands one short, one over, no output",
     "for c in 'add lib.mtls -o o' 'add lib.mtls x -o o' 'add lib.mtls x s y -o o' "
     "'add lib.mtls x s' 'from-model a.mdl' 'replace lib.mtls 0 x -o o' 'replace lib.mtls 0 x s y "
     "-o o' 'replace lib.mtls 0 x s' 'replace lib.mtls -o o -- -1 x yCS_head::Normal' 'replace "
     "lib.mtls 3 x yCS_head::Normal -o o'; do $M $c 2>&1 | grep -c -e ' takes ' -e 'has no row "
     "-1$' -e 'has no row 3$'; done | tr -d '\\n'",
     "2", "1111111111", "MTLs_Shaders.ini"}, // rows are counted once the library is read
    {"a shader with a space", "$M replace ex.mtls 0 x 'yCS_gear::Normal ' -o o.mtls", "1",
     "Shaders/yCS_gear::Normal  entry", "MTLs_Shaders.ini"},
    {"a refusal's wording",
     "$M learn ex.mtls >/dev/null && $M add odd.mtls 'Cannot fly' yCS_gear::Normal -o o.mtls", "1",
     "Cannot fly: Unknown parameter type", "MTLs_Shaders.ini"},
    {"diff: bytes not UTF-8", "$M diff 80.mtls fe.mtls", "1",
     "\"tex_\\x80\" -> type 4 value \"tex_\\xfe\""},
    {"diff: a byte-order mark", "$M diff ex.mtls bom.mtls", "1", "- material \"mat\""},
    {"diff: where :: falls", "$M diff sx.mtls xv.mtls", "1",
     "main shader \"s::x\" variant \"V\" -> main shader \"s\" variant \"x::V\""},
    {"pack: digits not ASCII", PACKED("odd.mtls", R"(0,/"0x[0-9a-f]*"/s//"0x٣٣"/)"), "1",
     "materials[0].items[5].values[0]: is not a string of 0x", "e.json"},
    {"pack: a repeated key", PACKED("ex.mtls", R"(s/"formatWord": 5,/&"formatWord": 5,/)"), "1",
     "e.json: formatWord: is given twice", "e.json"},
    {"check --hashes says each change once",
     "for o in '' --hashes; do $M check $o a/hero/gen.mtls | grep -c -e note: -e 'points to'; "
     "$M check $o a/hero/gen.mtls | grep -c 'note: .*hash'; done | tr '\\n' ' '; echo",
     "0", "1 1 1 0 \n"}, // a hash the save changes: a note, or with --hashes a finding
    {"unknown options as typed", "$M check -x ex.mtls 2>&1; $M check --xy ex.mtls 2>&1; true", "0",
     "unknown option -x for check\nRun mtls --help for the commands.\n"
     "mtls: unknown option --xy for check"},
    {"check --hashes at and past the size budget",
     "$M check --hashes atlimit.mtls && $M check --hashes pastlimit.mtls", "1",
     ": ok\nmtls: pastlimit.mtls: This library is too large to show: 999,995 dictionary strings"},
    {"pack: a string that grew", PACKED("ex.mtls", R"(s/"Normal"/"Normall"/)"), "1",
     "dictionary[2].text: is 7 bytes, but the next string starts at 20, which leaves room for 6",
     "e.json"},
    {"pack: an offset that moved", PACKED("ex.mtls", R"(s/"offset": 20/"offset": 21/)"), "1",
     "dictionary[3].offset: 21 is not where the string starts (20)", "e.json"},
    {"pack: a count that disagrees",
     PACKED("ex.mtls", R"(s/"materialCount": 1/"materialCount": 2/)"), "1",
     "materialCount: 2 is not the number of materials (1)", "e.json"},
    {"standard output full", "$M dump --json ex.mtls >/dev/full", "2",
     "standard output: Cannot write file : No space left"},
    {"at and past 512 MiB",
     "truncate -s 536870912 big && ! $M info big && truncate -s +1 big && "
     "$M info big",
     "1", "big: Invalid File\nmtls: big: The file holds 536870913 bytes", "big"},
    {"a name not UTF-8, first (a bad byte) and second (cut short)",
     R"(b=l$(printf '\303'); : >$b; $M "$b(" 2>&1; $M resave $b o; s=$?; rm $b; exit $s)", "2",
     "mtls: argument 1 is not valid UTF-8; file names must be UTF-8\nmtls: argument 2 is not"},
    {"check: a name past the string limit", "$M check far.mtls", "1",
     ": warning: a save refuses material 0 \"m x\": String Limit Reached\n"},
    {"check: a name at the string limit", "$M check near.mtls", "0",
     ": note: material 0 \"m x\": name: \"m x\" -> \"mx\"\n"},
    {"an add to a material cut alone saves the new one only",
     "head -c 74 ex.mtls >c; $M learn ex.mtls >c.txt; $M add c x yCS_gear::Normal -o o.mtls", "0",
     "o.mtls: 1 materials\n", "c c.txt o.mtls MTLs_Shaders.ini"},
    {"check --no-notes", "! $M check --no-notes near.mtls | grep note", "0", ""},
    {"check: a parameter named \"\"", "$M check noname.mtls", "1",
     "material 0 \"m\": Unknown parameter type: \n"},
    {"check: bytes not UTF-8 in the first string and the last",
     "printf '\\200' | dd of=80.mtls bs=1 seek=12 conv=notrunc status=none; $M check 80.mtls", "1",
     "string 0 is not valid UTF-8: a save writes \"\xef\xbf\xbd" // U+FFFD
     "at\"\n80.mtls:41: warning: dictionary string 4 is not valid UTF-8: a save writes \"tex_\xef"
     "\xbf\xbd\"\n80.mtls:52: note: material 0 \"\\x80at\": name: \"",
     "80.mtls"},
    {"resave says what it changed", "$M resave lib.mtls o.mtls", "1",
     "resave: 3 global flag items dropped, 4 flag words taken from the catalogue, 1 type-2 value "
     "pair written as zeros, 1 texture value written as \"\", 1 other change; `mtls check` lists "
     "them\n",
     "o.mtls MTLs_Shaders.ini"},
    {"textures of no library", "$M textures none.mdl", "1", "none.mdl: Invalid File"},
    // The header words a dump shows: the format word from 8 bytes on, the table size from 12;
    // with the magic cut short, no block.
    {"dump of a cut header",
     "for n in 3 7 8 11 12; do head -c $n ex.mtls >h; $M dump --json h | "
     "grep -c -e formatWord -e stringTableSize; done | tr '\\n' ' '",
     "0", "0 0 1 1 2 mtls: h: Invalid File\n", "h"},
    {"hashes through a link",
     "ln -s a Characters && cd Characters/hero && $M check --hashes "
     "gen.mtls && cd ../.. && $M textures Characters/hero/gen.mtls",
     "0", "gen.mtls: ok\n", "Characters"}};

QMap<QString, QByteArray> filesHere()
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(".", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        files.insert(path.mid(2), it.fileInfo().isFile() ? readFile(path) : "");
    }
    return files;
}

} // namespace

Q_DECLARE_METATYPE(ToolCase)

const auto tool = [](const QStringList& args) { return testfiles::runTool(MTLS_BINARY, args); };

const QStringList Dictionary = {"hero_body", "yCS_gear",  "Normal",    "colorMap",  "Hero_01_D",
                                "colorHash", "normalMap", "Hero_01_N", "normalHash"};

// Two like materials with the entries `items` in order: a "...Map" is a type-4 entry whose value
// (the string after it) is the texture the type-5 entries after it hash, as made for the
// folder `dir` ("": the working file's placeholder, 0xDEADDEAD). The hashed textures go to
// `textures`.
static QByteArray library(const QString& dir, const QString& items, QStringList& textures,
                          quint32 claimed = 2)
{
    const auto at = [](const QString& text) { return offsetOf(Dictionary, text); };
    // Named by the first string, hero_body, at 0.
    RawMaterial m{0, at("yCS_gear"), at("Normal"), {}, quint16(items.count(' ') + 1), {}};
    QString texture; // none until a type-4 entry names one
    for (const QString& name : items.split(' ')) {
        const bool map = name.endsWith("Map");
        texture = map ? Dictionary.at(Dictionary.indexOf(name) + 1) : texture;
        const QByteArray text = (dir + texture + ".tex").toLower().toUtf8();
        const quint64 hash = dir.isEmpty() ? 0xDEADDEAD : mtls::fnv1a_64(text);
        m.items << (map ? entry4(at(name), at(texture)) : entry5(at(name), hash));
        textures << (map ? QStringList() : QStringList(texture));
    }
    textures += textures; // twice: each material starts without a texture
    return buildBlock(Dictionary, {m, m}, claimed);
}

const char* const Plain = "colorMap colorHash normalMap normalHash";
const char* const Leading = "colorHash colorMap colorHash normalMap normalHash";
const char *const Match = "matches", *Other = "points to another folder";

// A library lying in a folder under the scratch folder with hashes made for hero_01's folder
// (for the working file: placeholders), its entries, what a save there hashes under (%1: the
// scratch folder) and the verdict on every hash.
const char* const Cases[][5] = {
    {"matching", "Characters/hero_01", Plain, "characters/hero_01/textures/", Match},
    {"other character", "mods/Characters/hero_02", Plain, "characters/hero_02/textures/", Other},
    {"no known folder", "downloads", Plain, "%1/downloads/textures/", Other},
    {"working file", "Characters/hero_01", Plain, "characters/hero_01/textures/", "placeholder"},
    {"no type-4 before", "Characters/hero_01", Leading, "characters/hero_01/textures/", Match},
    {"moved, no type-4 before", "Props/hero_01", Leading, "props/hero_01/textures/", Other},
    {"no hashes", "Characters/hero_01", "colorMap normalMap", "characters/hero_01/textures/", ""}};

static QString userCatalogue()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/lathrine/MTLs_Shaders.ini";
}

// Command lines run one after the other (";" between them) on the same files.
const char* const Runs[][2] = {
    {"learn", "learn ex.mtls lib.mtls"},
    {"add several", "learn ex.mtls;add lib.mtls x yCS_gear::Normal z yCS_head::Normal -o out.mtls"},
    {"replace the first", "replace lib.mtls 0 new yCS_head::Normal -o out.mtls"},
    {"add to a library the save cannot write",
     "learn ex.mtls;add odd.mtls x yCS_gear::Normal -o out.mtls"},
    {"from-model", "learn lib.mtls ex.mtls;from-model hero.mdl plain.mdl -o b"},
    {"resave", "resave gen1.mtls Characters/hero/a.mtls;resave gen2.mtls Characters/hero/b.mtls"},
    {"resave, the catalogue's flag words win", "learn ex7.mtls;resave ex.mtls out.mtls"},
    {"resave what the save cannot write", "resave odd.mtls out.mtls"},
    {"resave a library without materials", "resave empty.mtls out.mtls"},
    {"resave a library cut between two entries", "resave cut.mtls out.mtls"}};

// The window's way to what one mtls command line asks for. Gives the files it saved, moved out
// of the tool's way to the same name with ".window" added.
static QStringList does(AnsweredWindow& win, QStringList args)
{
    const QString command = args.takeFirst(), out = args.value(args.indexOf("-o") + 1);
    args = args.mid(0, args.indexOf("-o"));
    const bool adds = command == "add" || command == "replace", resave = command == "resave";
    QStringList saved;
    auto saveAs = [&](const QString& path) { // unless the save is refused
        const int before = win.answers.messages().size();
        win.answers.expectFileDialog(QFileInfo(path).absoluteFilePath());
        call(win.w, "rebuild_mtl");
        if (win.answers.messages().size() == before && QFile::rename(path, path + ".window"))
            saved << path;
    };
    for (const QString& operand : args.mid(0, adds || resave ? 1 : -1)) {
        win.open(operand);
        if (command == "from-model")
            saveAs(out + "/" + QFileInfo(operand).completeBaseName() + ".mtls");
    }
    win.w.swap_pending = command == "replace";
    win.w.swap_row = args.value(1).toInt();
    const int before = win.answers.messages().size(); // a refused add leaves nothing to save
    for (int i = win.w.swap_pending ? 2 : 1;
         adds && i + 1 < args.size() && win.answers.messages().size() == before; i += 2)
        call(win.w, "add_material", args.at(i), args.at(i + 1));
    if ((adds && win.answers.messages().size() == before) || resave)
        saveAs(resave ? args[1] : out);
    return saved;
}

class TestMtls : public QObject {
    Q_OBJECT

    std::optional<ScratchDirectory> scratch;

private slots:
    void initTestCase() { qputenv("M", MTLS_BINARY); }

    // Every test starts in a folder of its own, with these files.
    void init()
    {
        scratch.emplace();
        testsupport::ModelBuilder hero, plain;
        hero.names({"J_Hips", "Eye_L", "Jersey", "Head:skinned"}).materials({1, 2, 3}).end();
        plain.names({"x", "Jersey", "Layout_New_2"}).materials({1, 2}).end();
        // The example with the flag words 7 to 10 (the variant sits between the first two).
        QByteArray ex7 =
            exampleBlock().replace(56, 2, le16(7)).replace(60, 6, le32(0x90008) + le16(10));
        for (quint32 seed : {1, 2}) // clean, with hashes made for Characters/hero
            QVERIFY(writeFile(QString("gen%1.mtls").arg(seed),
                              generatedLibrary(seed, "/x/Characters/hero/a.mtls")));
        QVERIFY(QDir().mkpath("b") && QDir().mkpath("Characters/hero") &&
                writeFile("ex7.mtls", ex7) && writeFile("empty.mtls", buildBlock({"a", "b"}, {})) &&
                writeFile("lib.mtls", richBlock(false)) && writeFile("ex.mtls", exampleBlock()) &&
                writeFile("odd.mtls", richBlock()) && writeFile("hero.mdl", hero.build()) &&
                writeFile("plain.mdl", plain.build()));
        const QByteArray lib = richBlock(false);
        QVERIFY(writeFile("cut.mtls",
                          lib.left(int(mtls::decode(lib)->materials[1].items[1].blockOffset))));
    }
    void cleanup() { scratch.reset(); }

    // A refused or failed save leaves the output as it was and the window on its file; an
    // output in full/ meets a full disk, where the old bytes must be written back.
    // A folder stands where the catalogue would be written: what the loads learn serves the
    // session, and the status bar says so once.
    void editorSavesWholeOrNothing_data()
    {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QString>("output"); // an "old" file is there before the save
        QTest::addColumn<QString>("message");
        const QByteArray big = exampleWith({QString(30000, 'f')}, {entry4(20, 29)});
        QTest::newRow("over its file") << Limit << "in.mtls" << QString("String Limit Reached");
        // hashB (type 5) shows no value cell: the cell after it is a name without a type line.
        QTest::newRow("name after a hash")
            << exampleWith({"a/b", "hashB"}, {entry4(20, 29), entry5(39, 0), entry1(35, 7, 8)})
            << "old.mtls" << QString("Unknown parameter type: a/b");
        QTest::newRow("no temporary file") << big << "old.mtls" << Saved;
        const QString full = "Cannot write file : No space left on device";
        QTest::newRow("disk full, old file") << big << "full/old.mtls" << full;
        QTest::newRow("disk full, new file") << big << "full/new.mtls" << full;
        QTest::newRow("disk full, beside a temporary file") << big << "full/old.mtls" << full;
    }

    void editorSavesWholeOrNothing()
    {
        QFETCH(QByteArray, library);
        QFETCH(QString, output);
        QFETCH(QString, message);
        // Unless the row says otherwise no folder takes a temporary file: the window's writes go
        // in place, as in a read-only folder, where the plain open still lets them.
        const bool beside = QByteArray(QTest::currentDataTag()).contains("beside");
        mtls::temporaryFileRefused = beside ? nullptr : +[](const QString&) { return true; };
        ScratchDirectory files(ScratchDirectory::UsersCatalogue);
        const QString in = files.path("in.mtls"), path = files.path(output);
        QVERIFY(writeFile(in, library) && QDir().mkdir("full") &&
                QDir().mkdir(ShaderCatalogue::DefaultFileName));
        const bool fill = output.startsWith("full/");
        if (fill && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", "full"}))
            QSKIP("cannot mount a small memory file system here");
        const auto unmount = qScopeGuard([&] { fill ? QProcess::execute("umount", {"full"}) : 0; });
        QVERIFY(!output.contains("old") || writeFile(path, Old));
        writeFile("full/ballast", QByteArray(1 << 17, 'f')); // fills a mounted disk

        const QByteArray before = contents(path);
        AnsweredWindow window; // its answerer takes the file dialog and the one box after it
        for (int load = 0; load < 2; ++load)
            call(window.w, "open_mtl", in);
        const auto notices = window.w.statusBar()->findChildren<QLabel*>("catalogueNotice");
        QVERIFY(notices.size() == 1 &&
                notices[0]->text().contains(
                    QDir::toNativeSeparators(QDir::currentPath() + "/MTLs_Shaders.ini") +
                    systemWords(" cannot be saved (Is a directory)")));
        window.answers.expectFileDialog(path);
        window.answers.expectMessage();
        call(window.w, "on_pushButton_2_clicked");
        // A failed write says which file was not saved and why, under the window's own words.
        const QString detail = message.startsWith("Cannot")
                                   ? "\n" + output + ": not saved: " + message.section(" : ", 1)
                                   : QString();
        QCOMPARE(window.messages(), "Warning: " + message + detail);
        QCOMPARE(window.w.current_file, message == Saved ? path : in);
        QCOMPARE(contents(path), message == Saved ? library : before);
        // Nothing is left behind beside the ballast and the old file.
        QVERIFY(!fill || QDir("full").entryList(QDir::Files | QDir::Hidden).size() ==
                             1 + output.contains("old"));
    }

    // What mtls says and its exit status. Whatever the row, in.mtls keeps its bytes, and what c.ini
    // learnt must not spoil the example's shader: resaved after it, the example keeps its flag
    // words and its one shader.
    void toolKeepsTheData_data()
    {
        QTest::addColumn<ToolCase>("c");
        const QString resave = "resave in.mtls out.mtls --catalogue c.ini";
        const QByteArray example = exampleBlock();
        const QStringList names{"mat", "yCS_gear", "Normal", "colorMap", "tex_d", "Other"};
        const RawMaterial first{0, 4, 13, {1, 2, 3, 4}, 1, {entry4(20, 29)}};
        // The catalogue cannot be saved under a plain file: what the load learnt still serves.
        QTest::newRow("over its input") << ToolCase{
            Limit, "resave in.mtls in.mtls --catalogue plain/c.ini",
            "mtls: in.mtls: String Limit Reached\nmtls: " +
                QDir::toNativeSeparators("plain/c.ini") +
                ": cannot save the shader catalogue (Not a directory): what it learns holds for "
                "this run only\nexit 1"};
        // Its cut material teaches nothing and is never saved half: the whole one is saved.
        QTest::newRow("cut") << ToolCase{
            buildBlock(names, {first, {0, 4, 35, {5, 6, 7, 8}, 1, {entry4(20, 29)}}}).chopped(10),
            resave,
            "mtls: in.mtls: 1 of 2 materials read; the file ends inside material 1, which is left "
            "out\nmtls: in.mtls:100: material 1: parameter count cut off\nresave: 1 other change; "
            "`mtls check` lists them\nexit 1",
            buildBlock(names, {first})};
        QTest::newRow("count lies")
            << ToolCase{QByteArray(example).replace(48, 4, le32(2)), resave,
                        "mtls: in.mtls: 1 of 2 materials read; the file ends before material 1\n"
                        "mtls: in.mtls:78: 1 of 2 materials present\nexit 1",
                        example};
        for (const char* name : {"Flags/yCS_gear::Normal", "Shaders/x::y", "a\\b"})
            QTest::newRow(name) << ToolCase{
                exampleWith({name}, {entry4(20, 29), entry1(35, 7, 8)}), resave,
                QString("mtls: in.mtls: material 0 \"mat\": Unknown parameter type: %1\nexit 1")
                    .arg(name)};
        const QString usage = "\nRun mtls --help for the commands.\nexit 2";
        QTest::newRow("no command") << ToolCase{example, "", "mtls: no command given" + usage};
        QTest::newRow("a model") << ToolCase{
            example, "resave in.MDL out.mtls",
            "mtls: in.MDL: a model file is no library: open it in the editor\nexit 2"};
        // Every file is checked; one that cannot be read makes the status 2.
        QTest::newRow("check gone") << ToolCase{
            example.left(50), "check in.mtls gone.mtls ex.mtls",
            "mtls: gone.mtls: Cannot open file : No such file or directory\nin.mtls:48: material "
            "count cut off\nex.mtls: ok\nexit 2"};
        // A texture value at 0 takes the next cell for its texture, a hash's name here; on the
        // last entry there is none to take, with or without --hashes.
        QTest::newRow("textures") << ToolCase{exampleWith({}, {entry4(20, 0), entry5(29, 0)}),
                                              "textures --as /x/Props/a.mtls in.mtls",
                                              "mat\ttex_d\tprops/textures/tex_d.tex\tpoints to "
                                              "another folder\nexit 0"};
        QTest::newRow("check") << ToolCase{
            exampleWith({"myGlobalMap", "my/Map", "my\\Map"},
                        {entry4(35, 29), entry4(47, 29), entry4(54, 29), entry4(20, 0)}),
            "check --hashes in.mtls",
            "in.mtls:80: warning: a save refuses material 0 \"mat\": Unknown parameter type: "
            "tex_d\nin.mtls:98: warning: material 0 entry 0: parameter name \"myGlobalMap\" holds "
            "\"Global\", so a save cannot write it back\n"
            "in.mtls:106: warning: material 0 entry 1: parameter name \"my/Map\" holds \"/\", "
            "so a save cannot write it back\n"
            "in.mtls:114: warning: material 0 entry 2: parameter name \"my\\Map\" holds "
            "\"\\\", so a save cannot write it back\nin.mtls:126: warning: material 0 entry 3: "
            "texture value offset 0 has no cell, so a save takes the next cell for it\nexit 1"};
    }

    void toolKeepsTheData()
    {
        QFETCH(ToolCase, c);
        QVERIFY(writeFile("in.mtls", c.in) && writeFile("in.MDL", c.in) && writeFile("plain", Old));
        const auto run = [](const QString& command) {
            const testfiles::ToolRun mtls = tool(command.split(' ', Qt::SkipEmptyParts));
            return QString(mtls.err + mtls.text())
                       .remove(QDir::toNativeSeparators(QDir::currentPath() + '/')) +
                   "exit " + QString::number(mtls.status);
        };
        QCOMPARE(run(c.command), systemWords(c.said));
        QCOMPARE(contents("in.mtls"), c.in);
        QCOMPARE(contents("out.mtls"), c.out);
        QCOMPARE(run("resave ex.mtls ex2.mtls --catalogue c.ini"), QString("exit 0"));
        QCOMPARE(readFile("ex2.mtls"), exampleBlock());
        QCOMPARE(ShaderCatalogue("c.ini").shaderNames(), QStringList{"yCS_gear::Normal"});
    }

    // Cancel and OK in the dialog end the program once the window is closed; Exit ends it at
    // once, the dialog open.
    void dialogEndsTheProgramAfterTheWindow()
    {
        for (const QString answer : {"Cancel", "OK", "Cancel, window open", "Exit"}) {
            AnsweredWindow window;
            window.w.show();
            window.w.dialog->show();
            QTimer::singleShot(0, &window.w, [&] { // its hide ends the program from the loop
                if (answer == "Exit")
                    return window.w.ui->actionExit->trigger();
                if (!answer.endsWith("open"))
                    window.w.close();
                answer == "OK" ? window.w.dialog->table_refresh({"m", "yCS_gear::Normal"})
                               : window.w.dialog->clicked4();
            });
            // Gives up on a program left running; goes with the window, so no later loop ends.
            QTimer::singleShot(3000, &window.w, [] { QCoreApplication::exit(7); });
            QCOMPARE(QApplication::exec(), answer.endsWith("open") ? 7 : 0);
            QVERIFY(answer == "Exit" || !window.w.dialog->isVisible());
        }
    }

    // The current directory's catalogue when it is there, else the user's; --catalogue names
    // mtls's own. The window and mtls name the same file and see what the other learnt.
    void catalogueRule()
    {
        const char* rows[][3] = {{"here", "", "MTLs_Shaders.ini"},
                                 {"", "", ""},
                                 {"here", "other.ini", "other.ini"},
                                 {"", "other.ini", "other.ini"}};
        for (const auto& row : rows) {
#ifdef Q_OS_WIN
            if (!*row[2]) // Windows has no variable that moves a child's data folder to the test's
                continue;
#endif
            ScratchDirectory scratch(*row[0] ? ScratchDirectory::CatalogueHere
                                             : ScratchDirectory::UsersCatalogue);
            QFile::remove(userCatalogue());
            const QString used = *row[2] ? scratch.path(row[2]) : userCatalogue();
            const QStringList option = *row[1] ? QStringList{"--catalogue", row[1]} : QStringList();
            QVERIFY(writeFile("lib.mtls", exampleBlock()));
            QCOMPARE(runTool(MTLS_BINARY, QStringList{"learn", "lib.mtls"} + option).status, 0);
            QVERIFY(readFile(used).contains("yCS_gear"));
            QCOMPARE(runTool(MTLS_BINARY, QStringList{"shaders"} + option).err,
                     "catalogue: " + QDir::toNativeSeparators(used) + "\n");
            if (*row[1])
                continue;
            AnsweredWindow win;
            win.answers.expectMessage();
            win.w.findChild<QAction*>("actionCatalogue")->trigger();
            QCOMPARE(win.answers.messages().value(0).text,
                     "The shader catalogue in use is " + QDir::toNativeSeparators(used) + ".");
            win.w.ui->actionAdd_Material->trigger();
            QCOMPARE(win.w.dialog->findChild<QComboBox*>()->itemText(0),
                     QString("yCS_gear::Normal"));
        }
        QFile::remove(userCatalogue());
    }

    void commandsMatchTheWindow_data()
    {
        testrows::addRows(Runs);
    }

    void commandsMatchTheWindow()
    {
        QFETCH(int, row);
        {
            AnsweredWindow win; // gone before the catalogues are compared
            for (const QString& run : QString(Runs[row][1]).split(';')) {
                const int before = win.answers.messages().size();
                const QStringList saved = does(win, run.split(' '));
                const auto refusals = win.answers.messages().mid(before);
                const auto ran = runTool(MTLS_BINARY, (run + " --catalogue tool.ini").split(' '));
                // A cut library is not clean: the tool says so with its status.
                QCOMPARE(ran.status, refusals.isEmpty() && !run.contains("cut") ? 0 : 1);
                // The window stops at the first refusal.
                QVERIFY2(ran.err.contains(refusals.value(0).text), qPrintable(ran.err));
                for (const QString& path : saved)
                    QCOMPARE(readFile(path), readFile(path + ".window"));
                if (run.startsWith("resave gen")) // a clean library saves to its own bytes
                    QCOMPARE(readFile(saved.value(0)), readFile(run.section(' ', 1, 1)));
                // resave's summary line and the window's status line say what the save changed.
                const QString said = ran.err.section("resave: ", 1).section("; `mtls", 0, 0);
                QCOMPARE(libraryLine(win.w).section("changes: ", 1).section("; `mtls", 0, 0), said);
                if (run.startsWith("resave ex")) { // the flag words the catalogue learnt first
                    QCOMPARE(readFile("out.mtls").mid(56, 10), readFile("ex7.mtls").mid(56, 10));
                    QCOMPARE(said, QString("4 flag words taken from the catalogue"));
                }
                QCOMPARE(QFile::exists("out.mtls"), saved.contains("out.mtls"));
            }
        }
        // The same entries; their order follows each file's history (on Windows, not on Linux).
        const auto entries = [](const QString& path) {
            QStringList lines =
                QString(readFile(path)).remove('\r').split('\n', Qt::SkipEmptyParts);
            for (int i = 1; i < lines.size(); ++i) // each entry after the name of its section
                if (!lines[i].startsWith('['))
                    lines[i].prepend(lines[i - 1].section(']', 0, 0) + ']');
            lines.sort();
            return lines;
        };
        QCOMPARE(entries("tool.ini"), entries(ShaderCatalogue::DefaultFileName));

        // `shaders` lists what the dialog offers, with the catalogue's counts and cells.
        const auto shaders = runTool(MTLS_BINARY, {"shaders", "--json", "--catalogue", "tool.ini"});
        AnsweredWindow win;
        emit win.w.textFocus({});
        const QComboBox* offered = win.w.dialog->findChild<QComboBox*>();
        const ShaderCatalogue catalogue;
        QJsonArray expected;
        for (int i = 0; i < offered->count(); ++i) {
            const QString name = offered->itemText(i);
            const QJsonArray cells = QJsonArray::fromStringList(catalogue.shaderCells(name));
            expected.append(QJsonObject{
                {"name", name}, {"paramCount", catalogue.paramCount(name)}, {"cells", cells}});
        }
        QCOMPARE(shaders.json()["shaders"].toArray(), expected);
    }

    // Eye_L's shader is unknown, so its import writes; Jersey's has a parameter without a type.
    void refusedWorkingWriteKeepsTheWindow()
    {
        for (const QString action : {"add", "replace", "model import"}) {
            QVERIFY(writeFile(MainWindow::previewPath(), "older working file") &&
                    writeFile("MTLs_Shaders.ini", "[Params]\nyCS_gear%3A%3ANormal=1\n"
                                                  "[Shaders]\nyCS_gear%3A%3ANormal=weird\n"));
            AnsweredWindow win;
            win.open("ex.mtls");
            const QStringList before = shown(win.w);
            if (action == "model import") {
                win.open("hero.mdl"); // stops at Jersey, showing what was built up to it
                QCOMPARE(tableRows(win.w.ui->ExternalTable),
                         QStringList("B0|<none>|yCS_eye|Eye_L|0|Normal"));
            } else {
                win.w.swap_pending = action == "replace";
                call(win.w, "add_material", "new", "yCS_gear::Normal");
                QCOMPARE(shown(win.w), before);
                QCOMPARE(readFile(MainWindow::previewPath()), QByteArray("older working file"));
            }
            QCOMPARE(win.messages(), QString("Warning: Unknown parameter type: weird"));
        }
    }

    // The status line counts each verdict: M matches, P a placeholder, O another folder.
    void statusLineWording()
    {
        const QString here = "; saving here gives hashes for /x/textures/.";
        const char* const cases[][2] = {
            {"M", "The texture hash matches this folder."},
            {"OO", "All 2 texture hashes point to another folder"},
            {"P", "The texture hash is a placeholder until the library is saved."},
            {"MP", "1 of 2 texture hashes is a placeholder until the library is saved."},
            {"MPP", "2 of 3 texture hashes are placeholders until the library is saved."},
            {"O", "The texture hash points to another folder"},
            {"MOP", "1 of 3 texture hashes points to another folder and 1 is a placeholder"},
            {"OOPP", "2 of 4 texture hashes point to another folder and 2 are placeholders"},
            {"", ""}};
        for (const auto& [verdicts, line] : cases) {
            QVector<mtls::TextureReference> references(int(qstrlen(verdicts)));
            for (int i = 0; i < references.size(); ++i)
                references[i].verdict =
                    mtls::TextureReference::Verdict(QString("MPO").indexOf(verdicts[i]));
            const bool moved = QString(verdicts).contains('O');
            QCOMPARE(mtls::textureStatusLine(references, "/x/a.mtls"), line + (moved ? here : ""));
        }
    }

    void judgedByEveryFace_data()
    {
        testrows::addRows(Cases);
    }

    void judgedByEveryFace()
    {
        QFETCH(int, row);
        const QString folder = Cases[row][1], verdict = Cases[row][4];
        const QString home = verdict == "placeholder" ? "" : "Characters/hero_01/Textures/";
        const QString file = scratch->path(folder + "/body.mtls");
        const QString dir = QString(Cases[row][3]).replace("%1", scratch->path("").toLower());
        QStringList textures;
        QVERIFY(QDir().mkpath(folder) && writeFile(file, library(home, Cases[row][2], textures)));

        // Each reference as the core, `mtls textures` and its JSON give it.
        const auto references = mtls::textureReferences(*mtls::decode(readFile(file)), file);
        const QString line = mtls::textureStatusLine(references, file); // the window shows it
        // The tool and the window are given the file as the system names it (on Windows with
        // backslashes): the folder rule sees '/' all the same.
        const QString native = QDir::toNativeSeparators(file);
        const auto listed = tool({"textures", native});
        const QJsonArray json = tool({"textures", native, "--json"}).json()["references"].toArray();
        QCOMPARE(listed.status, 0);
        for (int i = 0; i < std::max({textures.size(), listed.out.count('\n'), json.size()}); ++i) {
            const QString expected = dir + textures.value(i).toLower() + ".tex\t" + verdict;
            const mtls::TextureReference reference = references.value(i);
            QCOMPARE(reference.hashedPath + '\t' + mtls::verdictText(reference.verdict), expected);
            QCOMPARE(listed.text().section('\n', i, i).section('\t', 2), expected);
            QCOMPARE(json[i]["path"].toString() + '\t' + json[i]["verdict"].toString(), expected);
        }

        // Judged as if saved where the hashes were made, only placeholders stay wrong. On Windows
        // the path is C:\mods\Characters\hero_01\Textures\..\body.mtls, so it is
        // C:\mods\Characters\hero_01\body.mtls that hashes under characters/hero_01/textures/.
        const QString as = QDir::toNativeSeparators("C:/mods/" + home + "../body.mtls");
        const QString kept = home.isEmpty() ? "\tplaceholder\n" : "\tmatches\n";
        QCOMPARE(tool({"textures", file, "--as", as}).text().count(kept), textures.size());
        const auto checked = tool({"check", "--hashes", native});
        const int wrong = verdict == Match ? 0 : textures.size();
        QCOMPARE(checked.status, wrong ? 1 : 0);
        QCOMPARE(checked.text().count("; saving here gives hashes for " + dir), wrong);
        QCOMPARE(tool({"check", file}).status, 0);
        // A save into the file's own folder gives hashes that match it.
        tool({"resave", file, folder + "/s"});
        QCOMPARE(tool({"textures", folder + "/s"}).text().count("\tmatches\n"), textures.size());

        // A truncated file says so first, in the same line; the next load and Clear View replace
        // the line, and a failed load leaves it with the library it is about.
        AnsweredWindow window; // its answerer closes the boxes of the failed loads
        const auto open = [&](const QString& name) {
            window.w.openFiles({QDir::toNativeSeparators(scratch->path(folder + "/" + name))});
            return libraryLine(window.w);
        };
        QVERIFY(writeFile(folder + "/cut.mtls", library(home, Cases[row][2], textures, 3)) &&
                writeFile(folder + "/bad.mtls", "not a library"));
        const QString cut =
            ("The file is truncated: 2 of 3 materials could be read. " + line).trimmed();
        for (const QString next : {"bad.mtls", "gone.mtls", "body.mtls"}) {
            QCOMPARE(open("cut.mtls"), cut);
            QCOMPARE(open(next), next == "body.mtls" ? line : cut);
        }
        call(window.w, "on_actionQueue_All_triggered");
        QCOMPARE(libraryLine(window.w), QString());
        QVERIFY(writeFile(folder + "/cut.mtls", readFile(file).left(102))); // inside the count
        QCOMPARE(open("cut.mtls"), QString("The file is truncated: no material could be read."));
    }

    void dumpPacksBack()
    {
        QVector<RawMaterial> every(16384); // every word from 0 to 65535, as flag words
        for (int n = 0; n < 65536; ++n)
            every[n / 4].flags[n % 4] = quint16(n);
        QRandomGenerator random(15);
        // The first two: no string, no material; then every word, with the format word at the
        // ends of its range.
        for (int round = 0; round < 34; ++round) {
            const QByteArray block =
                round < 2   ? buildBlock(QStringList("m").mid(round), {})
                : round < 4 ? buildBlock({"m"}, every).replace(4, 4, le32(0x7FFFFFFFu + round % 2))
                            : randomLibrary(random);
            // Well formed: check may only warn of what the editor's save changes.
            for (const mtls::Finding& finding : mtls::checkBlock(block))
                QVERIFY2(finding.text.startsWith("warning:"), qPrintable(finding.text));
            QVERIFY(writeFile("lib.mtls", block) && writeFile("out.mtls", "old"));
            const ToolRun dump = tool({"dump", "--json", "lib.mtls"});
            QVERIFY((round < 4 || dump.out.contains("\"bytes\": \"ffc328\"")) &&
                    writeFile("lib.json", dump.out));
            QCOMPARE(tool({"pack", "lib.json", "out.mtls"}).err, QString());
            QCOMPARE(readFile("out.mtls"), block);
        }
        // What a dump cannot carry, check does not call clean: stray bytes where zeros belong.
        for (const int at : {66, 77})
            QVERIFY(!mtls::checkBlock(exampleBlock().replace(at, 1, "\x01")).isEmpty());
    }

    // For every clean library, check's notes name exactly the materials and fields that diff
    // reports between the library and its resave into the same folder.
    void notesPredictTheResave()
    {
        const QRegularExpression note(": note: material \\d+ \"([^\"]*)\": (flag word \\d|main "
                                      "shader|variant|parameter \"[^\"]*\")");
        const QRegularExpression diff("^~ material \"([^\"]*)\"|^    (shader|flag word \\d|"
                                      "parameter \"[^\"]*\")");
        int changed = 0;
        for (quint32 seed = 0; seed < 40; ++seed) {
            QVERIFY(writeFile("lib.mtls", changedLibrary(seed)));
            const ToolRun check = tool({"check", "lib.mtls"});
            QCOMPARE(check.status, 0);
            QCOMPARE(tool({"resave", "lib.mtls", "r.mtls"}).status, 0);
            const QString diffed = tool({"diff", "lib.mtls", "r.mtls"}).text();
            const QSet<QString> noted = fields(check.text(), note);
            QCOMPARE(noted, fields(QString(diffed).replace("texture hash", "parameter"), diff));
            changed += !noted.isEmpty();
        }
        QVERIFY(changed > 30);
    }

    // Every hash of 0 to 17 digits, each digit an edge of a hex range or one just past it at
    // the first or the last place: 1 to 16 hex digits are taken, as the number they spell.
    void hashTexts()
    {
        QVERIFY(writeFile("a.mtls", library({"mat"})));
        const QString json = tool({"dump", "--json", "a.mtls"}).text();
        for (int n = 0; n <= 17; ++n)
            for (int bad = -1; bad < 2 && bad < n; ++bad) { // none, the first, the last
                QString hex = QString("09afAF").repeated(3).left(n);
                if (bad >= 0)
                    hex[bad ? n - 1 : 0] = QString("/:@G`g").at((n + 3 * bad) % 6);
                const QString edited = QString(json).replace("0x00000000deaddead", "0x" + hex);
                QVERIFY(writeFile("edited.json", edited.toUtf8()));
                const ToolRun run = tool({"pack", "edited.json", "b.mtls"});
                const bool taken = bad < 0 && n >= 1 && n <= 16;
                QVERIFY2(run.status == (taken ? 0 : 1), qPrintable(hex));
                if (taken)
                    QCOMPARE(mtls::decode(readFile("b.mtls"))->materials[0].items[2].first,
                             hex.toULongLong(nullptr, 16));
                else
                    QCOMPARE(run.err.section(": ", 2, 2), QString("materials[0].items[2].hash"));
            }
    }

    // diff shows a name as text exactly when its bytes are UTF-8: each code point at an edge of
    // an encoding length, of the surrogates and of the last code point, and one past it, in its
    // shortest form and one byte longer; other bytes show as \xNN.
    void diffReadsUtf8()
    {
        auto encode = [](char32_t c, int length) { // the bit layout, whatever the code point
            QByteArray bytes(length, char(c));
            for (int k = length - 1; k > 0; --k, c >>= 6)
                bytes[k] = char(0x80 | (c & 0x3F));
            bytes[0] = length > 1 ? char((0xFF00 >> length) | c) : bytes[0];
            return bytes;
        };
        QVERIFY(writeFile("a.mtls", library({"aaaaa", "other"})));
        for (const char32_t c : {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDFFF, 0xE000, 0xFFFF,
                                 0x10000, 0x10FFFF, 0x110000}) {
            const int shortest = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            for (int length = shortest; length <= qMin(shortest + 1, 4); ++length)
                for (const QByteArray before : {"", "\xff"}) { // alone, after a stray byte
                    const QByteArray name = (before + encode(c, length)).leftJustified(5, 'a');
                    QVERIFY(
                        writeFile("b.mtls", library({"aaaaa", "other"}).replace("aaaaa", name)));
                    const bool text =
                        length == shortest && (c < 0xD800 || c > 0xDFFF) && c <= 0x10FFFF;
                    const QString shown =
                        (before.isEmpty() ? "" : "\\xff") +
                        (text ? QString::fromUcs4(&c, 1)
                              : QString("\\x%1").arg(uchar(encode(c, length)[0]), 2, 16));
                    const QString said = tool({"diff", "a.mtls", "b.mtls"}).text();
                    QVERIFY2(said.contains("+ material \"" + shown), qPrintable(said));
                }
        }
    }

    void packAndDiff_data()
    {
        testrows::addRows(Edits);
    }

    void packAndDiff()
    {
        QFETCH(int, row);
        const QString b = Edits[row][0], status = Edits[row][1], phrase = Edits[row][2];
        const QStringList edit = b.split('|');
        QVERIFY(writeFile("a.mtls", library({"mat", "other"})));
        QString json = tool({"dump", "--json", "a.mtls"}).text();
        json.replace(json.indexOf(edit[0]), edit[0].size(), edit.value(1)); // none: no change
        QVERIFY(writeFile("edited.json", json.toUtf8()));
        if (edit.size() == 1)
            QVERIFY(writeFile(
                "b.mtls",
                b == "-" ? "MDL!" : library(QString(b).remove('~').split(' '), b.startsWith('~'))));
        // Packed where no file is, then over one: a refusal writes nothing.
        for (int over = 0; edit.size() == 2 && over < 2; ++over) {
            QFile::remove("b.mtls");
            QVERIFY(!over || writeFile("b.mtls", "kept"));
            const ToolRun run = tool({"pack", "edited.json", "b.mtls"});
            QCOMPARE(run.status, status == "-" ? 1 : 0);
            if (status != "-")
                break;
            QCOMPARE(run.err.section(": ", 2, 2 + phrase.count(": ")).trimmed(), phrase);
            QVERIFY(over ? readFile("b.mtls") == "kept" : !QFile::exists("b.mtls"));
        }
        if (status == "-")
            return;
        const ToolRun run = tool({"diff", "a.mtls", "b.mtls"});
        QCOMPARE(run.status, status.toInt());
        QVERIFY2((run.text() + run.err).contains(phrase), run.out.constData());
    }
    void rules_data()
    {
        testrows::addRows(Rows);
    }

    void rules()
    {
#ifdef Q_OS_WIN
        QSKIP("the rules run mtls from a POSIX shell (pipes, FIFOs, /dev/full, links)");
#endif
        QFETCH(int, row);
        ScratchDirectory scratch;
        testsupport::ModelBuilder hero;
        const QByteArray model =
            hero.names({"J_Hips", "Eye_L", "Jersey"}).materials({1, 2}).end().build();
        const QStringList shader{"m", "s::x", "V", "s", "x::V"};
        // "mx", which a save adds, lands at 65534 (the last offset a name may take) or past it.
        const QStringList near{"s", "v", QString(65525, 'p'), "m x"},
            far{"s", "v", near[2] + 'p', "m x"};
        const QStringList bom{QChar(0xFEFF) + QString("mat"), "yCS_gear", "Normal", "colorMap",
                              "tex_d"};
        QVERIFY(
            QDir().mkpath("a/hero") && writeFile("ex.mtls", exampleBlock()) &&
            writeFile("odd.mtls", richBlock()) && writeFile("lib.mtls", richBlock(false)) &&
            writeFile("hero.mdl", model) && writeFile("a/hero.mdl", model) &&
            writeFile("none.mdl", testsupport::ModelBuilder().names({"x"}).end().build()) &&
            writeFile("cut.mdl", model.left(model.indexOf("MBfD") - 2)) &&
            writeFile("80.mtls", exampleBlock().replace(45, 1, "\x80")) && // past ASCII
            writeFile("fe.mtls", exampleBlock().replace(45, 1, "\xfe")) &&
            writeFile("bom.mtls",
                      buildBlock(bom, {{0, 7, 16, {1, 2, 3, 4}, 1, {entry4(23, 32)}}})) &&
            writeFile("sx.mtls", buildBlock(shader, {{0, 2, 7, {}, 0, {}}})) &&
            writeFile("xv.mtls", buildBlock(shader, {{0, 9, 11, {}, 0, {}}})) &&
            writeFile("near.mtls", buildBlock(near, {{65530, 0, 2, {}, 0, {}}})) &&
            writeFile("far.mtls", buildBlock(far, {{65531, 0, 2, {}, 0, {}}})) &&
            writeFile("noname.mtls",
                      buildBlock({"m", "s", "v", "", "t"}, {{0, 2, 4, {}, 1, {entry4(6, 7)}}})) &&
            writeFile("w.mtls", buildBlock({"m", "s", QString(65530, 'x'), "w", "v"},
                                           {{65535, 2, 1, {}, 0, {}}, {0, 65535, 1, {}, 0, {}}})) &&
            writeFile("a/hero/gen.mtls", generatedLibrary(3, "/x/Characters/hero/gen.mtls")));
        QVERIFY(writeFile("ex.json", runTool(MTLS_BINARY, {"dump", "--json", "ex.mtls"}).out));
        // 3 cells a string and one a column of each row: 3,000,000 is the most the editor shows.
        if (QByteArray(Rows[row][0]).contains("budget"))
            QVERIFY(writeFile("atlimit.mtls", buildBlock(QVector<QString>(1000000).toList(), {})) &&
                    writeFile("pastlimit.mtls", buildBlock(QVector<QString>(999995).toList(),
                                                           {{0, 0, 0, {}, 0, {}}})));
        QMap<QString, QByteArray> before = filesHere();
        const ToolRun run = runTool("bash", {"-o", "pipefail", "-c", Rows[row][1]});
        QVERIFY2(run.status == QByteArray(Rows[row][2]).toInt() &&
                     (run.text() + run.err).contains(QString::fromUtf8(Rows[row][3])),
                 qPrintable(QString("exit %1: %2%3").arg(run.status).arg(run.text(), run.err)));
        QMap<QString, QByteArray> after = filesHere();
        for (const QString& name : QString(Rows[row][4]).split(' ', Qt::SkipEmptyParts)) {
            const QByteArray was = before.contains(name) ? before.take(name) : "<none>";
            QVERIFY2(after.contains(name) && after.take(name) != was,
                     qPrintable(name)); // or changed
        }
        QCOMPARE(after, before);
    }
};

QTEST_MAIN(TestMtls)
#include "tst_mtls.moc"
