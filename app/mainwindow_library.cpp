// Loading, laying out and writing libraries: the slots that move plain values in and out of
// the two tables. The rules themselves live in mtls/.
#include "app/ext_2.h"
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryFile>

namespace {

// The reason a file cannot be opened for reading, empty when it can.
QString openError(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QString()
               : QStringLiteral("Cannot open file : ") + file.errorString();
}

const char* const SwapButtonSheet =
    "QPushButton {margin: 1px;border: 4px;border-radius: 8px;background-color: rgb(110, 110, "
    "110);color: rgb(30, 30, 30);}QPushButton::hover {background-color: rgb(130, 130, "
    "130);}QPushButton::pressed {background-color: rgb(110, 146, 209);}";

QTableWidgetItem* centredItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

const char* const WorkingFileName = "mtlsView.bin";
QString programFolderOverride;

// Whether the working file can be written in `folder` the way a save writes it: a new file
// beside it, then renamed over it. Asking for permissions would not do: they do not bind root.
bool takesWorkingFile(const QString& folder)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(WorkingFileName);
    QTemporaryFile probe(path + QStringLiteral(".XXXXXX"));
    if (!probe.open())
        return false;
    QFile existing(path);
    return !existing.exists() || existing.open(QIODevice::WriteOnly | QIODevice::Append);
}

} // namespace

QString MainWindow::previewPath()
{
    QString folder = programFolderOverride.isEmpty() ? QCoreApplication::applicationDirPath()
                                                     : programFolderOverride;
    if (!takesWorkingFile(folder)) {
        // An install the user cannot write, under /usr or from a package.
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(folder);
    }
    return folder + QLatin1Char('/') + QLatin1String(WorkingFileName);
}

void MainWindow::printHashLines(const QStringList& lines)
{
    for (const QString& line : lines)
        qDebug().noquote() << line;
}

void MainWindow::setProgramFolder(const QString& folder)
{
    programFolderOverride = folder;
}

void MainWindow::openFiles(const QStringList& paths)
{
    // The dialog and a drop both give absolute names; the label shows the file's own name.
    // Explorer's "Open with" gives backslashes, which the texture folder rule must not see.
    if (!paths.isEmpty() && !paths.first().isEmpty())
        open_mtl(QFileInfo(QDir::fromNativeSeparators(paths.first())).absoluteFilePath());
}

void MainWindow::open_mtl(QString filename)
{
    const QString extension = filename.mid(filename.lastIndexOf(QLatin1Char('.')) + 1);
    const bool model = extension.toLower() == QLatin1String("mdl");
    // A notice about the file shown before goes with it, whatever this load brings.
    statusBar()->clearMessage();
    if (model) {
        // A model file is read by the import; here it only has to open.
        const QString error = openError(filename);
        if (!error.isEmpty())
            warnFile(filename, error);
        else
            merge_MDL(filename);
        return;
    }
    // The load needs none of what the view holds now: a refusal (a library too large to
    // show) leaves it as it is.
    authoring::Step step;
    {
        ShaderCatalogue catalogue;
        step = authoring::loadFile(authoring::Session(), filename, catalogue);
    }
    noteUnsavedCatalogue();
    if (!step.done()) {
        warnFile(filename, step.refusal.text);
        return;
    }
    startHistory(step.session);
    rememberFile(filename);
}

void MainWindow::render()
{
    rendering = true;
    if (state.loaded)
        showLibrary(*state.loaded, state.grid);
    else
        showCleared();
    rendering = false;
    applyFilter(); // also says what the library has to say
}

void MainWindow::showCleared()
{
    ui->ExternalLabel->setText(tr("    Materials Table     "));
    ui->OriginalLabel->setText(tr("   Open MTLs File"));
    deleteSwapButtons();
    ui->ExternalTable->clear();
    ui->OriginalTable->clear();
    ui->ExternalTable->setRowCount(2);
    ui->ExternalTable->setColumnCount(1);
    ui->OriginalTable->setRowCount(2);
    ui->OriginalTable->setColumnCount(1);
    ui->ExternalTable->horizontalHeader()->hide();
    ui->OriginalTable->horizontalHeader()->hide();
    ui->label->setText(tr("Items:    "));
}

void MainWindow::noteUnsavedCatalogue()
{
    if (catalogueNotice)
        return;
    const QString path = ShaderCatalogue::defaultPath();
    QString reason = ShaderCatalogue::unsavedReason(path);
    if (reason.isEmpty())
        reason = ShaderCatalogue::writeRefusal(path); // a step that learnt nothing yet
    if (reason.isEmpty())
        return;
    // Said once, and kept: it holds for the rest of the session.
    catalogueNotice = new QLabel(
        tr("The shader catalogue %1 cannot be saved (%2): what loads teach it holds until the "
           "program ends.")
            .arg(QDir::toNativeSeparators(path), reason),
        statusBar());
    catalogueNotice->setObjectName(QStringLiteral("catalogueNotice"));
    statusBar()->addPermanentWidget(catalogueNotice);
}

