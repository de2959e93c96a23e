// Files from strangers: counts that the data does not back must buy neither memory nor
// time, in the layout and in the window.
//
// The memory bound is measured on a fresh process: the test runs itself again (the slot
// childLoad, armed by an environment variable) to open one file in a new window, and reads
// that process's peak resident size (VmHWM) and the time the load took.
#include "app/mainwindow.h"
#include "mtls/block.h"
#include "mtls/library.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QtTest>
#include <cstdio>
#include <cstring>

using namespace testdata;

namespace {

const char* const ChildFileVariable = "LATHRINE_HOSTILE_FILE";
const char* const ChildAllocateVariable = "LATHRINE_HOSTILE_ALLOCATE_MIB";

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's shadow memory, red zones and quarantine of freed blocks are
// resident too; the same loads stay within these looser bounds there.
constexpr qint64 PeakBound = 400 * MiB;
constexpr qint64 LoadMilliseconds = 20000;
#else
constexpr qint64 PeakBound = 100 * MiB;
constexpr qint64 LoadMilliseconds = 5000;
#endif

// Peak resident size of this process in bytes, from /proc/self/status; -1 when unknown.
qint64 peakResident()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * KiB;
    return -1;
}

const QStringList hostileDictionary{"mat", "yCS", "Normal", "tex"}; // offsets 0, 4, 8, 15

// Model_ID "mat", main shader "yCS", variant "Normal"; `entries` type 4 entries tex = tex.
RawMaterial material(quint16 count, int entries)
{
    RawMaterial m;
    m.modelId = 0;
    m.mainShader = 4;
    m.variant = 8;
    m.count = count;
    m.items = QVector<RawItem>(entries, entry4(15, 15));
    return m;
}

// 2^31 - 1 materials claimed; `empty` records without parameters, then one that claims
// 65535 parameters and holds only `entries` of them before the data ends.
QByteArray hostileFile(int empty, int entries)
{
    QVector<RawMaterial> materials(empty, material(0, 0));
    materials.append(material(65535, entries));
    return buildBlock(hostileDictionary, materials, 0x7FFFFFFFu);
}

struct ChildReport {
    qint64 peak = -1;
    qint64 milliseconds = -1;
    int rows = -1;
    int columns = -1;
    QString output;
};

// Runs this test program again with the given environment and reads what childLoad printed.
ChildReport runChild(const QString& variable, const QString& value)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(variable, value);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childLoad")});
    ChildReport report;
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        report.output = QStringLiteral("no answer within 120 s");
        return report;
    }
    report.output = QString::fromLocal8Bit(child.readAll());
    for (const QString& line : report.output.split(QLatin1Char('\n'))) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.size() != 2 || !words[0].startsWith(QLatin1String("hostile-")))
            continue;
        if (words[0] == QLatin1String("hostile-peak"))
            report.peak = words[1].toLongLong();
        else if (words[0] == QLatin1String("hostile-ms"))
            report.milliseconds = words[1].toLongLong();
        else if (words[0] == QLatin1String("hostile-rows"))
            report.rows = words[1].toInt();
        else if (words[0] == QLatin1String("hostile-columns"))
            report.columns = words[1].toInt();
    }
    return report;
}

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutTrustsOnlyTheData_data();
    void layoutTrustsOnlyTheData();
    void childLoad();
    void meterSeesAllocation();
    void hostileLoadStaysSmall_data();
    void hostileLoadStaysSmall();

private:
    QTemporaryDir workDir;
};

void HostileTest::initTestCase()
{
    QVERIFY(workDir.isValid());
    QVERIFY(QDir::setCurrent(workDir.path())); // the load writes the catalogue here
}

void HostileTest::layoutTrustsOnlyTheData_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("truncated");

    // A record whose 20 parameters are all there widens the table to 2 x 20 + 1; one cut
    // off after 3 of them counts with those 3.
    RawMaterial whole = material(20, 0);
    whole.items = QVector<RawItem>(20, entry1(15, 0, 0));
    RawMaterial cut = whole;
    cut.items.resize(3);
    QTest::newRow("20 of 20 parameters")
        << buildBlock(hostileDictionary, {whole}) << 1 << 41 << false;
    QTest::newRow("3 of 20 parameters") << buildBlock(hostileDictionary, {cut}) << 1 << 15 << true;
    QTest::newRow("claims only") << hostileFile(0, 0) << 1 << 15 << true;
    QTest::newRow("1,000 rows, then a wide claim") << hostileFile(1000, 0) << 1001 << 15 << true;
    QTest::newRow("64 KiB of one wide record") << hostileFile(0, 8185) << 1 << 16375 << true;
    QTest::newRow("1,000 rows, then 64 KiB of a wide record")
        << hostileFile(1000, 8185) << 1001 << 16375 << true;
    // A cell for each of 16,384 global flag items, then the one entry and its value.
    RawMaterial flags = material(1, 1);
    flags.items = QVector<RawItem>(1 << 14, globalFlag(0x3F80)) + flags.items;
    QTest::newRow("64 KiB of global flag items")
        << buildBlock(hostileDictionary, {flags}) << 1 << 16391 << false;
}

