#include "app/ext_2.h"

#include "app/droppaths.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

ext_2::ext_2(QWidget* holder) : QTableWidget(nullptr)
{
    droppaths::enableDrops(holder, this, viewport());
}

void ext_2::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void ext_2::dragMoveEvent(QDragMoveEvent* e)
{
    e->accept();
}

void ext_2::dropEvent(QDropEvent* e)
{
    const QStringList paths = droppaths::localPaths(e->mimeData());
    if (!paths.isEmpty())
        emit clicked3(paths.first());
}
