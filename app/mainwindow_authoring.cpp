// Adding and replacing materials, and building a library from a model file.
#include "app/mainwindow.h"

void MainWindow::on_pushButton_clicked() {}
void MainWindow::on_actionAdd_Material_triggered() {}
void MainWindow::dialog_clicked(QStringList files) { Q_UNUSED(files) }
void MainWindow::add_material(QString Model_ID, QString Shader) { Q_UNUSED(Model_ID) Q_UNUSED(Shader) }
void MainWindow::Swap_MTL() {}
void MainWindow::merge_MDL(QString filename) { Q_UNUSED(filename) }
