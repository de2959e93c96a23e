// Adding and replacing materials, and building a library from a model file. The row and
// model-file rules live in authoring/; these slots move their results through the tables.
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "authoring/modelfile.h"
#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "ui_mainwindow.h"

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
    add_material(files.first(), files.last());
    dialog->hide();
}

void MainWindow::add_material(QString Model_ID, QString Shader)
{
    const bool swapping = swap_pending;
    swap_pending = false;
    const authoring::Session before = session();
    // The working copy is always the preview file: a library the user opened stays as it is
    // on disk until they save it.
    // The catalogue is written back when the step ends, before anything else reads it.
    const authoring::Step step = [&] {
        ShaderCatalogue catalogue;
        return swapping
                   ? authoring::replaceMaterial(before, swap_row, Model_ID, Shader, previewPath(),
                                                catalogue)
                   : authoring::addMaterial(before, Model_ID, Shader, previewPath(), catalogue);
    }();
    // A write that did not go through leaves the window showing what it showed.
    if (!step.done()) {
        warnFile(previewPath(), step.message, true);
        return;
    }
    showStep(step);
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
}

void MainWindow::merge_MDL(QString filename)
{
    on_actionQueue_All_triggered();
    const authoring::ModelPlan plan = authoring::readModelPlan(filename);
    if (!plan.message.isEmpty()) {
        warnFile(filename, plan.message);
        return;
    }
    swap_pending = false;
    // Only the library built by the last add is ever seen.
    const authoring::Step step = [&] {
        ShaderCatalogue catalogue;
        return authoring::importModel(session(), plan.materials, previewPath(), catalogue);
    }();
    if (step.session.loaded)
        showStep(step);
    if (!step.done())
        warnFile(previewPath(), step.message, true);
}
