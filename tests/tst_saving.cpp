// Saving through the window: the save dialog and its guards, texture hashes from the save path,
// the dictionary limit, the writer's own rules seen from the tables, round trips, atomic
// replacement of the output, and the preview writer. Every expected byte is written out here.
#include "app/mainwindow.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStorageInfo>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

using Messages = QList<ModalAnswerer::Message>;

const QString Warning = QStringLiteral("Warning");
const QString Saved = QStringLiteral("File Saved Successfully.");

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text); // spaces and bars are only for reading
}

// The example block as the preview writer writes it: S is 36, the trailing "" took the
// padding byte, so the count stays at 48.
const char* const PreviewOfExample =
    "4D 54 4C 73 05 00 00 00 24 00 00 00 | 6D 61 74 00 | 79 43 53 5F 67 65 61 72 00 |"
    "4E 6F 72 6D 61 6C 00 | 63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 |"
    "01 00 00 00 | 00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 01 00 |"
    "14 00 04 00 1D 00 00 00";

// mat, yCS_gear::Normal, flags 1 to 4: gain is type 1 whose number a (25) starts "tex_d",
// so the loader shows "tex_d" after it; then colorMap = tex_d.
const char* const ShownValueLibrary =
    "4D 54 4C 73 05 00 00 00 28 00 00 00 | 6D 61 74 00 | 79 43 53 5F 67 65 61 72 00 |"
    "4E 6F 72 6D 61 6C 00 | 67 61 69 6E 00 | 74 65 78 5F 64 00 | 63 6F 6C 6F 72 4D 61 70 00 |"
    "01 00 00 00 | 00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 02 00 |"
    "14 00 01 00 19 00 09 00 | 1F 00 04 00 19 00 00 00";

RawMaterial material(quint16 name, quint16 mainShader, quint16 variant, QVector<RawItem> items)
{
    RawMaterial m;
    m.modelId = name;
    m.mainShader = mainShader;
    m.variant = variant;
    m.flags = {1, 2, 3, 4};
    m.count = quint16(items.size());
    m.items = std::move(items);
    return m;
}

// Strings whose stored bytes (UTF-8 and the zero) add up to `bytes`, in pieces of at most
// 16000 bytes.
QStringList fillers(int bytes)
{
    QStringList strings;
    for (char letter = 'a'; bytes > 0; ++letter) {
        const int piece = std::min(bytes, 16000);
        strings.append(QString(piece - 1, QLatin1Char(letter)));
        bytes -= piece;
    }
    return strings;
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Everything of the materials table that a failed save must leave as it was.
QStringList tableState(const QTableWidget* table)
{
    QStringList state{QStringLiteral("columns %1").arg(table->columnCount())};
    QStringList headers;
    QString hidden;
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem* header = table->horizontalHeaderItem(c);
        headers.append(header ? header->text() : QStringLiteral("<none>"));
        hidden.append(table->isColumnHidden(c) ? QLatin1Char('h') : QLatin1Char('-'));
    }
    state << headers.join(QLatin1Char('|')) << hidden;
    for (int r = 0; r < table->rowCount(); ++r) {
        const auto* button = qobject_cast<const QPushButton*>(table->cellWidget(r, 1));
        state.append((button ? button->text() : QStringLiteral("<no button>")) + QLatin1Char(' ') +
                     rowTexts(table, r).join(QLatin1Char('|')));
    }
    return state;
}

int modifyButtons(const QTableWidget* table)
{
    // Buttons of removed columns go away with the deferred deletes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int count = 0;
    for (const QPushButton* button : table->findChildren<QPushButton*>())
        count += button->text() == QLatin1String("MODIFY");
    return count;
}

// Notes, for every message box the moment it shows, its text and the window's current file.
class BoxWatcher : public QObject {
public:
    explicit BoxWatcher(const MainWindow& window) : window(window)
    {
        qApp->installEventFilter(this);
    }
    ~BoxWatcher() override { qApp->removeEventFilter(this); }
    QStringList seen;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (const auto* box = qobject_cast<QMessageBox*>(object))
                seen.append(box->text() + QStringLiteral(" @ ") +
                            QFileInfo(window.current_file).fileName());
        return false;
    }

private:
    const MainWindow& window;
};

// Says Yes when the save dialog asks whether to replace an existing file. The dialog asks from
// inside the answerer's timer slot, which Qt does not run again until it returns, so the
// question needs a timer of its own.
class ReplaceConfirmer : public QObject {
public:
    ReplaceConfirmer()
    {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !box->text().contains(QLatin1String("already exists")))
                return;
            ++asked;
            box->button(QMessageBox::Yes)->click();
        });
        timer.start();
    }
    int asked = 0;

