// The new-material dialog: its form, how it is prepared from the catalogue, and what its two
// buttons send.
#include "authoring/dialog.h"
#include "support/gui/windowhelpers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using testwindow::ScratchDirectory;

namespace {

// The catalogue as a load leaves it: one "Shaders/" list per full shader name.
bool writeCatalogue(const QStringList& shaders)
{
    QSettings ini(QStringLiteral("MTLs_Shaders.ini"), QSettings::IniFormat);
    for (const QString& shader : shaders) {
        ini.setValue("Params/" + shader, 2);
        ini.setValue("Shaders/" + shader, QStringList{"colorMap", "tex_d"});
        ini.setValue("Flags/" + shader, QStringList{"1", "2", "3", "4"});
    }
    ini.setValue("colorMap", "4");
    ini.sync();
    return ini.status() == QSettings::NoError;
}

template <typename T> T* part(Dialog& dialog, const char* name)
{
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("the dialog has no %s", name);
    return widget;
}

QStringList items(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

const char* const DialogSheet =
    "QWidget {\nbackground-color: rgb(40, 40, 48);\ncolor: rgb(255, 255, 255);\n}\n\nQScrollBar "
    "{ \nheight: 9px;\nwidth: 9px;\nbackground:  rgb(30, 30, 30);\n}\nQScrollBar:arrow { "
    "\nbackground:  rgb(0, 0, 99);\nheight: 5px;\n}\nQScrollBar::add-line {\nheight: "
    "0px;\n}\nQScrollBar::sub-line {\nheight: 0px;\n}\nQScrollBar::handle { \nborder-radius: "
    "2px;\nbackground:  rgb(115,115,115);\nheight: 5px;\nwidth: 5px;\nmin-width: 40 "
    "px;\nmin-height:40 px;\n}\nQScrollBar::handle:hover { \nborder-radius: 2px;\nbackground:  "
    "rgb(135,135,135);\nheight: 5px;\nmin-width: 40px;\nmin-height: 40px;\n}\nQScrollBar::sub-page "
    "{ \nbackground:  rgb(30, 30, 30);\nheight: 5px;\n}\nQScrollBar::add-page { \nbackground:  "
    "rgb(30, 30, 30);\nheight: 5px;\n}\n\nQDialog {\nbackground-color: rgb(40, 40, "
    "48);\ncolor: rgb(255, 255, 255);\nborder: .75px solid rgb(35,35,35);\nborder-top: 3px "
    "solid rgb(50, 140, 255);\nborder-radius: 2px;\n\n}\n\n";

} // namespace

class TestDialog : public QObject {
    Q_OBJECT

private slots:
    void methodOrder();
    void fixedSize();
    void texts();
    void layout_data();
    void layout();
    void fonts_data();
    void fonts();
    void look();
    void comboPalette();

    void prepare_data();
    void prepare();
    void prepareFocusesTheName();
    void submit_data();
    void submit();
    void cancel();
};

void TestDialog::methodOrder()
{
    const QMetaObject* meta = &Dialog::staticMetaObject;
    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        methods << QString::fromLatin1(method.methodSignature()) + " " +
                       (method.methodType() == QMetaMethod::Signal ? "signal"
                        : method.access() == QMetaMethod::Public   ? "public"
                                                                   : "private");
    }
    QCOMPARE(methods, (QStringList{"clicked4() signal", "table_refresh(QStringList) signal",
                                   "on_buttonBox_accepted(QStringList) public",
                                   "on_cancel_clicked() private", "on_ok_clicked() private"}));
}

