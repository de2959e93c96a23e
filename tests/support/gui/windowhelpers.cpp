#include "windowhelpers.h"

#include "authoring/dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QtTest>

namespace testwindow {

QStringList tableRows(const QTableWidget* table)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList texts;
        for (int c = 0; c < table->columnCount(); ++c)
            texts << (table->item(r, c) ? table->item(r, c)->text() : QStringLiteral("<none>"));
        while (!texts.isEmpty() && texts.last() == QLatin1String("<none>"))
            texts.removeLast();
        rows << QLatin1String(qobject_cast<QPushButton*>(table->cellWidget(r, 1)) ? "B" : "") +
                    texts.join(QLatin1Char('|'));
    }
    return rows;
}

QString libraryLine(const MainWindow& w)
{
    QStringList parts{w.findChild<QLabel*>(QStringLiteral("libraryStatus"))->text(),
                      w.statusBar()->currentMessage()};
    parts.removeAll(QString()); // either may be empty
    return parts.join(QLatin1String(" | "));
}

QStringList shown(const MainWindow& w)
{
    QStringList seen{w.current_file, libraryLine(w),
                     w.isWindowModified() ? QStringLiteral("modified") : QString()};
    for (const char* label : {"ExternalLabel", "OriginalLabel", "label"})
        seen << w.findChild<QLabel*>(label)->text();
    for (const char* name : {"ExternalTable", "OriginalTable"}) {
        const auto* table = w.findChild<QTableWidget*>(name);
        QString hidden = table->horizontalHeader()->isHidden() ? QStringLiteral("no header ") : "";
        for (int c = 0; c < table->columnCount(); ++c)
            hidden += table->isColumnHidden(c) ? QLatin1Char('-') : QLatin1Char('+');
        seen << hidden << tableRows(table);
    }
    return seen;
}

AnsweredWindow::~AnsweredWindow()
{
    delete w.dialog;
    QFile::remove(MainWindow::previewPath());
}

bool AnsweredWindow::activated()
{
    w.show();
    QApplication::setActiveWindow(&w);
    return QTest::qWaitForWindowActive(&w);
}

QString AnsweredWindow::open(const QString& path, const QByteArray& bytes)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    if (!bytes.isNull() && !writeFile(full, bytes))
        qFatal("cannot write %s", qPrintable(full));
    call(w, "open_mtl", full);
    return full;
}

QString AnsweredWindow::messages() const
{
    QStringList texts;
    for (const ModalAnswerer::Message& m : answers.messages())
        texts << m.title + QLatin1String(": ") + m.text;
    // The files' names remain, whichever separators the system shows.
    return texts.join(QLatin1Char('\n'))
        .remove(QDir::toNativeSeparators(QDir::currentPath() + QLatin1Char('/')))
        .remove(QDir::currentPath() + QLatin1Char('/'));
}

} // namespace testwindow
