// Adding and replacing materials through the window: the rows that come back from the
// preview file, the dialog round trip, the swap buttons, and the user's own file left alone.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "mtls/block.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using Messages = QList<ModalAnswerer::Message>;

namespace {

// Two shaders for the catalogue to learn: yCS_gear::Normal with three textures, the last a
// reference entry, and yCS_skin::Normal with a texture, a hash and a number. The third
// material has no parameters.
QByteArray templateLibrary()
{
    const QStringList d{"tpl",       "yCS_gear", "Normal",        "colorMap", "Old_color",
                        "g_mPixMsk", "Old_pm",   "g_mPixMsk@ref", "X",        "yCS_skin",
                        "hashMap",   "gain",     "skin1",         "tail"};
    auto at = [&d](const char* text) { return offsetOf(d, text); };
    RawMaterial gear{at("tpl"), at("yCS_gear"), at("Normal"), {1, 2, 3, 4}, 3, {}};
    gear.items = {entry4(at("colorMap"), at("Old_color")), entry4(at("g_mPixMsk"), at("Old_pm")),
                  entry4(at("g_mPixMsk@ref"), at("X"))};
    RawMaterial skin{at("skin1"), at("yCS_skin"), at("Normal"), {7, 0, 0, 9}, 3, {}};
    skin.items = {entry4(at("colorMap"), at("Old_color")), entry5(at("hashMap"), 0x1234),
                  entry1(at("gain"), 0, 5)};
    const RawMaterial tail{at("tail"), at("yCS_gear"), at("Normal"), {}, 0, {}};
    return buildBlock(d, {gear, skin, tail});
}

struct Window {
    ScratchDirectory scratch;
    MainWindow w;
    QTableWidget* materials = w.ui->ExternalTable;
    ~Window()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    QString open(const QByteArray& bytes = templateLibrary())
    {
        if (!writeFile(scratch.path("lib.mtls"), bytes))
            qFatal("cannot write the test library");
        call(w, "open_mtl", scratch.path("lib.mtls"));
        return scratch.path("lib.mtls");
    }
    void add(const QString& name, const QString& shader) { callAdd(w, name, shader); }
    QString row(int r) const { return rowTexts(materials, r).join('|'); }
    QPushButton* button(int r) const
    {
        return qobject_cast<QPushButton*>(materials->cellWidget(r, 1));
    }
    QLineEdit* nameField() const { return w.dialog->findChild<QLineEdit*>("lineEdit"); }
    QComboBox* shaders() const { return w.dialog->findChild<QComboBox*>("comboBox"); }
    // The dialog's button that reads "OK" is the one named "cancel".
    void submitDialog(const QString& name)
    {
        nameField()->setText(name);
        QTest::mouseClick(w.dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }
    void cancelDialog()
    {
        QTest::mouseClick(w.dialog->findChild<QPushButton*>("ok"), Qt::LeftButton);
    }
    int buttons() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        int count = 0;
        for (int r = 0; r < materials->rowCount(); ++r)
            count += button(r) && button(r)->text() == "MODIFY";
        return count;
    }
};

std::optional<mtls::Block> decodeFile(const QString& path)
{
    return mtls::decode(readFile(path));
}

} // namespace

class TestAuthoring : public QObject {
    Q_OBJECT

private slots:
    void addedRowsThenASave()
    {
        Window win;
        ModalAnswerer answers;
        const QString opened = win.open();
        win.add("Car_ALPHA", "yCS_gear::Normal");
        QCOMPARE(win.w.current_file, MainWindow::previewPath());
        QCOMPARE(win.row(3), QStringLiteral("3|<none>|yCS_gear|Car_ALPHA|3|Normal|colorMap|"
                                            "Car_color|g_mPixMsk|Car_pm|g_mPixMsk@ref|X"));
        // The rows that were there come back unchanged.
        QCOMPARE(win.row(0), QStringLiteral("0|<none>|yCS_gear|tpl|3|Normal|colorMap|Old_color|"
                                            "g_mPixMsk|Old_pm|g_mPixMsk@ref|X"));
        win.add("Body_ALPHA", "yCS_skin::Normal");
        QCOMPARE(win.row(4), QStringLiteral("4|<none>|yCS_skin|Body_ALPHA|3|Normal|colorMap|"
                                            "Body_color|hashMap|gain"));
        QCOMPARE(win.buttons(), 5);
        QCOMPARE(readFile(opened), templateLibrary());

        // The preview holds a placeholder in every hash; a save puts in the real ones.
        const auto preview = decodeFile(MainWindow::previewPath());
        QVERIFY(preview && preview->materials.size() == 5);
        QCOMPARE(preview->materials[1].items[1].first, Q_UINT64_C(0xDEADDEAD));
        QCOMPARE(preview->materials[4].items[1].first, Q_UINT64_C(0xDEADDEAD));
        QCOMPARE(preview->materials[4].items[2].second, quint64(5)); // b of gain's line 1,0,5
        QVERIFY(QDir().mkpath(win.scratch.path("Characters/hero")));
        const QString saved = win.scratch.path("Characters/hero/x.mtls");
        answers.expectFileDialog(saved);
        call(win.w, "rebuild_mtl");
        const auto block = decodeFile(saved);
        QVERIFY(block && block->materials.size() == 5);
        QCOMPARE(block->materials[1].items[1].first,
                 Q_UINT64_C(0xc38888ef4a9783c6)); // .../old_color.tex
        QCOMPARE(block->materials[4].items[1].first,
                 Q_UINT64_C(0x27c014dd9bcd2da3)); // .../body_color.tex
        QCOMPARE(win.w.current_file, saved);
    }