void MainWindow::showLibrary(const mtls::LoadedLibrary& library, const mtls::MaterialGrid& grid)
{
    ui->ExternalLabel->setText(authoring::caption(current_file));
    deleteSwapButtons();
    for (QTableWidget* table : {static_cast<QTableWidget*>(ui->OriginalTable),
                                static_cast<QTableWidget*>(ui->ExternalTable)}) {
        table->clear();
        table->setRowCount(0);
        table->setColumnCount(0);
        table->horizontalHeader()->setVisible(true);
    }

    QTableWidget* dictionary = ui->OriginalTable;
    dictionary->setRowCount(library.dictionary.size());
    dictionary->setColumnCount(3);
    dictionary->setColumnWidth(0, 45);
    dictionary->setColumnWidth(1, 170);
    dictionary->setColumnWidth(2, 100);
    for (int k = 0; k < library.dictionary.size(); ++k) {
        dictionary->setItem(k, 0, new QTableWidgetItem(QString::number(k)));
        dictionary->setItem(k, 1, new QTableWidgetItem(library.dictionary[k].text));
        dictionary->setItem(k, 2,
                            new QTableWidgetItem(QString::number(library.dictionary[k].offset)));
    }
    dictionary->setHorizontalHeaderLabels({"  Index", "Item", "Offset"});

    // The file's own count until materials are deleted; then the rows left.
    const qint64 count =
        grid.rows.size() == library.grid.rows.size() ? library.claimedMaterials : grid.rows.size();
    ui->OriginalLabel->setText(QStringLiteral("  Found %1 materials:").arg(count));
    ui->label->setText(QStringLiteral("Items: %1   ").arg(count));

    // The swap column is laid out with the rest: inserting it into a filled table would move
    // every row's cells once more.
    QTableWidget* materials = ui->ExternalTable;
    const int columns = grid.columnCount + 1;
    materials->setColumnCount(5);
    materials->setHorizontalHeaderLabels(
        {"  Index", QString(), "Main Shader", "Model_ID", "SubMtls #"});
    materials->setColumnCount(columns);
    // Until the labels below, a parameter column is sized under the number it would show
    // without the swap column.
    for (int c = 5; c < columns; ++c)
        materials->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::number(c)));
    // Rows after columns: the table model widens every existing row one by one.
    materials->setRowCount(grid.rows.size());
    for (int r = 0; r < grid.rows.size(); ++r) {
        const mtls::GridRow& row = grid.rows[r];
        materials->setItem(r, 0, centredItem(grid.text(r, mtls::IndexColumn)));
        for (int c = 1; c < row.size(); ++c) {
            if (!row[c])
                continue;
            materials->setItem(r, c + 1,
                               new QTableWidgetItem(*row[c])); // addSwapButtons centres the shader
        }
    }
    materials->resizeColumnsToContents();
    materials->setColumnWidth(2, 140);
    materials->setColumnWidth(3, 140);
    formatColumns(SwapColumn, mtls::usedWidth(grid));
    ui->ExternalTable->updateScrollRanges();
    addSwapButtons();
}

QString MainWindow::MTLDictionary(int index)
{
    const QTableWidget* dictionary = ui->OriginalTable;
    for (int r = 0; r < dictionary->rowCount(); ++r) {
        const QTableWidgetItem* offset = dictionary->item(r, 2);
        if ((offset ? offset->text().toUInt() : 0u) == uint(index)) {
            const QTableWidgetItem* text = dictionary->item(r, 1);
            return text ? text->text() : QString();
        }
    }
    return QString();
}

void MainWindow::formatTable()
{
    formatColumns(0, mtls::usedWidth(materialGrid()));
    on_actionAdd_Swap_Button_triggered();
}

void MainWindow::formatColumns(int shift, int width)
{
    QTableWidget* materials = ui->ExternalTable;
    const int first = mtls::VariantColumn + shift;
    for (int c = first; c < materials->columnCount(); ++c)
        materials->setHorizontalHeaderItem(
            c, new QTableWidgetItem(QStringLiteral("P%1").arg(c - first)));
    for (int c = qMax(int(mtls::VariantColumn), width) + shift; c < materials->columnCount(); ++c)
        materials->setColumnHidden(c, true);
}

void MainWindow::on_actionAdd_Swap_Button_triggered()
{
    ui->ExternalTable->insertColumn(SwapColumn);
    addSwapButtons();
}

