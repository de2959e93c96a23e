// mtls pack and diff, run as the program: a JSON dump packs back to the very bytes it came
// from, a broken dump is refused at its JSON path without touching the output, and diff
// names what a modder changed and nothing else.
#include "mtls/blockcheck.h"
#include "support/core/blockbuilder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

using namespace testdata;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QString err;
};

Run tool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    const bool done =
        process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return {done ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray get(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

// A clean library of random strings, records and items with a random format word; one of
// its strings is not valid UTF-8.
QByteArray randomLibrary(QRandomGenerator& random)
{
    const QString odd = QStringLiteral("\x01\x02\x03"); // stands for the bytes ff c3 28
    QStringList dictionary{"mat", odd};
    for (int k = random.bounded(0, 10); k > 0; --k)
        dictionary.insert(random.bounded(1, dictionary.size() + 1),
                          QString::number(random.generate(), 36).left(random.bounded(7)) +
                              QStringLiteral("\"\\\t\x1f ").mid(random.bounded(6), 1) +
                              QChar(0xA0 + random.bounded(0x700)));
    auto any = [&](int from) {
        return offsetOf(dictionary, dictionary.at(random.bounded(from, dictionary.size())));
    };
    auto word = [&] { return quint16(random.bounded(0x10000)); };
    QVector<RawMaterial> materials(random.bounded(0, 5));
    for (RawMaterial& m : materials) {
        m = {any(0), any(0), any(0), {word(), word(), word(), word()}, 0, {}};
        for (int n = random.bounded(0, 7); n > 0; --n, ++m.count) {
            if (random.bounded(3) == 0) // global flag items only ever come before an entry
                m.items.append(globalFlag(random.bounded(2) ? 0x3F80 : 0));
            const quint16 name = any(1), kind = quint16(random.bounded(6));
            m.items.append(QVector<RawItem>{
                entry1(name, word(), word(), kind % 2 ? 1 : 3),
                entry2(name, random.generate64(), random.generate64()), entry4(name, any(0)),
                entry5(name, random.generate64()), entry3F80(name, word()),
                entry1(name, word(), word(), quint16(random.bounded(6, 0x3F80)))}
                               .at(kind));
        }
    }
    QByteArray block = buildBlock(dictionary, materials).replace(4, 4, le32(random.generate()));
    return block.replace(12 + offsetOf(dictionary, odd), 3, "\xff\xc3\x28");
}

// Materials alike but for their names, over a dictionary in this order or reversed.
QByteArray library(const QStringList& names, bool reversed = false)
{
    QStringList dictionary =
        QStringList{"colorMap", "tex_d", "gain", "hashA", "yCS_gear", "Normal", "yCS_skin"} + names;
    if (reversed)
        std::reverse(dictionary.begin(), dictionary.end());
    auto at = [&dictionary](const QString& text) { return offsetOf(dictionary, text); };
    const QVector<RawItem> items{entry4(at("colorMap"), at("tex_d")), entry1(at("gain"), 7, 9),
                                 entry5(at("hashA"), 0xDEADDEAD)};
    QVector<RawMaterial> materials;
    for (const QString& name : names)
        materials.append({at(name), at("yCS_gear"), at("Normal"), {1, 2, 3, 4}, 3, items});
    return buildBlock(dictionary, materials);
}

} // namespace

class TestPackDiff : public QObject {
    Q_OBJECT

private slots:
    void dumpPacksBack();
    void packRefuses_data();
    void packRefuses();
    void diff_data();
    void diff();

private:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    // The JSON dump of `block` with the first `from` in it made `to`, written as edited.json.
    bool editedDump(const QByteArray& block, const QString& from, const QString& to)
    {
        if (!put(path("base.mtls"), block))
            return false;
        QString json = QString::fromUtf8(tool({"dump", "--json", path("base.mtls")}).out);
        return json.contains(from) &&
               put(path("edited.json"), json.replace(json.indexOf(from), from.size(), to).toUtf8());
    }
};

void TestPackDiff::dumpPacksBack()
{
    QRandomGenerator random(15);
    for (int round = 0; round < 30; ++round) {
        const QByteArray block = randomLibrary(random);
        // Well formed: what check may still warn of is what the editor's save changes.
        for (const mtls::Finding& finding : mtls::checkBlock(block))
            QVERIFY2(finding.text.startsWith("warning:"), qPrintable(finding.text));
        QVERIFY(put(path("lib.mtls"), block) && put(path("out.mtls"), "old"));
        const Run dump = tool({"dump", "--json", path("lib.mtls")});
        QVERIFY(dump.out.contains("\"bytes\": \"ffc328\"") && put(path("lib.json"), dump.out));
        QCOMPARE(tool({"pack", path("lib.json"), path("out.mtls")}).err, QString());
        QCOMPARE(get(path("out.mtls")), block);
    }
    // What a dump cannot carry, check does not call clean: stray bytes where zeros belong.
    for (const int at : {66, 77}) {
        QByteArray stray = exampleBlock();
        stray[at] = 1;
        QVERIFY(!mtls::checkBlock(stray).isEmpty());
    }
}

void TestPackDiff::packRefuses_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("where"); // the JSON path the refusal names
    const char* const rows[][3] = {
        {R"("formatWord": 5,)", R"("formatWord": 5,,)", "bad JSON at byte 21"},
        {R"("flags": [1, 2, 3, 4],)", "", "materials[0].flags"},
        {"[1, 2, 3, 4]", "[1, 2, 3, 65536]", "materials[0].flags[3]"},
        {R"("materialCount": 2)", R"("materialCount": -2)", "materialCount"},
        {R"({"offset": 0,)", R"({"offset": 1,)", "materials[0].items[0].name.offset"},
        {R"("value": {"offset": 9)", R"("value": {"offset": 8)",
         "materials[0].items[0].value.offset"},
        {"0x00000000deaddead", "0xZZ", "materials[0].items[2].hash"},
        {R"("colorMap"})", R"("colorMap", "bytes": "6d6"})", "dictionary[0].bytes"},
        {R"("colorMap"})", R"("colorMap", "bytes": "6d00"})", "dictionary[0].bytes"},
        {R"("offset": 9,)", R"("offset": 8,)", "dictionary[1].offset"},
        {R"("stringTableSize": )", R"("stringTableSize": 1)", "stringTableSize"},
        {R"("truncated": false)", R"("truncated": true)", "truncated"},
        {R"({"offset": 0,)", R"({}, "globalFlag": [0, 7], "x": {"offset": 0,)",
         "materials[0].items[0].globalFlag[1]"},
        {R"("type": 4)", R"("type": 0)", "materials[0].items[0].type"}};
    for (const auto& row : rows)
        QTest::newRow(row[2]) << row[0] << row[1] << row[2];
}

