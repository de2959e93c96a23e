#pragma once
// The new-material dialog: a name and a full shader name from the catalogue. Modeless; the
// main window shows it, prepares it through on_buttonBox_accepted and hides it.

#include <QDialog>
#include <QStringList>

QT_BEGIN_NAMESPACE
namespace Ui {
class Dialog;
}
QT_END_NAMESPACE

class Dialog : public QDialog {
    Q_OBJECT

public:
    explicit Dialog(QWidget* parent = nullptr);
    ~Dialog() override;

    // Selects `shader` when the list offers it; otherwise the selection stays.
    void selectShader(const QString& shader);

signals:
    void clicked4();
    void table_refresh(QStringList files);

public slots:
    // Refills the shader list and the name field; `Names` is empty or [shader, name].
    void on_buttonBox_accepted(QStringList Names);

private slots:
    // The button named "cancel" reads "OK" and submits; "ok" reads "Cancel" and cancels.
    void on_cancel_clicked();
    void on_ok_clicked();

private:
    Ui::Dialog* ui;
};
