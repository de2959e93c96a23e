#include "app/qv_qtablewidget.h"

#include "app/droppaths.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

qv_qtablewidget::qv_qtablewidget(QWidget* holder) : QTableWidget(nullptr)
{
    droppaths::enableDrops(holder, this, viewport());
}

void qv_qtablewidget::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void qv_qtablewidget::dragMoveEvent(QDragMoveEvent* e)
{
    e->accept();
}

void qv_qtablewidget::dropEvent(QDropEvent* e)
{
    const QStringList paths = droppaths::localPaths(e->mimeData());
    if (!paths.isEmpty())
        emit clicked(paths.first());
}

QPair<int, int> qv_qtablewidget::rowsInView() const
{
    const int first = qMax(0, rowAt(0));
    int last = rowAt(viewport()->rect().bottom()); // the row at the last line of pixels
    if (last < 0)
        last = rowCount() - 1;
    return {first, last};
}

void qv_qtablewidget::hideCellWidgetsOutOfView()
{
    const auto [first, last] = rowsInView();
    for (int r = 0; r < rowCount(); ++r) {
        if (r >= first && r <= last)
            continue;
        for (int c = 0; c < columnCount(); ++c)
            if (QWidget* widget = cellWidget(r, c))
                widget->hide();
    }
}

void qv_qtablewidget::updateEditorGeometries()
{
    // An open cell editor is placed by the toolkit, which places every cell widget with it.
    if (state() == EditingState) {
        QTableWidget::updateEditorGeometries();
        return;
    }
    const auto [first, last] = rowsInView();
    QVector<QPointer<QWidget>> nowPlaced;
    for (int r = first; r <= last; ++r) {
        // A hidden row (Find) has no place: its widgets stay hidden, unasked.
        if (isRowHidden(r))
            continue;
        for (int c = 0; c < columnCount(); ++c) {
            QWidget* widget = cellWidget(r, c);
            if (!widget)
                continue;
            const QRect rect = visualRect(model()->index(r, c));
            if (rect.isValid()) {
                widget->setGeometry(rect);
                widget->show();
                nowPlaced.append(widget);
            } else {
                widget->hide();
            }
        }
    }
    for (const QPointer<QWidget>& widget : qAsConst(placed))
        if (widget && !nowPlaced.contains(widget))
            widget->hide();
    placed = nowPlaced;
}

void qv_qtablewidget::scrollContentsBy(int dx, int dy)
{
    QTableWidget::scrollContentsBy(dx, dy);
    // Scrolling moves the cell widgets along with the cells; rows that come into view need
    // theirs shown.
    updateEditorGeometries();
}
