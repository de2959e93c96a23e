// The window shell: form, look, menus, the small commands, and every way a file gets in.
#include "app/ext_2.h"
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QtTest>

using testwindow::ScratchDirectory;
using testwindow::writeFile;
using Messages = QList<ModalAnswerer::Message>;

namespace {

const ModalAnswerer::Message NothingToSave{"Warning",
                                           "No MTL data loaded. Load/add a Material to save file."};
const ModalAnswerer::Message MissingFile{"Warning", "Cannot open file : No such file or directory"};
const ModalAnswerer::Message NotALibrary{"Warning", "Invalid File"};

// A window whose dialog goes with it; the program itself never deletes the dialog.
struct Window {
    MainWindow w;
    ~Window() { delete w.dialog; }
    Ui::MainWindow* operator->() const { return w.ui; }
    QList<QTableWidget*> tables() const { return {w.ui->OriginalTable, w.ui->ExternalTable}; }
};

// The captions and button texts, as the window starts.
const QString StartTexts =
    "    Materials Table     |   Open MTLs File|Items:    |  MTLs Dictionary:|"
    "MTLs|Open MTLs|Add Material|Save MTLs File as";

QString texts(const Window& w)
{
    return QStringList{w->ExternalLabel->text(), w->OriginalLabel->text(), w->label->text(),
                       w->label_3->text(),       w->label_2->text(),       w->MTL_Button_0->text(),
                       w->pushButton->text(),    w->pushButton_2->text()}
        .join('|');
}

// Whether the table is as the window starts: 2 x 1, no items, no header items, headers hidden.
bool isEmptyStart(const QTableWidget* table)
{
    return table->rowCount() == 2 && table->columnCount() == 1 && !table->item(0, 0) &&
           !table->item(1, 0) && !table->horizontalHeaderItem(0) && !table->verticalHeaderItem(0) &&
           table->horizontalHeader()->isHidden() && table->verticalHeader()->isHidden();
}

// A drag that enters `target` and drops there, as the desktop delivers it.
void drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

QList<QUrl> localUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    return urls;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void window();
    void registersLatoFaces();
    void slotOrder();
    void menus_data();
    void menus();
    void sheets();
    void resources_data();
    void resources();

    void enableCellEdits();
    void indexShadersDoesNothing();
    void exitQuits();

    void dragEnter();
    void tableDrop_data();
    void tableDrop();
    void windowDrop_data();
    void windowDrop();
    void openDialog();
    void save();
    void clearView();

private:
    // Loads read and write the catalogue in the current directory.
    ScratchDirectory scratch;
};

void TestMainWindow::window()
{
    Window window;
    QCOMPARE(window.w.windowTitle(), QStringLiteral("Quorvane Lathrine v1.04a"));
    QCOMPARE(window.w.size(), QSize(1054, 675));
    QVERIFY(window.w.current_file.isEmpty());
    QCOMPARE(texts(window), StartTexts);
    for (QTableWidget* table : window.tables())
        QVERIFY2(isEmptyStart(table), qPrintable(table->objectName()));

    QPushButton* title = window->QV_Title;
    QCOMPARE(title->text(), QStringLiteral(" Quorvane    Lathrine v1.04a"));
    QCOMPARE(title->font().family(), QStringLiteral("Lato Light"));
    QVERIFY(title->isFlat());
    QVERIFY(!title->isEnabled());
    ModalAnswerer answers;
    QTest::mouseClick(title, Qt::LeftButton);
    QVERIFY(answers.messages().isEmpty());
}

void TestMainWindow::registersLatoFaces()
{
    // Font ids are handed out from the first free slot; none is ever freed here.
    int firstFree = 0;
    while (!QFontDatabase::applicationFontFamilies(firstFree).isEmpty())
        ++firstFree;
    Window window;
    for (int id = firstFree; id < firstFree + 10; ++id)
        QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList{"Lato"});
    QVERIFY(QFontDatabase::applicationFontFamilies(firstFree + 10).isEmpty());
}

