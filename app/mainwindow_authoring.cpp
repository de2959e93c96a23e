// Adding, replacing and deleting materials, and building a library from a model file. The row
// and model-file rules live in authoring/; these slots turn their results into undoable steps.
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "authoring/modelfile.h"
#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSet>
#include <QStatusBar>

namespace {
// How long a note about an edit stays in the status bar.
constexpr int EditNoteMilliseconds = 10000;
} // namespace

void MainWindow::on_pushButton_clicked()
{
    openDialogForNewMaterial();
}

void MainWindow::on_actionAdd_Material_triggered()
{
    openDialogForNewMaterial();
}

void MainWindow::openDialogForNewMaterial()
{
    // A plain add never replaces the row of an earlier, abandoned swap.
    swap_pending = false;
    dialog->show();
    emit textFocus(QStringList());
}

void MainWindow::dialog_clicked(QStringList files)
{
    if (files.value(0).isEmpty()) {
        warn(QStringLiteral("Model Name cannot be empty."));
        dialog->activateWindow();
        dialog->show();
        return;
    }
    if (files.last().isEmpty() || files.size() < 2) {
        warn(tr("There is no shader to choose yet. The editor learns shaders from the libraries "
                "it opens: open a .mtls library that uses the shader you want (Open MTLs, or drop "
                "it on the window), then add the material."));
        dialog->activateWindow();
        dialog->show();
        return;
    }
    add_material(files.first(), files.last());
    dialog->hide();
}

void MainWindow::add_material(QString Model_ID, QString Shader)
{
    const bool swapping = swap_pending;
    const int row = swap_row;
    swap_pending = false;
    // The working copy is always the preview file: a library the user opened stays as it is
    // on disk until they save it.
    // The catalogue is written back when the step ends, before anything else reads it.
    const authoring::Step step = [&] {
        ShaderCatalogue catalogue;
        return swapping ? authoring::replaceMaterial(state, row, Model_ID, Shader, previewPath(),
                                                     catalogue)
                        : authoring::addMaterial(state, Model_ID, Shader, previewPath(), catalogue);
    }();
    // A write that did not go through leaves the window showing what it showed.
    if (!step.done()) {
        warnFile(previewPath(), step.refusal.text, true);
        return;
    }
    printHashLines(step.hashLines);
    pushStep((swapping ? tr("Replace %1") : tr("Add %1")).arg(Model_ID), step.session);
}

void MainWindow::Swap_MTL()
{
    QTableWidget* materials = ui->ExternalTable;
    int row = materials->currentRow();
    // The button that was clicked names its row even when the table's current cell did not
    // follow the focus.
    for (int r = 0; r < materials->rowCount(); ++r)
        if (sender() && materials->cellWidget(r, 1) == sender())
            row = r;
    swap_pending = true;
    swap_row = row;
    auto text = [materials, row](int column) {
        const QTableWidgetItem* item = materials->item(row, column);
        return item ? item->text() : QString();
    };
    const QStringList names{text(2), text(3)};
    dialog->show();
    emit textFocus(names);
    // The row's own shader before one that only shares its main shader.
    dialog->selectShader(text(2) + QStringLiteral("::") + text(5));
}

void MainWindow::merge_MDL(QString filename)
{
    // The import starts from the empty view, in a history of its own.
    startHistory(authoring::Session::cleared());
    const authoring::ModelPlan plan = authoring::readModelPlan(filename);
    if (plan.refusal) {
        warnFile(filename, plan.refusal.text);
        return;
    }
    rememberFile(filename);
    // Only the library built by the last add is ever seen.
    const authoring::Step step = [&] {
        ShaderCatalogue catalogue;
        return authoring::importModel(state, plan.materials, previewPath(), catalogue);
    }();
    printHashLines(step.hashLines);
    if (step.session.loaded)
        pushStep(tr("Import %1").arg(QFileInfo(filename).fileName()), step.session);
    if (!step.done())
        warn(step.refusal.text);
}

void MainWindow::deleteSelectedMaterials()
{
    if (!state.loaded)
        return;
    QSet<int> chosen;
    for (const QModelIndex& index : ui->ExternalTable->selectionModel()->selectedIndexes())
        chosen.insert(index.row());
    const QVector<int> rows(chosen.begin(), chosen.end());
    const authoring::Step step = authoring::deleteRows(state, rows);
    if (!step.done()) {
        statusBar()->showMessage(step.refusal.text, EditNoteMilliseconds);
        return;
    }
    const QString name = state.grid.text(rows.value(0), mtls::ModelIdColumn);
    pushStep(rows.size() == 1 ? tr("Delete %1").arg(name)
                              : tr("Delete %1 Materials").arg(rows.size()),
             step.session);
}

void MainWindow::materialsEdited(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (rendering)
        return;
    for (int r = topLeft.row(); r <= bottomRight.row(); ++r) {
        for (int c = topLeft.column(); c <= bottomRight.column(); ++c) {
            if (c == SwapColumn) // buttons, no text
                continue;
            const int column = c == 0 ? 0 : c - 1;
            const QTableWidgetItem* item = ui->ExternalTable->item(r, c);
            const mtls::Cell typed = item ? mtls::Cell(item->text()) : std::nullopt;
            if (state.grid.rows.value(r).value(column) == typed)
                continue;
            const authoring::Step step =
                state.loaded
                    ? authoring::editCell(state, r, column, typed)
                    : authoring::Step{state,
                                      mtls::refusal(mtls::Refusal::Usage,
                                                    tr("Open a library to edit its cells.")),
                                      {},
                                      {}};
            if (!step.done()) {
                // The cell keeps the text it had.
                applyState(state, QPoint(column, r));
                statusBar()->showMessage(step.refusal.text, EditNoteMilliseconds);
                continue;
            }
            pushStep(tr("Edit %1").arg(step.session.grid.text(r, mtls::ModelIdColumn)),
                     step.session, QPoint(column, r));
            const QString problem = authoring::rowProblem(state, r, ShaderCatalogue());
            if (!problem.isEmpty())
                statusBar()->showMessage(problem, EditNoteMilliseconds);
        }
    }
}
