#pragma once
// Small helpers for tests that drive the main window through its slots.

#include "mtls/library.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class MainWindow;
class QTableWidget;

namespace testwindow {

// Runs a slot of the window by name, as a signal connected to it would.
void call(MainWindow& window, const char* slot);
void call(MainWindow& window, const char* slot, const QString& argument);
void callAdd(MainWindow& window, const QString& name, const QString& shader);

QString text(const QTableWidget* table, int row, int column); // "" when no item
bool hasItem(const QTableWidget* table, int row, int column);
// Texts of one row from column `from` on, "<none>" for a cell without an item.
QStringList rowTexts(const QTableWidget* table, int row, int from = 0);
// The materials table as the writers see it: every column but the swap column (1).
mtls::MaterialGrid gridWithoutSwapColumn(const QTableWidget* table);

bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// A temporary folder that is the current directory while the object lives, so that the
// catalogue of a test never meets another's.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    QString path(const QString& name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};

} // namespace testwindow
