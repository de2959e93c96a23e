#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    // A progress dialog asks nothing: the test that wants to cancel one does so itself.
    if (!modal || !modal->isVisible() || qobject_cast<QProgressDialog*>(modal))
        return;
    auto* box = qobject_cast<QMessageBox*>(modal);
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    // Typing the name is what a user does; selectFile() can stall while the model fills.
    auto* edit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    const bool expected = !answers.isEmpty();
    const auto [answer, path] =
        expected ? answers.dequeue() : qMakePair(box ? Ok : Cancel, QString());
    QAbstractButton* chosen =
        box && answer == Choice ? box->button(QMessageBox::StandardButton(path.toInt())) : nullptr;
    if (!expected || (box ? answer != Ok && !chosen
                          : !dialog || answer <= Choice || (answer == Accept && !edit)))
        ++unexpectedCount;
    if (box)
        seen[0].append({box->windowTitle(), box->informativeText().isEmpty()
                                                ? box->text()
                                                : box->text() + '\n' + box->informativeText()});
    if (dialog) {
        seen[1].append({dialog->windowTitle(), dialog->nameFilters().join(';')});
        lastFolder = dialog->directory().absolutePath();
    }
    if (chosen) {
        chosen->click();
    } else if (box && box->button(QMessageBox::Ok)) {
        box->button(QMessageBox::Ok)->click();
    } else if (edit && answer == Accept) {
        edit->setText(path);
        dialog->setOption(QFileDialog::DontConfirmOverwrite); // as a user answering Yes
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog keeps its override protected
    } else if (auto* plain = qobject_cast<QDialog*>(modal)) {
        box&& answer == Ok ? plain->accept() : plain->reject();
    } else {
        modal->close();
    }
}