void MainWindow::addSwapButtons()
{
    QTableWidget* materials = ui->ExternalTable;
    QFont font(QStringLiteral("Lato Semibold"));
    font.setPointSize(8);
    // Buttons put into a hidden viewport are styled only when their row comes into view.
    QWidget* viewport = materials->viewport();
    const bool viewportShown = viewport->isVisible();
    if (viewportShown)
        viewport->hide();
    for (int r = 0; r < materials->rowCount(); ++r) {
        auto* button = new QPushButton(viewport);
        button->setFont(font);
        button->setText(QStringLiteral("MODIFY"));
        button->setStyleSheet(QLatin1String(SwapButtonSheet));
        connect(button, &QPushButton::clicked, this, &MainWindow::Swap_MTL);
        materials->setCellWidget(r, SwapColumn, button);
        if (QTableWidgetItem* shader = materials->item(r, 2)) // the main shader, centred
            shader->setTextAlignment(Qt::AlignCenter);
    }
    ui->ExternalTable->hideCellWidgetsOutOfView();
    if (viewportShown)
        viewport->show();
    materials->setColumnWidth(SwapColumn, 110);
    materials->setHorizontalHeaderItem(SwapColumn, new QTableWidgetItem(QStringLiteral(" ")));
}

void MainWindow::deleteSwapButtons()
{
    // Removing rows or the column would only schedule the buttons for deletion; a model
    // import that adds hundreds of materials in one go would pile them all up.
    // The MODIFY buttons are the only buttons in the table.
    qDeleteAll(ui->ExternalTable->viewport()->findChildren<QPushButton*>(
        QString(), Qt::FindDirectChildrenOnly));
}

mtls::MaterialGrid MainWindow::materialGrid() const
{
    const QTableWidget* materials = ui->ExternalTable;
    mtls::MaterialGrid grid;
    grid.columnCount = materials->columnCount();
    grid.rows.resize(materials->rowCount());
    for (int r = 0; r < grid.rows.size(); ++r) {
        mtls::GridRow& row = grid.rows[r];
        row.resize(grid.columnCount);
        for (int c = 0; c < grid.columnCount; ++c)
            if (const QTableWidgetItem* item = materials->item(r, c))
                row[c] = item->text();
    }
    return grid;
}

QStringList MainWindow::dictionaryColumn() const
{
    const QTableWidget* dictionary = ui->OriginalTable;
    QStringList texts;
    texts.reserve(dictionary->rowCount());
    for (int r = 0; r < dictionary->rowCount(); ++r) {
        const QTableWidgetItem* item = dictionary->item(r, 1);
        texts.append(item ? item->text() : QString());
    }
    return texts;
}

void MainWindow::rebuild_mtl()
{
    saveLibrary();
}

bool MainWindow::saveLibrary()
{
    // A cut material alone is nothing to save.
    if (state.grid.rows.size() == (state.cutRow >= 0 ? 1 : 0)) {
        warn(QStringLiteral("No MTL data loaded."));
        return false;
    }
    const QString path = QFileDialog::getSaveFileName(this, tr("Save MTLs File as"), startFolder(),
                                                      tr("2K23 MTLs (*.mtls)"));
    if (path.isEmpty())
        return false;
    const bool announce = announce_save;
    authoring::Step step;
    {
        const ShaderCatalogue catalogue;
        step = authoring::saveLibrary(state, path, catalogue);
    }
    printHashLines(step.hashLines);
    if (!step.done()) {
        warnFile(path, step.refusal.text, true);
        return false;
    }
    // The saved file is read back, so that the window shows what is on disk; the history
    // goes on from there.
    authoring::Step reloaded;
    {
        ShaderCatalogue catalogue;
        reloaded = authoring::loadFile(authoring::Session(), path, catalogue);
    }
    noteUnsavedCatalogue();
    // What the save changed beyond the hashes stays in the library's line.
    reloaded.session.notice = step.notice;
    if (reloaded.done())
        settleSaved(reloaded.session);
    else
        warn(reloaded.refusal.text);
    rememberFile(path);
    if (announce)
        warn(QStringLiteral("File Saved Successfully."));
    announce_save = false;
    return true;
}

void MainWindow::rebuild_mtltempFile(QString filename)
{
    if (ui->ExternalTable->rowCount() == 0) {
        warn(QStringLiteral("No MTL data loaded."));
        return;
    }
    if (filename.isEmpty())
        return;
    // A fresh window's dictionary table holds two empty rows, not a dictionary.
    if (ui->OriginalTable->rowCount() == 2) {
        ui->OriginalTable->setRowCount(0);
        ui->OriginalTable->setColumnCount(0);
        state.dictionary.clear();
        if (state.loaded)
            state.loaded->dictionary.clear();
    }
    // The tables as they stand: a caller that wants the swap column gone has taken it out.
    authoring::Session tables;
    tables.dictionary = dictionaryColumn();
    tables.grid = materialGrid();
    tables.cutRow = state.cutRow;
    const ShaderCatalogue catalogue;
    const mtls::WriteResult result = authoring::writeWorkingFile(tables, filename, catalogue);
    if (result.refusal) {
        warnFile(filename, result.refusal.text, true);
        return;
    }
    printHashLines(result.hashDebugLines);
}
