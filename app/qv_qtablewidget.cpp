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
