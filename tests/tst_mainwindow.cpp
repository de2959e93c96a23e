// The window shell: form, look, menus, the small commands, and every way a file gets in.
#include "app/ext_2.h"
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QDesktopServices>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
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
};

// A sheet as one line per selector: "selector { name: value; ... }", whitespace normalised,
// a rule with several selectors repeated for each of them.
QStringList rulesOf(const QString& sheet)
{
    QStringList rules;
    int from = 0;
    for (;;) {
        const int open = sheet.indexOf(QLatin1Char('{'), from);
        const int close = sheet.indexOf(QLatin1Char('}'), open + 1);
        if (open < 0 || close < 0)
            break;
        QStringList declarations;
        const QStringList parts = sheet.mid(open + 1, close - open - 1).split(QLatin1Char(';'));
        for (const QString& part : parts) {
            const int colon = part.indexOf(QLatin1Char(':'));
            if (part.trimmed().isEmpty() || colon < 0)
                continue;
            declarations << part.left(colon).trimmed() + ": " + part.mid(colon + 1).simplified();
        }
        for (const QString& selector : sheet.mid(from, open - from).split(QLatin1Char(',')))
            rules << selector.simplified() + " { " + declarations.join("; ") + " }";
        from = close + 1;
    }
    return rules;
}

QStringList scrollBarRules(const QString& width, const QString& trough)
{
    return {"QScrollBar { height: " + width + "; width: " + width + "; background: " + trough +
                " }",
            "QScrollBar:arrow { background: rgb(0, 0, 99); height: 5px }",
            "QScrollBar::add-line { height: 0px }", "QScrollBar::sub-line { height: 0px }"};
}

const QStringList pageRules{"QScrollBar::sub-page { background: rgb(30, 30, 30); height: 5px }",
                            "QScrollBar::add-page { background: rgb(30, 30, 30); height: 5px }"};

const QString selectedSection =
    "QHeaderView::section:selected { alternate-background-color: rgb(24, 24, 24); outline: 0; "
    "margin-bottom: 0px; background-color: rgb(24, 24, 24) }";

QStringList tableRules(const QString& image)
{
    return QStringList{
               "QTableWidget { outline: 0; border-image: url(:/new/prefix1/" + image + ") }",
               "QTableView { margin: 0px; border: 0px; border-style: none; background-color: "
               "rgb(24, 24, 24); alternate-background-color: rgb(31, 30, 30); gridline-color: "
               "rgb(24,24,24) }",
               "QTableView::item { margin: 0px; border: 0px; border-style: none }",
               "QTableView::item:selected { color: rgb(255,255,255); background-color: rgb(40, "
               "40, 40) }",
               "QTableView::item:hover { background-color: rgb(40, 40, 40) }"} +
           scrollBarRules("11px", "rgb(30, 30, 30)") +
           QStringList{"QScrollBar::handle { border-radius: 4px; background: rgb(75,75,75); "
                       "height: 5px; min-height: 20px }",
                       "QScrollBar::handle:hover { border-radius: 4px; background: "
                       "rgb(60,60,60); height: 5px; min-height: 20px }"} +
           pageRules +
           QStringList{"QHeaderView::section { border-top: 0px; border-left: 0px; border-right: "
                       "0px; height: 20px; outline: 0; margin-bottom: 2.5px; "
                       "alternate-background-color: rgb(31, 31, 31); background-color: rgb(31, "
                       "31, 31) }",
                       selectedSection};
}

QStringList headerRules()
{
    return QStringList{"QHeaderView::section { border-top: 0px; border-left: 0px; border-right: "
                       "0px; outline: 0; margin-bottom: 5px; alternate-background-color: rgb(31, "
                       "31, 31); background-color: rgb(31, 31, 31) }",
                       selectedSection} +
           scrollBarRules("11px", "rgb(255, 35, 35)") +
           QStringList{"QScrollBar::handle { background: rgb(60,60,60); height: 5px }"} + pageRules;
}

QStringList windowRules()
{
    return QStringList{"QWidget { background-color: rgb(40, 40, 48); color: rgb(255, 255, 255) }"} +
           scrollBarRules("9px", "rgb(30, 30, 30)") +
           QStringList{"QScrollBar::handle { border-radius: 2px; background: rgb(115,115,115); "
                       "height: 5px; width: 5px; min-width: 40 px; min-height: 40 px }",
                       "QScrollBar::handle:hover { border-radius: 2px; background: "
                       "rgb(135,135,135); height: 5px; min-width: 40px; min-height: 40px }"} +
           pageRules;
}

// Sends a drag enter to `target` and then leaves; returns whether the target took it.
bool takesDrag(QWidget* target, QMimeData* mime)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    const bool accepted = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    // The application remembers the drop target until the drag leaves or drops.
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
    delete mime;
    return accepted;
}

// A drag that enters `target` and drops there, as the desktop delivers it: the drop goes to
// whichever widget took the drag enter.
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

