#pragma once
// Answers the modal boxes and file dialogs that the code under test opens with the plain
// static Qt calls. A timer looks for QApplication::activeModalWidget() and takes the next
// queued answer; a box nobody expected is still recorded and closed with OK (a file dialog
// nobody expected is cancelled), so a test fails on its assertions instead of hanging. A file
// dialog replaces an existing file without asking.

#include <QApplication>
#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QQueue>
#include <QStringList>
#include <QTimer>

class QWidget;

class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    struct Message {
        QString title;
        QString text;
        bool operator==(const Message& o) const { return title == o.title && text == o.text; }
    };
    struct FileDialogSeen {
        QString title;
        QStringList nameFilters;
    };

    explicit ModalAnswerer(QObject* parent = nullptr);

    // Answers, taken in the order they were queued.
    void expectMessage() { answers.enqueue({Answer::Message, QString()}); } // press OK
    void expectFileDialog(const QString& path) { answers.enqueue({Answer::FileAccept, path}); }
    void expectFileDialogCancel() { answers.enqueue({Answer::FileCancel, QString()}); }

    QList<Message> messages() const { return seenMessages; }
    QList<FileDialogSeen> fileDialogs() const { return seenFileDialogs; }
    // Queued answers that no modal window has taken yet.
    int pending() const { return answers.size(); }
    // Modal windows that came when no answer was queued.
    int unexpected() const { return unexpectedCount; }

private slots:
    void poll();

private:
    enum class Answer { Message, FileAccept, FileCancel };
    struct Queued {
        Answer answer;
        QString path;
    };
    void answer(QWidget* modal, const Queued& queued);

    QTimer timer;
    QQueue<Queued> answers;
    QList<Message> seenMessages;
    QList<FileDialogSeen> seenFileDialogs;
    int unexpectedCount = 0;
};

Q_DECLARE_METATYPE(ModalAnswerer::Message)

// Lets QCOMPARE print a message it finds different (found by argument-dependent lookup).
inline char* toString(const ModalAnswerer::Message& message)
{
    return qstrdup(qPrintable(QStringLiteral("(\"%1\", \"%2\")").arg(message.title, message.text)));
}
