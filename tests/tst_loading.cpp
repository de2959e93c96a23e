// Opening libraries into the window: tables, captions, the swap column, the catalogue the
// load teaches, and files that are not libraries or end early.
#include "app/ext_2.h"
#include "authoring/dialog.h"
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/writer.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

const QStringList exampleStrings{"mat", "yCS_gear", "Normal", "colorMap", "tex_d"};

// One material per shader name given, with one type 1 parameter each.
QByteArray libraryOf(const QStringList& names, const QString& parameter, quint16 a)
{
    QStringList dictionary{"yCS_gear", "Normal", parameter};
    dictionary += names;
    QVector<RawMaterial> materials;
    for (const QString& name : names) {
        RawMaterial m;
        m.modelId = offsetOf(dictionary, name);
        m.mainShader = offsetOf(dictionary, "yCS_gear");
        m.variant = offsetOf(dictionary, "Normal");
        m.flags = {a, 0, 0, 0};
        m.count = 1;
        m.items = {entry1(offsetOf(dictionary, parameter), a, 0)};
        materials.append(m);
    }
    return buildBlock(dictionary, materials);
}

} // namespace

class TestLoading : public QObject {
    Q_OBJECT

private slots:
    void workedExample();
    void workedExampleCatalogue();
    void fileNamesDecideTheReader_data();
    void fileNamesDecideTheReader();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void noMaterials();
    void emptyMainShaderAndNoParameters();
    void secondLoadReplacesTheFirst();
    void catalogueKeepsWhatItLearntFirst();
    void truncatedFilesLeaveWalkableTables();
    void dictionaryLookup();
    void widestRowKeepsItsColumns();
    void buttonsFollowTheRowsInView();
};

void TestLoading::workedExample()
{
    ScratchDirectory scratch;
    MainWindow w;
    const QString path = scratch.path("gear.mtls");
    QVERIFY(writeFile(path, exampleBlock()));
    call(w, "open_mtl", path);

    QCOMPARE(w.current_file, path);
    QCOMPARE(w.ui->ExternalLabel->text(), QStringLiteral("gear.mtls   "));
    QCOMPARE(w.ui->OriginalLabel->text(), QStringLiteral("  Found 1 materials:"));
    QCOMPARE(w.ui->label->text(), QStringLiteral("Items: 1   "));

    const QTableWidget* dictionary = w.ui->OriginalTable;
    QCOMPARE(dictionary->rowCount(), 5);
    QCOMPARE(dictionary->columnCount(), 3);
    QCOMPARE(rowTexts(dictionary, 0), (QStringList{"0", "mat", "0"}));
    QCOMPARE(rowTexts(dictionary, 2), (QStringList{"2", "Normal", "13"}));
    QCOMPARE(rowTexts(dictionary, 4), (QStringList{"4", "tex_d", "29"}));
    QCOMPARE(dictionary->horizontalHeaderItem(0)->text(), QStringLiteral("  Index"));
    QCOMPARE(dictionary->horizontalHeaderItem(1)->text(), QStringLiteral("Item"));
    QCOMPARE(dictionary->horizontalHeaderItem(2)->text(), QStringLiteral("Offset"));
    QVERIFY(!dictionary->horizontalHeader()->isHidden());

    const QTableWidget* materials = w.ui->ExternalTable;
    QCOMPARE(materials->rowCount(), 1);
    QCOMPARE(materials->columnCount(), 16); // 15 and the swap column
    QCOMPARE(rowTexts(materials, 0),
             (QStringList{"0", "<none>", "yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"}));
    QCOMPARE(materials->item(0, 0)->textAlignment(), int(Qt::AlignCenter));
    QCOMPARE(materials->item(0, 2)->textAlignment(), int(Qt::AlignCenter));
    QStringList headers;
    for (int c = 0; c < materials->columnCount(); ++c)
        headers.append(materials->horizontalHeaderItem(c)->text());
    QCOMPARE(headers, (QStringList{"  Index", " ", "Main Shader", "Model_ID", "SubMtls #", "P0",
                                   "P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9", "P10"}));
    for (int c = 0; c < materials->columnCount(); ++c)
        QCOMPARE(materials->isColumnHidden(c), c >= 8);

    auto* button = qobject_cast<QPushButton*>(materials->cellWidget(0, 1));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("MODIFY"));
    QCOMPARE(button->font().family(), QStringLiteral("Lato Semibold"));
    QCOMPARE(button->font().pointSize(), 8);
    QVERIFY(button->styleSheet().startsWith(
        "QPushButton {margin: 1px;border: 4px;border-radius: 8px;"));
    QCOMPARE(materials->columnWidth(1), 110);
    QCOMPARE(materials->columnWidth(2), 140);
    QCOMPARE(materials->columnWidth(3), 140);
}

