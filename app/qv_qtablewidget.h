#pragma once
// The materials table: a QTableWidget that takes dropped files and announces the first one.

#include <QPointer>
#include <QTableWidget>

class qv_qtablewidget : public QTableWidget {
    Q_OBJECT

public:
    // `holder` is the widget that will hold the table; the layout that receives the table
    // gives it its parent.
    explicit qv_qtablewidget(QWidget* holder);

    // Hides the cell widgets of the rows out of view. Only those in view are placed from
    // then on: with a widget in every row of a large library, placing (and styling) every one
    // of them on each layout and scroll is what would make the table slow.
    void hideCellWidgetsOutOfView();
    // Scroll ranges and header geometry now, as a column inserted into the table sets them,
    // rather than at the next layout.
    void updateScrollRanges() { updateGeometries(); }

signals:
    void clicked(QString filename);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void updateEditorGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Rows in view, first and last.
    QPair<int, int> rowsInView() const;
    QVector<QPointer<QWidget>> placed; // cell widgets shown by the last placement
};
