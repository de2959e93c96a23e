// The shader catalogue over its INI file and in memory.

#include "catalogue/shadercatalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString FileName = QStringLiteral("MTLs_Shaders.ini");

QStringList warnings;
QtMessageHandler previousHandler = nullptr;

void collectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg)
        warnings.append(text);
    previousHandler(type, context, text);
}

QString fileText()
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void recordIfAbsent_data();
    void recordIfAbsent();
    void listRoundTrip_data();
    void listRoundTrip();
    void typeLineKeepsItsComma();
    void iniLayout();
    void shaderNamesSortedCaseSensitively_data();
    void shaderNamesSortedCaseSensitively();
    void missingKeysReadEmpty_data();
    void missingKeysReadEmpty();
    void emptyKeyNeverWritten_data();
    void emptyKeyNeverWritten();
    void fileCreatedByFirstWrite();
    void relativePathFixedAtConstruction();
    void movesKeepTheBacking();

private:
    QTemporaryDir dir;
    QString originalDir;
};

void TestCatalogue::initTestCase()
{
    QVERIFY(dir.isValid());
    originalDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    previousHandler = qInstallMessageHandler(collectWarnings);
}

void TestCatalogue::init()
{
    QDir::setCurrent(dir.path());
    QFile::remove(FileName);
    warnings.clear();
}

void TestCatalogue::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
    QDir::setCurrent(originalDir);
}

void TestCatalogue::recordIfAbsent_data()
{
    QTest::addColumn<bool>("onFile");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");

    for (const bool onFile : {true, false}) {
        const char* where = onFile ? "file" : "memory";
        QTest::addRow("params, %s", where)
            << onFile << "Params/yCS_head::Normal" << QVariant(7) << QVariant(3);
        QTest::addRow("shaders, %s", where)
            << onFile << "Shaders/yCS_head::Normal" << QVariant(QStringList{"colorMap", "tex_d"})
            << QVariant(QStringList{"other"});
        QTest::addRow("flags, %s", where)
            << onFile << "Flags/yCS_head::Normal" << QVariant(QStringList{"1", "2", "3", "4"})
            << QVariant(QStringList{"9", "9", "9", "9"});
        QTest::addRow("type line, %s", where)
            << onFile << "colorMap" << QVariant(QStringLiteral("4"))
            << QVariant(QStringLiteral("1,2,0"));
    }
}

void TestCatalogue::recordIfAbsent()
{
    QFETCH(bool, onFile);
    QFETCH(QString, key);
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);

    auto check = [&](const ShaderCatalogue& catalogue) {
        QVERIFY(catalogue.contains(key));
        if (key.startsWith("Params/")) {
            QCOMPARE(catalogue.paramCount("yCS_head::Normal"), quint16(7));
        } else if (key.startsWith("Shaders/")) {
            QCOMPARE(catalogue.shaderCells("yCS_head::Normal"), (QStringList{"colorMap", "tex_d"}));
        } else if (key.startsWith("Flags/")) {
            QCOMPARE(catalogue.flags("yCS_head::Normal"), (QStringList{"1", "2", "3", "4"}));
        } else {
            QCOMPARE(catalogue.typeLine(key), std::optional<QString>("4"));
        }
    };

    {
        ShaderCatalogue catalogue =
            onFile ? ShaderCatalogue(FileName) : ShaderCatalogue::inMemory();
        QVERIFY(!catalogue.contains(key));
        QVERIFY(catalogue.record(key, first));
        QVERIFY(!catalogue.record(key, second));
        check(catalogue);
    }
    if (onFile) {
        ShaderCatalogue reopened(FileName);
        QVERIFY(!reopened.record(key, second));
        check(reopened);
    }
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

void TestCatalogue::listRoundTrip_data()
{
    QTest::addColumn<QStringList>("cells");

    QTest::newRow("plain") << QStringList{"colorMap", "tex_d", "normalMap"};
    QTest::newRow("empty strings kept") << QStringList{"", "colorMap", "", "", "tex_d", ""};
    QTest::newRow("one element") << QStringList{"colorMap"};
    QTest::newRow("one empty string") << QStringList{""};
    QTest::newRow("no element") << QStringList();
    QTest::newRow("texts with commas and spaces")
        << QStringList{"a,b", " lead", "Global@ShaderFlag0-16256", "trail "};
    QTest::newRow("non-ASCII") << QStringList{"färg", "テクスチャ"};
}