void TestMainWindow::slotOrder()
{
    // The meta-object's method table follows the declaration order.
    const QMetaObject* meta = &MainWindow::staticMetaObject;
    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods << QString::fromLatin1(meta->method(i).methodSignature());
    QCOMPARE(methods.join(' '),
             QStringLiteral("textFocus(QStringList) open_mtl(QString) on_actionExit_triggered() "
                            "ok(QString) on_actionQuorvane_Github_triggered() "
                            "on_MTL_Button_0_clicked() on_actionOpen_MDL_triggered() "
                            "MTLDictionary(int) dropEvent(QDropEvent*) "
                            "dragEnterEvent(QDragEnterEvent*) rebuild_mtl() "
                            "on_pushButton_2_clicked() on_actionMerge_Quee_triggered() "
                            "on_pushButton_clicked() hide_dialog() dialog_clicked(QStringList) "
                            "add_material(QString,QString) on_actionAdd_Material_triggered() "
                            "on_actionQueue_All_triggered() formatTable() "
                            "rebuild_mtltempFile(QString) Swap_MTL() "
                            "on_actionAdd_Swap_Button_triggered() "
                            "on_actionUnQueue_All_triggered() merge_MDL(QString) "
                            "on_actionEnable_Cell_Edits_triggered()"));
}

void TestMainWindow::menus_data()
{
    // The row is the menu's title; its entries joined by "|": text, shortcut, and what is off.
    QTest::addColumn<QString>("entries");
    QTest::newRow("File") << "Open MTLs Ctrl+R|Save MTLs File Ctrl+S|Exit";
    QTest::newRow("Edit") << "Add New Material Ctrl+N|Enable Cell Edits|Clear View Ctrl+T|"
                             "UnQueue All hidden disabled|Clear All hidden|Add Swap Button hidden|"
                             "Index Shaders";
    QTest::newRow("Help") << "Quorvane Github";
}

void TestMainWindow::menus()
{
    QFETCH(QString, entries);
    const QString title = QTest::currentDataTag();
    Window window;
    const QList<QAction*> bar = window->menubar->actions();
    QCOMPARE(bar.size(), 3);
    QAction* menu = bar.value(QStringList({"File", "Edit", "Help"}).indexOf(title));
    QCOMPARE(menu->text(), title);
    QStringList found;
    for (QAction* action : menu->menu()->actions()) {
        QString entry = action->text();
        if (!action->shortcut().isEmpty())
            entry += " " + action->shortcut().toString();
        const bool hidden = !action->isVisible();
        // A hidden action also reads as disabled; show it to see its own state.
        action->setVisible(true);
        found << entry + (hidden ? " hidden" : "") + (action->isEnabled() ? "" : " disabled");
    }
    QCOMPARE(found.join('|'), entries);
}

void TestMainWindow::sheets()
{
    // Each table shows its own watermark; the menu bar is underlined in blue.
    Window window;
    QVERIFY(window->OriginalTable->styleSheet().contains(
        "border-image: url(:/new/prefix1/avatar_male.png);"));
    QVERIFY(window->ExternalTable->styleSheet().contains(
        "border-image: url(:/new/prefix1/avatar_male1.png);"));
    QVERIFY(window->menubar->styleSheet().contains("border-bottom: 3px solid rgb(50, 140, 255);"));
}

void TestMainWindow::resources_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size"); // invalid: any size
    QTest::newRow("dictionary watermark") << ":/new/prefix1/avatar_male.png" << QSize(1024, 1024);
    QTest::newRow("materials watermark") << ":/new/prefix1/avatar_male1.png" << QSize(1024, 1024);
    QTest::newRow("save icon") << ":/new/prefix1/save_as.png" << QSize(128, 128);
    QTest::newRow("title icon") << ":/new/prefix1/qr_red.ico" << QSize();
    QTest::newRow("dialog logo") << ":/new/prefix1/qr_logo_256.ico" << QSize();
}

void TestMainWindow::resources()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY(!image.isNull());
    if (size.isValid())
        QCOMPARE(image.size(), size);
}