private:
    QTimer timer;
};

// Collects the debug lines while it lives; everything else goes on to the test's handler.
class DebugLines {
public:
    DebugLines()
    {
        active = this;
        previous = qInstallMessageHandler(&DebugLines::handle);
    }
    ~DebugLines()
    {
        qInstallMessageHandler(previous);
        active = nullptr;
    }
    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtDebugMsg && active)
            active->lines.append(text);
        else if (active && active->previous)
            active->previous(type, context, text);
    }
    static DebugLines* active;
    QtMessageHandler previous = nullptr;
};
DebugLines* DebugLines::active = nullptr;

// A 64 KiB memory file system, unmounted again when the object goes.
class SmallDisk {
public:
    explicit SmallDisk(const QString& dir) : dir(dir)
    {
        QDir().mkpath(dir);
        QProcess mount;
        mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", dir});
        mounted = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit &&
                  mount.exitCode() == 0;
        if (mounted && QStorageInfo(dir).bytesTotal() > 64 * 1024)
            unmount();
    }
    ~SmallDisk()
    {
        if (mounted)
            unmount();
    }
    bool mounted = false;

    // Fills the disk with 4 KiB files until it refuses one; returns their paths.
    QStringList fill() const
    {
        const QByteArray page(4096, 'f');
        QStringList paths;
        for (int i = 0; i < 64; ++i) {
            const QString path = dir + QStringLiteral("/filler%1").arg(i, 2, 10, QLatin1Char('0'));
            QFile file(path);
            const bool whole = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                               file.write(page) == page.size();
            file.close();
            if (!whole) {
                QFile::remove(path);
                break;
            }
            paths.append(path);
        }
        return paths;
    }

private:
    void unmount()
    {
        QProcess::execute(QStringLiteral("umount"), {dir});
        mounted = false;
    }
    QString dir;
};

} // namespace

class TestSaving : public QObject {
    Q_OBJECT

private slots:
    void savesTheExampleUnchanged_data();
    void savesTheExampleUnchanged();
    void cancelledDialogChangesNothing_data();
    void cancelledDialogChangesNothing();
    void nothingToSave_data();
    void nothingToSave();
    void textureHashes_data();
    void textureHashes();
    void dictionaryLimit_data();
    void dictionaryLimit();
    void writtenAsOurRulesSay_data();
    void writtenAsOurRulesSay();
    void unknownTypeLeavesTheOutput_data();
    void unknownTypeLeavesTheOutput();
    void fullDiskKeepsTheOldFile_data();
    void fullDiskKeepsTheOldFile();
    void outputThatCannotBeOpened();
    void richLibraryRoundTrip();
    void previewOfTheExample();
    void previewOfAFreshDictionary_data();
    void previewOfAFreshDictionary();
    void previewWritesNothing_data();
    void previewWritesNothing();
};

void TestSaving::savesTheExampleUnchanged_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("announce"); // announce_save when the slot is called
    QTest::addColumn<QStringList>("boxes");

    const QStringList announced{"File Saved Successfully. @ saved.mtls"};
    QTest::newRow("button") << "on_pushButton_2_clicked" << false << announced;
    QTest::newRow("Ctrl+S") << "on_actionMerge_Quee_triggered" << false << announced;
    QTest::newRow("slot, silent") << "rebuild_mtl" << false << QStringList();
    QTest::newRow("slot, announced") << "rebuild_mtl" << true << announced;
}

void TestSaving::savesTheExampleUnchanged()
{
    QFETCH(QString, slot);
    QFETCH(bool, announce);
    QFETCH(QStringList, boxes);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    BoxWatcher watcher(w);
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("gear.mtls"));

    const QString saved = scratch.path("saved.mtls");
    answers.expectFileDialog(saved);
    for (int i = 0; i < boxes.size(); ++i)
        answers.expectMessage();
    w.announce_save = announce;
    call(w, slot.toLatin1().constData());

    QCOMPARE(readFile(saved).toHex(' '),
             hex("4D 54 4C 73 05 00 00 00 23 00 00 00 | 6D 61 74 00 |"
                 "79 43 53 5F 67 65 61 72 00 | 4E 6F 72 6D 61 6C 00 |"
                 "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 | 01 00 00 00 |"
                 "00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 01 00 |"
                 "14 00 04 00 1D 00 00 00")
                 .toHex(' '));
    QCOMPARE(answers.fileDialogs().size(), 1);
    QCOMPARE(answers.fileDialogs().first().title, QStringLiteral("Save MTLs File as"));
    QCOMPARE(answers.fileDialogs().first().nameFilters, QStringList{"2K23 MTLs (*.mtls)"});
    // The success box, if any, comes once the saved file is shown.
    QCOMPARE(watcher.seen, boxes);
    Messages expected;
    for (int i = 0; i < boxes.size(); ++i)
        expected.append({Warning, Saved});
    QCOMPARE(answers.messages(), expected);
    QCOMPARE(answers.unexpected(), 0);
    QVERIFY(!w.announce_save);

    QCOMPARE(w.current_file, saved);
    QCOMPARE(w.ui->ExternalLabel->text(), QStringLiteral("saved.mtls   "));
    QCOMPARE(rowTexts(w.ui->ExternalTable, 0),
             (QStringList{"0", "<none>", "yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"}));
    QCOMPARE(w.ui->ExternalTable->columnCount(), 16);
    QCOMPARE(modifyButtons(w.ui->ExternalTable), 1);
    QVERIFY(qobject_cast<QPushButton*>(w.ui->ExternalTable->cellWidget(0, 1)));
    QCOMPARE(w.ui->OriginalTable->rowCount(), 5);
}

