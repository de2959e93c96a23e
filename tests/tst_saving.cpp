// Saving through the window: the save dialog and its guards, texture hashes, the dictionary
// limit, refused and failed writes that must leave the old output alone, a round trip of the
// rich library, and the preview writer.
#include "app/mainwindow.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

using Messages = QList<ModalAnswerer::Message>;
const QString Warning = QStringLiteral("Warning");
const QString Saved = QStringLiteral("File Saved Successfully.");
const QByteArray Old("old library bytes"); // what an existing output held before the save
const QByteArray Absent("<absent>");

QByteArray contents(const QString& path)
{
    return QFileInfo(path).isFile() ? readFile(path) : Absent;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text); // spaces and bars are only for reading
}

// The example library: mat, yCS_gear::Normal, flag words 1 to 4, colorMap = tex_d. S = 35,
// one padding byte, the count at 48, two alignment bytes before N.
const char* const Example = "4D 54 4C 73 05 00 00 00 23 00 00 00 | 6D 61 74 00 |"
                            "79 43 53 5F 67 65 61 72 00 | 4E 6F 72 6D 61 6C 00 |"
                            "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 | 01 00 00 00 |"
                            "00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 01 00 |"
                            "14 00 04 00 1D 00 00 00";

RawMaterial material(quint16 name, quint16 shader, quint16 variant, QVector<RawItem> items)
{
    return {name, shader, variant, {1, 2, 3, 4}, quint16(items.size()), items};
}

// Strings whose stored bytes (UTF-8 and the zero) add up to `bytes`, at most 16000 each.
QStringList fillers(int bytes)
{
    QStringList strings;
    for (char letter = 'a'; bytes > 0; ++letter, bytes -= 16000)
        strings.append(QString(std::min(bytes, 16000) - 1, QLatin1Char(letter)));
    return strings;
}

// yCS_gear::Normal materials "first" and "mat"; fillers put "mat" at `offset`.
QByteArray fillerLibrary(int offset)
{
    const QStringList dictionary =
        QStringList{"yCS_gear", "Normal", "first"} + fillers(offset - 22) + QStringList{"mat"};
    return buildBlock(dictionary, {material(16, 0, 9, {}), material(quint16(offset), 0, 9, {})});
}

bool load(MainWindow& w, const QString& path, const QByteArray& bytes)
{
    if (!writeFile(path, bytes))
        return false;
    call(w, "open_mtl", path);
    return true;
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Everything of the materials table that a failed save must leave as it was.
QStringList tableState(const QTableWidget* table)
{
    QStringList state{QString::number(table->columnCount())};
    for (int r = 0; r < table->rowCount(); ++r) {
        const auto* button = qobject_cast<const QPushButton*>(table->cellWidget(r, 1));
        state << (button ? button->text() : QStringLiteral("<no button>")) + QLatin1Char(' ') +
                     rowTexts(table, r).join(QLatin1Char('|'));
    }
    return state;
}

// Notes every message box as it shows, with the file the window shows at that moment, and
// says Yes when the save dialog asks whether to replace a file.
class Boxes : public QObject {
public:
    explicit Boxes(const MainWindow& window) : window(window) { qApp->installEventFilter(this); }
    QStringList seen;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(object);
        if (!box || event->type() != QEvent::Show)
            return false;
        if (box->text().contains(QLatin1String("already exists")))
            QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Yes)->click(); });
        else
            seen << box->text() + " @ " + QFileInfo(window.current_file).fileName();
        return false;
    }

private:
    const MainWindow& window;
};

// The debug lines written while `run` runs; other messages go on to the test's handler.
QStringList* capturedLines = nullptr;
QtMessageHandler testHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtDebugMsg)
        capturedLines->append(text);
    else if (testHandler)
        testHandler(type, context, text);
}

template <typename Run> QStringList debugLines(Run run)
{
    QStringList lines;
    capturedLines = &lines;
    testHandler = qInstallMessageHandler(captureDebug);
    run();
    qInstallMessageHandler(testHandler);
    return lines;
}

} // namespace

