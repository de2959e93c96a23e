// Loading, laying out and writing libraries: the slots that move plain values in and out of
// the two tables.
#include "app/mainwindow.h"

void MainWindow::open_mtl(QString filename) { Q_UNUSED(filename) }
QString MainWindow::MTLDictionary(int index) { Q_UNUSED(index) return {}; }
void MainWindow::formatTable() {}
void MainWindow::rebuild_mtl() {}
void MainWindow::rebuild_mtltempFile(QString filename) { Q_UNUSED(filename) }
void MainWindow::on_actionAdd_Swap_Button_triggered() {}
