#pragma once
// The materials table: a QTableWidget that takes dropped files and announces the first one.

#include <QTableWidget>

class qv_qtablewidget : public QTableWidget {
    Q_OBJECT

public:
    // `holder` is the widget that will hold the table; the layout that receives the table
    // gives it its parent.
    explicit qv_qtablewidget(QWidget* holder);

signals:
    void clicked(QString filename);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};