class TestSaving : public QObject {
    Q_OBJECT

private slots:
    void save_data();
    void save();
    void textureHashes();
    void fullDiskKeepsTheOldFile_data();
    void fullDiskKeepsTheOldFile();
    void richLibraryRoundTrip();
    void preview_data();
    void preview();
};

void TestSaving::save_data()
{
    QTest::addColumn<QByteArray>("library"); // loaded first unless empty
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("announce");      // announce_save when the slot is called
    QTest::addColumn<QString>("output");     // the dialog's answer: "" not asked, "-" cancelled
    QTest::addColumn<QString>("message");    // "" for none
    QTest::addColumn<QByteArray>("written"); // the output afterwards

    const QString button = QStringLiteral("on_pushButton_2_clicked");
    const QByteArray example = hex(Example);
    QTest::newRow("button") << exampleBlock() << button << false << "new.mtls" << Saved << example;
    QTest::newRow("Ctrl+S") << exampleBlock() << "on_actionMerge_Quee_triggered" << false
                            << "new.mtls" << Saved << example;
    QTest::newRow("slot, silent") << exampleBlock() << "rebuild_mtl" << false << "new.mtls"
                                  << QString() << example;
    QTest::newRow("slot, announced")
        << exampleBlock() << "rebuild_mtl" << true << "new.mtls" << Saved << example;
    QTest::newRow("cancelled") << exampleBlock() << button << false << "-" << QString() << Absent;
    QTest::newRow("nothing loaded")
        << QByteArray() << button << false << QString()
        << "No MTL data loaded. Load/add a Material to save file." << Absent;
    QTest::newRow("no materials") << buildBlock({"a", "b"}, {}) << "rebuild_mtl" << false
                                  << QString() << "No MTL data loaded." << Absent;
    // "odd" is a type 0x3F80 entry: the load records an empty type line for it.
    QTest::newRow("no type") << richBlock() << button << false << "old.mtls"
                             << "Unknown parameter type: odd" << Old;
    QTest::newRow("type 6") << buildBlock({"mat", "yCS_gear", "Normal", "weird"},
                                          {material(0, 4, 13, {{20, 6, le32(0)}})})
                            << button << false << "old.mtls"
                            << "Unknown parameter type: weird" << Old;
    QTest::newRow("missing folder") << exampleBlock() << button << false << "missing/x.mtls"
                                    << "Cannot open file : No such file or directory" << Absent;
    QTest::newRow("name at 65534")
        << fillerLibrary(65534) << button << false << "new.mtls" << Saved << fillerLibrary(65534);
    QTest::newRow("name at 65535") << fillerLibrary(65535) << button << false << "new.mtls"
                                   << "String Limit Reached" << Absent;
}

void TestSaving::save()
{
    QFETCH(QByteArray, library);
    QFETCH(QString, slot);
    QFETCH(bool, announce);
    QFETCH(QString, output);
    QFETCH(QString, message);
    QFETCH(QByteArray, written);
    // A written block is shown at once; a refusal leaves the window as it was.
    const bool reloaded = written != Absent && written != Old && !written.isEmpty();
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    Boxes boxes(w);
    if (!library.isEmpty())
        QVERIFY(load(w, scratch.path("in.mtls"), library));
    const QString shownBefore = w.current_file;
    const QString path = scratch.path(output);
    if (output == QLatin1String("old.mtls"))
        QVERIFY(writeFile(path, Old));
    const QStringList before = tableState(w.ui->ExternalTable);

    if (output == QLatin1String("-"))
        answers.expectFileDialogCancel();
    else if (!output.isEmpty())
        answers.expectFileDialog(path);
    if (!message.isEmpty())
        answers.expectMessage();
    w.announce_save = announce;
    call(w, qPrintable(slot));

    QCOMPARE(answers.fileDialogs().size(), output.isEmpty() ? 0 : 1);
    for (const ModalAnswerer::FileDialogSeen& dialog : answers.fileDialogs()) {
        QCOMPARE(dialog.title, QStringLiteral("Save MTLs File as"));
        QCOMPARE(dialog.nameFilters, QStringList{"2K23 MTLs (*.mtls)"});
    }
    QCOMPARE(answers.messages(), (message.isEmpty() ? Messages() : Messages{{Warning, message}}));
    // A success message comes once the saved file is shown.
    QCOMPARE(w.current_file, reloaded ? path : shownBefore);
    if (!message.isEmpty())
        QCOMPARE(boxes.seen, QStringList{message + " @ " + QFileInfo(w.current_file).fileName()});
    QVERIFY(!w.announce_save);
    QCOMPARE(contents(path), written);
    // Refused or reloaded, an unchanged library shows as before, swap buttons included.
    QCOMPARE(tableState(w.ui->ExternalTable), before);
}

