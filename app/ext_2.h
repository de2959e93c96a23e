#pragma once
// The dictionary table: a QTableWidget that takes dropped files and announces the first one.

#include <QTableWidget>

class ext_2 : public QTableWidget {
    Q_OBJECT

public:
    // `holder` is the widget that will hold the table; the layout that receives the table
    // gives it its parent.
    explicit ext_2(QWidget* holder);

signals:
    void clicked3(QString filename);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};