void TestSaving::cancelledDialogChangesNothing_data()
{
    QTest::addColumn<QString>("slot");
    QTest::newRow("button") << "on_pushButton_2_clicked";
    QTest::newRow("slot") << "rebuild_mtl";
}

void TestSaving::cancelledDialogChangesNothing()
{
    QFETCH(QString, slot);
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("gear.mtls"));
    const QStringList before = tableState(w.ui->ExternalTable);
    const QStringList files = entries(scratch.path("."));

    answers.expectFileDialogCancel();
    call(w, slot.toLatin1().constData());

    QCOMPARE(answers.fileDialogs().size(), 1);
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(entries(scratch.path(".")), files);
    QCOMPARE(tableState(w.ui->ExternalTable), before);
    QCOMPARE(modifyButtons(w.ui->ExternalTable), 1);
    QCOMPARE(w.current_file, scratch.path("gear.mtls"));
    QVERIFY(!w.announce_save);
}

void TestSaving::nothingToSave_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("message");

    const QString guard = QStringLiteral("No MTL data loaded. Load/add a Material to save file.");
    for (const char* slot : {"on_pushButton_2_clicked", "on_actionMerge_Quee_triggered"}) {
        QTest::addRow("start, %s", slot) << "start" << slot << guard;
        QTest::addRow("after Clear View, %s", slot) << "cleared" << slot << guard;
        QTest::addRow("no materials, %s", slot) << "no materials" << slot << guard;
    }
    QTest::newRow("no materials, rebuild_mtl") << "no materials"
                                               << "rebuild_mtl"
                                               << "No MTL data loaded.";
}

void TestSaving::nothingToSave()
{
    QFETCH(QString, state);
    QFETCH(QString, slot);
    QFETCH(QString, message);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    if (state == QLatin1String("cleared")) {
        QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
        call(w, "open_mtl", scratch.path("gear.mtls"));
        call(w, "on_actionQueue_All_triggered");
    } else if (state == QLatin1String("no materials")) {
        QVERIFY(writeFile(scratch.path("gear.mtls"), buildBlock({"a", "b"}, {})));
        call(w, "open_mtl", scratch.path("gear.mtls"));
    }
    const QStringList files = entries(scratch.path("."));
    const QStringList before = tableState(w.ui->ExternalTable);
    answers.expectMessage();
    call(w, slot.toLatin1().constData());

    QCOMPARE(answers.messages(), (Messages{{Warning, message}}));
    QVERIFY(answers.fileDialogs().isEmpty());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(entries(scratch.path(".")), files);
    QCOMPARE(tableState(w.ui->ExternalTable), before);
    QVERIFY(!w.announce_save);
}