// normalHash comes before any texture and hashes the folder alone; maskHash and glossHash
// follow colorMap = Hero_01_D and both hash the texture. The same table saved in two places
// gets the hashes of each place.
void TestSaving::textureHashes()
{
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    const QByteArray library = buildBlock(
        {"mat", "yCS_gear", "Normal", "normalHash", "colorMap", "Hero_01_D", "maskHash",
         "glossHash"},
        {material(0, 4, 13, {entry5(20, 0), entry4(31, 40), entry5(50, 0), entry5(59, 0)})});
    QVERIFY(load(w, scratch.path("in.mtls"), library));
    // Hashes of the lower-cased texture directory + texture + ".tex".
    for (const auto& [folder, plain, texture] :
         {std::make_tuple("Characters/hero_01", 0xDC086C089833616Dull, 0x4624FFA483FBFA28ull),
          std::make_tuple("Props", 0x4944687F8F089548ull, 0xFA10BE5D013659C3ull)}) {
        const QString saved = scratch.path(folder + QStringLiteral("/x.mtls"));
        QVERIFY(QDir().mkpath(scratch.path(folder)));
        answers.expectFileDialog(saved);
        QCOMPARE(debugLines([&] { call(w, "rebuild_mtl"); }),
                 (QStringList{"CACHE: ", "CACHE: Hero_01_D", "CACHE: Hero_01_D"}));
        // S = 69, padded to 72: the count at 84, the record from 88.
        const QByteArray bytes = readFile(saved);
        QCOMPARE(bytes.left(88), library.left(88));
        QCOMPARE(bytes.mid(88).toHex(' '),
                 (hex("00 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00 | 04 00 | 14 00 05 00") +
                  le64(plain) + hex("1F 00 04 00 28 00 00 00 | 32 00 05 00") + le64(texture) +
                  hex("3B 00 05 00") + le64(texture))
                     .toHex(' '));
    }
    QVERIFY(answers.messages().isEmpty());
}

