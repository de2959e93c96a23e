// The window itself: form, look, wiring, file intake and the small view commands.
#include "app/mainwindow.h"

#include "app/droppaths.h"
#include "authoring/dialog.h"
#include "authoring/modelfile.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QUndoStack>
#include <QUrl>

const char* const MainWindow::ReleasesPage = "https://github.com/quorvane/lathrine/releases";

namespace {

// The faces the form asks for by family; the bundle carries the rest of the family too.
const char* const RegisteredFaces[] = {"Black", "Semibold", "SemiboldItalic", "Thin", "ThinItalic",
                                       "Heavy", "Light",    "Hairline",       "Bold", "BoldItalic"};

// Each table keeps only this sheet; `image` is its watermark in the bundle.
QString tableSheet(const QString& image)
{
    return QStringLiteral(R"(QTableWidget {
outline: 0;
border-image: url(:/new/prefix1/%1);
}
QTableView {
margin: 0px;
border: 0px;
border-style: none;
background-color: rgb(24, 24, 24);
alternate-background-color: rgb(31, 30, 30);
gridline-color: rgb(24,24,24);
}
QTableView::item {
margin: 0px;
border: 0px;
border-style: none;
}
QTableView::item:selected {
color: rgb(255,255,255);
background-color: rgb(40, 40, 40);
}
QTableView::item:hover {
background-color: rgb(40, 40, 40);
}
QScrollBar {
height: 11px;
width: 11px;
background: rgb(30, 30, 30);
}
QScrollBar:arrow {
background: rgb(0, 0, 99);
height: 5px;
}
QScrollBar::add-line, QScrollBar::sub-line {
height: 0px;
}
QScrollBar::handle {
border-radius: 4px;
background: rgb(75,75,75);
height: 5px;
min-height: 20px;
}
QScrollBar::handle:hover {
border-radius: 4px;
background: rgb(60,60,60);
height: 5px;
min-height: 20px;
}
QScrollBar::sub-page, QScrollBar::add-page {
background: rgb(30, 30, 30);
height: 5px;
}
QHeaderView::section {
border-top: 0px;
border-left: 0px;
border-right: 0px;
height: 20px;
outline: 0;
margin-bottom: 2.5px;
alternate-background-color: rgb(31, 31, 31);
background-color: rgb(31, 31, 31);
}
QHeaderView::section:selected {
alternate-background-color: rgb(24, 24, 24);
outline: 0;
margin-bottom: 0px;
background-color: rgb(24, 24, 24);
}
)")
        .arg(image);
}

QString headerSheet()
{
    return QStringLiteral(R"(QHeaderView::section {
border-top: 0px;
border-left: 0px;
border-right: 0px;
outline: 0;
margin-bottom: 5px;
alternate-background-color: rgb(31, 31, 31);
background-color: rgb(31, 31, 31);
}
QHeaderView::section:selected {
alternate-background-color: rgb(24, 24, 24);
outline: 0;
margin-bottom: 0px;
background-color: rgb(24, 24, 24);
}
QScrollBar {
height: 11px;
width: 11px;
background: rgb(255, 35, 35);
}
QScrollBar:arrow {
background: rgb(0, 0, 99);
height: 5px;
}
QScrollBar::add-line, QScrollBar::sub-line {
height: 0px;
}
QScrollBar::handle {
background: rgb(60,60,60);
height: 5px;
}
QScrollBar::sub-page, QScrollBar::add-page {
background: rgb(30, 30, 30);
height: 5px;
}
)");
}

