// Adding and replacing materials through the window: the rows that come back from the
// preview file, the dialog round trip, the swap buttons, and the user's own file left alone.
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "mtls/block.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

const QStringList templateStrings{"tpl",       "yCS_gear", "Normal",        "colorMap", "Old_color",
                                  "g_mPixMsk", "Old_pm",   "g_mPixMsk@ref", "X",        "yCS_skin",
                                  "hashMap",   "gain",     "skin1"};

quint16 at(const char* text)
{
    return offsetOf(templateStrings, QString::fromUtf8(text));
}

// Two shaders for the catalogue to learn: yCS_gear::Normal with three textures, the last a
// reference entry, and yCS_skin::Normal with a texture, a hash and a number.
QByteArray templateLibrary()
{
    RawMaterial gear;
    gear.modelId = at("tpl");
    gear.mainShader = at("yCS_gear");
    gear.variant = at("Normal");
    gear.flags = {1, 2, 3, 4};
    gear.count = 3;
    gear.items = {entry4(at("colorMap"), at("Old_color")), entry4(at("g_mPixMsk"), at("Old_pm")),
                  entry4(at("g_mPixMsk@ref"), at("X"))};
    RawMaterial skin;
    skin.modelId = at("skin1");
    skin.mainShader = at("yCS_skin");
    skin.variant = at("Normal");
    skin.flags = {7, 0, 0, 9};
    skin.count = 3;
    skin.items = {entry4(at("colorMap"), at("Old_color")), entry5(at("hashMap"), 0x1234),
                  entry1(at("gain"), 0, 5)};
    return buildBlock(templateStrings, {gear, skin});
}

// n materials m0..m(n-1), all yCS_gear::Normal with one texture.
QByteArray gearLibrary(int n)
{
    QStringList strings{"yCS_gear", "Normal", "colorMap", "Old_color"};
    for (int i = 0; i < n; ++i)
        strings.append(QStringLiteral("m%1").arg(i));
    QVector<RawMaterial> materials;
    for (int i = 0; i < n; ++i) {
        RawMaterial m;
        m.modelId = offsetOf(strings, QStringLiteral("m%1").arg(i));
        m.mainShader = offsetOf(strings, "yCS_gear");
        m.variant = offsetOf(strings, "Normal");
        m.count = 1;
        m.items = {entry4(offsetOf(strings, "colorMap"), offsetOf(strings, "Old_color"))};
        materials.append(m);
    }
    return buildBlock(strings, materials);
}

struct Window {
    MainWindow w;
    ~Window()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    QTableWidget* materials() const { return w.ui->ExternalTable; }
    QTableWidget* dictionary() const { return w.ui->OriginalTable; }
    void open(const QString& path) { call(w, "open_mtl", path); }
    void add(const QString& name, const QString& shader) { callAdd(w, name, shader); }
    QStringList row(int r) const { return rowTexts(materials(), r); }
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
    int visibleButtons() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        int count = 0;
        for (int r = 0; r < materials()->rowCount(); ++r) {
            auto* button = qobject_cast<QPushButton*>(materials()->cellWidget(r, 1));
            count += button && button->text() == "MODIFY";
        }
        return count;
    }
};

} // namespace

class TestAuthoring : public QObject {
    Q_OBJECT

private slots:
    void addedRowNamesItsTextures();
    void addingLeavesTheOpenedFileAlone();
    void addingToAnEmptyWindowWritesThePreview();
    void unknownShaderGivesFiveCells();
    void placeholderHashesUntilSaved();
    void twoStringDictionaryIsAFreshWindow();
    void dialogAddsAndCancels();
    void emptyNameIsRefused();
    void swapReplacesTheRowInPlace();
    void abandonedSwapDoesNotReplace_data();
    void abandonedSwapDoesNotReplace();
};

void TestAuthoring::addedRowNamesItsTextures()
{
    ScratchDirectory scratch;
    Window win;
    QVERIFY(writeFile(scratch.path("tpl.mtls"), templateLibrary()));
    win.open(scratch.path("tpl.mtls"));
    win.add("Car_ALPHA", "yCS_gear::Normal");

    QCOMPARE(win.w.current_file, MainWindow::previewPath());
    QCOMPARE(win.w.ui->ExternalLabel->text(), QStringLiteral("mtlsView.bin   "));
    QCOMPARE(win.materials()->rowCount(), 3);
    QCOMPARE(win.row(2),
             (QStringList{"2", "<none>", "yCS_gear", "Car_ALPHA", "3", "Normal", "colorMap",
                          "Car_color", "g_mPixMsk", "Car_pm", "g_mPixMsk@ref", "X"}));
    // The rows that were there come back unchanged.
    QCOMPARE(win.row(0), (QStringList{"0", "<none>", "yCS_gear", "tpl", "3", "Normal", "colorMap",
                                      "Old_color", "g_mPixMsk", "Old_pm", "g_mPixMsk@ref", "X"}));
    QCOMPARE(win.visibleButtons(), 3);
    QVERIFY(!win.w.swap_pending);
}