void TestPackDiff::packRefuses()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, where);
    QVERIFY(editedDump(library({"mat", "other"}), from, to));
    for (const QByteArray& before : {QByteArray("(none)"), QByteArray("kept")}) {
        QFile::remove(path("out.mtls"));
        QVERIFY(before == "(none)" || put(path("out.mtls"), before));
        const Run run = tool({"pack", path("edited.json"), path("out.mtls")});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.section(": ", 2, 2) == where, qPrintable(run.err));
        QCOMPARE(get(path("out.mtls")), before);
    }
}

void TestPackDiff::diff_data()
{
    // B: the names of its materials (~: over the reversed dictionary), "from|to": A with one
    // edit of its dump, -: no library at all. A is library({"mat", "other"}).
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("phrase");
    QTest::newRow("same") << "mat other" << 0 << "same: 2 materials\n";
    QTest::newRow("strings moved") << "~mat other" << 0 << "same: 2 materials\n";
    QTest::newRow("renamed") << "mat2 other" << 1
                             << "\"mat\" (yCS_gear::Normal)\n+ material \"mat2\"";
    QTest::newRow("added") << "mat other x" << 1
                           << "+ material \"x\" (yCS_gear::Normal)\n0 changed, 1 added";
    QTest::newRow("removed") << "mat" << 1 << "- material \"other\"";
    QTest::newRow("moved") << "other mat" << 1 << "material order: mat, other -> other, mat";
    QTest::newRow("shader") << R"(Shader": {"offset": 26|Shader": {"offset": 42)" << 1
                            << "shader: yCS_gear::Normal -> yCS_skin::Normal";
    QTest::newRow("flag word") << "[1, 2, 3, 4]|[1, 2, 8, 4]" << 1
                               << "\"mat\"\n    flag word 3: 3 -> 8\n";
    QTest::newRow("parameter") << "[7, 9]|[7, 10]" << 1
                               << "\"gain\": type 1 numbers 7 9 -> type 1 numbers 7 10";
    QTest::newRow("hash") << "deaddead|00000001" << 1
                          << "hash \"hashA\": 0x00000000deaddead -> 0x0000000000000001";
    QTest::newRow("no library") << "-" << 2 << "Invalid File";
}

void TestPackDiff::diff()
{
    QFETCH(QString, b);
    QFETCH(int, status);
    QFETCH(QString, phrase);
    const QByteArray a = library({"mat", "other"});
    const QStringList edit = b.split('|');
    QVERIFY(put(path("a.mtls"), a));
    if (edit.size() == 2)
        QVERIFY(editedDump(a, edit[0], edit[1]) &&
                tool({"pack", path("edited.json"), path("b.mtls")}).status == 0);
    else
        QVERIFY(
            put(path("b.mtls"),
                b == "-" ? "MDL!" : library(b.remove('~').split(' '), edit[0].startsWith('~'))));
    const Run run = tool({"diff", path("a.mtls"), path("b.mtls")});
    QCOMPARE(run.status, status);
    QVERIFY2((QString::fromUtf8(run.out) + run.err).contains(phrase), run.out.constData());
}

QTEST_GUILESS_MAIN(TestPackDiff)
#include "tst_packdiff.moc"