void TestLoading::workedExampleCatalogue()
{
    ScratchDirectory scratch;
    MainWindow w;
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("gear.mtls"));
    QSettings ini(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value("Params/yCS_gear::Normal").toInt(), 1);
    QCOMPARE(ini.value("colorMap").toString(), QStringLiteral("4"));
    QCOMPARE(ini.value("Shaders/yCS_gear::Normal").toStringList(),
             (QStringList{"colorMap", "tex_d"}));
    QCOMPARE(ini.value("Flags/yCS_gear::Normal").toStringList(), (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(ini.allKeys().size(), 4);
}

void TestLoading::fileNamesDecideTheReader_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readAsLibrary");
    QTest::newRow(".mtls") << "a.mtls" << true;
    QTest::newRow(".mdl.mtls") << "a.mdl.mtls" << true;
    QTest::newRow("no dot") << "library" << true;
    QTest::newRow(".MDL") << "a.MDL" << false;
    QTest::newRow(".mdl") << "a.mdl" << false;
}

void TestLoading::fileNamesDecideTheReader()
{
    // The same library bytes under each name: a model-file name goes to the import, which
    // clears the view and rejects the bytes as a model.
    QFETCH(QString, name);
    QFETCH(bool, readAsLibrary);
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path(name), exampleBlock()));
    call(w, "open_mtl", scratch.path(name));
    if (readAsLibrary) {
        QVERIFY(answers.messages().isEmpty());
        QCOMPARE(w.ui->ExternalTable->rowCount(), 1);
        QCOMPARE(w.current_file, scratch.path(name));
    } else {
        QCOMPARE(answers.messages(), (QList<ModalAnswerer::Message>{{"Warning", "Invalid File"}}));
        QCOMPARE(w.ui->ExternalTable->rowCount(), 2);
        QCOMPARE(w.ui->ExternalTable->columnCount(), 1);
        QVERIFY(w.current_file.isEmpty());
    }
}

void TestLoading::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << "Invalid File";
    QTest::newRow("MTLS") << QByteArray("MTLS\5\0\0\0\0\0\0\0\0\0\0\0", 16) << "Invalid File";
    QTest::newRow("reversed magic")
        << QByteArray("sLTM\5\0\0\0\0\0\0\0\0\0\0\0", 16) << "Invalid File";
    QTest::newRow("missing file") << QByteArray() << "Cannot open file : No such file or directory";
}

void TestLoading::refusedFilesChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("good.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("good.mtls"));
    const QByteArray catalogue = readFile(scratch.path("MTLs_Shaders.ini"));

    const QString bad = scratch.path("bad.mtls");
    if (!message.startsWith("Cannot"))
        QVERIFY(writeFile(bad, bytes));
    call(w, "open_mtl", bad);
    QCOMPARE(answers.messages(), (QList<ModalAnswerer::Message>{{"Warning", message}}));
    QCOMPARE(w.current_file, scratch.path("good.mtls"));
    QCOMPARE(w.ui->ExternalLabel->text(), QStringLiteral("good.mtls   "));
    QCOMPARE(w.ui->OriginalTable->rowCount(), 5);
    QCOMPARE(text(w.ui->ExternalTable, 0, 3), QStringLiteral("mat"));
    QVERIFY(w.ui->ExternalTable->cellWidget(0, 1));
    QCOMPARE(readFile(scratch.path("MTLs_Shaders.ini")), catalogue);
}

void TestLoading::noMaterials()
{
    ScratchDirectory scratch;
    MainWindow w;
    QVERIFY(writeFile(scratch.path("none.mtls"), buildBlock({"a", "b"}, {})));
    call(w, "open_mtl", scratch.path("none.mtls"));
    QCOMPARE(w.ui->ExternalTable->rowCount(), 0);
    QCOMPARE(w.ui->OriginalTable->rowCount(), 2);
    QCOMPARE(w.ui->OriginalLabel->text(), QStringLiteral("  Found 0 materials:"));
    QCOMPARE(w.ui->label->text(), QStringLiteral("Items: 0   "));
    QCOMPARE(w.ui->ExternalTable->columnCount(), 16);
    QCOMPARE(w.ui->ExternalTable->columnWidth(1), 110);
    for (int c = 5; c < 16; ++c)
        QVERIFY(w.ui->ExternalTable->isColumnHidden(c));
}

