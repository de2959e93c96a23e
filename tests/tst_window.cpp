// The editor as a user drives it: every way to open a library or a model, adding and swapping
// materials, undo, saving and the question before unsaved changes go, and the messages each of
// these shows; and as a modder's workbench: Index Shaders, Find, recent files and what the
// window remembers, and where the working file goes.
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QUndoStack>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

// 30,000 rows take about 2 s on a busy 2-core machine, 13 s under the address sanitizer:
// about a tenfold margin on each.
constexpr qint64 ManyRowsMilliseconds = 20000 * testfiles::SanitizerSlowdown;

struct Window : ScratchWindow {
    QLineEdit* nameField() const { return w.dialog->findChild<QLineEdit*>("lineEdit"); }
    QComboBox* shaders() const { return w.dialog->findChild<QComboBox*>("comboBox"); }
    // The dialog's button that reads "OK" is the one named "cancel", and the other way round.
    void submit(const QString& name, const QString& shader = QString())
    {
        if (!shader.isEmpty())
            shaders()->setCurrentText(shader);
        nameField()->setText(name);
        QTest::mouseClick(w.dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }
    void cancel() { QTest::mouseClick(w.dialog->findChild<QPushButton*>("ok"), Qt::LeftButton); }
};

// Runs Exit inside the application's own loop: true when it ended the loop.
bool exits(MainWindow& w)
{
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        w.ui->actionExit->trigger(); // quit() ends the loop with 0
        QTimer::singleShot(0, &guard, [] { QCoreApplication::exit(1); });
    });
    return QCoreApplication::exec() == 0;
}

// A library of one material per name, the k-th of the shader "<name>_s::Normal" with the flag
// words k + 1, 2, 3 and 4 and the texture colorMap = tex.
QByteArray libraryOf(const QStringList& names)
{
    QStringList dictionary{"Normal", "colorMap", "tex"};
    for (const QString& name : names)
        dictionary << name << name + "_s";
    const auto at = [&dictionary](const QString& text) { return offsetOf(dictionary, text); };
    const RawItem texture = entry4(at("colorMap"), at("tex"));
    QVector<RawMaterial> materials;
    for (const QString& name : names)
        materials.append(
            {at(name), at(name + "_s"), 0, {quint16(materials.size() + 1), 2, 3, 4}, 1, {texture}});
    return buildBlock(dictionary, materials);
}

QStringList menuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << QFileInfo(action->text()).fileName() + (action->isEnabled() ? "" : "-");
    return texts;
}

// Every way to an open: the name the open dialog gives, the names the program is started with
// (relative to where it started), a drop on the window or on either table. Then the warning,
// answered with OK, and the file shown after it ("": none). good.mtls is shown before: a refused
// library leaves it, a refused model has cleared it. bad* files hold no library, ex* ones the
// example, gone* are not there.
const char* const NotAModel = "Invalid File\nbad_b.mdl: not a model file: it starts with 6E 6F 74 "
                              "20, not 4D 44 4C 21 (\"MDL!\")";
const char* const Opens[][5] = {
    {"empty", "open", "bad.mtls", "Invalid File\nbad.mtls: the file is empty", "good.mtls"},
    {"missing model", "open", "gone.mdl",
     "Cannot open file : No such file or directory\ngone.mdl: No such file or directory",
     "good.mtls"},
    {"a library named as a model", "open", "ex.MDL",
     "Invalid File\nex.MDL: not a model file: it starts with 4D 54 4C 73, not 4D 44 4C 21 "
     "(\"MDL!\")",
     ""},
    {"a model's name inside", "open", "ex.mdl.mtls", "", "ex.mdl.mtls"},
    {"too large", "open", "many.mtls",
     "This library is too large to show: 4 dictionary strings and 200,000 materials of 16 "
     "columns; the editor shows at most 3,000,000 cells.",
     "good.mtls"},
    {"started with several", "start", "ex.mtls car.mdl", "", "ex.mtls"},
    {"started with a missing one first", "start", "gone.mtls ex.mtls",
     "Cannot open file : No such file or directory\ngone.mtls: No such file or directory",
     "good.mtls"},
    // The tables take the first file, whatever it is; the window the first library.
    {"dropped on the dictionary", "dictionary", "bad_b.mdl bad_a.MTLS bad_c.mtls", NotAModel, ""},
    {"dropped on the materials", "materials", "bad_b.mdl bad_a.MTLS bad_c.mtls", NotAModel, ""},
    {"dropped on the window", "window", "bad_a.MTLS bad_c.mtls gone.mtls",
     "Invalid File\nbad_c.mtls: not an MTLs block: it starts with 6E 6F 74 20, not 4D 54 4C 73 "
     "(\"MTLs\")",
     "good.mtls"},
    {"dropped with no library", "window", "bad_a.MTLS https://example.org/a.mtls bad_b.mdl", "",
     "good.mtls"}};