void TestCatalogue::listRoundTrip()
{
    QFETCH(QStringList, cells);
    {
        ShaderCatalogue catalogue(FileName);
        QVERIFY(catalogue.record(ShaderCatalogue::shadersKey("s::v"), cells));
        QVERIFY(catalogue.record(ShaderCatalogue::flagsKey("s::v"), cells));
    }
    ShaderCatalogue reopened(FileName);
    QCOMPARE(reopened.shaderCells("s::v"), cells);
    QCOMPARE(reopened.flags("s::v"), cells);

    ShaderCatalogue memory = ShaderCatalogue::inMemory();
    memory.record(ShaderCatalogue::shadersKey("s::v"), cells);
    QCOMPARE(memory.shaderCells("s::v"), cells);
}

void TestCatalogue::typeLineKeepsItsComma()
{
    {
        ShaderCatalogue catalogue(FileName);
        catalogue.record("normalHash", QStringLiteral("5,Generic FNV"));
        catalogue.record("tint", QStringLiteral("1,2,0"));
        catalogue.record("oddEntry", QString(""));
    }
    ShaderCatalogue reopened(FileName);
    QCOMPARE(reopened.typeLine("normalHash"), std::optional<QString>("5,Generic FNV"));
    QCOMPARE(reopened.typeLine("tint"), std::optional<QString>("1,2,0"));
    // An empty type line is recorded and is not the same as no type line at all.
    QCOMPARE(reopened.typeLine("oddEntry"), std::optional<QString>(""));
}

// Files written by earlier runs must stay readable, so the on-disk shape is pinned (QSettings
// escapes the colons of a key).
void TestCatalogue::iniLayout()
{
    {
        ShaderCatalogue catalogue(FileName);
        catalogue.record("Params/yCS_gear::Normal", 1);
        catalogue.record("Flags/yCS_gear::Normal", QStringList{"1", "2", "3", "4"});
        catalogue.record("colorMap", QStringLiteral("4"));
        catalogue.record("normalHash", QStringLiteral("5,Generic FNV"));
    }
    QCOMPARE(fileText(), QStringLiteral("[General]\n"
                                        "colorMap=4\n"
                                        "normalHash=\"5,Generic FNV\"\n"
                                        "\n"
                                        "[Flags]\n"
                                        "yCS_gear%3A%3ANormal=1, 2, 3, 4\n"
                                        "\n"
                                        "[Params]\n"
                                        "yCS_gear%3A%3ANormal=1\n"));
}

void TestCatalogue::shaderNamesSortedCaseSensitively_data()
{
    QTest::addColumn<bool>("onFile");
    QTest::newRow("file") << true;
    QTest::newRow("memory") << false;
}

void TestCatalogue::shaderNamesSortedCaseSensitively()
{
    QFETCH(bool, onFile);
    ShaderCatalogue catalogue = onFile ? ShaderCatalogue(FileName) : ShaderCatalogue::inMemory();
    for (const char* name : {"b::x", "a::x", "B::x", "_z::x", "::Normal", "A::y"})
        catalogue.record(ShaderCatalogue::shadersKey(name), QStringList{"p"});
    catalogue.record(ShaderCatalogue::paramsKey("C::x"), 1);
    catalogue.record(ShaderCatalogue::flagsKey("D::x"), QStringList{"0", "0", "0", "0"});
    catalogue.record("Shaders", QStringLiteral("4")); // a parameter that happens to be called so
    // A "/" in a shader name makes a subgroup, which is no child key of "Shaders".
    catalogue.record(ShaderCatalogue::shadersKey("odd/name::x"), QStringList{"p"});
    catalogue.sync();

    const QStringList expected{"::Normal", "A::y", "B::x", "_z::x", "a::x", "b::x"};
    QCOMPARE(catalogue.shaderNames(), expected);
    if (onFile)
        QCOMPARE(ShaderCatalogue(FileName).shaderNames(), expected);
}