void TestAuthoring::addingLeavesTheOpenedFileAlone()
{
    ScratchDirectory scratch;
    Window win;
    const QByteArray original = templateLibrary();
    QVERIFY(writeFile(scratch.path("tpl.mtls"), original));
    win.open(scratch.path("tpl.mtls"));
    win.add("Body_ALPHA", "yCS_skin::Normal");
    win.add("Hood", "yCS_gear::Normal");
    QCOMPARE(readFile(scratch.path("tpl.mtls")), original);
    QCOMPARE(win.materials()->rowCount(), 4);
    QCOMPARE(win.row(3).mid(2, 4), (QStringList{"yCS_gear", "Hood", "3", "Normal"}));
}

void TestAuthoring::addingToAnEmptyWindowWritesThePreview()
{
    ScratchDirectory scratch;
    {
        Window teacher;
        QVERIFY(writeFile(scratch.path("tpl.mtls"), templateLibrary()));
        teacher.open(scratch.path("tpl.mtls"));
    }
    Window win;
    QFile::remove(MainWindow::previewPath());
    win.add("Car", "yCS_gear::Normal");
    QCOMPARE(win.w.current_file, MainWindow::previewPath());
    QCOMPARE(win.materials()->rowCount(), 1);
    QCOMPARE(win.row(0).mid(2),
             (QStringList{"yCS_gear", "Car", "3", "Normal", "colorMap", "Car_color", "g_mPixMsk",
                          "Car_pm", "g_mPixMsk@ref", "X"}));
    // The dictionary is the row's texts in walk order (not the index and count columns)
    // and one trailing empty string.
    const auto block = mtls::decode(readFile(MainWindow::previewPath()));
    QVERIFY(block);
    QCOMPARE(block->dictionaryTexts(),
             (QStringList{"yCS_gear", "Car", "Normal", "colorMap", "Car_color", "g_mPixMsk",
                          "Car_pm", "g_mPixMsk@ref", "X", ""}));
}

void TestAuthoring::unknownShaderGivesFiveCells()
{
    ScratchDirectory scratch;
    Window win;
    win.add("Lonely", "noSuch");
    QCOMPARE(win.materials()->rowCount(), 1);
    QCOMPARE(win.row(0), (QStringList{"0", "<none>", "noSuch", "Lonely", "0", "noSuch"}));
}

void TestAuthoring::placeholderHashesUntilSaved()
{
    ScratchDirectory scratch;
    Window win;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("tpl.mtls"), templateLibrary()));
    win.open(scratch.path("tpl.mtls"));
    win.add("Body_ALPHA", "yCS_skin::Normal");
    QCOMPARE(win.row(2).mid(2), (QStringList{"yCS_skin", "Body_ALPHA", "3", "Normal", "colorMap",
                                             "Body_color", "hashMap", "gain"}));
    auto preview = mtls::decode(readFile(MainWindow::previewPath()));
    QVERIFY(preview);
    QCOMPARE(preview->materials.size(), 3);
    QCOMPARE(preview->materials[1].items[1].first, Q_UINT64_C(0xDEADDEAD));
    QCOMPARE(preview->materials[2].items[1].first, Q_UINT64_C(0xDEADDEAD));
    QCOMPARE(preview->materials[2].items[2].second, quint64(5)); // b of gain's type line 1,0,5

    QVERIFY(QDir().mkpath(scratch.path("Characters/hero")));
    const QString saved = scratch.path("Characters/hero/x.mtls");
    answers.expectFileDialog(saved);
    call(win.w, "rebuild_mtl");
    const auto block = mtls::decode(readFile(saved));
    QVERIFY(block);
    QCOMPARE(block->materials[1].items[1].first,
             Q_UINT64_C(0xc38888ef4a9783c6)); // .../old_color.tex
    QCOMPARE(block->materials[2].items[1].first,
             Q_UINT64_C(0x27c014dd9bcd2da3)); // .../body_color.tex
    QCOMPARE(win.w.current_file, saved);
}

void TestAuthoring::twoStringDictionaryIsAFreshWindow()
{
    ScratchDirectory scratch;
    Window win;
    // Two strings: the name and a shader text used as main shader and variant.
    RawMaterial m;
    m.modelId = 0;
    m.mainShader = 2;
    m.variant = 2;
    QVERIFY(writeFile(scratch.path("two.mtls"), buildBlock({"m", "s"}, {m})));
    win.open(scratch.path("two.mtls"));
    QCOMPARE(win.dictionary()->rowCount(), 2);
    win.add("n", "t::u");
    const auto block = mtls::decode(readFile(MainWindow::previewPath()));
    QVERIFY(block);
    // The old dictionary is not carried over: the walk starts from the cells.
    QCOMPARE(block->dictionaryTexts(), (QStringList{"s", "m", "t", "n", "u", ""}));
    QCOMPARE(win.materials()->rowCount(), 2);
}