void TestLoading::emptyMainShaderAndNoParameters()
{
    ScratchDirectory scratch;
    MainWindow w;
    const QStringList dictionary{"", "m", "v"};
    RawMaterial m;
    m.modelId = offsetOf(dictionary, "m");
    m.mainShader = offsetOf(dictionary, "");
    m.variant = offsetOf(dictionary, "v");
    m.flags = {5, 6, 7, 8};
    QVERIFY(writeFile(scratch.path("e.mtls"), buildBlock(dictionary, {m})));
    call(w, "open_mtl", scratch.path("e.mtls"));
    const QTableWidget* materials = w.ui->ExternalTable;
    QCOMPARE(rowTexts(materials, 0), (QStringList{"0", "<none>", "<none>", "m", "0", "v"}));
    // The row has no main shader item, so every parameter column is hidden.
    for (int c = 5; c < materials->columnCount(); ++c)
        QVERIFY(materials->isColumnHidden(c));
    QSettings ini(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value("Params/::v").toInt(), 0);
    QVERIFY(ini.contains("Params/::v"));
    QCOMPARE(ini.value("Flags/::v").toStringList(), (QStringList{"5", "6", "7", "8"}));
}

void TestLoading::secondLoadReplacesTheFirst()
{
    ScratchDirectory scratch;
    MainWindow w;
    QVERIFY(writeFile(scratch.path("rich.mtls"), richBlock()));
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("rich.mtls"));
    QCOMPARE(w.ui->ExternalTable->rowCount(), 3);
    QCOMPARE(w.ui->OriginalTable->rowCount(), richDictionary().size());
    call(w, "open_mtl", scratch.path("gear.mtls"));
    QCOMPARE(w.ui->ExternalTable->rowCount(), 1);
    QCOMPARE(w.ui->ExternalTable->columnCount(), 16);
    QCOMPARE(w.ui->OriginalTable->rowCount(), 5);
    QCOMPARE(w.ui->ExternalLabel->text(), QStringLiteral("gear.mtls   "));
    QCOMPARE(w.ui->label->text(), QStringLiteral("Items: 1   "));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int buttons = 0;
    for (QPushButton* b : w.ui->ExternalTable->findChildren<QPushButton*>())
        buttons += b->text() == "MODIFY";
    QCOMPARE(buttons, 1);
    QCOMPARE(rowTexts(w.ui->ExternalTable, 0, 2),
             (QStringList{"yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"}));
}

void TestLoading::catalogueKeepsWhatItLearntFirst()
{
    ScratchDirectory scratch;
    MainWindow w;
    QVERIFY(writeFile(scratch.path("a.mtls"), libraryOf({"one"}, "gain", 3)));
    QVERIFY(writeFile(scratch.path("b.mtls"), libraryOf({"two", "three"}, "gain", 9)));
    call(w, "open_mtl", scratch.path("a.mtls"));
    const QByteArray afterFirst = readFile(scratch.path("MTLs_Shaders.ini"));
    call(w, "open_mtl", scratch.path("a.mtls"));
    QCOMPARE(readFile(scratch.path("MTLs_Shaders.ini")), afterFirst);
    call(w, "open_mtl", scratch.path("b.mtls"));
    QSettings ini(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value("gain").toString(), QStringLiteral("1,3,0"));
    QCOMPARE(ini.value("Flags/yCS_gear::Normal").toStringList(), (QStringList{"3", "0", "0", "0"}));
    QCOMPARE(ini.value("Shaders/yCS_gear::Normal").toStringList(),
             (QStringList{"gain", "Global@3"}));
}