void TestSaving::fullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<int>("fillerBytes"); // unused dictionary bytes that make the block large
    QTest::addColumn<int>("roomPages");   // 4 KiB pages left free for the new block
    // The whole block stays in the write buffer: the flush is what fails.
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
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}) != 0)
        QSKIP("cannot mount a small memory file system here");
    const auto unmount = qScopeGuard([&disk] { QProcess::execute("umount", {disk}); });

    MainWindow w;
    ModalAnswerer answers;
    Boxes boxes(w);
    QVERIFY(load(w, scratch.path("in.mtls"), fillerLibrary(22 + fillerBytes)));
    const QString output = disk + QStringLiteral("/x.mtls");
    QVERIFY(writeFile(output, Old));

    // Fill the disk, then give `roomPages` pages of it back.
    QFile ballast(disk + QStringLiteral("/ballast"));
    QVERIFY(ballast.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (ballast.size() < 1024 * 1024 && ballast.write(QByteArray(4096, 'f')) == 4096)
        continue;
    QVERIFY(ballast.size() < 64 * 1024);
    QVERIFY(ballast.resize(ballast.size() - roomPages * 4096));
    ballast.close();
    const QStringList files = entries(disk);

    answers.expectFileDialog(output);
    answers.expectMessage();
    call(w, "on_pushButton_2_clicked");

    QCOMPARE(answers.messages(),
             (Messages{{Warning, "Cannot write file : No space left on device"}}));
    QCOMPARE(readFile(output), Old);
    QCOMPARE(entries(disk), files); // no temporary file left behind
    QCOMPARE(w.current_file, scratch.path("in.mtls"));
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
    QSettings(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat).setValue("odd", "3,3,0");
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(load(w, scratch.path("rich.mtls"), richBlock()));
    const auto save = [&](const QString& path) {
        answers.expectFileDialog(path);
        return debugLines([&] { call(w, "rebuild_mtl"); });
    };

    QCOMPARE(save(scratch.path("first.mtls")), QStringList{"CACHE: tex_d"});
    // The dictionary comes back unchanged (S = 92, no padding), then three records.
    const QByteArray bytes = readFile(scratch.path("first.mtls"));
    QCOMPARE(bytes.size(), 230);
    QCOMPARE(bytes.left(104), richBlock().left(104));
    QCOMPARE(bytes.right(16).toHex(' '),
             hex("4F 00 04 00 01 00 0D 00 02 00 03 00 04 00 | 00 00").toHex(' '));
    QCOMPARE(w.current_file, scratch.path("first.mtls"));
    const QTableWidget* table = w.ui->ExternalTable;
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(rowTexts(table, 0, 2),
             (QStringList{"yCS_head", "mat", "5", "Normal", "colorMap", "tex_d", "gain", "Global@7",
                          "tint", "hashA", "odd", "Global@3"}));
    QCOMPARE(rowTexts(table, 1, 2),
             (QStringList{"<none>", "Schön_ä", "2", "", "coverMap", "other", "Global@35"}));
    QCOMPARE(rowTexts(table, 2, 2), (QStringList{"yCS_head", "other", "0", "Normal"}));

    const QStringList shown = tableState(table);
    QCOMPARE(save(scratch.path("second.mtls")), QStringList{"CACHE: tex_d"});
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(readFile(scratch.path("second.mtls")).toHex(' '), bytes.toHex(' '));
    QCOMPARE(tableState(table), shown);
}

void TestSaving::preview_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QString>("name"); // relative to the scratch folder, "" for none
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("dictionaryRows"); // after the call

    // The trailing "" takes the example's padding byte: S = 36, the count stays at 48.
    QByteArray example = hex(Example);
    example[8] = 0x24;
    QTest::newRow("example") << exampleBlock() << "preview.bin" << QString() << example << 5;
    // A two-string dictionary is taken for a fresh window's: "unused" drops out.
    const QByteArray twoStrings = buildBlock({"unused", "s"}, {material(7, 7, 7, {})});
    QTest::newRow("two strings")
        << twoStrings << "preview.bin" << QString()
        << hex("4D 54 4C 73 05 00 00 00 03 00 00 00 | 73 00 00 | 00 | 01 00 00 00 |"
               "00 00 00 00 01 00 00 00 02 00 03 00 04 00 | 00 00 | 00 00")
        << 0;
    QTest::newRow("empty file name") << twoStrings << QString() << QString() << Absent << 2;
    QTest::newRow("no materials") << buildBlock({"a", "b"}, {}) << "preview.bin"
                                  << "No MTL data loaded." << Absent << 2;
}

void TestSaving::preview()
{
    QFETCH(QByteArray, library);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);
    QFETCH(int, dictionaryRows);
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(load(w, scratch.path("in.mtls"), library));
    w.ui->ExternalTable->removeColumn(1); // as adding a material does before it writes
    w.announce_save = true;
    if (!message.isEmpty())
        answers.expectMessage();

    call(w, "rebuild_mtltempFile", name.isEmpty() ? QString() : scratch.path(name));

    QCOMPARE(answers.messages(), (message.isEmpty() ? Messages() : Messages{{Warning, message}}));
    QCOMPARE(contents(scratch.path(name)).toHex(' '), expected.toHex(' '));
    QCOMPARE(w.ui->OriginalTable->rowCount(), dictionaryRows);
    QCOMPARE(w.ui->OriginalTable->columnCount() == 0, dictionaryRows == 0);
    // No reload, and the flag is not the preview's business.
    QCOMPARE(w.current_file, scratch.path("in.mtls"));
    QVERIFY(w.announce_save);
}

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