void TestAuthoring::dialogAddsAndCancels()
{
    ScratchDirectory scratch;
    Window win;
    QVERIFY(writeFile(scratch.path("tpl.mtls"), templateLibrary()));
    win.open(scratch.path("tpl.mtls"));
    QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
    QVERIFY(win.w.dialog->isVisible());
    QCOMPARE(win.nameField()->text(), QString());
    QCOMPARE(win.shaders()->currentText(), QStringLiteral("yCS_gear::Normal"));
    QCOMPARE(win.shaders()->count(), 2);
    win.cancelDialog();
    QVERIFY(!win.w.dialog->isVisible());
    QCOMPARE(win.materials()->rowCount(), 2);

    win.w.ui->actionAdd_Material->trigger();
    QVERIFY(win.w.dialog->isVisible());
    win.shaders()->setCurrentText("yCS_skin::Normal");
    win.submitDialog("Visor");
    QVERIFY(!win.w.dialog->isVisible());
    QCOMPARE(win.nameField()->text(), QString());
    QCOMPARE(win.materials()->rowCount(), 3);
    QCOMPARE(win.row(2).mid(2, 6),
             (QStringList{"yCS_skin", "Visor", "3", "Normal", "colorMap", "Visor_color"}));
}

void TestAuthoring::emptyNameIsRefused()
{
    ScratchDirectory scratch;
    Window win;
    ModalAnswerer answers;
    answers.expectMessage();
    QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
    win.submitDialog(QString());
    QCOMPARE(answers.messages(),
             (QList<ModalAnswerer::Message>{{"Warning", "Model Name cannot be empty."}}));
    QVERIFY(win.w.dialog->isVisible());
    QCOMPARE(win.materials()->columnCount(), 1);
    QVERIFY(!QFileInfo::exists(MainWindow::previewPath()));
}

void TestAuthoring::swapReplacesTheRowInPlace()
{
    ScratchDirectory scratch;
    Window win;
    QVERIFY(writeFile(scratch.path("five.mtls"), gearLibrary(5)));
    win.open(scratch.path("five.mtls"));
    QCOMPARE(win.visibleButtons(), 5);
    auto* button = qobject_cast<QPushButton*>(win.materials()->cellWidget(3, 1));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(win.w.swap_pending);
    QCOMPARE(win.w.swap_row, 3);
    QVERIFY(win.w.dialog->isVisible());
    QCOMPARE(win.nameField()->text(), QStringLiteral("m3"));
    win.submitDialog("Crown_ALPHA");

    QVERIFY(!win.w.swap_pending);
    QCOMPARE(win.materials()->rowCount(), 5);
    QCOMPARE(win.row(3).mid(2),
             (QStringList{"yCS_gear", "Crown_ALPHA", "1", "Normal", "colorMap", "Crown_color"}));
    for (int r : {0, 1, 2, 4})
        QCOMPARE(text(win.materials(), r, 3), QStringLiteral("m%1").arg(r));
    QCOMPARE(text(win.materials(), 3, 0), QStringLiteral("3"));
    QCOMPARE(win.visibleButtons(), 5);
}

void TestAuthoring::abandonedSwapDoesNotReplace_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("dialog closed") << "close";
}

void TestAuthoring::abandonedSwapDoesNotReplace()
{
    QFETCH(QString, how);
    ScratchDirectory scratch;
    Window win;
    QVERIFY(writeFile(scratch.path("five.mtls"), gearLibrary(5)));
    win.open(scratch.path("five.mtls"));
    QTest::mouseClick(qobject_cast<QPushButton*>(win.materials()->cellWidget(1, 1)),
                      Qt::LeftButton);
    QVERIFY(win.w.swap_pending);
    if (how == "cancel")
        win.cancelDialog();
    else
        win.w.dialog->close();
    QVERIFY(!win.w.swap_pending);
    QVERIFY(!win.w.dialog->isVisible());

    // A plain add afterwards appends, and so does one from the model import's direct call.
    QTest::mouseClick(win.w.ui->pushButton, Qt::LeftButton);
    win.submitDialog("Extra");
    QCOMPARE(win.materials()->rowCount(), 6);
    QCOMPARE(text(win.materials(), 1, 3), QStringLiteral("m1"));
    QCOMPARE(text(win.materials(), 5, 3), QStringLiteral("Extra"));
}

QTEST_MAIN(TestAuthoring)
#include "tst_authoring.moc"