void TestSaving::textureHashes_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("record"); // from the record to the end of the file
    QTest::addColumn<QStringList>("debugLines");

    // colorMap = Hero_01_D, then normalHash and specHash: both hash the texture.
    const QStringList textureFirst{"mat",       "yCS_gear",   "Normal",  "colorMap",
                                   "Hero_01_D", "normalHash", "specHash"};
    const QByteArray textureFirstBlock = buildBlock(
        textureFirst, {material(0, 4, 13, {entry4(20, 29), entry5(39, 0), entry5(50, 0)})});
    // normalHash before any texture hashes the folder alone; specHash after it the texture.
    const QStringList hashFirst{"mat",      "yCS_gear",  "Normal",  "normalHash",
                                "colorMap", "Hero_01_D", "specHash"};
    const QByteArray hashFirstBlock =
        buildBlock(hashFirst, {material(0, 4, 13, {entry5(20, 0), entry4(31, 40), entry5(50, 0)})});

    // Hashes of the lower-cased texture directory + texture + ".tex".
    const quint64 heroCharacters =
        0x4624FFA483FBFA28ull; // characters/hero_01/textures/hero_01_d.tex
    const quint64 plainCharacters = 0xDC086C089833616Dull; // characters/hero_01/textures/.tex
    const quint64 heroProps = 0xFA10BE5D013659C3ull;       // props/textures/hero_01_d.tex
    const quint64 plainProps = 0x4944687F8F089548ull;      // props/textures/.tex

    const QByteArray head = hex("00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 03 00");
    const QStringList twice{"CACHE: Hero_01_D", "CACHE: Hero_01_D"};
    const QStringList plainThenTexture{"CACHE: ", "CACHE: Hero_01_D"};
    QTest::newRow("texture first, Characters")
        << textureFirstBlock << "Characters/hero_01"
        << head + hex("14 00 04 00 1D 00 00 00 | 27 00 05 00") + le64(heroCharacters) +
               hex("32 00 05 00") + le64(heroCharacters)
        << twice;
    QTest::newRow("texture first, Props")
        << textureFirstBlock << "Props"
        << head + hex("14 00 04 00 1D 00 00 00 | 27 00 05 00") + le64(heroProps) +
               hex("32 00 05 00") + le64(heroProps)
        << twice;
    QTest::newRow("hash first, Characters")
        << hashFirstBlock << "Characters/hero_01"
        << head + hex("14 00 05 00") + le64(plainCharacters) +
               hex("1F 00 04 00 28 00 00 00 | 32 00 05 00") + le64(heroCharacters)
        << plainThenTexture;
    QTest::newRow("hash first, Props")
        << hashFirstBlock << "Props"
        << head + hex("14 00 05 00") + le64(plainProps) +
               hex("1F 00 04 00 28 00 00 00 | 32 00 05 00") + le64(heroProps)
        << plainThenTexture;
}

void TestSaving::textureHashes()
{
    QFETCH(QByteArray, library);
    QFETCH(QString, folder);
    QFETCH(QByteArray, record);
    QFETCH(QStringList, debugLines);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("in.mtls"), library));
    call(w, "open_mtl", scratch.path("in.mtls"));
    QVERIFY(QDir().mkpath(scratch.path(folder)));
    const QString saved = scratch.path(folder + QStringLiteral("/x.mtls"));
    answers.expectFileDialog(saved);
    QStringList lines;
    {
        DebugLines capture;
        call(w, "rebuild_mtl");
        lines = capture.lines;
    }
    QCOMPARE(lines, debugLines);
    QVERIFY(answers.messages().isEmpty());

    // S = 59: the dictionary and its padding end at 72, the record starts at 76.
    const QByteArray bytes = readFile(saved);
    QCOMPARE(bytes.left(72), library.left(72));
    QCOMPARE(bytes.mid(72, 4), hex("01 00 00 00"));
    QCOMPARE(bytes.mid(76).toHex(' '), record.toHex(' '));
}

void TestSaving::dictionaryLimit_data()
{
    QTest::addColumn<int>("offset"); // of the second material's name
    QTest::newRow("name at 65534") << 65534;
    QTest::newRow("name at 65535") << 65535;
}

void TestSaving::dictionaryLimit()
{
    QFETCH(int, offset);
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;

    // yCS_gear 0, Normal 9, normalHash 16, first 27, fillers from 33, mat at `offset`. The
    // first material's hash is the one a save in Props writes, so a save reproduces the file.
    QStringList dictionary{"yCS_gear", "Normal", "normalHash", "first"};
    dictionary += fillers(offset - 33);
    dictionary.append("mat");
    QCOMPARE(offsetOf(dictionary, "mat"), quint16(offset));
    const QByteArray library =
        buildBlock(dictionary, {material(27, 0, 9, {entry5(16, 0x4944687F8F089548ull)}),
                                material(quint16(offset), 0, 9, {})});
    QVERIFY(writeFile(scratch.path("big.mtls"), library));
    call(w, "open_mtl", scratch.path("big.mtls"));
    QCOMPARE(rowTexts(w.ui->ExternalTable, 1, 2), (QStringList{"yCS_gear", "mat", "0", "Normal"}));
    const QStringList before = tableState(w.ui->ExternalTable);

    QVERIFY(QDir().mkpath(scratch.path("Props")));
    const QString saved = scratch.path("Props/out.mtls");
    answers.expectFileDialog(saved);
    answers.expectMessage();
    QStringList lines;
    {
        DebugLines capture;
        call(w, "on_pushButton_2_clicked");
        lines = capture.lines;
    }
    // The first material is written before the second one stops the save.
    QCOMPARE(lines, QStringList{"CACHE: "});
    QVERIFY(!w.announce_save);
    QCOMPARE(answers.unexpected(), 0);

    if (offset == 65534) {
        QCOMPARE(answers.messages(), (Messages{{Warning, Saved}}));
        const QByteArray bytes = readFile(saved);
        QCOMPARE(bytes.size(), library.size());
        QVERIFY(bytes == library);
        // S = 65538, padded to 65540: the count at 65552, a 30-byte first record from 65556.
        QCOMPARE(bytes.mid(65586, 2), hex("FE FF"));
        QCOMPARE(w.current_file, saved);
        return;
    }
    QCOMPARE(answers.messages(), (Messages{{Warning, "String Limit Reached"}}));
    QVERIFY(QFileInfo::exists(saved));
    QCOMPARE(QFileInfo(saved).size(), 0);
    QCOMPARE(w.current_file, scratch.path("big.mtls"));
    QCOMPARE(tableState(w.ui->ExternalTable), before);
    QCOMPARE(modifyButtons(w.ui->ExternalTable), 2);
}