QWidget* child(MainWindow& w, const QString& name)
{
    return name == "MainWindow" ? &w : w.findChild<QWidget*>(name);
}

} // namespace

// Records the address that the desktop would have opened.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void registersLatoFaces();
    void window();
    void titleButton();
    void slotOrder();
    void menus();
    void actions_data();
    void actions();
    void startTables_data();
    void startTables();
    void tableDetails();
    void tablesTakeTheirHolder();
    void sheets_data();
    void sheets();
    void plainSheets_data();
    void plainSheets();
    void fonts_data();
    void fonts();
    void resources_data();
    void resources();
    void titleIconModes();

    void enableCellEdits();
    void cellEditsOnlyOnMaterials();
    void indexShadersDoesNothing();
    void exitQuits();
    void githubOpensReleases();
    void dialogWiring();

    void dragEnter_data();
    void dragEnter();
    void tableDrop_data();
    void tableDrop();
    void tableDropReachesLoader();
    void windowDrop_data();
    void windowDrop();
    void dropOnBackgroundReachesWindow();

    void openDialog_data();
    void openDialog();
    void openDialogPassesThePath();
    void saveWithNothingLoaded_data();
    void saveWithNothingLoaded();
    void saveWithLibraryRebuilds();
    void clearView();

private:
    QTemporaryDir scratch;
    QString previousDir;
};

void TestMainWindow::initTestCase()
{
    // Loads read and write the catalogue in the current directory.
    QVERIFY(scratch.isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(scratch.path()));
}

void TestMainWindow::cleanupTestCase()
{
    QDir::setCurrent(previousDir);
}

void TestMainWindow::registersLatoFaces()
{
    // Font ids are handed out from the first free slot; none is ever freed here.
    int firstFree = 0;
    while (firstFree < 10000 && !QFontDatabase::applicationFontFamilies(firstFree).isEmpty())
        ++firstFree;
    Window window;
    // Every face reports the family "Lato"; the ten registered ones fill ten slots.
    QStringList families;
    for (int id = firstFree; id < firstFree + 11; ++id)
        families << QFontDatabase::applicationFontFamilies(id).join('|');
    QCOMPARE(families, QStringList({"Lato", "Lato", "Lato", "Lato", "Lato", "Lato", "Lato", "Lato",
                                    "Lato", "Lato", ""}));
    QVERIFY(QFontDatabase().families().contains("Lato"));
}

void TestMainWindow::window()
{
    Window window;
    QCOMPARE(window.w.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.w.windowTitle(), QStringLiteral("Quorvane Lathrine v1.04a"));
    QCOMPARE(window.w.size(), QSize(1054, 675));
    QVERIFY(window.w.acceptDrops());
    QVERIFY(window->centralwidget->acceptDrops());
    QVERIFY(window->groupBox->acceptDrops());
    QVERIFY(window.w.current_file.isEmpty());
    QVERIFY(!window.w.announce_save);
    QVERIFY(!window.w.swap_pending);
    QCOMPARE(window->ExternalLabel->text(), QStringLiteral("    Materials Table     "));
    QCOMPARE(window->OriginalLabel->text(), QStringLiteral("   Open MTLs File"));
    QCOMPARE(window->label_3->text(), QStringLiteral("  MTLs Dictionary:"));
    QCOMPARE(window->label->text(), QStringLiteral("Items:    "));
    QCOMPARE(window->label_2->text(), QStringLiteral("MTLs"));
    QCOMPARE(window->MTL_Button_0->text(), QStringLiteral("Open MTLs"));
    QCOMPARE(window->pushButton->text(), QStringLiteral("Add Material"));
    QCOMPARE(window->pushButton_2->text(), QStringLiteral("Save MTLs File as"));
    QVERIFY(window->mtlfile->text().isEmpty());
    QVERIFY(window->groupBox->title().isEmpty());
    QVERIFY(window->groupBox_2->title().isEmpty());

    // Grid cells of the window's layout: row, column, row span, column span.
    const QList<QPair<QWidget*, QVector<int>>> cells{
        {window->QV_Title, {0, 0, 1, 1}},      {window->MTL_Button_0, {1, 0, 2, 1}},
        {window->pushButton, {1, 2, 2, 1}},    {window->pushButton_2, {1, 3, 2, 1}},
        {window->OriginalLabel, {3, 0, 1, 1}}, {window->ExternalLabel, {3, 2, 1, 2}},
        {window->groupBox, {4, 0, 1, 4}},      {window->groupBox_2, {5, 0, 1, 4}}};
    for (const auto& cell : cells) {
        const int index = window->gridLayout->indexOf(cell.first);
        QVERIFY2(index >= 0, qPrintable(cell.first->objectName()));
        QVector<int> place(4);
        window->gridLayout->getItemPosition(index, &place[0], &place[1], &place[2], &place[3]);
        QCOMPARE(place, cell.second);
    }
    QCOMPARE(window->gridLayout->horizontalSpacing(), 12);
    QCOMPARE(window->gridLayout->verticalSpacing(), 7);
    int left, top, right, bottom;
    window->gridLayout->getContentsMargins(&left, &top, &right, &bottom);
    QCOMPARE(QVector<int>({left, top, right}), QVector<int>({15, 3, 15}));
    QCOMPARE(window->menubar->geometry(), QRect(0, 0, 1054, 22));
}

