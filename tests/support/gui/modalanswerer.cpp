#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

ModalAnswerer::ModalAnswerer(QObject* parent) : QObject(parent)
{
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start();
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (answers.isEmpty()) {
        ++unexpectedCount;
        // Close it the harmless way: OK for a box, cancel for anything else.
        answer(modal, {qobject_cast<QMessageBox*>(modal) ? Answer::Message : Answer::FileCancel,
                       QString()});
        return;
    }
    answer(modal, answers.dequeue());
}

void ModalAnswerer::answer(QWidget* modal, const Queued& queued)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    // Typing the name is what a user does; selectFile() can stall while the model fills.
    auto* edit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    if (box)
        seenMessages.append({box->windowTitle(), box->text()});
    if (dialog)
        seenFileDialogs.append({dialog->windowTitle(), dialog->nameFilters()});
    const bool fits = box ? queued.answer == Answer::Message
                          : dialog && (queued.answer == Answer::FileCancel ||
                                       (edit && queued.answer == Answer::FileAccept));
    if (!fits)
        ++unexpectedCount;
    if (box && box->button(QMessageBox::Ok)) {
        box->button(QMessageBox::Ok)->click();
    } else if (edit && queued.answer == Answer::FileAccept) {
        edit->setText(queued.path);
        dialog->setOption(QFileDialog::DontConfirmOverwrite); // as a user answering Yes
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog keeps its override protected
    } else if (auto* plain = qobject_cast<QDialog*>(modal)) {
        box ? plain->accept() : plain->reject();
    } else {
        modal->close();
    }
}
