// The new-material dialog: its form, how it is prepared from the catalogue, and what its two
// buttons send.
#include "authoring/dialog.h"
#include "support/gui/windowhelpers.h"

#include <QComboBox>
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
    }
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

} // namespace

class TestDialog : public QObject {
    Q_OBJECT

private slots:
    void form();
    void prepare_data();
    void prepare();
    void prepareFocusesTheName();
    void buttons();
};

void TestDialog::form()
{
    Dialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Quorvane Lathrine"));
    QVERIFY(dialog.styleSheet().contains("border-top: 3px solid rgb(50, 140, 255);"));
    // The names are the other way round from the texts, and each stays with its slot.
    QCOMPARE(
        (QStringList{part<QPushButton>(dialog, "cancel")->text(),
                     part<QPushButton>(dialog, "ok")->text(), part<QLabel>(dialog, "label")->text(),
                     part<QLabel>(dialog, "IDlabel")->text(),
                     part<QLabel>(dialog, "shaderlabel")->text()}),
        (QStringList{"OK", "Cancel", "Set New Material:", "Model Name:", "Model Shader:"}));
    QCOMPARE(items(part<QComboBox>(dialog, "comboBox")), QStringList{"yCS_gear_Normal"});

    QCOMPARE(dialog.size(), QSize(330, 172));
    dialog.show();
    dialog.resize(500, 400);
    QCOMPARE(dialog.size(), QSize(330, 172));
    QVERIFY(!dialog.isModal());
}

void TestDialog::prepare_data()
{
    QTest::addColumn<QStringList>("shaders"); // none: no catalogue file
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("selected"); // "" with no selection
    QTest::addColumn<QString>("name");
    auto row = [](const char* tag, const QStringList& shaders, const QStringList& names,
                  const QStringList& offered, const QString& selected, const QString& name) {
        QTest::newRow(tag) << shaders << names << offered << selected << name;
    };
    const QStringList mixed{"yCS_head::Normal", "yCS_gear::Normal", "aaa::Low", "Zed::High",
                            "_under::A"};
    // Case-sensitive order: capitals, then "_", then small letters.
    const QStringList sorted{"Zed::High", "_under::A", "aaa::Low", "yCS_gear::Normal",
                             "yCS_head::Normal"};
    row("add: gear preselected", mixed, {}, sorted, "yCS_gear::Normal", "");
    row("no exact gear, nothing selected", {"ycs_gear::normal", "yCS_gear::Normal2", "aaa::Low"},
        {}, {"aaa::Low", "yCS_gear::Normal2", "ycs_gear::normal"}, "", "");
    row("swap: row's shader known", mixed, {"yCS_head::Normal", "helmet_visor"}, sorted,
        "yCS_head::Normal", "helmet_visor");
    row("swap: shader in other case keeps gear", mixed, {"YCS_HEAD::NORMAL", "visor"}, sorted,
        "yCS_gear::Normal", "visor");
    row("one name is both shader and name", mixed, {"aaa::Low"}, sorted, "aaa::Low", "aaa::Low");
    row("no catalogue file", {}, {"yCS_gear::Normal", "n"}, {}, "", "n");
}

void TestDialog::prepare()
{
    QFETCH(QStringList, shaders);
    QFETCH(QStringList, names);
    QFETCH(QStringList, offered);
    QFETCH(QString, selected);
    QFETCH(QString, name);
    ScratchDirectory scratch;
    if (!shaders.isEmpty())
        QVERIFY(writeCatalogue(shaders));
    Dialog dialog;
    auto* field = part<QLineEdit>(dialog, "lineEdit");
    auto* combo = part<QComboBox>(dialog, "comboBox");
    field->setText("left over");

    dialog.on_buttonBox_accepted(names);
    QCOMPARE(items(combo), offered);
    QCOMPARE(combo->currentIndex(), selected.isEmpty() ? -1 : offered.indexOf(selected));
    QCOMPARE(field->text(), name);

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
    dialog.on_buttonBox_accepted({"x::y", "name"});
    QTRY_VERIFY(field->hasFocus());
}

void TestDialog::buttons()
{
    ScratchDirectory scratch;
    QVERIFY(writeCatalogue({"yCS_gear::Normal", "yCS_head::Normal"}));
    Dialog dialog;
    auto* field = part<QLineEdit>(dialog, "lineEdit");
    dialog.on_buttonBox_accepted({});
    // What the window hears, and what the field holds while it listens and after the click.
    QStringList heard;
    connect(&dialog, &Dialog::table_refresh, this,
            [&](const QStringList& sent) { heard << sent.join('|') + " with " + field->text(); });
    connect(&dialog, &Dialog::clicked4, this, [&] { heard << "clicked4 with " + field->text(); });
    dialog.show();
    auto click = [&](const char* button, const QString& name) {
        field->setText(name);
        QTest::mouseClick(part<QPushButton>(dialog, button), Qt::LeftButton);
        heard << "then " + field->text();
    };
    // The button named "cancel" reads "OK" and submits; the one named "ok" cancels.
    click("cancel", "bolt");
    part<QComboBox>(dialog, "comboBox")->setCurrentText("yCS_head::Normal");
    click("cancel", "");
    click("ok", "kept?");
    QCOMPARE(heard, (QStringList{"bolt|yCS_gear::Normal with bolt", "then ",
                                 "|yCS_head::Normal with ", "then ", "clicked4 with ", "then "}));
}

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