void TestMainWindow::titleButton()
{
    Window window;
    QPushButton* title = window->QV_Title;
    QCOMPARE(title->text(), QStringLiteral(" Quorvane    Lathrine v1.04a"));
    QVERIFY(title->isFlat());
    QVERIFY(!title->isEnabled());
    QVERIFY(!title->isDefault());
    QVERIFY(!title->autoDefault());
    QVERIFY(!title->isCheckable());
    QCOMPARE(title->focusPolicy(), Qt::NoFocus);
    QVERIFY(!window->pushButton_2->isDefault());
    QVERIFY(!window->pushButton_2->isFlat());

    // Nothing is connected to a disabled button, and a click does not get through.
    ModalAnswerer answers;
    QTest::mouseClick(title, Qt::LeftButton);
    QVERIFY(answers.messages().isEmpty());
}

void TestMainWindow::slotOrder()
{
    // The meta-object's method table follows the declaration order.
    const QMetaObject* meta = &MainWindow::staticMetaObject;
    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods << QString::fromLatin1(meta->method(i).methodSignature());
    QCOMPARE(methods, (QStringList{"textFocus(QStringList)",
                                   "open_mtl(QString)",
                                   "on_actionExit_triggered()",
                                   "ok(QString)",
                                   "on_actionQuorvane_Github_triggered()",
                                   "on_MTL_Button_0_clicked()",
                                   "on_actionOpen_MDL_triggered()",
                                   "MTLDictionary(int)",
                                   "dropEvent(QDropEvent*)",
                                   "dragEnterEvent(QDragEnterEvent*)",
                                   "rebuild_mtl()",
                                   "on_pushButton_2_clicked()",
                                   "on_actionMerge_Quee_triggered()",
                                   "on_pushButton_clicked()",
                                   "hide_dialog()",
                                   "dialog_clicked(QStringList)",
                                   "add_material(QString,QString)",
                                   "on_actionAdd_Material_triggered()",
                                   "on_actionQueue_All_triggered()",
                                   "formatTable()",
                                   "rebuild_mtltempFile(QString)",
                                   "Swap_MTL()",
                                   "on_actionAdd_Swap_Button_triggered()",
                                   "on_actionUnQueue_All_triggered()",
                                   "merge_MDL(QString)",
                                   "on_actionEnable_Cell_Edits_triggered()"}));
}

void TestMainWindow::menus()
{
    Window window;
    QStringList titles;
    for (QAction* action : window->menubar->actions())
        titles << action->text();
    QCOMPARE(titles, (QStringList{"File", "Edit", "Help"}));

    auto entries = [](QMenu* menu, bool visibleOnly) {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (!visibleOnly)
                texts << action->objectName();
            else if (action->isVisible())
                texts << action->text();
        }
        return texts;
    };
    QCOMPARE(entries(window->menuFile, true), (QStringList{"Open MTLs", "Save MTLs File", "Exit"}));
    QCOMPARE(entries(window->menuEdit, true),
             (QStringList{"Add New Material", "Enable Cell Edits", "Clear View", "Index Shaders"}));
    QCOMPARE(entries(window->menuHelp, true), QStringList{"Quorvane Github"});
    QCOMPARE(entries(window->menuEdit, false),
             (QStringList{"actionAdd_Material", "actionEnable_Cell_Edits", "actionQueue_All",
                          "actionUnQueue_All", "actionClear_All", "actionAdd_Swap_Button",
                          "actionIndex_Shaders"}));
    QVERIFY(!window->menuEdit->toolTipsVisible());
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("open") << "actionOpen_MDL"
                          << "Open MTLs"
                          << "Ctrl+R" << true << true;
    QTest::newRow("save") << "actionMerge_Quee"
                          << "Save MTLs File"
                          << "Ctrl+S" << true << true;
    QTest::newRow("exit") << "actionExit"
                          << "Exit"
                          << "" << true << true;
    QTest::newRow("add") << "actionAdd_Material"
                         << "Add New Material"
                         << "Ctrl+N" << true << true;
    QTest::newRow("cell edits") << "actionEnable_Cell_Edits"
                                << "Enable Cell Edits"
                                << "" << true << true;
    QTest::newRow("clear view") << "actionQueue_All"
                                << "Clear View"
                                << "Ctrl+T" << true << true;
    QTest::newRow("unqueue") << "actionUnQueue_All"
                             << "UnQueue All"
                             << "" << false << false;
    QTest::newRow("clear all") << "actionClear_All"
                               << "Clear All"
                               << "" << false << true;
    QTest::newRow("swap button") << "actionAdd_Swap_Button"
                                 << "Add Swap Button"
                                 << "" << false << true;
    QTest::newRow("index") << "actionIndex_Shaders"
                           << "Index Shaders"
                           << "" << true << true;
    QTest::newRow("github") << "actionQuorvane_Github"
                            << "Quorvane Github"
                            << "" << true << true;
}

void TestMainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    Window window;
    auto* action = window.w.findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->parent(), &window.w);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    QCOMPARE(action->isVisible(), visible);
    // A hidden action also reads as disabled; show it to see its own state.
    action->setVisible(true);
    QCOMPARE(action->isEnabled(), enabled);
    // Holding Ctrl+T repeats Clear View.
    if (name == "actionQueue_All")
        QVERIFY(action->autoRepeat());
}

void TestMainWindow::startTables_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("dictionary") << "OriginalTable";
    QTest::newRow("materials") << "ExternalTable";
}

void TestMainWindow::startTables()
{
    QFETCH(QString, name);
    Window window;
    auto* table = window.w.findChild<QTableWidget*>(name);
    QVERIFY(table);
    QCOMPARE(table->parentWidget(), window->groupBox);
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->columnCount(), 1);
    for (int row = 0; row < 2; ++row)
        QVERIFY(!table->item(row, 0));
    QVERIFY(!table->horizontalHeaderItem(0));
    QVERIFY(!table->verticalHeaderItem(0));
    QVERIFY(table->horizontalHeader()->isHidden());
    QVERIFY(table->verticalHeader()->isHidden());
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(table->alternatingRowColors());
    QCOMPARE(table->focusPolicy(), Qt::NoFocus);
    QVERIFY(table->acceptDrops());
    QVERIFY(table->viewport()->acceptDrops());
    QVERIFY(table->autoFillBackground());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!table->dragEnabled());

    QHeaderView* header = table->horizontalHeader();
    QVERIFY(header->stretchLastSection());
    QCOMPARE(header->maximumHeight(), 30);
    QCOMPARE(header->focusPolicy(), Qt::NoFocus);
    QCOMPARE(header->selectionMode(), QAbstractItemView::NoSelection);
    QCOMPARE(header->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!header->highlightSections());
    QVERIFY(!header->isSortIndicatorShown());
}