void drop(QWidget* target, const QStringList& paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << (path.startsWith("http") ? QUrl(path)
                                         : QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted() && enter.dropAction() == Qt::CopyAction);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    // Beside its form the window sets a title button that does nothing, tables nothing is
    // dragged from, and registers the ten faces of the bundle.
    void openLibrary()
    {
        Window win;
        QVERIFY(!win.w.ui->QV_Title->isEnabled() && !win.materials->dragEnabled() &&
                !win.dictionary->dragEnabled() && win.materials->parentWidget()->acceptDrops() &&
                win.materials->acceptDrops() && win.materials->viewport()->acceptDrops());
        for (int id = 0; id < 10; ++id)
            QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList{"Lato"});
        QCOMPARE(shown(win.w).mid(6).join('|'), QString("no header +|||no header +||")); // 2 x 1
        win.open("rich.mtls", richBlock());
        QCOMPARE(win.w.current_file, win.open("gear.mtls", exampleBlock()));
        QCOMPARE(shown(win.w).mid(3).join('\n'),
                 QString("gear.mtls   \n  Found 1 materials:\nItems: 1   \n++++++++--------\n"
                         "B0|<none>|yCS_gear|mat|1|Normal|colorMap|tex_d\n+++\n0|mat|0\n"
                         "1|yCS_gear|4\n2|Normal|13\n3|colorMap|20\n4|tex_d|29"));
        // The last column stretches; the main shader is centred, the name is not; MODIFY in 8 pt.
        QCOMPARE(
            QVector<int>(
                {win.dictionary->columnWidth(0), win.dictionary->columnWidth(1),
                 win.materials->columnWidth(1), win.materials->columnWidth(2),
                 win.materials->columnWidth(3), win.materials->horizontalHeader()->maximumHeight(),
                 win.materials->horizontalHeader()->stretchLastSection(),
                 win.materials->updatesEnabled(), win.materials->item(0, 2)->textAlignment(),
                 win.materials->item(0, 3)->textAlignment(), win.button(0)->font().pointSize()}),
            QVector<int>({45, 170, 110, 140, 140, 30, 1, 1, Qt::AlignCenter, 0, 8}));
        QCOMPARE(win.materials->horizontalHeaderItem(15)->text(), QString("P10")); // P0 at 5
        QStringList found; // the dictionary slot: a string by its offset, else ""
        for (const int offset : {0, 29, 14, 35})
            QMetaObject::invokeMethod(&win.w, "MTLDictionary", Qt::DirectConnection,
                                      Q_RETURN_ARG(QString, *found.insert(found.end(), "")),
                                      Q_ARG(int, offset));
        QCOMPARE(found.join('|'), QString("mat|tex_d||"));
        // The widest row keeps its columns; no main shader item in any row hides them all.
        win.open("rich.mtls", richBlock());
        QVERIFY(!win.materials->isColumnHidden(17));
        win.open("e.mtls", buildBlock({"", "m", "v"}, {RawMaterial{1, 0, 3, {}, 0, {}}}));
        QVERIFY(win.materials->isColumnHidden(5) && !win.materials->isColumnHidden(4));
    }

    void opens_data() { testrows::addRows(Opens); }

    void opens()
    {
        QFETCH(int, row);
        const QString way = Opens[row][1], shows = Opens[row][4];
        const QStringList names = QString(Opens[row][2]).split(' ', Qt::SkipEmptyParts);
        const QString warned = systemWords(Opens[row][3]);
        Window win;
        for (const char* name : {"good.mtls", "ex.mtls", "ex.MDL", "ex.mdl.mtls"})
            QVERIFY(writeFile(name, exampleBlock()));
        for (const char* name : {"bad_b.mdl", "bad_a.MTLS", "bad_c.mtls", "bad.mtls"}) // empty
            QVERIFY(writeFile(name, QByteArray(name).contains('_') ? "not a library" : ""));
        if (names.contains("many.mtls"))
            QVERIFY(writeFile("many.mtls",
                              buildBlock({"mat", "yCS", "Normal", "tex"},
                                         QVector<RawMaterial>(200000, {0, 4, 8, {}, 0, {}}))));
        win.open("good.mtls");
        const QStringList before = shown(win.w);
        const QByteArray catalogue = readFile("MTLs_Shaders.ini");
        if (way == "open")
            win.open(names[0]);
        else if (way == "start")
            win.w.openFiles(names);
        else
            drop(way == "window"       ? win.w.ui->groupBox
                 : way == "dictionary" ? win.dictionary->viewport()
                                       : win.materials->viewport(),
                 names);
        QCOMPARE(win.messages(), warned.isEmpty() ? "" : "Warning: " + warned);
        QVERIFY(shows != "good.mtls" || shown(win.w) == before);
        QCOMPARE(win.w.current_file, shows.isEmpty() ? "" : win.path(shows));
        QCOMPARE(win.materials->rowCount(), shows.isEmpty() ? 2 : 1);
        QVERIFY(!catalogue.isEmpty() && readFile("MTLs_Shaders.ini") == catalogue);
    }

    // The dialog refuses an empty name, and any name while no shader is learnt. OK appends a row;
    // a row's MODIFY replaces that row and selects its shader, and a swap abandoned leaves the
    // next add appending; Delete takes the selected rows in one step.
    void addSwapAndDelete()
    {
        Window win;
        for (const char* name : {"Lonely", ""}) {
            win.answers.expectMessage();
            QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
            win.submit(name);
            QVERIFY(win.answers.messages().last().text.startsWith(
                *name ? "There is no shader to choose yet." : "Model Name cannot be empty."));
            QVERIFY(win.w.dialog->isVisible() && !QFile::exists(MainWindow::previewPath()) &&
                    !win.w.isWindowModified());
            win.cancel();
            QVERIFY(!win.w.dialog->isVisible());
        }
        const QByteArray library =
            buildBlock({"mat", "yCS_gear", "Normal", "colorMap", "tex_d", "hash"},
                       {{0, 4, 13, {1, 2, 3, 4}, 2, {entry4(20, 29), entry5(35, 7)}}});
        const QString opened = win.open("lib.mtls", library);
        win.w.ui->actionAdd_Material->trigger();
        QCOMPARE(win.shaders()->currentText() + win.nameField()->text(),
                 QString("yCS_gear::Normal"));
        win.submit("Car_ALPHA");
        QVERIFY(!win.w.dialog->isVisible());
        for (bool closed : {false, true}) {
            win.materials->setCurrentCell(1, 0); // the button names its row, not the current one
            QTest::mouseClick(win.button(0), Qt::LeftButton);
            QVERIFY(win.w.swap_pending && win.w.swap_row == 0);
            closed ? void(win.w.dialog->close()) : win.cancel();
            QVERIFY(!win.w.swap_pending);
            QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
            win.submit(closed ? "Extra2" : "Extra");
        }
        QStringList sent; // what the window tells the dialog: the row's main shader and name
        connect(&win.w, &MainWindow::textFocus,
                [&sent](const QStringList& names) { sent = names; });
        QTest::mouseClick(win.button(0), Qt::LeftButton); // the first row is replaced in place
        QCOMPARE(win.w.swap_row, 0);
        QCOMPARE(sent, (QStringList{"yCS_gear", "mat"}));
        QCOMPARE(win.nameField()->text(), QString("mat"));
        win.submit("Crown_ALPHA");
        QCOMPARE(win.rows(),
                 QString("B0|<none>|yCS_gear|Crown_ALPHA|2|Normal|colorMap|Crown_color|hash\n"
                         "B1|<none>|yCS_gear|Car_ALPHA|2|Normal|colorMap|Car_color|hash\n"
                         "B2|<none>|yCS_gear|Extra|2|Normal|colorMap|Extra_color|hash\n"
                         "B3|<none>|yCS_gear|Extra2|2|Normal|colorMap|Extra2_color|hash"));
        QCOMPARE(win.materials->findChildren<QPushButton*>().size(), 4); // old ones deleted at once
        QCOMPARE(readFile(opened), library);
        const auto preview = mtls::decode(readFile(MainWindow::previewPath()));
        QCOMPARE(preview->materials[0].items[1].first, mtls::PreviewHash);
        // An unknown shader gives a row of five cells; a fresh window drops its two rows.
        win.answers.expectChoice(QMessageBox::Discard);
        win.w.ui->actionQueue_All->trigger();
        call(win.w, "add_material", "Lonely", "noSuch");
        QCOMPARE(win.rows(), QString("B0|<none>|noSuch|Lonely|0|noSuch"));
        QCOMPARE(mtls::decode(readFile(MainWindow::previewPath()))->dictionaryTexts(),
                 (QStringList{"noSuch", "Lonely", ""}));

        win.answers.expectChoice(QMessageBox::Discard);
        win.open("two.mtls", libraryOf({"gear_mat", "eye_mat"}));
        for (const int row : {1, 0}) {
            QTest::mouseClick(win.button(row), Qt::LeftButton);
            QCOMPARE(win.shaders()->currentText(),
                     row ? "eye_mat_s::Normal" : "gear_mat_s::Normal");
            win.cancel();
        }
        win.open("odd.mtls", buildBlock({"m", "yCS_odd", "V"}, {{0, 2, 10, {}, 0, {}}}));
        win.open("two.mtls");
        win.materials->item(1, 5)->setText("Unknown"); // a variant the list lacks
        QTest::mouseClick(win.button(1), Qt::LeftButton);
        QCOMPARE(win.shaders()->currentText(), QString("yCS_gear::Normal")); // left as it was
        win.cancel();
        QAction* remove = win.w.findChild<QAction*>("actionDelete_Material");
        remove->trigger(); // nothing selected
        QCOMPARE(libraryLine(win.w), QString("Select the materials to delete."));
        win.materials->selectAll(); // undone in the undo tests below
        remove->trigger();
        QCOMPARE(win.rows() + shown(win.w).mid(3, 3).join('|'),
                 QString("two.mtls   |  Found 0 materials:|Items: 0   "));
        QCOMPARE(win.w.findChild<QAction*>("actionUndo")->text(),
                 QString("Undo Delete 2 Materials"));
    }

    // The working write takes the tables as they stand and says when it cannot write; Clear View
    // leaves a fresh view with nothing to save and no swap pending.
    void viewCommands()
    {
        Window win;
        const QStringList fresh = shown(win.w);
        win.open("empty.mtls", buildBlock({"a", "b"}, {})); // nothing to save
        call(win.w, "rebuild_mtl");
        win.open("cut.mtls", exampleBlock().left(74)); // nor in a cut material alone
        call(win.w, "rebuild_mtl");
        win.open("cut2.mtls", libraryOf({"a", "b"}).chopped(4));
        win.materials->removeColumn(1); // as the caller does, and the cut material's row gone
        win.materials->removeRow(1);
        call(win.w, "rebuild_mtltempFile", win.path("working.bin"));
        QCOMPARE(mtls::decode(readFile(win.path("working.bin")))->materials.size(), 1);
        win.open("lib.mtls", exampleBlock());
        win.w.swap_pending = true;
        win.materials->removeColumn(1); // as the caller does: the tables are written as they stand
        call(win.w, "rebuild_mtltempFile", win.path("working.bin"));
        win.answers.expectMessage(); // a working file that cannot be written is not saved
        call(win.w, "rebuild_mtltempFile", win.path("no/working.bin"));
        QVERIFY(win.messages().endsWith(
            "\n" + QDir::toNativeSeparators("no/working.bin") +
            systemWords(": not saved: No such file or directory", win.path("no/x"))));
        QCOMPARE(mtls::decode(readFile(win.path("working.bin")))->dictionaryTexts().join('|'),
                 QString("mat|yCS_gear|Normal|colorMap|tex_d|"));
        QCOMPARE(win.w.current_file, win.path("lib.mtls"));
        win.w.ui->actionQueue_All->trigger();
        QCOMPARE(shown(win.w).mid(3), fresh.mid(3)); // but "modified": Clear View can be undone
        QVERIFY(win.w.current_file.isEmpty() && !win.w.swap_pending); // the MODIFY went with it
        // Nothing to save is said, by the button and by a save from elsewhere, with no dialog.
        call(win.w, "on_pushButton_2_clicked");
        QVERIFY(win.answers.fileDialogs().isEmpty() && shown(win.w).mid(3) == fresh.mid(3));
        QVERIFY(win.messages().startsWith("Warning: No MTL data loaded.\n") &&
                win.messages().endsWith("\nWarning: No MTL data loaded. Load/add a Material to "
                                        "save file."));
        // Save, asked before a drop, finds nothing to save: the drop does not happen.
        win.answers.expectChoice(QMessageBox::Save);
        win.answers.expectMessage();
        drop(win.w.ui->groupBox, {win.path("lib.mtls")});
        QVERIFY(win.w.current_file.isEmpty() && win.messages().count("Load/add") == 2 &&
                win.messages().contains("Save changes to the new library before opening"));
        // The working write reads no dictionary from the fresh view's two empty rows.
        call(win.w, "rebuild_mtltempFile", win.path("fresh.bin"));
        QCOMPARE(QSize(win.dictionary->columnCount(), win.dictionary->rowCount()), QSize(0, 0));
    }

    // Each command that drops the view asks first when there are unsaved changes; Save runs the
    // normal save, and a save cancelled keeps the command from happening.
    void unsavedChangesQuestion()
    {
        enum { None = -1, SaveCancelled = 1, SaveFailed = 2 }; // Save, then Cancel or no folder
        const int answers[] = {QMessageBox::Save,   QMessageBox::Discard,
                               QMessageBox::Cancel, None,
                               SaveCancelled,       SaveFailed};
        // The command, and what the question names it by after "before".
        for (const QString command : {"closing", "exiting", "opening another file|dialog",
                                      "opening another file|window drop",
                                      "opening another file|table drop", "clearing the view"})
            for (const int answer : answers) {
                Window win;
                QVERIFY(win.activated());
                const QString other = win.path("other.mtls"), saved = win.path("saved.mtls");
                QVERIFY(writeFile(other, exampleBlock()));
                win.open("lib.mtls", libraryOf({"gear_mat", "eye_mat"}));
                if (answer != None) {
                    win.materials->item(1, 3)->setText("renamed");
                    win.answers.expectChoice(answer == SaveCancelled || answer == SaveFailed
                                                 ? QMessageBox::Save
                                                 : answer);
                }
                QCOMPARE(win.w.isWindowModified(), answer != None);
                const bool goesOn =
                    answer == None || answer == QMessageBox::Save || answer == QMessageBox::Discard;
                if (answer == QMessageBox::Save || answer == SaveFailed) { // and a message
                    win.answers.expectFileDialog(answer == SaveFailed ? win.path("gone/s") : saved);
                    win.answers.expectMessage();
                }
                if (answer == SaveCancelled)
                    win.answers.expectFileDialogCancel();
                if (command.endsWith("dialog") && goesOn)
                    win.answers.expectFileDialog(other);
                if (command.endsWith("dialog"))
                    QTest::mouseClick(win.w.ui->MTL_Button_0, Qt::LeftButton);
                else if (command.endsWith("drop"))
                    drop(command.contains("table") ? win.dictionary->viewport()
                                                   : win.w.ui->groupBox,
                         {other});
                else if (command.startsWith("clearing"))
                    QTest::keyClick(&win.w, Qt::Key_T, Qt::ControlModifier);
                const bool happened =
                    command == "closing" ? win.w.close()
                    : command == "exiting"
                        ? exits(win.w)
                        : win.w.current_file != saved && win.w.current_file != win.path("lib.mtls");
                QVERIFY2(happened == goesOn, qPrintable(command + QString::number(answer)));
                QVERIFY(win.answers.pending() == 0 && win.answers.unexpected() == 0);
                const QString subject = command.section('|', 0, 0);
                QCOMPARE(win.messages().section('\n', 0, 0),
                         answer == None
                             ? QString()
                             : "Unsaved Changes: Save changes to lib.mtls before " + subject + "?");
                QCOMPARE(readFile(saved).contains("renamed"), answer == QMessageBox::Save);
            }
    }

    // Undo gives back exactly what the step found, redo what it left; a save after either
    // writes the same bytes.
    void undoRedo()
    {
        const QByteArray model =
            testsupport::ModelBuilder().names({"Jersey", "Eye_L"}).materials({0, 1}).end().build();
        for (const QString step : {"edit", "add", "replace", "delete", "import", "clear"}) {
            Window win;
            QVERIFY(win.activated());
            if (step != "import")
                win.open("lib.mtls", libraryOf({"gear_mat", "eye_mat"}));
            const QStringList before = shown(win.w);
            const QString rowsBefore = win.rows();
            QString text;
            if (step == "edit") {
                win.materials->item(0, 3)->setText("Cap_ALPHA");
                text = "Edit Cap_ALPHA";
            } else if (step == "add" || step == "replace") {
                if (step == "replace")
                    QTest::mouseClick(win.button(1), Qt::LeftButton);
                win.submit("Cap_ALPHA", "eye_mat_s::Normal");
                text = (step == "add" ? "Add" : "Replace") + QString(" Cap_ALPHA");
            } else if (step == "delete") {
                win.materials->selectRow(1); // not the first: its own name
                QTest::keyClick(win.materials, Qt::Key_Delete);
                text = "Delete eye_mat";
            } else if (step == "import") {
                QVERIFY(writeFile(win.path("hero.mdl"), model));
                win.open("hero.mdl");
                QVERIFY(libraryLine(win.w).startsWith("2 of 2 materials got no parameters: their "
                                                      "shaders are not in the catalogue yet"));
                text = "Import hero.mdl";
            } else {
                win.w.ui->actionQueue_All->trigger();
                text = "Clear View";
            }
            QAction* undo = win.w.findChild<QAction*>("actionUndo");
            QAction* redo = win.w.findChild<QAction*>("actionRedo");
            QCOMPARE(undo->text(), "Undo " + text);
            const QStringList after = shown(win.w);
            const QString rowsAfter = win.rows();
            QVERIFY2(after != before && after.contains("modified"), qPrintable(step));
            QTest::keyClick(&win.w, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(shown(win.w), before);
            QTest::keyClick(&win.w, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(shown(win.w), after);
            if (step == "clear")
                continue; // nothing to save
            QByteArray bytes[2];
            for (QByteArray& written : bytes) {
                win.answers.expectFileDialog(win.path("saved.mtls"));
                win.answers.expectMessage();
                QTest::keyClick(&win.w, Qt::Key_S, Qt::ControlModifier);
                QVERIFY(!win.w.isWindowModified());
                written = readFile(win.path("saved.mtls"));
                undo->trigger(); // a save changes what the step gives back and takes
                QVERIFY(win.w.isWindowModified() && win.rows() == rowsBefore);
                redo->trigger();
                QVERIFY2(!win.w.isWindowModified() && win.rows() == rowsAfter, qPrintable(step));
            }
            QVERIFY(!bytes[0].isEmpty() && bytes[0] == bytes[1]);
            QVERIFY(!win.w.announce_save); // a later working write says nothing
        }
    }

    // The count cell as a user types it: a whole number from 0 to 65535 or nothing is taken.
    void countCell()
    {
        Window win;
        QVERIFY(win.activated());
        win.open("lib.mtls", libraryOf({"gear_mat", "eye_mat"}));
        win.answers.expectMessage();
        win.w.ui->actionEnable_Cell_Edits->trigger(); // then a double click opens an editor
        QCOMPARE(win.messages(), QString("Warning: TableProperty edits enabled"));
        QString count = "1"; // the limits and one past them, and texts that are no number
        for (const QString typed : {"65535", "65536", "0", "-1", "abc", "", "1.5", "7"}) {
            const bool taken = typed == "65535" || typed == "0" || typed == "7";
            const QRect cell = win.materials->visualRect(win.materials->model()->index(0, 4));
            QTest::mouseClick(win.materials->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(win.materials->viewport(), Qt::LeftButton, {}, cell.center());
            QLineEdit* editor = nullptr; // the one open now; closed ones wait for deletion
            for (QLineEdit* each : win.materials->viewport()->findChildren<QLineEdit*>())
                editor = each->isVisible() ? each : editor;
            QVERIFY(editor);
            win.w.statusBar()->clearMessage();
            editor->selectAll();
            QTest::keyClick(editor, Qt::Key_Backspace);
            QTest::keyClicks(editor, typed);
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents(); // the delegate commits on its next turn
            count = taken ? typed : count;
            QCOMPARE(win.materials->item(0, 4)->text(), count);
            const QString refusal =
                "SubMtls # takes a whole number from 0 to 65535, not \"" + typed + "\".";
            QCOMPARE(libraryLine(win.w) == refusal, !taken);
        }
        // A change signalled over whole rows, the buttons' column too, finds nothing to edit.
        QAbstractItemModel* model = win.materials->model();
        const int steps = win.w.history->count();
        emit model->dataChanged(model->index(0, 0), model->index(1, model->columnCount() - 1));
        QCOMPARE(win.w.history->count(), steps);
        // An edit a save would refuse is said at once, naming the material.
        win.materials->item(0, 6)->setText("noType");
        QCOMPARE(
            libraryLine(win.w),
            QString("Material \"gear_mat\": Unknown parameter type: noType (a save refuses this)"));
        win.materials->item(1, 3)->setText("");
        QCOMPARE(libraryLine(win.w), QString("Material 1: the Model_ID is empty."));
    }

    // 30,000 rows load in time in proportion to their number. Exactly the rows in view have
    // their buttons, in their cells: the first and the last in view, not the rows just past
    // them, wherever the view stands and whether it holds one row or ten.
    void manyRows()
    {
        Window win;
        QVERIFY(win.activated());
        QTableWidget* t = win.materials;
        auto inViewOnly = [&] { // once the view has settled
            QCoreApplication::processEvents();
            const int first = t->rowAt(0), below = t->rowAt(t->viewport()->height() - 1);
            const int last = below < 0 ? t->rowCount() - 1 : below;
            for (const int r : {first - 1, first, last, last + 1}) {
                const bool in = r >= first && r <= last;
                if (r >= 0 && r < t->rowCount() &&
                    (win.button(r)->isVisible() != in ||
                     (in && win.button(r)->geometry() != t->visualRect(t->model()->index(r, 1)))))
                    return QString("row %1, in view %2 to %3").arg(r).arg(first).arg(last);
            }
            return QString();
        };
        win.open("one.mtls", exampleBlock()); // fewer rows than the view holds
        QCOMPARE(inViewOnly(), QString());
        // A column inserted into filled rows moves every cell after it, once per row.
        int columnsIntoRows = 0;
        connect(t->model(), &QAbstractItemModel::columnsAboutToBeInserted,
                [&] { columnsIntoRows += t->rowCount() > 0 ? 1 : 0; });
        const QVector<RawMaterial> many(30000, RawMaterial{0, 4, 8, {}, 0, {}});
        QVERIFY(writeFile(win.path("many.mtls"), buildBlock({"mat", "yCS", "Normal"}, many)));
        QElapsedTimer timer;
        timer.start();
        win.open("many.mtls");
        const qint64 elapsed = timer.elapsed();
        qInfo("30,000 rows in %lld ms", elapsed);
        QVERIFY(elapsed < ManyRowsMilliseconds && !columnsIntoRows); // elapsed: as printed
        QCOMPARE(inViewOnly(), QString());
        for (const int rows : {1, 10}) {
            t->setFixedHeight(t->height() - t->viewport()->height() + rows * t->rowHeight(0));
            for (const int at : {0, 15000, 29999}) {
                t->scrollTo(t->model()->index(at, 0), QAbstractItemView::PositionAtTop);
                QCOMPARE(inViewOnly(), QString());
                QCOMPARE(t->viewport()->height(), rows * t->rowHeight(0));
            }
        }
        QTest::mouseClick(win.button(29999), Qt::LeftButton);
        QCOMPARE(win.w.swap_row, 29999);
    }

    // The working file goes beside the program, or where the user's data goes when the program's
    // folder cannot be written; adding and a model import go through it.
    void workingFileWhereItCanBeWritten()
    {
        const auto reset = qScopeGuard([] { MainWindow::setProgramFolder({}); }); // after `win`
        Window win;
        testsupport::ModelBuilder car;
        car.names({"J_Hips", "Eye_L", "Body"}).materials({1, 2}).end();
        QVERIFY(writeFile("lib.mtls", exampleBlock()) && writeFile("car.mdl", car.build()));
        const QString program = win.path("program");
        MainWindow::setProgramFolder(program);
        QVERIFY(QDir().mkdir(program) && MainWindow::previewPath() == program + "/mtlsView.bin");
        // A plain file where the folder should be: no one, root included, can write into it.
        QVERIFY(QDir().rmdir(program) && writeFile(program, "installed"));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        const QString working = data + "/mtlsView.bin";
        QVERIFY(QDir(data).removeRecursively() && MainWindow::previewPath() == working);
        win.w.openFiles({"lib.mtls"});
        call(win.w, "add_material", "Car_ALPHA", "yCS_gear::Normal");
        QVERIFY(win.w.current_file == working && win.materials->item(1, 3)->text() == "Car_ALPHA");
        win.w.openFiles({"car.mdl"});
        QVERIFY(win.w.current_file == working && win.materials->rowCount() == 2 &&
                readFile(program) == "installed" && win.answers.messages().isEmpty() &&
                QDir(data).removeRecursively() && writeFile(data, "blocked"));
        // Now neither can be written: an add says so and changes nothing.
        win.answers.expectMessage();
        call(win.w, "add_material", "More", "yCS_gear::Normal");
        QVERIFY(win.materials->rowCount() == 2 && QFile::remove(data) &&
                win.messages().contains(QDir::toNativeSeparators(working) + ": not saved: "));
    }

    // Every .mtls below the folder teaches the catalogue, links to folders are not followed,
    // and the view stays as it was; Cancel in the folder dialog does nothing, Cancel part way
    // keeps what was learnt up to then.
    void indexShaders()
    {
        Window win;
        QVERIFY(QDir().mkpath("game/sub/deep") && writeFile("game/a.mtls", libraryOf({"a", "b"})) &&
                writeFile("game/sub/b.MTLS", libraryOf({"b", "c"})) &&
                writeFile("game/sub/deep/cut.mtls", libraryOf({"d", "e"}).chopped(10)) &&
                writeFile("game/notes.mtls", "not a library") && writeFile("game/x.txt", "") &&
                QFile::link("..", "game/sub/loop") && QDir().mkdir("many"));
        win.open("shown.mtls", exampleBlock());
        const QStringList before = shown(win.w);
        const QByteArray catalogue = readFile("MTLs_Shaders.ini");
        win.answers.expectFileDialogCancel();
        win.w.ui->actionIndex_Shaders->trigger();
        QCOMPARE(readFile("MTLs_Shaders.ini"), catalogue);
        for (const char* learnt : {"4 new shaders and 0 new parameter names", // shown: colorMap
                                   "0 new shaders and 0 new parameter names"}) {
            win.answers.expectFileDialog(win.path("game"));
            win.answers.expectMessage();
            win.w.ui->actionIndex_Shaders->trigger();
            QCOMPARE(win.answers.messages().last().text,
                     QString("Learnt %1 from 3 libraries. 1 files could not be read.").arg(learnt));
        }
        QCOMPARE(ShaderCatalogue().shaderNames(),
                 (QStringList{"a_s::Normal", "b_s::Normal", "c_s::Normal", "d_s::Normal",
                              "yCS_gear::Normal"}));
        QCOMPARE(shown(win.w), before);
        for (int i = 0; i < 40; ++i)
            QVERIFY(writeFile(QString("many/%1.mtls").arg(i), libraryOf({QString("s%1").arg(i)})));
        QTimer canceller; // only while the label counts from 1: else all 40 are learnt
        connect(&canceller, &QTimer::timeout, [] {
            auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (progress && progress->value() >= 5 &&
                progress->labelText().contains(QString(" %1 of 40 ").arg(progress->value() + 1)))
                progress->cancel();
        });
        canceller.start(0);
        win.answers.expectFileDialog(win.path("many"));
        win.answers.expectMessage();
        win.w.ui->actionIndex_Shaders->trigger();
        const int learnt = ShaderCatalogue().shaderNames().size() - 5;
        QVERIFY2(learnt >= 5 && learnt < 40, qPrintable(QString::number(learnt)));
        QCOMPARE(win.answers.messages().last().text,
                 QString("Learnt %1 new shaders and 0 new parameter names from %1 libraries.")
                     .arg(learnt));
        QCOMPARE(win.answers.unexpected(), 0);
    }

    // Find hides the rows without the text and says how many are shown; every step still
    // takes all rows.
    void find()
    {
        Window win;
        QVERIFY(win.activated());
        win.open("lib.mtls", libraryOf({"hero_eye", "hero_jersey", "cap"}));
        auto* field = win.w.findChild<QLineEdit*>("filterField");
        QTest::keyClick(&win.w, Qt::Key_F, Qt::ControlModifier);
        // The text typed, and the rows shown; a row's number is one of its cells.
        const char* const cases[][2] = {{"HERO", "01"},  {"eye", "0"}, {"_s", "012"},
                                        {"nothing", ""}, {"", "012"},  {"2", "2"}};
        for (const auto& [text, visible] : cases) {
            field->setText(text);
            QString rows;
            for (int r = 0; r < 3; ++r)
                if (!win.materials->isRowHidden(r))
                    rows += QString::number(r);
            QCOMPARE(rows, QString(visible));
            QCOMPARE(libraryLine(win.w),
                     *text ? QString("%1 of 3 materials shown.").arg(rows.size()) : "");
        }
        field->setText("eye");
        QCoreApplication::processEvents();
        QVERIFY(!win.materials->cellWidget(1, 1)->isVisible());
        win.answers.expectFileDialog(win.path("saved.mtls"));
        win.answers.expectMessage();
        QTest::keyClick(&win.w, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(mtls::decode(readFile("saved.mtls"))->materials.size(), 3);
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!field->isVisible() && !win.materials->isRowHidden(1) &&
                libraryLine(win.w).isEmpty());
    }

    // The last eight files opened or saved, most recent first; the dialogs start beside the
    // library shown, else in the last folder used; the window's place is kept.
    void rememberedBetweenRuns()
    {
        ScratchDirectory scratch;
        QFile::remove(MainWindow::settingsPath());
        QVERIFY(QDir().mkdir("d"));
        {
            AnsweredWindow win;
            for (int i = 0; i < 9; ++i)
                win.open(QString("d/f%1.mtls").arg(i), exampleBlock());
            auto* recent = win.w.findChild<QMenu*>("menuOpen_Recent");
            QCOMPARE(menuTexts(recent).join(' '),
                     QString("f8.mtls f7.mtls f6.mtls f5.mtls f4.mtls f3.mtls f2.mtls f1.mtls "
                             "Clear Menu"));
            win.open("d/f3.mtls");
            QVERIFY(QFile::remove("d/f5.mtls"));
            win.answers.expectMessage();
            recent->actions().at(4)->trigger(); // f5, gone
            QCOMPARE(win.answers.messages().value(0).text.section('\n', 0, 0),
                     systemWords("Cannot open file : No such file or directory", "d/f5.mtls"));
            QCOMPARE(menuTexts(recent).join(' '),
                     QString("f3.mtls f8.mtls f7.mtls f6.mtls f4.mtls f2.mtls f1.mtls Clear Menu"));
            win.answers.expectFileDialogCancel();
            QTest::mouseClick(win.w.ui->MTL_Button_0, Qt::LeftButton);
            QCOMPARE(win.answers.folder(), scratch.path("d"));
            call(win.w, "add_material", "x", "yCS_gear::Normal"); // the working file: not there
            win.answers.expectChoice(QMessageBox::Discard);
            win.answers.expectFileDialogCancel();
            QTest::mouseClick(win.w.ui->MTL_Button_0, Qt::LeftButton);
            QCOMPARE(win.answers.folder(), scratch.path("d"));
            recent->actions().last()->trigger();
            QCOMPARE(menuTexts(recent), QStringList{"Clear Menu-"});
            win.w.show();
            win.w.resize(900, 600);
            win.answers.expectChoice(QMessageBox::Discard); // the material added
            QVERIFY(win.w.close());
        }
        // Where a dialog given no folder would open.
        QFileDialog().setDirectory(QDir::currentPath());
        AnsweredWindow again;
        again.w.restoreRememberedGeometry();
        QCOMPARE(again.w.size(), QSize(900, 600));
        again.answers.expectFileDialogCancel();
        QTest::mouseClick(again.w.ui->MTL_Button_0, Qt::LeftButton); // nothing shown
        QCOMPARE(again.answers.folder(), scratch.path("d"));
        QFile::remove(MainWindow::settingsPath());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