void TestLoading::truncatedFilesLeaveWalkableTables()
{
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    const QByteArray whole = richBlock();
    const QString path = scratch.path("cut.mtls");
    for (int size = 12; size < whole.size(); ++size) {
        QVERIFY(writeFile(path, whole.left(size)));
        call(w, "open_mtl", path);
        const QTableWidget* materials = w.ui->ExternalTable;
        QVERIFY(materials->rowCount() <= 3);
        QCOMPARE(w.current_file, path);
        const QString status = w.statusBar()->currentMessage();
        QVERIFY2(status.contains(QStringLiteral("truncated")), qPrintable(QString::number(size)));
        if (size < 108) // the count field lies at 104
            QCOMPARE(status, QStringLiteral("The file is truncated: no material could be read."));
        else
            QVERIFY2(
                status.endsWith(
                    QStringLiteral("%1 of 3 materials could be read.").arg(materials->rowCount())),
                qPrintable(status));
        for (int r = 0; r < materials->rowCount(); ++r)
            QVERIFY(materials->cellWidget(r, 1));

        const ShaderCatalogue catalogue;
        QStringList dictionary;
        for (int r = 0; r < w.ui->OriginalTable->rowCount(); ++r)
            dictionary.append(text(w.ui->OriginalTable, r, 1));
        mtls::WriteOptions options;
        options.savePath = scratch.path("out.mtls");
        const mtls::WriteResult result =
            mtls::writeLibrary(gridWithoutSwapColumn(materials), dictionary, catalogue, options);
        if (result.outcome == mtls::WriteResult::Written) {
            const auto block = mtls::decode(result.bytes);
            QVERIFY(block && !block->truncated);
        }
    }
    QVERIFY(answers.messages().isEmpty());
    // A whole file clears the notice.
    QVERIFY(writeFile(path, whole));
    call(w, "open_mtl", path);
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
}

void TestLoading::dictionaryLookup()
{
    ScratchDirectory scratch;
    MainWindow w;
    auto lookup = [&w](int offset) {
        QString result;
        QMetaObject::invokeMethod(&w, "MTLDictionary", Qt::DirectConnection,
                                  Q_RETURN_ARG(QString, result), Q_ARG(int, offset));
        return result;
    };
    QCOMPARE(lookup(0), QString()); // the start state has no dictionary
    QVERIFY(writeFile(scratch.path("gear.mtls"), exampleBlock()));
    call(w, "open_mtl", scratch.path("gear.mtls"));
    QCOMPARE(lookup(0), QStringLiteral("mat"));
    QCOMPARE(lookup(13), QStringLiteral("Normal"));
    QCOMPARE(lookup(29), QStringLiteral("tex_d"));
    QCOMPARE(lookup(14), QString()); // inside "Normal"
    QCOMPARE(lookup(35), QString()); // past the last string
}

void TestLoading::widestRowKeepsItsColumns()
{
    // The rich library's first row fills 17 base columns, two more than the 15 a load
    // starts with; with the swap column every one of its 18 columns stays visible.
    ScratchDirectory scratch;
    MainWindow w;
    QVERIFY(writeFile(scratch.path("rich.mtls"), richBlock()));
    call(w, "open_mtl", scratch.path("rich.mtls"));
    const QTableWidget* materials = w.ui->ExternalTable;
    QCOMPARE(materials->columnCount(), 18);
    for (int c = 0; c < materials->columnCount(); ++c)
        QVERIFY2(!materials->isColumnHidden(c), qPrintable(QString::number(c)));
    QCOMPARE(materials->horizontalHeaderItem(17)->text(), QStringLiteral("P12"));
    QCOMPARE(text(materials, 0, 17), QStringLiteral("Global@3"));
}

void TestLoading::buttonsFollowTheRowsInView()
{
    ScratchDirectory scratch;
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QStringList names;
    for (int i = 0; i < 300; ++i)
        names.append(QStringLiteral("n%1").arg(i));
    QVERIFY(writeFile(scratch.path("many.mtls"), libraryOf(names, "gain", 1)));
    call(w, "open_mtl", scratch.path("many.mtls"));
    QTableWidget* materials = w.ui->ExternalTable;
    QCoreApplication::processEvents();
    auto button = [materials](int row) { return qobject_cast<QPushButton*>(materials->cellWidget(row, 1)); };
    // Every row has its button, styled; the ones in view are shown where their cell is.
    for (int r : {0, 150, 299}) {
        QVERIFY(button(r));
        QVERIFY(button(r)->styleSheet().startsWith("QPushButton {margin: 1px;"));
    }
    QVERIFY(button(0)->isVisible());
    QCOMPARE(button(0)->geometry(), materials->visualRect(materials->model()->index(0, 1)));
    QVERIFY(!button(299)->isVisible());

    materials->scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(button(299)->isVisible());
    QCOMPARE(button(299)->geometry(), materials->visualRect(materials->model()->index(299, 1)));
    QVERIFY(materials->viewport()->rect().intersects(button(299)->geometry()));
    QVERIFY(!button(0)->isVisible());

    // A click on a button that came into view picks its row.
    QTest::mouseClick(button(299), Qt::LeftButton);
    QVERIFY(w.swap_pending);
    QCOMPARE(w.swap_row, 299);
    delete w.dialog;
}

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