void TestMainWindow::tableDetails()
{
    Window window;
    ext_2* dictionary = window->OriginalTable;
    QCOMPARE(dictionary->minimumSize(), QSize(407, 0));
    QCOMPARE(dictionary->horizontalHeader()->defaultSectionSize(), 100);
    QVERIFY(!dictionary->verticalHeader()->cascadingSectionResizes());

    qv_qtablewidget* materials = window->ExternalTable;
    QCOMPARE(materials->minimumSize(), QSize(0, 0));
    QVERIFY(!materials->hasMouseTracking());
    QVERIFY(materials->hasAutoScroll());
    QCOMPARE(materials->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(materials->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QVERIFY(!materials->horizontalHeader()->cascadingSectionResizes());
    QCOMPARE(materials->horizontalHeader()->minimumSectionSize(), 50);
    QCOMPARE(materials->horizontalHeader()->defaultSectionSize(), 50);
    QVERIFY(!materials->verticalHeader()->stretchLastSection());

    // Row 2 of the group box holds the two tables side by side; row 1 stays empty.
    QVector<int> place(4);
    window->gridLayout_2->getItemPosition(window->gridLayout_2->indexOf(dictionary), &place[0],
                                          &place[1], &place[2], &place[3]);
    QCOMPARE(place, QVector<int>({2, 0, 1, 1}));
    window->gridLayout_2->getItemPosition(window->gridLayout_2->indexOf(materials), &place[0],
                                          &place[1], &place[2], &place[3]);
    QCOMPARE(place, QVector<int>({2, 1, 1, 1}));
}

void TestMainWindow::tablesTakeTheirHolder()
{
    // The holder only lends its drops; the layout that takes the table gives it a parent.
    QWidget holder;
    QVERIFY(!holder.acceptDrops());
    ext_2 dictionary(&holder);
    QCOMPARE(dictionary.parent(), nullptr);
    QVERIFY(holder.acceptDrops());
    QVERIFY(dictionary.acceptDrops());
    QVERIFY(dictionary.viewport()->acceptDrops());

    QWidget other;
    qv_qtablewidget materials(&other);
    QCOMPARE(materials.parent(), nullptr);
    QVERIFY(other.acceptDrops());
    QVERIFY(materials.acceptDrops());
    QVERIFY(materials.viewport()->acceptDrops());
}

void TestMainWindow::sheets_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QStringList>("rules");
    QTest::newRow("window") << "window" << windowRules();
    QTest::newRow("menu bar")
        << "menubar"
        << QStringList{"QMenuBar { border: .75px solid rgb(35,35,35); border-bottom: 3px solid "
                       "rgb(50, 140, 255); border-radius: 2px; color: rgb(255, 255, 255); "
                       "background-color: rgb(53,53,60) }",
                       "QMenu::item:selected { background-color: rgb(32, 32, 32) }"};
    QTest::newRow("dictionary table") << "OriginalTable" << tableRules("avatar_male.png");
    QTest::newRow("materials table") << "ExternalTable" << tableRules("avatar_male1.png");
    QTest::newRow("dictionary columns") << "OriginalTable horizontal" << headerRules();
    QTest::newRow("dictionary rows") << "OriginalTable vertical" << headerRules();
    QTest::newRow("materials columns") << "ExternalTable horizontal" << headerRules();
    QTest::newRow("materials rows") << "ExternalTable vertical" << headerRules();
}

void TestMainWindow::sheets()
{
    QFETCH(QString, owner);
    QFETCH(QStringList, rules);
    Window window;
    QString sheet;
    if (owner == "window") {
        sheet = window.w.styleSheet();
    } else if (owner == "menubar") {
        sheet = window->menubar->styleSheet();
    } else {
        const QStringList parts = owner.split(' ');
        auto* table = window.w.findChild<QTableWidget*>(parts.first());
        QVERIFY(table);
        if (parts.size() == 1)
            sheet = table->styleSheet();
        else if (parts.last() == "horizontal")
            sheet = table->horizontalHeader()->styleSheet();
        else
            sheet = table->verticalHeader()->styleSheet();
    }
    QCOMPARE(rulesOf(sheet), rules);
}

void TestMainWindow::plainSheets_data()
{
    const QString panel = "background-color: rgb(24, 24, 24);\ncolor: rgb(255, 255, "
                          "255);\nborder: 0;\nborder-radius: 5px;";
    const QString caption =
        "background-color: rgb(109, 109, 109);\ncolor: rgb(0, 0, 0);\nborder-radius: 5px;";
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sheet");
    QTest::newRow("central") << "centralwidget"
                             << "background-color: rgb(41, 41, 47);";
    QTest::newRow("open button") << "MTL_Button_0"
                                 << "color: rgb(255, 255, 255);";
    QTest::newRow("save button") << "pushButton_2"
                                 << "background-color: rgb(40, 40, 48);\ncolor: rgb(255, 255, "
                                    "255);";
    QTest::newRow("add button") << "pushButton"
                                << "";
    QTest::newRow("group box") << "groupBox"
                               << "background-color: rgb(36, 36, 42);\nborder-radius: 3px;";
    QTest::newRow("status box") << "groupBox_2" << panel;
    QTest::newRow("dictionary caption") << "label_3" << panel;
    QTest::newRow("file caption") << "mtlfile" << panel;
    QTest::newRow("open caption") << "OriginalLabel" << caption;
    QTest::newRow("materials caption") << "ExternalLabel" << caption;
    QTest::newRow("MTLs badge") << "label_2"
                                << "background-color: rgb(64, 100, 145);\ncolor: rgb(0, 0, "
                                   "0);\nborder-radius: 5px;";
    QTest::newRow("counter") << "label"
                             << "";
}

void TestMainWindow::plainSheets()
{
    QFETCH(QString, name);
    QFETCH(QString, sheet);
    Window window;
    QWidget* widget = child(window.w, name);
    QVERIFY(widget);
    QCOMPARE(widget->styleSheet(), sheet);
}

void TestMainWindow::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pointSize"); // 0: the application's size
    QTest::addColumn<int>("weight");
    QTest::newRow("F1 materials caption") << "ExternalLabel"
                                          << "Lato Semibold" << 8 << 75;
    QTest::newRow("F1 badge") << "label_2"
                              << "Lato Semibold" << 8 << 75;
    QTest::newRow("F2 open caption") << "OriginalLabel"
                                     << "Lato Semibold" << 0 << 75;
    QTest::newRow("F2 file caption") << "mtlfile"
                                     << "Lato Semibold" << 0 << 75;
    QTest::newRow("F2 dictionary") << "OriginalTable"
                                   << "Lato Semibold" << 0 << 75;
    QTest::newRow("F2 materials") << "ExternalTable"
                                  << "Lato Semibold" << 0 << 75;
    QTest::newRow("F3 dictionary caption") << "label_3"
                                           << "Lato" << 0 << 50;
    QTest::newRow("F4 title") << "QV_Title"
                              << "Lato Light" << 11 << 50;
    QTest::newRow("F5 menu bar") << "menubar"
                                 << "Helvetica" << 0 << 50;
}

void TestMainWindow::fonts()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(int, pointSize);
    QFETCH(int, weight);
    Window window;
    QWidget* widget = child(window.w, name);
    QVERIFY(widget);
    const QFont font = widget->font();
    QCOMPARE(font.family(), family);
    QCOMPARE(font.weight(), weight);
    QCOMPARE(font.pointSize(), pointSize ? pointSize : QApplication::font().pointSize());
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
    QVERIFY2(!image.isNull(), qPrintable(path));
    if (size.isValid())
        QCOMPARE(image.size(), size);
    // The watermarks are drawn on a transparent ground.
    if (path.contains("avatar_male"))
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);

    const QStringList faces{"Black",        "BlackItalic",    "Bold",        "BoldItalic",
                            "Hairline",     "HairlineItalic", "Heavy",       "HeavyItalic",
                            "Italic",       "Light",          "LightItalic", "Medium",
                            "MediumItalic", "Regular",        "Semibold",    "SemiboldItalic",
                            "Thin",         "ThinItalic"};
    for (const QString& face : faces) {
        const QString font = ":/new/prefix1/Lato/Lato-" + face + ".ttf";
        QVERIFY2(QFileInfo(font).size() > 1000, qPrintable(font));
    }
}

