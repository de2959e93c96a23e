#pragma once
// Answers the modal boxes and file dialogs that the code under test opens with the plain
// static Qt calls. A timer looks for QApplication::activeModalWidget() and takes the next
// queued answer; a window nobody expected is still recorded and closed the harmless way (OK
// for a box, Cancel for anything else), so a test fails on its assertions instead of hanging.
// A file dialog replaces an existing file without asking.

#include <QQueue>
#include <QTimer>

class ModalAnswerer : public QObject {
public:
    struct Message {
        // Of a box, its text and a line with its informative text when it has one; of a file
        // dialog, its title and its name filters, ";" apart.
        QString title, text;
    };

    explicit ModalAnswerer(QObject* parent = nullptr) : QObject(parent)
    {
        connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        timer.start(10);
    }

    // Answers, taken in the order they were queued.
    void expectMessage() { answers.enqueue({Ok, {}}); }
    // A box with more buttons, answered with the one of that standard kind (QMessageBox's).
    void expectChoice(int button) { answers.enqueue({Choice, QString::number(button)}); }
    void expectFileDialog(const QString& path) { answers.enqueue({Accept, path}); }
    void expectFileDialogCancel() { answers.enqueue({Cancel, {}}); }

    QList<Message> messages() const { return seen[0]; }
    QList<Message> fileDialogs() const { return seen[1]; }
    QString folder() const { return lastFolder; }      // where the last file dialog opened
    int pending() const { return answers.size(); }     // answers no window has taken yet
    int unexpected() const { return unexpectedCount; } // windows that found no fitting answer

private:
    enum Answer { Ok, Choice, Accept, Cancel };
    void poll();

    QTimer timer;
    QQueue<QPair<Answer, QString>> answers;
    QList<Message> seen[2]; // boxes, file dialogs
    int unexpectedCount = 0;
    QString lastFolder;
};
