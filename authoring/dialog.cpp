#include "authoring/dialog.h"

#include "catalogue/shadercatalogue.h"
#include "ui_dialog.h"

namespace {
const char* const PreferredShader = "yCS_gear::Normal";

// on_buttonBox_accepted keeps its name, but the window connects it itself: the form's wiring
// by name finds no such signal and would say so on every start.
QtMessageHandler formHandler = nullptr;
void quietUnmatchedSlot(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (!text.contains(QLatin1String("on_buttonBox_accepted")))
        formHandler(type, context, text);
}
} // namespace

Dialog::Dialog(QWidget* parent) : QDialog(parent), ui(new Ui::Dialog)
{
    formHandler = qInstallMessageHandler(quietUnmatchedSlot);
    ui->setupUi(this);
    qInstallMessageHandler(formHandler);
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::on_buttonBox_accepted(QStringList Names)
{
    // Read afresh each time: loads since the last opening may have taught new shaders.
    ui->comboBox->clear();
    ui->comboBox->addItems(ShaderCatalogue().shaderNames());
    ui->comboBox->setCurrentIndex(ui->comboBox->findText(QString::fromLatin1(PreferredShader)));

    ui->lineEdit->show();
    ui->lineEdit->clear();
    if (!Names.isEmpty()) {
        ui->lineEdit->setText(Names.last());
        const int match = ui->comboBox->findText(Names.first());
        if (match >= 0)
            ui->comboBox->setCurrentIndex(match);
    }
    ui->lineEdit->setFocusPolicy(Qt::StrongFocus);
    ui->lineEdit->setFocus();
}

void Dialog::selectShader(const QString& shader)
{
    const int match = ui->comboBox->findText(shader);
    if (match >= 0)
        ui->comboBox->setCurrentIndex(match);
}

void Dialog::on_cancel_clicked()
{
    emit table_refresh({ui->lineEdit->text(), ui->comboBox->currentText()});
    ui->lineEdit->clear();
}

void Dialog::on_ok_clicked()
{
    ui->lineEdit->clear();
    emit clicked4();
}