void TestDialog::fixedSize()
{
    Dialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("Dialog"));
    QCOMPARE(dialog.parent(), nullptr);
    QCOMPARE(dialog.size(), QSize(330, 172));
    QCOMPARE(dialog.minimumSize(), QSize(330, 172));
    QCOMPARE(dialog.maximumSize(), QSize(330, 172));
    QCOMPARE(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(dialog.sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
    dialog.show();
    dialog.resize(500, 400);
    QCOMPARE(dialog.size(), QSize(330, 172));
    QVERIFY(!dialog.isModal());
}

void TestDialog::texts()
{
    Dialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Quorvane Lathrine"));
    // The names are the other way round from the texts, and each stays with its slot.
    QCOMPARE(part<QPushButton>(dialog, "cancel")->text(), QStringLiteral("OK"));
    QCOMPARE(part<QPushButton>(dialog, "ok")->text(), QStringLiteral("Cancel"));
    QCOMPARE(part<QLabel>(dialog, "label")->text(), QStringLiteral("Set New Material:"));
    QCOMPARE(part<QLabel>(dialog, "IDlabel")->text(), QStringLiteral("Model Name:"));
    QCOMPARE(part<QLabel>(dialog, "shaderlabel")->text(), QStringLiteral("Model Shader:"));
    QVERIFY(part<QLabel>(dialog, "titlelabel")->text().isEmpty());
    auto* name = part<QLineEdit>(dialog, "lineEdit");
    QVERIFY(name->text().isEmpty());
    QVERIFY(name->placeholderText().isEmpty());
    auto* shader = part<QComboBox>(dialog, "comboBox");
    QCOMPARE(items(shader), QStringList{"yCS_gear_Normal"});
    QCOMPARE(shader->currentText(), QStringLiteral("yCS_gear_Normal"));
}

void TestDialog::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVector<int>>("cell"); // row, column, row span, column span
    QTest::newRow("heading") << "label" << QVector<int>{0, 0, 1, 1};
    QTest::newRow("logo") << "titlelabel" << QVector<int>{0, 2, 1, 1};
    QTest::newRow("name label") << "IDlabel" << QVector<int>{2, 0, 1, 1};
    QTest::newRow("name") << "lineEdit" << QVector<int>{4, 0, 1, 3};
    QTest::newRow("shader label") << "shaderlabel" << QVector<int>{6, 0, 1, 1};
    QTest::newRow("shader") << "comboBox" << QVector<int>{7, 0, 1, 3};
    QTest::newRow("submit") << "cancel" << QVector<int>{10, 1, 1, 1};
    QTest::newRow("dismiss") << "ok" << QVector<int>{10, 2, 1, 1};
}

void TestDialog::layout()
{
    QFETCH(QString, name);
    QFETCH(QVector<int>, cell);
    Dialog dialog;
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(grid->verticalSpacing(), 6);
    int left, top, right, bottom;
    grid->getContentsMargins(&left, &top, &right, &bottom);
    QCOMPARE(QVector<int>({left, top, right}), QVector<int>({17, 12, 17}));
    const int index = grid->indexOf(dialog.findChild<QWidget*>(name));
    QVERIFY(index >= 0);
    QVector<int> place(4);
    grid->getItemPosition(index, &place[0], &place[1], &place[2], &place[3]);
    QCOMPARE(place, cell);
}

void TestDialog::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pointSize"); // 0: the application's size
    QTest::addColumn<bool>("bold");
    QTest::newRow("heading") << "label"
                             << "Helvetica" << 9 << false;
    QTest::newRow("logo") << "titlelabel"
                          << "Lato Semibold" << 9 << true;
    QTest::newRow("name label") << "IDlabel"
                                << "Lato Semibold" << 0 << true;
    QTest::newRow("name") << "lineEdit"
                          << "Lato Semibold" << 0 << true;
    QTest::newRow("shader label") << "shaderlabel"
                                  << "Lato Semibold" << 0 << true;
    QTest::newRow("shader") << "comboBox"
                            << "Lato Semibold" << 0 << true;
}

void TestDialog::fonts()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(int, pointSize);
    QFETCH(bool, bold);
    Dialog dialog;
    const QFont font = dialog.findChild<QWidget*>(name)->font();
    QCOMPARE(font.family(), family);
    QCOMPARE(font.pointSize(), pointSize ? pointSize : QApplication::font().pointSize());
    QCOMPARE(font.weight(), bold ? 75 : 50);
}

