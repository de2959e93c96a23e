#include "windowhelpers.h"

#include "app/mainwindow.h"
#include "authoring/dialog.h"

#include <QFileInfo>
#include <QTableWidget>

namespace testwindow {

void call(MainWindow& window, const char* slot)
{
    if (!QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection))
        qFatal("no slot %s", slot);
}

void call(MainWindow& window, const char* slot, const QString& argument)
{
    if (!QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection, Q_ARG(QString, argument)))
        qFatal("no slot %s(QString)", slot);
}

void callAdd(MainWindow& window, const QString& name, const QString& shader)
{
    if (!QMetaObject::invokeMethod(&window, "add_material", Qt::DirectConnection,
                                   Q_ARG(QString, name), Q_ARG(QString, shader)))
        qFatal("no slot add_material");
}

QString text(const QTableWidget* table, int row, int column)
{
    return hasItem(table, row, column) ? table->item(row, column)->text() : QString();
}

bool hasItem(const QTableWidget* table, int row, int column)
{
    return table->item(row, column);
}

QStringList rowTexts(const QTableWidget* table, int row, int from)
{
    QStringList texts;
    for (int c = from; c < table->columnCount(); ++c)
        texts.append(hasItem(table, row, c) ? text(table, row, c) : QStringLiteral("<none>"));
    while (!texts.isEmpty() && texts.last() == QLatin1String("<none>"))
        texts.removeLast();
    return texts;
}

mtls::MaterialGrid gridWithoutSwapColumn(const QTableWidget* table)
{
    mtls::MaterialGrid grid;
    grid.columnCount = table->columnCount() - 1;
    for (int r = 0; r < table->rowCount(); ++r) {
        grid.rows.append(mtls::GridRow());
        for (int c = 0; c < table->columnCount(); ++c)
            if (c != 1)
                grid.rows.last() << (hasItem(table, r, c) ? mtls::Cell(text(table, r, c))
                                                          : mtls::Cell());
    }
    return grid;
}

AnsweredWindow::~AnsweredWindow()
{
    delete w.dialog;
}

void AnsweredWindow::open(const QString& path)
{
    call(w, "open_mtl", QFileInfo(path).absoluteFilePath());
}

} // namespace testwindow