// Where the layout leaves the writer a choice: texts not in the dictionary are added, missing
// flag words are zeros, a shown value after a type-1 name is not taken for a parameter.
void TestSaving::writtenAsOurRulesSay_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QString>("edit"); // what the test changes before the save
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("cellsAfter"); // row 0 from the visible column 2

    QTest::newRow("missing Flags key gives zeros")
        << exampleBlock() << "drop flags"
        << hex("4D 54 4C 73 05 00 00 00 23 00 00 00 | 6D 61 74 00 |"
               "79 43 53 5F 67 65 61 72 00 | 4E 6F 72 6D 61 6C 00 |"
               "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 | 01 00 00 00 |"
               "00 00 04 00 00 00 0D 00 00 00 00 00 00 00 | 00 00 | 01 00 |"
               "14 00 04 00 1D 00 00 00")
        << QStringList{"yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"};
    // The walk adds "texd"; the value itself is then looked up with its space and added too.
    QTest::newRow("value with a space is added as it stands")
        << exampleBlock() << "tex d"
        << hex("4D 54 4C 73 05 00 00 00 2E 00 00 00 | 6D 61 74 00 |"
               "79 43 53 5F 67 65 61 72 00 | 4E 6F 72 6D 61 6C 00 |"
               "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 74 65 78 64 00 |"
               "74 65 78 20 64 00 | 00 00 | 01 00 00 00 |"
               "00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 01 00 |"
               "14 00 04 00 28 00 00 00")
        << QStringList{"yCS_gear", "mat", "1", "Normal", "colorMap", "tex d"};
    // A main shader offset that starts no string: no cell, written as an added "".
    RawMaterial noShader = material(0, 0xFFF0, 2, {});
    noShader.flags = {5, 6, 7, 8};
    QTest::newRow("missing main shader is an added empty string")
        << buildBlock({"m", "v"}, {noShader}) << QString()
        << hex("4D 54 4C 73 05 00 00 00 05 00 00 00 | 6D 00 76 00 00 | 00 00 00 | 01 00 00 00 |"
               "00 00 04 00 05 00 02 00 06 00 07 00 08 00 | 00 00 | 00 00")
        << QStringList{"<none>", "m", "0", "v"};
    QTest::newRow("shown value after a type 1 name is skipped")
        << hex(ShownValueLibrary) << QString() << hex(ShownValueLibrary)
        << QStringList{"yCS_gear", "mat", "2", "Normal", "gain", "tex_d", "colorMap", "tex_d"};
}

void TestSaving::writtenAsOurRulesSay()
{
    QFETCH(QByteArray, library);
    QFETCH(QString, edit);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, cellsAfter);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("in.mtls"), library));
    call(w, "open_mtl", scratch.path("in.mtls"));
    if (edit == QLatin1String("drop flags")) {
        QSettings ini(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat);
        QVERIFY(ini.contains("Flags/yCS_gear::Normal"));
        ini.remove("Flags/yCS_gear::Normal");
    } else if (!edit.isEmpty()) {
        w.ui->ExternalTable->item(0, 7)->setText(edit); // the value cell of colorMap
    }

    const QString saved = scratch.path("out.mtls");
    answers.expectFileDialog(saved);
    call(w, "rebuild_mtl");
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(readFile(saved).toHex(' '), expected.toHex(' '));
    QCOMPARE(w.current_file, saved);
    QCOMPARE(rowTexts(w.ui->ExternalTable, 0, 2), cellsAfter);
}

void TestSaving::unknownTypeLeavesTheOutput_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QString>("message");

    // "odd" is a type 0x3F80 entry: the load records an empty type line for it.
    QTest::newRow("rich library") << richBlock() << "Unknown parameter type: odd";
    const QStringList dictionary{"mat", "yCS_gear", "Normal", "weird"};
    const RawItem typeSix{20, 6, le16(0) + le16(0)};
    QTest::newRow("type 6") << buildBlock(dictionary, {material(0, 4, 13, {typeSix})})
                            << "Unknown parameter type: weird";
}