void settleTable(QTableWidget* table)
{
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    QHeaderView* header = table->horizontalHeader();
    header->setStretchLastSection(true);
    header->setMaximumHeight(30);
    header->setFocusPolicy(Qt::NoFocus);
    header->setSelectionMode(QAbstractItemView::NoSelection);
    header->setEditTriggers(QAbstractItemView::NoEditTriggers);
    header->setHighlightSections(false);
    table->setDragEnabled(false);
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    // A face that fails to register leaves the platform's substitute; nothing to tell.
    for (const char* face : RegisteredFaces)
        QFontDatabase::addApplicationFont(
            QStringLiteral(":/new/prefix1/Lato/Lato-%1.ttf").arg(QLatin1String(face)));

    // Top-level on purpose: the dialog is a window of its own beside the editor.
    dialog = new Dialog(nullptr);

    settleTable(ui->OriginalTable);
    settleTable(ui->ExternalTable);

    const QString headers = headerSheet();
    ui->OriginalTable->verticalHeader()->setStyleSheet(headers);
    ui->ExternalTable->verticalHeader()->setStyleSheet(headers);
    ui->OriginalTable->horizontalHeader()->setStyleSheet(headers);
    ui->ExternalTable->horizontalHeader()->setStyleSheet(headers);
    ui->OriginalTable->setStyleSheet(tableSheet(QStringLiteral("avatar_male.png")));
    ui->ExternalTable->setStyleSheet(tableSheet(QStringLiteral("avatar_male1.png")));

    // The title button only shows the name and logo.
    ui->QV_Title->setEnabled(false);

    connect(ui->OriginalTable, &ext_2::clicked3, this, &MainWindow::ok);
    connect(ui->ExternalTable, &qv_qtablewidget::clicked, this, &MainWindow::ok);
    connect(dialog, &Dialog::clicked4, this, &MainWindow::hide_dialog);
    connect(dialog, &Dialog::table_refresh, this, &MainWindow::dialog_clicked);
    // By signature: the dialog's slot is reached through the meta-object, and Qt normalises
    // the texts.
    // clang-format off
    connect(this, SIGNAL(textFocus( QStringList )), dialog, SLOT(on_buttonBox_accepted( QStringList )));
    // clang-format on
    // Closing the dialog from its frame or with Escape abandons a swap just as Cancel does.
    connect(dialog, &QDialog::rejected, this, [this] { swap_pending = false; });
    dialog->installEventFilter(this);

    setupHistory();
    setupWorkbench();
    // A typed cell goes into the state as it is made.
    connect(ui->ExternalTable->model(), &QAbstractItemModel::dataChanged, this,
            &MainWindow::materialsEdited);
}

void MainWindow::setupHistory()
{
    history = new QUndoStack(this);
    // The title carries the marker: "[*]" shows only while there are unsaved changes.
    setWindowTitle(windowTitle() + QStringLiteral("[*]"));
    connect(history, &QUndoStack::cleanChanged, this,
            [this](bool clean) { setWindowModified(!clean); });
    // After the menu's own entries, which keep their places.
    QAction* undo = history->createUndoAction(this, tr("Undo"));
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Z));
    QAction* redo = history->createRedoAction(this, tr("Redo"));
    redo->setObjectName(QStringLiteral("actionRedo"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), QKeySequence(Qt::CTRL + Qt::Key_Y)});
    auto* remove = new QAction(tr("Delete Material"), this);
    remove->setObjectName(QStringLiteral("actionDelete_Material"));
    remove->setShortcut(QKeySequence::Delete);
    connect(remove, &QAction::triggered, this, &MainWindow::deleteSelectedMaterials);
    ui->menuEdit->addSeparator();
    ui->menuEdit->addActions({undo, redo, remove});
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!maySaveChanges(tr("closing"))) {
        event->ignore();
        return;
    }
    saveWindowGeometry();
    QMainWindow::closeEvent(event);
    windowClosed = event->isAccepted();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The dialog is a window of its own and keeps the program alive: once the editor is
    // closed, hiding it is the end.
    if (watched == dialog && event->type() == QEvent::Hide && windowClosed)
        QApplication::quit();
    if (filterKey(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// The dialog outlives the window: it is a top-level window that lasts until the program ends.
MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_actionExit_triggered()
{
    if (!maySaveChanges(tr("exiting")))
        return;
    saveWindowGeometry();
    QApplication::quit();
}

void MainWindow::ok(QString filename)
{
    if (maySaveChanges(tr("opening another file")))
        open_mtl(filename);
}

void MainWindow::on_actionQuorvane_Github_triggered()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ReleasesPage), QUrl::TolerantMode));
}