void TestMainWindow::titleIconModes()
{
    // The button stays disabled, so it shows its icon through the Disabled entries.
    Window window;
    const QIcon icon = window->QV_Title->icon();
    QVERIFY(!icon.availableSizes(QIcon::Normal, QIcon::Off).isEmpty());
    QVERIFY(!icon.availableSizes(QIcon::Disabled, QIcon::Off).isEmpty());
    QVERIFY(!icon.availableSizes(QIcon::Disabled, QIcon::On).isEmpty());
    QVERIFY(!window->pushButton_2->icon().availableSizes(QIcon::Normal, QIcon::Off).isEmpty());
}

void TestMainWindow::enableCellEdits()
{
    Window window;
    ModalAnswerer answers;
    answers.expectMessage();
    answers.expectMessage();
    window->actionEnable_Cell_Edits->trigger();
    QCOMPARE(window->ExternalTable->editTriggers(), QAbstractItemView::DoubleClicked);
    QCOMPARE(window->OriginalTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    window->actionEnable_Cell_Edits->trigger();
    const ModalAnswerer::Message notice{"Warning", "TableProperty edits enabled"};
    QCOMPARE(answers.messages(), (Messages{notice, notice}));
    QCOMPARE(answers.unexpected(), 0);

    // Clear View leaves the edit mode as it is.
    window->actionQueue_All->trigger();
    QCOMPARE(window->ExternalTable->editTriggers(), QAbstractItemView::DoubleClicked);
}

void TestMainWindow::cellEditsOnlyOnMaterials()
{
    Window window;
    for (QTableWidget* table : {static_cast<QTableWidget*>(window->OriginalTable),
                                static_cast<QTableWidget*>(window->ExternalTable)})
        table->setItem(0, 0, new QTableWidgetItem("cell"));
    window.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.w));

    auto doubleClick = [](QTableWidget* table) {
        const QPoint centre = table->visualItemRect(table->item(0, 0)).center();
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        QApplication::processEvents();
        const QLineEdit* editor = table->viewport()->findChild<QLineEdit*>();
        return editor && editor->isVisible();
    };
    QVERIFY(!doubleClick(window->ExternalTable));
    {
        ModalAnswerer answers;
        window->actionEnable_Cell_Edits->trigger();
        QCOMPARE(answers.messages().size(), 1);
    }
    QVERIFY(doubleClick(window->ExternalTable));
    QVERIFY(!doubleClick(window->OriginalTable));
}

void TestMainWindow::indexShadersDoesNothing()
{
    Window window;
    ModalAnswerer answers;
    window->actionIndex_Shaders->trigger();
    window->actionClear_All->trigger();
    QTest::qWait(50);
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(window->ExternalTable->rowCount(), 2);
    QCOMPARE(window->OriginalTable->columnCount(), 1);
    QCOMPARE(window->ExternalLabel->text(), QStringLiteral("    Materials Table     "));
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
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    giveUp.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(answers.unexpected(), 0);
}

void TestMainWindow::githubOpensReleases()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    Window window;
    window->actionQuorvane_Github->trigger();
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl("https://github.com/quorvane/lathrine/releases")});
    QCOMPARE(QString::fromLatin1(MainWindow::ReleasesPage),
             QStringLiteral("https://github.com/quorvane/lathrine/releases"));
}

void TestMainWindow::dialogWiring()
{
    Window window;
    Dialog* dialog = window.w.dialog;
    QVERIFY(dialog);
    QCOMPARE(dialog->parent(), nullptr);
    QVERIFY(dialog->isWindow());
    QVERIFY(!dialog->isVisible());

    // textFocus prepares the dialog with the given names.
    auto* name = dialog->findChild<QLineEdit*>("lineEdit");
    QVERIFY(name);
    emit window.w.textFocus({"no::Shader", "steel_plate"});
    QCOMPARE(name->text(), QStringLiteral("steel_plate"));

    // Cancel in the dialog hides it through the window.
    dialog->show();
    QVERIFY(dialog->isVisible());
    emit dialog->clicked4();
    QVERIFY(!dialog->isVisible());
}

void TestMainWindow::dragEnter_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("withUrls");
    QTest::addColumn<bool>("accepted");
    for (const char* target : {"MainWindow", "OriginalTable", "ExternalTable",
                               "OriginalTable viewport", "ExternalTable viewport"}) {
        QTest::addRow("%s, files", target) << target << true << true;
        QTest::addRow("%s, text", target) << target << false << false;
    }
}