void TestSaving::unknownTypeLeavesTheOutput()
{
    QFETCH(QByteArray, library);
    QFETCH(QString, message);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("in.mtls"), library));
    call(w, "open_mtl", scratch.path("in.mtls"));
    const QStringList before = tableState(w.ui->ExternalTable);
    const QString output = scratch.path("out.mtls");
    const QByteArray old("old library bytes");
    QVERIFY(writeFile(output, old));

    ReplaceConfirmer replace;
    answers.expectFileDialog(output);
    answers.expectMessage();
    call(w, "on_pushButton_2_clicked");

    QCOMPARE(replace.asked, 1);
    QCOMPARE(answers.messages(), (Messages{{Warning, message}}));
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(readFile(output), old);
    QCOMPARE(w.current_file, scratch.path("in.mtls"));
    QCOMPARE(tableState(w.ui->ExternalTable), before);
    QVERIFY(!w.announce_save);
}

void TestSaving::fullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<int>("fillerBytes"); // unused dictionary bytes that make the block large
    QTest::addColumn<int>("roomPages");   // 4 KiB pages left free for the new block

    // 90 bytes stay in the write buffer: the flush is what fails.
    QTest::newRow("small block, no room") << 0 << 0;
    // Past the write buffer: the write itself fails.
    QTest::newRow("large block, no room") << 30000 << 0;
    // The disk takes the first 8 KiB, then refuses: a short write.
    QTest::newRow("large block, room for a part") << 30000 << 2;
}

void TestSaving::fullDiskKeepsTheOldFile()
{
    QFETCH(int, fillerBytes);
    QFETCH(int, roomPages);

    ScratchDirectory scratch;
    const QString disk = scratch.path("disk");
    SmallDisk small(disk);
    if (!small.mounted)
        QSKIP("cannot mount a small memory file system here");

    // The window shows the shown-value library, with fillers ahead of its strings.
    QStringList dictionary = fillers(fillerBytes);
    const int base = fillerBytes;
    dictionary += QStringList{"mat", "yCS_gear", "Normal", "gain", "tex_d", "colorMap"};
    const QByteArray library =
        buildBlock(dictionary, {material(quint16(base), quint16(base + 4), quint16(base + 13),
                                         {entry1(quint16(base + 20), quint16(base + 25), 9),
                                          entry4(quint16(base + 31), quint16(base + 25))})});
    if (fillerBytes == 0)
        QCOMPARE(library.toHex(' '), hex(ShownValueLibrary).toHex(' '));
    QVERIFY(writeFile(scratch.path("in.mtls"), library));

    MainWindow w;
    ModalAnswerer answers;
    call(w, "open_mtl", scratch.path("in.mtls"));
    const QStringList before = tableState(w.ui->ExternalTable);

    const QString output = disk + QStringLiteral("/x.mtls");
    QVERIFY(writeFile(output, exampleBlock()));
    const QStringList filled = small.fill();
    QVERIFY(!filled.isEmpty());
    for (int i = 0; i < roomPages; ++i)
        QVERIFY(QFile::remove(filled.at(i)));
    const QStringList files = entries(disk);

    ReplaceConfirmer replace;
    answers.expectFileDialog(output);
    answers.expectMessage();
    call(w, "on_pushButton_2_clicked");

    QCOMPARE(replace.asked, 1);
    QCOMPARE(answers.messages(),
             (Messages{{Warning, "Cannot write file : No space left on device"}}));
    QCOMPARE(readFile(output), exampleBlock());
    QCOMPARE(entries(disk), files); // no temporary file left behind
    QCOMPARE(w.current_file, scratch.path("in.mtls"));
    QCOMPARE(tableState(w.ui->ExternalTable), before);
    QVERIFY(!w.announce_save);

    // With room again the same save goes through.
    for (const QString& path : filled)
        QFile::remove(path);
    answers.expectFileDialog(output);
    answers.expectMessage();
    call(w, "on_pushButton_2_clicked");
    QCOMPARE(replace.asked, 2);
    QCOMPARE(answers.messages().last(), (ModalAnswerer::Message{Warning, Saved}));
    QCOMPARE(answers.unexpected(), 0);
    QVERIFY(readFile(output) == library);
    QCOMPARE(entries(disk), QStringList{"x.mtls"});
    QCOMPARE(w.current_file, output);
}