// The layout never widens or lengthens the table past what the data holds.
void HostileTest::layoutTrustsOnlyTheData()
{
    QFETCH(QByteArray, file);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(bool, truncated);
    const std::optional<mtls::Block> block = mtls::decode(file);
    QVERIFY(block);
    const mtls::LoadedLibrary library = mtls::layoutBlock(*block);
    QCOMPARE(library.grid.rows.size(), rows);
    QCOMPARE(library.grid.columnCount, columns);
    QCOMPARE(library.truncated, truncated);
    // The window's budget is decided on a count made without the layout: it must agree.
    const std::optional<mtls::TableCells> cells = mtls::tableCells(file);
    QVERIFY(cells);
    QCOMPARE(cells->strings, qint64(library.dictionary.size()));
    QCOMPARE(cells->rows, qint64(rows));
    QCOMPARE(cells->columns, qint64(columns + 1));
}

// Only in the process that runChild starts: allocate and touch memory, or open a file.
void HostileTest::childLoad()
{
    const QByteArray allocate = qgetenv(ChildAllocateVariable);
    const QString path = qEnvironmentVariable(ChildFileVariable);
    if (allocate.isEmpty() && path.isEmpty())
        QSKIP("runs only as the child of the memory tests");
    QElapsedTimer timer;
    timer.start();
    int rows = 0;
    int columns = 0;
    if (!allocate.isEmpty()) {
        const size_t bytes = size_t(allocate.toLongLong() * MiB);
        char* block = static_cast<char*>(std::malloc(bytes));
        QVERIFY(block);
        std::memset(block, 1, bytes);
        rows = block[bytes - 1];
        std::free(block);
    } else {
        ModalAnswerer answerer; // closes the box of a refusal
        MainWindow window;
        testwindow::call(window, "open_mtl", path);
        const QTableWidget* table =
            window.findChild<QTableWidget*>(QStringLiteral("ExternalTable"));
        QVERIFY(table);
        rows = table->rowCount();
        columns = table->columnCount();
    }
    std::printf("hostile-ms %lld\nhostile-peak %lld\nhostile-rows %d\nhostile-columns %d\n",
                qlonglong(timer.elapsed()), qlonglong(peakResident()), rows, columns);
    std::fflush(stdout);
}

// The meter itself: a child that touches 160 MiB must be seen above the bound, or a passing
// bound below would prove nothing.
void HostileTest::meterSeesAllocation()
{
    const ChildReport report =
        runChild(QLatin1String(ChildAllocateVariable), QStringLiteral("160"));
    QVERIFY2(report.peak >= 160 * MiB, qPrintable(report.output));
}

void HostileTest::hostileLoadStaysSmall_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("rows"); // rows the window shows afterwards

    // Every file claims 2^31 - 1 materials and its last record 65535 parameters; the data
    // holds at most 64 KiB of entries and 1,000 records. The rows the data holds decide
    // what the window shows: the claims must buy neither columns nor rows.
    QTest::newRow("claims only") << hostileFile(0, 0) << 1;
    QTest::newRow("64 KiB of one wide record") << hostileFile(0, 8185) << 1;
    QTest::newRow("1,000 rows, then a wide claim") << hostileFile(1000, 0) << 1001;
    // 1,001 rows of 16,376 columns pass the table budget: refused whole, the window stays
    // as it was (a fresh window shows two empty rows).
    QTest::newRow("1,000 rows, then 64 KiB of a wide record") << hostileFile(1000, 8185) << 2;
    // Files made of one thing only: empty strings or short strings.
    QTest::newRow("1 MiB of empty strings")
        << buildBlock(QStringList(QVector<QString>(1 << 20).toList()), {material(0, 0)}) << 2;
    QStringList shortStrings = hostileDictionary;
    while (shortStrings.size() < 16384)
        shortStrings.append(QStringLiteral("a"));
    QTest::newRow("32 KiB of short strings") << buildBlock(shortStrings, {material(0, 0)}) << 1;
}

// A file claiming 2^31 - 1 materials and 65535 parameters per material: the load returns
// within seconds and the process's peak stays below the bound.
void HostileTest::hostileLoadStaysSmall()
{
    QFETCH(QByteArray, file);
    QFETCH(int, rows);
    const QString path = workDir.filePath(QStringLiteral("hostile.mtls"));
    QVERIFY(testwindow::writeFile(path, file));

    const ChildReport report = runChild(QLatin1String(ChildFileVariable), path);
    qInfo("peak %lld MiB, load %lld ms, %d rows x %d columns", report.peak / MiB,
          report.milliseconds, report.rows, report.columns);
    QVERIFY2(report.peak > 0 && report.milliseconds >= 0, qPrintable(report.output));
    QCOMPARE(report.rows, rows);
    QVERIFY2(report.milliseconds < LoadMilliseconds, qPrintable(report.output));
    QVERIFY2(report.peak < PeakBound, qPrintable(report.output));
}

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