void TestMainWindow::dragEnter()
{
    QFETCH(QString, target);
    QFETCH(bool, withUrls);
    QFETCH(bool, accepted);
    Window window;
    QWidget* widget = child(window.w, target.section(' ', 0, 0));
    QVERIFY(widget);
    if (target.endsWith("viewport"))
        widget = static_cast<QAbstractScrollArea*>(widget)->viewport();
    auto* mime = new QMimeData;
    if (withUrls)
        mime->setUrls({QUrl::fromLocalFile("/tmp/a.mtls")});
    else
        mime->setText("/tmp/a.mtls");
    QCOMPARE(takesDrag(widget, mime), accepted);
}

void TestMainWindow::tableDrop_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QStringList>("emitted");
    QTest::newRow("three files, first wins")
        << localUrls({"/data/b.mtls", "/data/a.mtls", "/data/c.mtls"})
        << QStringList{"/data/b.mtls"};
    QTest::newRow("model file") << localUrls({"/data/ship.mdl", "/data/a.mtls"})
                                << QStringList{"/data/ship.mdl"};
    QTest::newRow("any extension")
        << localUrls({"/data/picture.png"}) << QStringList{"/data/picture.png"};
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
    QSignalSpy dictionary(window->OriginalTable, &ext_2::clicked3);
    QSignalSpy materials(window->ExternalTable, &qv_qtablewidget::clicked);
    auto paths = [](const QSignalSpy& spy) {
        QStringList list;
        for (const QList<QVariant>& arguments : spy)
            list << arguments.value(0).toString();
        return list;
    };

    drop(window->OriginalTable->viewport(), urls);
    QCOMPARE(paths(dictionary), emitted);
    QVERIFY(materials.isEmpty());
    drop(window->ExternalTable->viewport(), urls);
    QCOMPARE(paths(materials), emitted);
    QCOMPARE(paths(dictionary), emitted);
    QCOMPARE(answers.messages().size(), 2 * emitted.size());
}

void TestMainWindow::tableDropReachesLoader()
{
    // The table passes every path on; the loader is the one that tells what is wrong.
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("plain.txt"), "not a library"));
    Window window;
    ModalAnswerer answers;
    drop(window->ExternalTable->viewport(),
         localUrls({files.path("missing.mtls"), files.path("plain.txt")}));
    drop(window->OriginalTable->viewport(),
         localUrls({files.path("plain.txt"), files.path("missing.mtls")}));
    QTest::ignoreMessage(QtWarningMsg, "QFSFileEngine::open: No file name specified");
    drop(window->ExternalTable->viewport(), {QUrl("https://example.org/a.mtls")});
    const ModalAnswerer::Message noName{"Warning", "Cannot open file : No file name specified"};
    QCOMPARE(answers.messages(), (Messages{MissingFile, NotALibrary, noName}));
}

void TestMainWindow::windowDrop_data()
{
    // Which file the window takes shows in the loader's answer: a made-up path cannot be
    // opened, an existing non-library is invalid.
    QTest::addColumn<QStringList>("names"); // "missing" ones are not created
    QTest::addColumn<Messages>("messages");
    QTest::newRow("first library path")
        << QStringList{"missing_a.mtls", "bad_b.mtls", "bad_c.mtls"} << Messages{MissingFile};
    QTest::newRow("model files skipped")
        << QStringList{"bad_ship.mdl", "bad_d.mtls", "missing_e.mtls"} << Messages{NotALibrary};
    QTest::newRow("backup counts")
        << QStringList{"bad_f.MTLS", "missing_g.mtls.bak", "bad_h.mtls"} << Messages{MissingFile};
    QTest::newRow("case matters") << QStringList{"bad_i.MTLS", "bad_j.Mtls"} << Messages{};
    QTest::newRow("only other files") << QStringList{"bad_k.mdl", "bad_l.png"} << Messages{};
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
    drop(&window.w, localUrls(paths));
    QCOMPARE(answers.messages(), messages);
}

void TestMainWindow::dropOnBackgroundReachesWindow()
{
    // The central widget and the group box take drops but leave them to the window.
    ScratchDirectory files;
    Window window;
    ModalAnswerer answers;
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(files.path("x.mtls"))});
    QVERIFY(takesDrag(window->groupBox, mime));
    drop(window->centralwidget, localUrls({files.path("missing.mtls")}));
    drop(window->groupBox, localUrls({files.path("ship.mdl")}));
    QCOMPARE(answers.messages(), Messages{MissingFile});
}

void TestMainWindow::openDialog_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("button") << false;
    QTest::newRow("menu") << true;
}