void TestMainWindow::enableCellEdits()
{
    Window window;
    QCOMPARE(window->ExternalTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    ModalAnswerer answers;
    answers.expectMessage();
    answers.expectMessage();
    window->actionEnable_Cell_Edits->trigger();
    window->actionEnable_Cell_Edits->trigger();
    const ModalAnswerer::Message notice{"Warning", "TableProperty edits enabled"};
    QCOMPARE(answers.messages(), (Messages{notice, notice}));
    QCOMPARE(window->ExternalTable->editTriggers(), QAbstractItemView::DoubleClicked);
    QCOMPARE(window->OriginalTable->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestMainWindow::indexShadersDoesNothing()
{
    Window window;
    ModalAnswerer answers;
    window->actionIndex_Shaders->trigger();
    QTest::qWait(50);
    QVERIFY(answers.messages().isEmpty());
    QVERIFY(isEmptyStart(window->OriginalTable) && isEmptyStart(window->ExternalTable));
    QCOMPARE(texts(window), StartTexts);
    QVERIFY(!window.w.dialog->isVisible());
}

void TestMainWindow::exitQuits()
{
    // With the dialog open and a table edited, Exit still ends the loop at once with 0.
    Window window;
    window.w.show();
    window.w.dialog->show();
    window->ExternalTable->setItem(0, 0, new QTableWidgetItem("unsaved"));
    ModalAnswerer answers;
    QTimer::singleShot(0, window->actionExit, &QAction::trigger);
    QTimer::singleShot(5000, &window.w, [] { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(answers.messages().isEmpty());
}

void TestMainWindow::dragEnter()
{
    // Files are taken everywhere; anything else is refused.
    Window window;
    QMimeData files, text;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.mtls")});
    text.setText("/tmp/a.mtls");
    for (QWidget* target : {static_cast<QWidget*>(&window.w), window->OriginalTable->viewport(),
                            window->ExternalTable->viewport()}) {
        for (QMimeData* mime : {&files, &text}) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, mime,
                                  Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QCOMPARE(enter.isAccepted() && enter.dropAction() == Qt::CopyAction, mime == &files);
            // The application remembers the drop target until the drag leaves.
            QDragLeaveEvent leave;
            QApplication::sendEvent(target, &leave);
        }
    }
}

void TestMainWindow::tableDrop_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QStringList>("emitted");
    QTest::newRow("first path, any extension")
        << localUrls({"/data/ship.mdl", "/data/a.mtls", "/data/c.mtls"})
        << QStringList{"/data/ship.mdl"};
    QTest::newRow("web link") << QList<QUrl>{QUrl("https://example.org/a.mtls")} << QStringList{""};
    QTest::newRow("no urls") << QList<QUrl>{} << QStringList{};
}

void TestMainWindow::tableDrop()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QStringList, emitted);
    Window window;
    ModalAnswerer answers; // the loader reports these made-up paths
    if (emitted == QStringList{""}) {
        QTest::ignoreMessage(QtWarningMsg, "QFSFileEngine::open: No file name specified");
        QTest::ignoreMessage(QtWarningMsg, "QFSFileEngine::open: No file name specified");
    }
    QStringList dictionary, materials;
    connect(window->OriginalTable, &ext_2::clicked3, [&](const QString& p) { dictionary << p; });
    connect(window->ExternalTable, &qv_qtablewidget::clicked,
            [&](const QString& p) { materials << p; });
    drop(window->OriginalTable->viewport(), urls);
    QCOMPARE(dictionary, emitted);
    QVERIFY(materials.isEmpty());
    drop(window->ExternalTable->viewport(), urls);
    QCOMPARE(materials, emitted);
    // Each emitted path reached the loader, which said what was wrong with it.
    QCOMPARE(answers.messages().size(), 2 * emitted.size());
}

void TestMainWindow::windowDrop_data()
{
    // Which file the window takes shows in the loader's answer: a made-up path cannot be
    // opened, an existing non-library is invalid.
    QTest::addColumn<QStringList>("names"); // "missing" ones are not created
    QTest::addColumn<Messages>("messages");
    QTest::newRow("model files skipped")
        << QStringList{"bad_ship.mdl", "bad_d.mtls", "missing_e.mtls"} << Messages{NotALibrary};
    QTest::newRow("case matters, backup counts")
        << QStringList{"bad_f.MTLS", "missing_g.mtls.bak", "bad_h.mtls"} << Messages{MissingFile};
    QTest::newRow("no library path") << QStringList{"bad_i.MTLS", "bad_k.mdl"} << Messages{};
    QTest::newRow("nothing") << QStringList{} << Messages{};
}

void TestMainWindow::windowDrop()
{
    QFETCH(QStringList, names);
    QFETCH(Messages, messages);
    ScratchDirectory files;
    QStringList paths;
    for (const QString& name : names) {
        paths << files.path(name);
        if (name.startsWith("bad"))
            QVERIFY(writeFile(paths.last(), "not a library"));
    }
    Window window;
    ModalAnswerer answers;
    // The group box takes drops but leaves them to the window.
    drop(window->groupBox, localUrls(paths));
    QCOMPARE(answers.messages(), messages);
}

void TestMainWindow::openDialog()
{
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("chosen.mtls"), "MTLx"));
    Window window;
    ModalAnswerer answers;
    answers.expectFileDialogCancel();
    window->MTL_Button_0->click();
    QVERIFY(answers.messages().isEmpty()); // cancelled: nothing opened
    answers.expectFileDialog(files.path("chosen.mtls"));
    answers.expectMessage();
    window->actionOpen_MDL->trigger();
    QCOMPARE(answers.pending(), 0);
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(answers.fileDialogs().size(), 2);
    for (const ModalAnswerer::FileDialogSeen& seen : answers.fileDialogs()) {
        QCOMPARE(seen.title, QStringLiteral("Open MTLs File"));
        QCOMPARE(seen.nameFilters, QStringList{"2K23 MTLs (*.mtls *.mdl)"});
    }
    // The chosen file went to the loader, which found no library in it.
    QCOMPARE(answers.messages(), Messages{NotALibrary});
}