void TestSaving::outputThatCannotBeOpened()
{
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("gear.mtls"));
    const QStringList before = tableState(w.ui->ExternalTable);

    answers.expectFileDialog(scratch.path("missing/x.mtls"));
    answers.expectMessage();
    call(w, "on_pushButton_2_clicked");

    QCOMPARE(answers.messages(),
             (Messages{{Warning, "Cannot open file : No such file or directory"}}));
    QCOMPARE(answers.unexpected(), 0);
    QVERIFY(!QFileInfo::exists(scratch.path("missing")));
    QCOMPARE(w.current_file, scratch.path("gear.mtls"));
    QCOMPARE(tableState(w.ui->ExternalTable), before);
    QCOMPARE(modifyButtons(w.ui->ExternalTable), 1);
}

// Cells of the rich library that a save cannot keep as they stand:
// - the three global shader flag cells: never written;
// - "Global@30600", the value cell of the type 2 entry tint: type 2 is written with zeros, so
//   the entry has no value cell afterwards;
// - "Global@1", the value of the texture other: written as the offset of "" (35), so it
//   reads back as "Global@35";
// - "odd", a type 0x3F80 entry: it has no writable type, so the test teaches the catalogue
//   type 3 with 3 and 0 first; written as type 3 its value cell still reads "Global@3".
// "Global@7" after gain is skipped but comes back: gain is written with its recorded 7.
// The third material takes the flag words 1 to 4 of the first, which shares its shader.
void TestSaving::richLibraryRoundTrip()
{
    ScratchDirectory scratch;
    {
        QSettings ini(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat);
        ini.setValue("odd", "3,3,0");
    }
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("rich.mtls"), richBlock()));
    call(w, "open_mtl", scratch.path("rich.mtls"));
    const QTableWidget* materials = w.ui->ExternalTable;
    QCOMPARE(
        rowTexts(materials, 0, 2),
        (QStringList{"yCS_head", "mat", "5", "Normal", "colorMap", "tex_d", "gain", "Global@7",
                     "Global@ShaderFlag0-0", "Global@ShaderFlag0-16256", "Global@ShaderFlag0-0",
                     "tint", "Global@30600", "hashA", "odd", "Global@3"}));
    QCOMPARE(rowTexts(materials, 1, 2),
             (QStringList{"<none>", "Schön_ä", "2", "", "coverMap", "other", "Global@1"}));

    QVERIFY(QDir().mkpath(scratch.path("Props")));
    const QString first = scratch.path("Props/first.mtls");
    answers.expectFileDialog(first);
    QStringList lines;
    {
        DebugLines capture;
        call(w, "rebuild_mtl");
        lines = capture.lines;
    }
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(lines, QStringList{"CACHE: tex_d"});

    // The dictionary comes back unchanged (S = 92, no padding); the records start at 108.
    const QByteArray bytes = readFile(first);
    QCOMPARE(bytes.left(104), richBlock().left(104));
    QCOMPARE(bytes.mid(104).toHex(' '),
             (hex("03 00 00 00 |"
                  "00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 05 00 |"
                  "14 00 04 00 1D 00 00 00 | 24 00 01 00 07 00 09 00 |"
                  "29 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 |"
                  "2E 00 05 00 A0 51 34 85 51 4E 8B D2 | 34 00 03 00 03 00 00 00 |"
                  "38 00 23 00 09 00 23 00 00 00 00 00 FF FF | 02 00 |"
                  "46 00 03 00 00 00 05 00 | 4F 00 04 00 23 00 00 00 |"
                  "4F 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00"))
                 .toHex(' '));

    const QList<QStringList> secondCells{
        {"yCS_head", "mat", "5", "Normal", "colorMap", "tex_d", "gain", "Global@7", "tint", "hashA",
         "odd", "Global@3"},
        {"<none>", "Schön_ä", "2", "", "coverMap", "other", "Global@35"},
        {"yCS_head", "other", "0", "Normal"}};
    auto cells = [materials] {
        QList<QStringList> rows;
        for (int r = 0; r < materials->rowCount(); ++r)
            rows.append(rowTexts(materials, r, 2));
        return rows;
    };
    QCOMPARE(w.current_file, first);
    QCOMPARE(cells(), secondCells);
    for (int r = 0; r < richDictionary().size(); ++r)
        QCOMPARE(text(w.ui->OriginalTable, r, 1), richDictionary().at(r));
    QCOMPARE(w.ui->OriginalTable->rowCount(), richDictionary().size());

    const QString second = scratch.path("Props/second.mtls");
    answers.expectFileDialog(second);
    {
        DebugLines capture;
        call(w, "rebuild_mtl");
        lines = capture.lines;
    }
    QCOMPARE(lines, QStringList{"CACHE: tex_d"});
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(readFile(second).toHex(' '), bytes.toHex(' '));
    QCOMPARE(cells(), secondCells);
}