void MainWindow::on_MTL_Button_0_clicked()
{
    if (!maySaveChanges(tr("opening another file")))
        return;
    const QString filename = QFileDialog::getOpenFileName(
        this, tr("Open MTLs File"), startFolder(), tr("2K23 MTLs (*.mtls *.mdl)"), nullptr, {});
    if (!filename.isEmpty())
        open_mtl(filename);
}

void MainWindow::on_actionOpen_MDL_triggered()
{
    on_MTL_Button_0_clicked();
}

void MainWindow::dropEvent(QDropEvent* e)
{
    // Only libraries are taken here; the tables take any file.
    const QStringList paths = droppaths::libraryPaths(e->mimeData());
    if (!paths.isEmpty() && maySaveChanges(tr("opening another file")))
        open_mtl(paths.first());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void MainWindow::on_pushButton_2_clicked()
{
    saveLibraryAs();
}

void MainWindow::on_actionMerge_Quee_triggered()
{
    on_pushButton_2_clicked();
}

void MainWindow::hide_dialog()
{
    // Cancel abandons a swap: the next add must not replace the row that was chosen.
    swap_pending = false;
    dialog->hide();
}

void MainWindow::on_actionQueue_All_triggered()
{
    // Only the user's command asks; the steps that clear the view on their way do not.
    if (sender() == ui->actionQueue_All && !maySaveChanges(tr("clearing the view")))
        return;
    if (state.isCleared())
        applyState(authoring::Session::cleared()); // a pending MODIFY goes all the same
    else
        pushStep(tr("Clear View"), authoring::Session::cleared());
}

void MainWindow::on_actionUnQueue_All_triggered() {}

void MainWindow::on_actionEnable_Cell_Edits_triggered()
{
    ui->ExternalTable->setEditTriggers(QAbstractItemView::DoubleClicked);
    warn(tr("TableProperty edits enabled"));
}

void MainWindow::warn(const QString& text)
{
    QMessageBox::warning(this, tr("Warning"), text, QMessageBox::Ok);
}

namespace {

// Why a file that opened is no library or model, in the words of `mtls check`.
QString invalidReason(const QString& path, bool model)
{
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
    if (head.isEmpty())
        return QStringLiteral("the file is empty");
    if (!model) {
        const QVector<mtls::Finding> findings = mtls::checkBlock(mtls::readLibraryFile(path).data);
        return findings.isEmpty() ? QStringLiteral("not an MTLs block") : findings.first().text;
    }
    if (!authoring::startsAsModel(head.constData(), head.size()))
        return QStringLiteral("not a model file: it starts with %1, not 4D 44 4C 21 (\"MDL!\")")
            .arg(QString::fromLatin1(head.toHex(' ').toUpper()));
    return QStringLiteral("the model's material names cannot be read");
}

} // namespace

void MainWindow::warnFile(const QString& path, const QString& text, bool saving)
{
    // The main text is the window's own word; the second line says which file and why.
    const bool invalid = text == QLatin1String("Invalid File");
    if (!invalid && !text.startsWith(QLatin1String("Cannot "))) {
        warn(text);
        return;
    }
    const bool model = path.endsWith(QLatin1String(".mdl"), Qt::CaseInsensitive);
    const QString reason =
        invalid ? invalidReason(path, model) : text.section(QStringLiteral(" : "), 1);
    QMessageBox box(QMessageBox::Warning, tr("Warning"), text, QMessageBox::Ok, this);
    box.setInformativeText(QDir::toNativeSeparators(path) +
                           (saving ? QStringLiteral(": not saved: ") : QStringLiteral(": ")) +
                           reason);
    box.exec();
}