void TestMainWindow::openDialog()
{
    QFETCH(bool, fromMenu);
    Window window;
    ModalAnswerer answers;
    answers.expectFileDialogCancel();
    if (fromMenu)
        window->actionOpen_MDL->trigger();
    else
        window->MTL_Button_0->click();
    QCOMPARE(answers.pending(), 0);
    QCOMPARE(answers.fileDialogs().size(), 1);
    QCOMPARE(answers.fileDialogs().first().title, QStringLiteral("Open MTLs File"));
    QCOMPARE(answers.fileDialogs().first().nameFilters, QStringList{"2K23 MTLs (*.mtls *.mdl)"});
    // Cancelled: nothing opened, nothing said.
    QVERIFY(answers.messages().isEmpty());
    QCOMPARE(answers.unexpected(), 0);
    QVERIFY(window.w.current_file.isEmpty());
}

void TestMainWindow::openDialogPassesThePath()
{
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("chosen.mtls"), "MTLx"));
    Window window;
    ModalAnswerer answers;
    answers.expectFileDialog(files.path("chosen.mtls"));
    answers.expectMessage();
    window->MTL_Button_0->click();
    QCOMPARE(answers.pending(), 0);
    QCOMPARE(answers.messages(), Messages{NotALibrary});
    QCOMPARE(answers.unexpected(), 0);
}

void TestMainWindow::saveWithNothingLoaded_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("start, button") << "start" << false;
    QTest::newRow("start, Ctrl+S") << "start" << true;
    QTest::newRow("after Clear View") << "cleared" << false;
    QTest::newRow("library without materials") << "no materials" << true;
}

void TestMainWindow::saveWithNothingLoaded()
{
    QFETCH(QString, state);
    QFETCH(bool, fromMenu);
    ScratchDirectory files;
    Window window;
    if (state == "cleared") {
        window->OriginalTable->setColumnCount(3);
        window->ExternalTable->setRowCount(4);
        window->actionQueue_All->trigger();
    } else if (state == "no materials") {
        window->OriginalTable->setColumnCount(3);
        window->ExternalTable->setRowCount(0);
    }
    ModalAnswerer answers;
    answers.expectMessage();
    if (fromMenu)
        window->actionMerge_Quee->trigger();
    else
        window->pushButton_2->click();
    QCOMPARE(answers.messages(), Messages{NothingToSave});
    QCOMPARE(answers.unexpected(), 0);
    QVERIFY(answers.fileDialogs().isEmpty());
    QVERIFY(!window.w.announce_save);
    QCOMPARE(QDir(files.path(".")).entryList(QDir::Files), QStringList{});
}

void TestMainWindow::saveWithLibraryRebuilds()
{
    // With a library in the tables the guard lets the save through to its file dialog, and
    // the flag is down again once the save is over.
    ScratchDirectory files;
    Window window;
    window->OriginalTable->setColumnCount(3);
    window->ExternalTable->setRowCount(1);
    ModalAnswerer answers;
    answers.expectFileDialogCancel();
    window->actionMerge_Quee->trigger();
    QCOMPARE(answers.fileDialogs().size(), 1);
    QVERIFY(!answers.messages().contains(NothingToSave));
    QVERIFY(!window.w.announce_save);
}

void TestMainWindow::clearView()
{
    Window window;
    {
        ModalAnswerer answers;
        window->actionEnable_Cell_Edits->trigger();
    }
    for (QTableWidget* table : {static_cast<QTableWidget*>(window->OriginalTable),
                                static_cast<QTableWidget*>(window->ExternalTable)}) {
        table->setRowCount(5);
        table->setColumnCount(3);
        table->setItem(1, 2, new QTableWidgetItem("cell"));
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
    window.w.swap_row = 3;

    // Twice, as a held Ctrl+T does: the same end state.
    window->actionQueue_All->trigger();
    window->actionQueue_All->trigger();

    QCOMPARE(window->ExternalLabel->text(), QStringLiteral("    Materials Table     "));
    QCOMPARE(window->OriginalLabel->text(), QStringLiteral("   Open MTLs File"));
    QCOMPARE(window->label->text(), QStringLiteral("Items:    "));
    QVERIFY(window.w.current_file.isEmpty());
    for (QTableWidget* table : {static_cast<QTableWidget*>(window->OriginalTable),
                                static_cast<QTableWidget*>(window->ExternalTable)}) {
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->columnCount(), 1);
        QVERIFY(!table->item(0, 0));
        QVERIFY(!table->item(1, 0));
        QVERIFY(!table->horizontalHeaderItem(0));
        QVERIFY(!table->verticalHeaderItem(0));
        QVERIFY(table->horizontalHeader()->isHidden());
    }
    // Not part of the view.
    QCOMPARE(window->mtlfile->text(), QStringLiteral("kept"));
    QCOMPARE(window->label_3->text(), QStringLiteral("  MTLs Dictionary:"));
    QVERIFY(window.w.swap_pending);
    QCOMPARE(window.w.swap_row, 3);
    QCOMPARE(window->ExternalTable->editTriggers(), QAbstractItemView::DoubleClicked);

    ModalAnswerer answers;
    answers.expectMessage();
    window->pushButton_2->click();
    QCOMPARE(answers.messages(), Messages{NothingToSave});
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