void TestSaving::previewOfTheExample()
{
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("gear.mtls"));
    w.ui->ExternalTable->removeColumn(1); // as adding a material does before it writes
    w.announce_save = true;

    const QString preview = scratch.path("preview.bin");
    call(w, "rebuild_mtltempFile", preview);

    const QByteArray bytes = readFile(preview);
    QCOMPARE(bytes.size(), 78);
    QCOMPARE(bytes.toHex(' '), hex(PreviewOfExample).toHex(' '));
    QCOMPARE(bytes.mid(48, 4), hex("01 00 00 00"));
    // No reload, no message, and the flag is not the preview's business.
    QVERIFY(answers.messages().isEmpty());
    QVERIFY(answers.fileDialogs().isEmpty());
    QCOMPARE(w.current_file, scratch.path("gear.mtls"));
    QVERIFY(w.announce_save);
    QCOMPARE(w.ui->OriginalTable->rowCount(), 5);
}

void TestSaving::previewOfAFreshDictionary_data()
{
    QTest::addColumn<bool>("loaded"); // a loaded two-string library, or a fresh window
    QTest::addColumn<QByteArray>("expected");

    // "unused" drops out; "s" and the trailing "" remain; flags from the loaded library.
    QTest::newRow("library with two strings")
        << true
        << hex("4D 54 4C 73 05 00 00 00 03 00 00 00 | 73 00 00 | 00 | 01 00 00 00 |"
               "00 00 00 00 01 00 00 00 02 00 03 00 04 00 | 00 00 | 00 00");
    // The cell texts in walk order, then ""; no flags are known for s::v.
    QTest::newRow("fresh window")
        << false
        << hex("4D 54 4C 73 05 00 00 00 07 00 00 00 | 73 00 6D 00 76 00 00 | 00 | 01 00 00 00 |"
               "02 00 00 00 00 00 04 00 00 00 00 00 00 00 | 00 00 | 00 00");
}

void TestSaving::previewOfAFreshDictionary()
{
    QFETCH(bool, loaded);
    QFETCH(QByteArray, expected);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QTableWidget* materials = w.ui->ExternalTable;
    if (loaded) {
        QVERIFY(writeFile(scratch.path("two.mtls"),
                          buildBlock({"unused", "s"}, {material(7, 7, 7, {})})));
        call(w, "open_mtl", scratch.path("two.mtls"));
        QCOMPARE(w.ui->OriginalTable->rowCount(), 2);
        materials->removeColumn(1);
    } else {
        QCOMPARE(w.ui->OriginalTable->rowCount(), 2);
        materials->setRowCount(1);
        materials->setColumnCount(5);
        const QStringList texts{"0", "s", "m", "0", "v"};
        for (int c = 0; c < texts.size(); ++c)
            materials->setItem(0, c, new QTableWidgetItem(texts.at(c)));
    }

    call(w, "rebuild_mtltempFile", scratch.path("preview.bin"));
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(w.ui->OriginalTable->rowCount(), 0);
    QCOMPARE(w.ui->OriginalTable->columnCount(), 0);
    QCOMPARE(readFile(scratch.path("preview.bin")).toHex(' '), expected.toHex(' '));
}

void TestSaving::previewWritesNothing_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QString>("name"); // relative to the scratch folder, "" for none
    QTest::addColumn<QStringList>("messages");

    const QByteArray twoStrings = buildBlock({"unused", "s"}, {material(7, 7, 7, {})});
    QTest::newRow("empty file name") << twoStrings << QString() << QStringList();
    QTest::newRow("unopenable path") << twoStrings << "missing/preview.bin" << QStringList();
    QTest::newRow("no materials") << buildBlock({"a", "b"}, {}) << "preview.bin"
                                  << QStringList{"No MTL data loaded."};
}

void TestSaving::previewWritesNothing()
{
    QFETCH(QByteArray, library);
    QFETCH(QString, name);
    QFETCH(QStringList, messages);

    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("in.mtls"), library));
    call(w, "open_mtl", scratch.path("in.mtls"));
    w.ui->ExternalTable->removeColumn(1);
    const QStringList files = entries(scratch.path("."));
    for (int i = 0; i < messages.size(); ++i)
        answers.expectMessage();

    call(w, "rebuild_mtltempFile", name.isEmpty() ? QString() : scratch.path(name));

    QStringList seen;
    for (const ModalAnswerer::Message& message : answers.messages())
        seen.append(message.text);
    QCOMPARE(seen, messages);
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(entries(scratch.path(".")), files);
    if (name.isEmpty()) // nothing happens before the name is known, not even the emptying
        QCOMPARE(w.ui->OriginalTable->rowCount(), 2);
}

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
