// The shader catalogue over its INI file and in memory.

#include "catalogue/shadercatalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString FileName = QStringLiteral("MTLs_Shaders.ini");
const QString Head = QStringLiteral("yCS_head::Normal");
const QStringList Cells{"", "colorMap", "a,b", " lead", "trail ", "färg", ""};

QString fileText()
{
    QFile file(FileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What a load records, each key twice: only the first write of a key takes.
void fill(ShaderCatalogue& catalogue)
{
    const QList<QPair<QString, QVariant>> records{
        {ShaderCatalogue::paramsKey(Head), 7},
        {ShaderCatalogue::shadersKey(Head), Cells},
        {ShaderCatalogue::flagsKey(Head), QStringList{"1", "2", "3", "4"}},
        {"normalHash", QStringLiteral("5,Generic FNV")},
        {"oddEntry", QString("")},
        {ShaderCatalogue::paramsKey("C::x"), 70000},
        {ShaderCatalogue::flagsKey("D::x"), QStringList{"0", "0", "0", "0"}},
        {"Shaders", QStringLiteral("4")}, // a parameter that happens to be called so
        // A "/" in a shader name makes a subgroup, which is no child key of "Shaders".
        {ShaderCatalogue::shadersKey("odd/name::x"), QStringList{"p"}},
        // Lists that the INI format stores in forms of their own.
        {ShaderCatalogue::shadersKey("one::x"), QStringList{"colorMap"}},
        {ShaderCatalogue::shadersKey("blank::x"), QStringList{""}},
        {ShaderCatalogue::shadersKey("none::x"), QStringList()}};
    for (const auto& record : records)
        QVERIFY2(catalogue.record(record.first, record.second), qPrintable(record.first));
    for (const char* name : {"b::x", "a::x", "B::x", "_z::x", "::Normal", "A::y"})
        QVERIFY(catalogue.record(ShaderCatalogue::shadersKey(name), QStringList{"p"}));
    for (const auto& record : records)
        QVERIFY(!catalogue.record(record.first, QStringLiteral("9,9")));
}

void checkReads(const ShaderCatalogue& catalogue)
{
    QCOMPARE(catalogue.paramCount(Head), quint16(7));
    QCOMPARE(catalogue.paramCount("C::x"), quint16(70000 - 65536));
    QCOMPARE(catalogue.shaderCells(Head), Cells);
    QCOMPARE(catalogue.flags(Head), (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(catalogue.typeLine("normalHash"), std::optional<QString>("5,Generic FNV"));
    // An empty type line is recorded and is not the same as no type line at all.
    QCOMPARE(catalogue.typeLine("oddEntry"), std::optional<QString>(""));
    QCOMPARE(catalogue.shaderCells("one::x"), QStringList{"colorMap"});
    QCOMPARE(catalogue.shaderCells("blank::x"), QStringList{""});
    QCOMPARE(catalogue.shaderCells("none::x"), QStringList());
    QCOMPARE(catalogue.shaderNames(), (QStringList{"::Normal", "A::y", "B::x", "_z::x", "a::x",
                                                   "b::x", "blank::x", "none::x", "one::x", Head}));

    QCOMPARE(catalogue.paramCount("s::v"), quint16(0));
    QCOMPARE(catalogue.shaderCells("s::v"), QStringList());
    QCOMPARE(catalogue.flags("s::v"), QStringList());
    QCOMPARE(catalogue.typeLine("colorMap"), std::optional<QString>());
    QVERIFY(!catalogue.contains("colorMap"));
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void readsBack_data();
    void readsBack();
    void emptyKeyNeverWritten();

private:
    QTemporaryDir dir;
    QString originalDir;
};

void TestCatalogue::initTestCase()
{
    QVERIFY(dir.isValid());
    originalDir = QDir::currentPath();
}

void TestCatalogue::init()
{
    QVERIFY(QDir::setCurrent(dir.path()));
    QFile::remove(FileName);
}

void TestCatalogue::cleanupTestCase()
{
    QDir::setCurrent(originalDir);
}

void TestCatalogue::readsBack_data()
{
    QTest::addColumn<bool>("onFile");
    QTest::addColumn<bool>("reopened");
    QTest::newRow("memory") << false << false;
    QTest::newRow("file") << true << false;
    QTest::newRow("file, reopened") << true << true;
}

void TestCatalogue::readsBack()
{
    QFETCH(bool, onFile);
    QFETCH(bool, reopened);
    {
        ShaderCatalogue catalogue =
            onFile ? ShaderCatalogue(FileName) : ShaderCatalogue::inMemory();
        fill(catalogue);
        if (!reopened)
            checkReads(catalogue);
    }
    if (reopened)
        checkReads(ShaderCatalogue(FileName));
    QCOMPARE(QFile::exists(FileName), onFile);
}

// The file of earlier runs must stay readable, so its shape is pinned (the colons of a key
// are escaped).
void TestCatalogue::emptyKeyNeverWritten()
{
    for (const bool onFile : {false, true}) {
        ShaderCatalogue catalogue =
            onFile ? ShaderCatalogue(FileName) : ShaderCatalogue::inMemory();
        for (const char* key : {"", "/", "//"}) {
            QVERIFY(!catalogue.record(key, QStringLiteral("4")));
            QVERIFY(!catalogue.contains(key));
        }
        catalogue.record("colorMap", QStringLiteral("4"));
        catalogue.record("normalHash", QStringLiteral("5,Generic FNV"));
        catalogue.record(ShaderCatalogue::flagsKey("yCS_gear::Normal"),
                         QStringList{"1", "2", "3", "4"});
    }
    QCOMPARE(fileText(), QStringLiteral("[General]\ncolorMap=4\nnormalHash=\"5,Generic FNV\"\n"
                                        "\n[Flags]\nyCS_gear%3A%3ANormal=1, 2, 3, 4\n"));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
