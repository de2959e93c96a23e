#pragma once
// What the window and the two tables make of a drag: shared so that they agree.

#include <QStringList>

class QMimeData;
class QWidget;

namespace droppaths {

// The local-file form of every URL, in the drag's order; "" for a URL that is no local file.
QStringList localPaths(const QMimeData* mime);

// The local paths that contain ".mtls" (case-sensitive), in the drag's order.
QStringList libraryPaths(const QMimeData* mime);

// Turns drops on for the holder, the table and the table's viewport, in that order.
void enableDrops(QWidget* holder, QWidget* table, QWidget* viewport);

} // namespace droppaths