    void addingToAnEmptyWindowWritesThePreview()
    {
        Window win;
        {
            MainWindow teacher;
            QVERIFY(writeFile(win.scratch.path("tpl.mtls"), templateLibrary()));
            call(teacher, "open_mtl", win.scratch.path("tpl.mtls"));
        }
        win.add("Car", "yCS_gear::Normal");
        QCOMPARE(win.w.current_file, MainWindow::previewPath());
        QCOMPARE(win.materials->rowCount(), 1);
        // The dictionary is the row's texts in walk order (not the index and count columns)
        // and one trailing empty string.
        const auto block = decodeFile(MainWindow::previewPath());
        QVERIFY(block);
        QCOMPARE(block->dictionaryTexts(),
                 (QStringList{"yCS_gear", "Car", "Normal", "colorMap", "Car_color", "g_mPixMsk",
                              "Car_pm", "g_mPixMsk@ref", "X", ""}));
        // A shader the catalogue does not know gives a row of five cells.
        win.add("Lonely", "noSuch");
        QCOMPARE(win.row(1), QStringLiteral("1|<none>|noSuch|Lonely|0|noSuch"));
    }

    void twoStringDictionaryIsAFreshWindow()
    {
        Window win;
        // The name and a shader text used as main shader and variant.
        win.open(buildBlock({"m", "s"}, {RawMaterial{0, 2, 2, {}, 0, {}}}));
        QCOMPARE(win.w.ui->OriginalTable->rowCount(), 2);
        win.add("n", "t::u");
        // The old dictionary is not carried over: the walk starts from the cells.
        const auto block = decodeFile(MainWindow::previewPath());
        QVERIFY(block);
        QCOMPARE(block->dictionaryTexts(), (QStringList{"s", "m", "t", "n", "u", ""}));
        QCOMPARE(win.materials->rowCount(), 2);
    }

    void dialogRefusesAnEmptyNameThenAdds()
    {
        Window win;
        ModalAnswerer answers;
        answers.expectMessage();
        QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
        win.submitDialog(QString());
        QCOMPARE(answers.messages(), (Messages{{"Warning", "Model Name cannot be empty."}}));
        QVERIFY(win.w.dialog->isVisible());
        QVERIFY(!QFileInfo::exists(MainWindow::previewPath()));
        win.cancelDialog();
        QCOMPARE(win.materials->columnCount(), 1);

        win.open();
        win.w.ui->actionAdd_Material->trigger();
        QVERIFY(win.w.dialog->isVisible());
        QCOMPARE(win.nameField()->text(), QString());
        QCOMPARE(win.shaders()->currentText(), QStringLiteral("yCS_gear::Normal"));
        QCOMPARE(win.shaders()->count(), 2);
        win.shaders()->setCurrentText("yCS_skin::Normal");
        win.submitDialog("Visor");
        QVERIFY(!win.w.dialog->isVisible());
        QCOMPARE(win.nameField()->text(), QString());
        QVERIFY(win.row(3).startsWith("3|<none>|yCS_skin|Visor|3|Normal|colorMap|Visor_color|"));
    }

    void swapReplacesTheRowInPlace()
    {
        Window win;
        win.open();
        // An abandoned swap, by the Cancel button or by closing the dialog, leaves a plain add
        // that follows appending.
        for (bool closed : {false, true}) {
            QTest::mouseClick(win.button(1), Qt::LeftButton);
            QVERIFY(win.w.swap_pending);
            if (closed)
                win.w.dialog->close();
            else
                win.cancelDialog();
            QVERIFY(!win.w.swap_pending);
            QVERIFY(!win.w.dialog->isVisible());
            QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
            win.submitDialog(closed ? "Extra2" : "Extra");
        }
        QCOMPARE(win.materials->rowCount(), 5);
        QCOMPARE(text(win.materials, 1, 3), QStringLiteral("skin1"));
        QCOMPARE(text(win.materials, 4, 3), QStringLiteral("Extra2"));

        QTest::mouseClick(win.button(1), Qt::LeftButton);
        QVERIFY(win.w.swap_pending);
        QCOMPARE(win.w.swap_row, 1);
        QVERIFY(win.w.dialog->isVisible());
        QCOMPARE(win.nameField()->text(), QStringLiteral("skin1"));
        win.shaders()->setCurrentText("yCS_gear::Normal");
        win.submitDialog("Crown_ALPHA");
        QVERIFY(!win.w.swap_pending);
        QCOMPARE(win.materials->rowCount(), 5);
        QCOMPARE(win.row(1), QStringLiteral("1|<none>|yCS_gear|Crown_ALPHA|3|Normal|colorMap|"
                                            "Crown_color|g_mPixMsk|Crown_pm|g_mPixMsk@ref|X"));
        QVERIFY(win.row(0).startsWith("0|<none>|yCS_gear|tpl|"));
        QCOMPARE(win.row(2), QStringLiteral("2|<none>|yCS_gear|tail|0|Normal"));
        QCOMPARE(text(win.materials, 3, 3), QStringLiteral("Extra"));
        QCOMPARE(win.buttons(), 5);
    }
};

QTEST_MAIN(TestAuthoring)
#include "tst_authoring.moc"