void TestCatalogue::missingKeysReadEmpty_data()
{
    shaderNamesSortedCaseSensitively_data();
}

void TestCatalogue::missingKeysReadEmpty()
{
    QFETCH(bool, onFile);
    ShaderCatalogue catalogue = onFile ? ShaderCatalogue(FileName) : ShaderCatalogue::inMemory();
    catalogue.record(ShaderCatalogue::paramsKey("other::x"), 5);
    catalogue.record("otherParam", QStringLiteral("4"));

    QCOMPARE(catalogue.paramCount("s::v"), quint16(0));
    QCOMPARE(catalogue.shaderCells("s::v"), QStringList());
    QCOMPARE(catalogue.flags("s::v"), QStringList());
    QCOMPARE(catalogue.typeLine("colorMap"), std::optional<QString>());
    QCOMPARE(catalogue.shaderNames(), QStringList());
    QVERIFY(!catalogue.contains("colorMap"));
}

void TestCatalogue::emptyKeyNeverWritten_data()
{
    QTest::addColumn<bool>("onFile");
    QTest::addColumn<QString>("key");
    QTest::newRow("empty, file") << true << "";
    QTest::newRow("slash, file") << true << "/";
    QTest::newRow("slashes, file") << true << "//";
    QTest::newRow("empty, memory") << false << "";
    QTest::newRow("slash, memory") << false << "/";
}

void TestCatalogue::emptyKeyNeverWritten()
{
    QFETCH(bool, onFile);
    QFETCH(QString, key);
    {
        ShaderCatalogue catalogue =
            onFile ? ShaderCatalogue(FileName) : ShaderCatalogue::inMemory();
        QVERIFY(!catalogue.record(key, QStringLiteral("4")));
        QVERIFY(!catalogue.contains(key));
        QCOMPARE(catalogue.typeLine(key), std::optional<QString>());
        catalogue.record("colorMap", QStringLiteral("4"));
    }
    if (onFile)
        QCOMPARE(fileText(), QStringLiteral("[General]\ncolorMap=4\n"));
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

void TestCatalogue::fileCreatedByFirstWrite()
{
    {
        ShaderCatalogue catalogue(FileName);
        QCOMPARE(catalogue.shaderNames(), QStringList());
        QCOMPARE(catalogue.paramCount("s::v"), quint16(0));
        catalogue.sync();
    }
    QVERIFY(!QFile::exists(FileName)); // reading alone leaves no file behind

    ShaderCatalogue catalogue(FileName);
    catalogue.record(ShaderCatalogue::paramsKey("s::v"), 70000);
    QCOMPARE(catalogue.paramCount("s::v"), quint16(70000 & 0xFFFF));
    catalogue.sync();
    QVERIFY(QFile::exists(FileName));
    QCOMPARE(fileText(), QStringLiteral("[Params]\ns%3A%3Av=70000\n"));
}

void TestCatalogue::relativePathFixedAtConstruction()
{
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    {
        ShaderCatalogue catalogue(FileName);
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        catalogue.record("colorMap", QStringLiteral("4"));
    }
    QVERIFY(!QFile::exists(elsewhere.filePath(FileName)));
    QVERIFY(QFile::exists(dir.filePath(FileName)));
}

void TestCatalogue::movesKeepTheBacking()
{
    {
        ShaderCatalogue original(FileName);
        ShaderCatalogue moved(std::move(original));
        QVERIFY(moved.record("colorMap", QStringLiteral("4")));

        ShaderCatalogue assigned = ShaderCatalogue::inMemory();
        assigned.record("inMemoryOnly", QStringLiteral("4"));
        assigned = std::move(moved);
        QVERIFY(assigned.contains("colorMap"));
        QVERIFY(!assigned.contains("inMemoryOnly"));
    }
    QCOMPARE(ShaderCatalogue(FileName).typeLine("colorMap"), std::optional<QString>("4"));

    ShaderCatalogue memory = ShaderCatalogue::inMemory();
    memory.record("tint", QStringLiteral("1,2,0"));
    ShaderCatalogue memoryMoved(std::move(memory));
    QCOMPARE(memoryMoved.typeLine("tint"), std::optional<QString>("1,2,0"));
    QVERIFY(!QFile::exists(FileName + ".lock"));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
