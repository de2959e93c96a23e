// Opening a model file builds a new library: one material per distinct material name, each
// with the shader its part name calls for, written to the preview file and shown.
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "mtls/block.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QtTest>

using namespace testwindow;
using testsupport::ModelBuilder;

namespace {

struct Window {
    MainWindow w;
    ~Window()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    // "name shader::variant" of every row, in order.
    QStringList materials() const
    {
        QStringList rows;
        const QTableWidget* table = w.ui->ExternalTable;
        for (int r = 0; r < table->rowCount(); ++r)
            rows.append(text(table, r, 3) + " " + text(table, r, 2) + "::" + text(table, r, 5));
        return rows;
    }
    bool empty() const
    {
        return w.ui->ExternalTable->rowCount() == 2 && w.ui->ExternalTable->columnCount() == 1 &&
               w.ui->OriginalTable->rowCount() == 2 && w.ui->OriginalTable->columnCount() == 1 &&
               w.current_file.isEmpty();
    }
};

QString writeModel(const ScratchDirectory& scratch, const QByteArray& bytes,
                   const QString& name = "m.mdl")
{
    const QString path = scratch.path(name);
    if (!writeFile(path, bytes))
        qFatal("cannot write the test model");
    return path;
}

} // namespace

class TestModelImport : public QObject {
    Q_OBJECT

private slots:
    void shadersByPartName_data();
    void shadersByPartName();
    void distinctNamesInFirstPlace();
    void previewHoldsTheLibrary();
    void notAModel();
    void noMaterialsLeavesTheViewEmpty();
    void unopenableModelKeepsTheView();
    void damagedModelStillImportsWhatItNames();
};

void TestModelImport::shadersByPartName_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("with J_Hips") << QStringList{"J_Hips", "Jersey"}
                                 << QStringList{"Jersey yCS_gear::Normal"};
    QTest::newRow("without J_Hips") << QStringList{"Jersey"} << QStringList{"Jersey yPBR::t_BRDF"};
    QTest::newRow("eyes keep their case")
        << QStringList{"Eye_L", "eye_l"}
        << QStringList{"Eye_L yCS_eye::Normal", "eye_l yCS_eye::Normal"};
    QTest::newRow(":skinned removed")
        << QStringList{"Head:skinned", "Body"}
        << QStringList{"Head yCS_head::Normal", "Body yCS_skin::Normal"};
    QTest::newRow("logos and hair")
        << QStringList{"big_titan_logo", "combinations_1", "hair_combinations", "Layout_New_2"}
        << QStringList{"big_titan_logo yIllumination::t_IlluminationMask",
                       "combinations_1 yCS_hair::NewHair_ColorChanging_WDF",
                       "hair_combinations yCS_hair::NewHair_ColorChanging",
                       "Layout_New_2 yModelMovie::T_Movie_Mask"};
}

void TestModelImport::shadersByPartName()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, rows);
    ScratchDirectory scratch;
    Window win;
    ModelBuilder model;
    model.names(names);
    QVector<quint32> indices;
    for (int i = 0; i < names.size(); ++i)
        if (names[i] != "J_Hips")
            indices.append(quint32(i));
    model.materials(indices).end();
    call(win.w, "open_mtl", writeModel(scratch, model.build()));
    QCOMPARE(win.materials(), rows);
    QCOMPARE(win.w.current_file, MainWindow::previewPath());
}

void TestModelImport::distinctNamesInFirstPlace()
{
    ScratchDirectory scratch;
    Window win;
    ModelBuilder model;
    model.names({"Teeth", "Hair_A", "Mouthbag"})
        .materials({1, 0})
        .chunk("SKIP", QByteArray(12, 'x'))
        .materials({0, 2, 1})
        .end()
        .materials({2}); // after the end chunk: never read
    call(win.w, "open_mtl", writeModel(scratch, model.build(), "m.MDL"));
    QCOMPARE(win.materials(),
             (QStringList{"Hair_A yCS_hair::NewHair_ColorChanging", "Teeth yCS_Teeth::Normal",
                          "Mouthbag yCS_Teeth::Normal"}));
}

void TestModelImport::previewHoldsTheLibrary()
{
    ScratchDirectory scratch;
    Window win;
    ModelBuilder model;
    model.names({"J_Hips", "Eye_caruncle", "CAA_PTN_x"}).materials({1, 2, 1}).end();
    call(win.w, "open_mtl", writeModel(scratch, model.build()));
    const auto block = mtls::decode(readFile(MainWindow::previewPath()));
    QVERIFY(block);
    QCOMPARE(block->materials.size(), 2);
    // Each add rewrites the library it has just loaded: the first preview's dictionary, with
    // its trailing "", stays at the front.
    QCOMPARE(block->dictionaryTexts(),
             (QStringList{"yCS_head", "Eye_caruncle", "Caruncle", "", "yIllumination", "CAA_PTN_x",
                          "t_IlluminationMask", ""}));
    QCOMPARE(win.w.ui->ExternalLabel->text(), QStringLiteral("mtlsView.bin   "));
    QCOMPARE(win.w.ui->label->text(), QStringLiteral("Items: 2   "));
}

void TestModelImport::notAModel()
{
    ScratchDirectory scratch;
    Window win;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("lib.mtls"), testdata::exampleBlock()));
    call(win.w, "open_mtl", scratch.path("lib.mtls"));
    QCOMPARE(win.w.ui->ExternalTable->rowCount(), 1);
    call(win.w, "open_mtl", writeModel(scratch, QByteArray("LDM!") + QByteArray(60, '\0')));
    QCOMPARE(answers.messages(), (QList<ModalAnswerer::Message>{{"Warning", "Invalid File"}}));
    QVERIFY(win.empty());
}

void TestModelImport::noMaterialsLeavesTheViewEmpty()
{
    ScratchDirectory scratch;
    Window win;
    ModalAnswerer answers;
    ModelBuilder model;
    model.names({"Body"}).materials(QVector<quint32>{}).end();
    call(win.w, "open_mtl", writeModel(scratch, model.build()));
    QVERIFY(win.empty());
    QVERIFY(answers.messages().isEmpty());
    QVERIFY(!QFile::exists(MainWindow::previewPath()));
}

void TestModelImport::unopenableModelKeepsTheView()
{
    ScratchDirectory scratch;
    Window win;
    ModalAnswerer answers;
    QVERIFY(writeFile(scratch.path("lib.mtls"), testdata::exampleBlock()));
    call(win.w, "open_mtl", scratch.path("lib.mtls"));
    call(win.w, "open_mtl", scratch.path("missing.mdl"));
    QCOMPARE(answers.messages(), (QList<ModalAnswerer::Message>{
                                     {"Warning", "Cannot open file : No such file or directory"}}));
    QCOMPARE(win.w.current_file, scratch.path("lib.mtls"));
    QCOMPARE(win.w.ui->ExternalTable->rowCount(), 1);
}

void TestModelImport::damagedModelStillImportsWhatItNames()
{
    // An index past the name table is skipped, and a chunk running past the end stops the
    // walk after the names it could read.
    ScratchDirectory scratch;
    Window win;
    ModelBuilder model;
    model.names({"Eye", "Head"}).materials({1, 7}).materials(3, {0, 0}, 4000);
    call(win.w, "open_mtl", writeModel(scratch, model.build()));
    QCOMPARE(win.materials(), (QStringList{"Head yCS_head::Normal", "Eye yCS_eye::Normal"}));
}

QTEST_MAIN(TestModelImport)
#include "tst_modelimport.moc"