void TestDialog::look()
{
    Dialog dialog;
    QCOMPARE(dialog.styleSheet(), QString::fromLatin1(DialogSheet));

    auto* logo = part<QLabel>(dialog, "titlelabel");
    const QPixmap shown = logo->pixmap(Qt::ReturnByValue);
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.size(), QImage(":/new/prefix1/qr_logo_256.ico").size());
    QVERIFY(!logo->hasScaledContents());
    QCOMPARE(logo->alignment(), Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    QCOMPARE(logo->indent(), 10);
    QCOMPARE(logo->margin(), 0);
    QVERIFY(!logo->wordWrap());
    QVERIFY(!logo->openExternalLinks());
    QCOMPARE(logo->minimumHeight(), 29);
    QCOMPARE(logo->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);

    auto* name = part<QLineEdit>(dialog, "lineEdit");
    QCOMPARE(name->styleSheet(), QStringLiteral("background-color: rgb(24, 24, 24);\ncolor: "
                                                "rgb(255, 255, 255);\nborder: .75px solid "
                                                "rgb(0,0,0);\nborder-radius: 2px;"));
    QCOMPARE(name->focusPolicy(), Qt::StrongFocus);
    QVERIFY(name->hasFrame());
    QVERIFY(!name->isClearButtonEnabled());
    QCOMPARE(name->alignment(), Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);

    QCOMPARE(part<QComboBox>(dialog, "comboBox")->minimumHeight(), 25);
    auto* submit = part<QPushButton>(dialog, "cancel");
    QCOMPARE(submit->minimumHeight(), 21);
    QCOMPARE(submit->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(submit->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(part<QPushButton>(dialog, "ok")->minimumHeight(), 21);
}

void TestDialog::comboPalette()
{
    Dialog dialog;
    const QPalette palette = part<QComboBox>(dialog, "comboBox")->palette();
    const QColor white(255, 255, 255);
    const QColor ground(40, 40, 48);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            QCOMPARE(palette.color(group, role), white);
        for (QPalette::ColorRole role : {QPalette::Button, QPalette::Base, QPalette::Window})
            QCOMPARE(palette.color(group, role), ground);
        QCOMPARE(palette.color(group, QPalette::PlaceholderText), QColor(255, 255, 255, 128));
        QCOMPARE(palette.brush(group, QPalette::PlaceholderText).style(), Qt::NoBrush);
    }
    QCOMPARE(palette.color(QPalette::Active, QPalette::Highlight), QColor(57, 57, 66, 0));
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight), QColor(57, 57, 66, 0));
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Highlight), QColor(31, 117, 204, 170));
}

void TestDialog::prepare_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QStringList>("shaders");
    QTest::addColumn<QString>("typed"); // left in the name field before preparing
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("selected"); // "" with no selection
    QTest::addColumn<QString>("name");

    const QStringList mixed{"yCS_head::Normal", "yCS_gear::Normal", "aaa::Low", "Zed::High",
                            "_under::A"};
    // Case-sensitive order: capitals, then "_", then small letters.
    const QStringList sorted{"Zed::High", "_under::A", "aaa::Low", "yCS_gear::Normal",
                             "yCS_head::Normal"};
    QTest::newRow("add: gear preselected")
        << true << mixed << "left over" << QStringList{} << sorted << "yCS_gear::Normal"
        << "";
    QTest::newRow("add: no gear, nothing selected")
        << true << QStringList{"yCS_head::Normal", "aaa::Low"} << "" << QStringList{}
        << QStringList{"aaa::Low", "yCS_head::Normal"} << ""
        << "";
    QTest::newRow("gear in other case is not gear")
        << true << QStringList{"ycs_gear::normal", "yCS_gear::Normal2"} << "" << QStringList{}
        << QStringList{"yCS_gear::Normal2", "ycs_gear::normal"} << ""
        << "";
    QTest::newRow("swap: row's shader known")
        << true << mixed << "" << QStringList{"yCS_head::Normal", "helmet_visor"} << sorted
        << "yCS_head::Normal"
        << "helmet_visor";
    QTest::newRow("swap: row's shader unknown keeps gear")
        << true << mixed << "" << QStringList{"yCS_body::Normal", "torso"} << sorted
        << "yCS_gear::Normal"
        << "torso";
    QTest::newRow("swap: shader compared case-sensitively")
        << true << mixed << "" << QStringList{"YCS_HEAD::NORMAL", "visor"} << sorted
        << "yCS_gear::Normal"
        << "visor";
    QTest::newRow("swap: no gear and unknown shader")
        << true << QStringList{"aaa::Low"} << "" << QStringList{"bbb::X", "m"}
        << QStringList{"aaa::Low"} << ""
        << "m";
    QTest::newRow("one name is both shader and name")
        << true << mixed << "" << QStringList{"aaa::Low"} << sorted << "aaa::Low"
        << "aaa::Low";
    QTest::newRow("no catalogue file")
        << false << QStringList{} << "typed" << QStringList{} << QStringList{} << ""
        << "";
    QTest::newRow("catalogue without shaders")
        << true << QStringList{} << "" << QStringList{"yCS_gear::Normal", "n"} << QStringList{}
        << ""
        << "n";
}

void TestDialog::prepare()
{
    QFETCH(bool, withFile);
    QFETCH(QStringList, shaders);
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    QFETCH(QStringList, offered);
    QFETCH(QString, selected);
    QFETCH(QString, name);
    ScratchDirectory scratch;
    if (withFile)
        QVERIFY(writeCatalogue(shaders));
    Dialog dialog;
    auto* field = part<QLineEdit>(dialog, "lineEdit");
    auto* combo = part<QComboBox>(dialog, "comboBox");
    field->setText(typed);

    dialog.on_buttonBox_accepted(names);
    QCOMPARE(items(combo), offered);
    QCOMPARE(combo->currentText(), selected);
    QCOMPARE(combo->currentIndex(), selected.isEmpty() ? -1 : offered.indexOf(selected));
    QCOMPARE(field->text(), name);
    QVERIFY(!field->isHidden());

    // Opened again with nothing: the field empties and the preselection comes back.
    dialog.on_buttonBox_accepted({});
    QCOMPARE(field->text(), QString());
    QCOMPARE(combo->currentIndex(), offered.indexOf("yCS_gear::Normal"));
}

