#pragma once
// Small helpers for tests that drive the main window through its slots.

#include "app/mainwindow.h"
#include "support/core/scratch.h"
#include "support/gui/modalanswerer.h"

#include <QPushButton>
#include <QTableWidget>

namespace testwindow {

using namespace testfiles;

// Runs a slot of the window by name, with QString arguments, as a signal connected to it would.
template <typename... Texts> void call(MainWindow& window, const char* slot, const Texts&... texts)
{
    if (!QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection,
                                   QArgument<QString>("QString", texts)...))
        qFatal("no slot %s with %d texts", slot, int(sizeof...(texts)));
}

// Every row of a table, its texts "|" apart ("<none>" for a cell without an item, none after
// the last item), after a "B" when it has its MODIFY button.
QStringList tableRows(const QTableWidget* table);
// The status bar's line about the library shown, then a transient message after it, if any.
QString libraryLine(const MainWindow& window);
// Everything the window shows of a library: its file, the captions, the status line, and of
// both tables the header, the columns hidden and the texts.
QStringList shown(const MainWindow& window);

// A window whose modal boxes are answered and whose dialog and working file go with it (the
// program itself never deletes the dialog).
struct AnsweredWindow {
    MainWindow w;
    ModalAnswerer answers;
    ~AnsweredWindow();
    // Opens `path` by its full name, as the open dialog gives it, after writing `bytes` there
    // when they are given. Gives the full name.
    QString open(const QString& path, const QByteArray& bytes = QByteArray());
    // Shows the window and makes it the active one, as keys need: false when it never was.
    bool activated();
    // The boxes shown, "title: text" each, the files named relative to the current folder.
    QString messages() const;
};

// An answered window in a scratch folder that is the current directory from before the window
// is made until after it has gone.
struct ScratchWindow : ScratchDirectory, AnsweredWindow {
    QTableWidget* const materials = w.findChild<QTableWidget*>(QStringLiteral("ExternalTable"));
    QTableWidget* const dictionary = w.findChild<QTableWidget*>(QStringLiteral("OriginalTable"));
    QPushButton* button(int row) const // the row's MODIFY
    {
        return qobject_cast<QPushButton*>(materials->cellWidget(row, 1));
    }
    QString rows() const { return tableRows(materials).join('\n'); }
};

} // namespace testwindow