void TestMainWindow::save()
{
    ScratchDirectory files;
    Window window;
    ModalAnswerer answers;
    // Nothing loaded: at the start (button, Ctrl+S), and a library without materials.
    answers.expectMessage();
    window->pushButton_2->click();
    answers.expectMessage();
    window->actionMerge_Quee->trigger();
    window->OriginalTable->setColumnCount(3); // as the loader leaves it
    window->ExternalTable->setRowCount(0);
    answers.expectMessage();
    window->actionMerge_Quee->trigger();
    QCOMPARE(answers.messages(), (Messages{NothingToSave, NothingToSave, NothingToSave}));
    QVERIFY(answers.fileDialogs().isEmpty());

    // With materials the save goes on to the rebuild, which asks where to write.
    window->ExternalTable->setRowCount(1);
    answers.expectFileDialogCancel();
    window->pushButton_2->click();
    QCOMPARE(answers.pending(), 0);
    QCOMPARE(answers.fileDialogs().size(), 1);
    QCOMPARE(answers.messages().size(), 3);
    QVERIFY(!window.w.announce_save);
    QCOMPARE(QDir(files.path(".")).entryList(QDir::Files), QStringList{});
}

void TestMainWindow::clearView()
{
    Window window;
    {
        ModalAnswerer answers;
        window->actionEnable_Cell_Edits->trigger();
    }
    for (QTableWidget* table : window.tables()) {
        table->setRowCount(5);
        table->setColumnCount(3);
        table->setItem(1, 0, new QTableWidgetItem("cell"));
        table->setHorizontalHeaderItem(0, new QTableWidgetItem("Header"));
        table->setVerticalHeaderItem(0, new QTableWidgetItem("Row"));
        table->horizontalHeader()->show();
    }
    window->ExternalLabel->setText("lib.mtls   ");
    window->OriginalLabel->setText("Dictionary of lib.mtls");
    window->label->setText("Items:    5");
    window->mtlfile->setText("kept");
    window.w.current_file = "/data/lib.mtls";
    window.w.swap_pending = true;

    // Twice, as a held Ctrl+T does: the same end state.
    window->actionQueue_All->trigger();
    window->actionQueue_All->trigger();

    QCOMPARE(texts(window), StartTexts);
    QVERIFY(window.w.current_file.isEmpty());
    for (QTableWidget* table : window.tables())
        QVERIFY2(isEmptyStart(table), qPrintable(table->objectName()));
    // Not part of the view: the field that no one writes, the pending swap, the edit mode.
    QCOMPARE(window->mtlfile->text(), QStringLiteral("kept"));
    QVERIFY(window.w.swap_pending);
    QCOMPARE(window->ExternalTable->editTriggers(), QAbstractItemView::DoubleClicked);

    ModalAnswerer answers;
    answers.expectMessage();
    window->pushButton_2->click();
    QCOMPARE(answers.messages(), Messages{NothingToSave});
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