void TestDialog::prepareFocusesTheName()
{
    ScratchDirectory scratch;
    QVERIFY(writeCatalogue({"yCS_gear::Normal"}));
    Dialog dialog;
    auto* field = part<QLineEdit>(dialog, "lineEdit");
    auto* combo = part<QComboBox>(dialog, "comboBox");
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());
    field->setFocusPolicy(Qt::NoFocus);

    dialog.on_buttonBox_accepted({"x::y", "name"});
    QCOMPARE(field->focusPolicy(), Qt::StrongFocus);
    QTRY_VERIFY(field->hasFocus());
}

void TestDialog::submit_data()
{
    QTest::addColumn<QStringList>("shaders");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("choose"); // "" keeps what preparing selected
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("preselected shader")
        << QStringList{"yCS_gear::Normal", "yCS_head::Normal"} << "bolt"
        << "" << QStringList{"bolt", "yCS_gear::Normal"};
    QTest::newRow("chosen shader")
        << QStringList{"yCS_gear::Normal", "yCS_head::Normal"} << "visor"
        << "yCS_head::Normal" << QStringList{"visor", "yCS_head::Normal"};
    QTest::newRow("empty name is sent as it is") << QStringList{"yCS_gear::Normal"} << ""
                                                 << "" << QStringList{"", "yCS_gear::Normal"};
    QTest::newRow("blanks are a name") << QStringList{"yCS_gear::Normal"} << "  "
                                       << "" << QStringList{"  ", "yCS_gear::Normal"};
    QTest::newRow("no shaders") << QStringList{} << "bare"
                                << "" << QStringList{"bare", ""};
}

void TestDialog::submit()
{
    QFETCH(QStringList, shaders);
    QFETCH(QString, name);
    QFETCH(QString, choose);
    QFETCH(QStringList, sent);
    ScratchDirectory scratch;
    QVERIFY(writeCatalogue(shaders));
    Dialog dialog;
    auto* field = part<QLineEdit>(dialog, "lineEdit");
    auto* combo = part<QComboBox>(dialog, "comboBox");
    dialog.on_buttonBox_accepted({});
    field->setText(name);
    if (!choose.isEmpty())
        combo->setCurrentText(choose);

    // The receiver runs inside the click, while the field still holds the name.
    QStringList fieldDuringSignal;
    connect(&dialog, &Dialog::table_refresh, this,
            [&](const QStringList&) { fieldDuringSignal << field->text(); });
    QSignalSpy refreshed(&dialog, &Dialog::table_refresh);
    QSignalSpy dismissed(&dialog, &Dialog::clicked4);
    dialog.show();
    QTest::mouseClick(part<QPushButton>(dialog, "cancel"), Qt::LeftButton);

    QCOMPARE(refreshed.size(), 1);
    QCOMPARE(refreshed.first().first().toStringList(), sent);
    QCOMPARE(fieldDuringSignal, QStringList{name});
    QCOMPARE(field->text(), QString());
    QCOMPARE(dismissed.size(), 0);
    // Hiding is the window's business.
    QVERIFY(dialog.isVisible());
}

void TestDialog::cancel()
{
    ScratchDirectory scratch;
    QVERIFY(writeCatalogue({"yCS_gear::Normal"}));
    Dialog dialog;
    auto* field = part<QLineEdit>(dialog, "lineEdit");
    dialog.on_buttonBox_accepted({"yCS_gear::Normal", "kept?"});

    QStringList fieldDuringSignal;
    connect(&dialog, &Dialog::clicked4, this, [&] { fieldDuringSignal << field->text(); });
    QSignalSpy refreshed(&dialog, &Dialog::table_refresh);
    QSignalSpy dismissed(&dialog, &Dialog::clicked4);
    dialog.show();
    QTest::mouseClick(part<QPushButton>(dialog, "ok"), Qt::LeftButton);

    QCOMPARE(dismissed.size(), 1);
    QCOMPARE(refreshed.size(), 0);
    QCOMPARE(fieldDuringSignal, QStringList{""});
    QCOMPARE(field->text(), QString());
}

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
