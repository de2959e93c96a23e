// Adding and replacing materials, and building a library from a model file. The row and
// model-file rules live in authoring/; these slots move their results through the tables.
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "authoring/modelfile.h"
#include "authoring/rowbuilder.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"
#include "ui_mainwindow.h"

#include <QHeaderView>

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
    QTableWidget* materials = ui->ExternalTable;
    materials->horizontalHeader()->setVisible(true);
    ui->OriginalTable->horizontalHeader()->setVisible(true);
    removeSwapColumn();

    const ShaderCatalogue catalogue;
    const QStringList cells = catalogue.shaderCells(Shader);
    const quint16 count = catalogue.paramCount(Shader);

    int row = materials->rowCount();
    if (materials->columnCount() == 1)
        row = 0;
    if (swap_pending && swap_row >= 0 && swap_row < materials->rowCount()) {
        materials->removeRow(swap_row);
        materials->insertRow(swap_row);
        row = swap_row;
    } else {
        materials->setRowCount(row + 1);
    }
    swap_pending = false;

    const mtls::GridRow cellsOfRow =
        authoring::buildMaterialRow(row, Model_ID, Shader, cells, count);
    if (materials->columnCount() < cellsOfRow.size())
        materials->setColumnCount(cellsOfRow.size());
    for (int c = 0; c < cellsOfRow.size(); ++c) {
        auto* item = new QTableWidgetItem(cellsOfRow[c].value_or(QString()));
        if (c == mtls::IndexColumn)
            item->setTextAlignment(Qt::AlignCenter);
        materials->setItem(row, c, item);
    }

    // The working copy is always the preview file: a library the user opened stays as it is
    // on disk until they save it.
    const QString path = previewPath();
    rebuild_mtltempFile(path);
    on_actionQueue_All_triggered();
    open_mtl(path);
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
    QString error;
    const std::optional<authoring::ModelFile> model = authoring::readModelFileAt(filename, error);
    if (!model) {
        warn(error.isEmpty() ? QStringLiteral("Invalid File") : error);
        return;
    }
    swap_pending = false;
    // Every material is written and loaded again, but only the last load is ever seen: the
    // ones before it skip the work that only the eye needs (column sizing, row buttons).
    const QVector<authoring::PlannedMaterial> plan = authoring::materialPlan(*model);
    for (int i = 0; i < plan.size(); ++i) {
        unseenReload = i + 1 < plan.size();
        add_material(plan[i].name, plan[i].shader);
    }
    unseenReload = false;
}
