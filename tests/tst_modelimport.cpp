// Opening a model file builds a new library: one material per distinct material name, each
// with the shader its part name calls for, written to the preview file and shown.
#include "app/mainwindow.h"
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
using Messages = QList<ModalAnswerer::Message>;

namespace {

// Each name selected once, in order, except J_Hips.
QByteArray modelNaming(const QStringList& names)
{
    QVector<quint32> indices;
    for (int i = 0; i < names.size(); ++i)
        if (names[i] != "J_Hips")
            indices.append(quint32(i));
    return ModelBuilder().names(names).materials(indices).end().build();
}

struct Window {
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    ~Window()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    void open(const QString& name, const QByteArray& bytes)
    {
        if (!writeFile(scratch.path(name), bytes))
            qFatal("cannot write the test file");
        call(w, "open_mtl", scratch.path(name));
    }
    // "name shader::variant" of every row, in order.
    QString materials() const
    {
        QStringList rows;
        const QTableWidget* table = w.ui->ExternalTable;
        for (int r = 0; r < table->rowCount(); ++r)
            rows.append(text(table, r, 3) + " " + text(table, r, 2) + "::" + text(table, r, 5));
        return rows.join("; ");
    }
};

} // namespace

class TestModelImport : public QObject {
    Q_OBJECT

private slots:
    void materialsAndShaders_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QString>("rows");
        // Without J_Hips in the name table the default is yPBR::t_BRDF. The rules test the
        // lower-case name after ":skinned" is removed; the material keeps its own case.
        QTest::newRow("with J_Hips")
            << modelNaming({"J_Hips", "Jersey", "Eye_L", "eye_l", "Head:skinned", "Body"})
            << "Jersey yCS_gear::Normal; Eye_L yCS_eye::Normal; eye_l yCS_eye::Normal; "
               "Head yCS_head::Normal; Body yCS_skin::Normal";
        QTest::newRow("without J_Hips")
            << modelNaming({"Jersey", "big_titan_logo", "combinations_1", "hair_combinations",
                            "Layout_New_2"})
            << "Jersey yPBR::t_BRDF; big_titan_logo yIllumination::t_IlluminationMask; "
               "combinations_1 yCS_hair::NewHair_ColorChanging_WDF; "
               "hair_combinations yCS_hair::NewHair_ColorChanging; "
               "Layout_New_2 yModelMovie::T_Movie_Mask";
        // Names repeated across chunks keep their first place; nothing after the end chunk
        // is read.
        ModelBuilder repeated;
        repeated.names({"Teeth", "Hair_A", "Mouthbag"}).materials({1, 0});
        repeated.chunk("SKIP", QByteArray(12, 'x')).materials({0, 2, 1}).end().materials({2});
        QTest::newRow("distinct names in first place")
            << repeated.build()
            << "Hair_A yCS_hair::NewHair_ColorChanging; Teeth yCS_Teeth::Normal; "
               "Mouthbag yCS_Teeth::Normal";
        // An index past the name table is skipped, and a chunk running past the end stops the
        // walk after the names it could read.
        ModelBuilder damaged;
        damaged.names({"Eye", "Head"}).materials({1, 7}).materials(3, {0, 0}, 4000);
        QTest::newRow("damaged model")
            << damaged.build() << "Head yCS_head::Normal; Eye yCS_eye::Normal";
    }
    void materialsAndShaders()
    {
        QFETCH(QByteArray, model);
        QFETCH(QString, rows);
        Window win;
        win.open("m.MDL", model);
        QCOMPARE(win.materials(), rows);
        QCOMPARE(win.w.current_file, MainWindow::previewPath());
        QVERIFY(win.answers.messages().isEmpty());
    }

    void previewHoldsTheLibrary()
    {
        Window win;
        win.open("m.mdl", modelNaming({"J_Hips", "Eye_caruncle", "CAA_PTN_x"}));
        const auto block = mtls::decode(readFile(MainWindow::previewPath()));
        QVERIFY(block);
        QCOMPARE(block->materials.size(), 2);
        // Each add rewrites the library it has just loaded: the first preview's dictionary, with
        // its trailing "", stays at the front.
        QCOMPARE(block->dictionaryTexts(),
                 (QStringList{"yCS_head", "Eye_caruncle", "Caruncle", "", "yIllumination",
                              "CAA_PTN_x", "t_IlluminationMask", ""}));
        QCOMPARE(win.w.ui->ExternalLabel->text(), QStringLiteral("mtlsView.bin   "));
        QCOMPARE(win.w.ui->label->text(), QStringLiteral("Items: 2   "));
    }

    void nothingToImport_data()
    {
        QTest::addColumn<QByteArray>("model"); // null: no such file
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("viewKept");
        QTest::newRow("not a model")
            << QByteArray("LDM!") + QByteArray(60, '\0') << "Invalid File" << false;
        QTest::newRow("empty material list")
            << ModelBuilder().names({"Body"}).materials(QVector<quint32>{}).end().build() << ""
            << false;
        // The loader itself reports a file it cannot open, before any import.
        QTest::newRow("unopenable")
            << QByteArray() << "Cannot open file : No such file or directory" << true;
    }
    void nothingToImport()
    {
        QFETCH(QByteArray, model);
        QFETCH(QString, message);
        QFETCH(bool, viewKept);
        Window win;
        win.open("lib.mtls", testdata::exampleBlock());
        if (model.isNull())
            call(win.w, "open_mtl", win.scratch.path("missing.mdl"));
        else
            win.open("m.mdl", model);
        QCOMPARE(win.answers.messages(),
                 (message.isEmpty() ? Messages() : Messages{{"Warning", message}}));
        QVERIFY(!QFile::exists(MainWindow::previewPath()));
        QCOMPARE(win.w.current_file, viewKept ? win.scratch.path("lib.mtls") : QString());
        // Both tables as the library left them, or emptied back to their start state.
        const QTableWidget* materials = win.w.ui->ExternalTable;
        const QTableWidget* dictionary = win.w.ui->OriginalTable;
        QCOMPARE((QVector<int>{materials->rowCount(), materials->columnCount(),
                               dictionary->rowCount(), dictionary->columnCount()}),
                 viewKept ? (QVector<int>{1, 16, 5, 3}) : (QVector<int>{2, 1, 2, 1}));
    }
};

QTEST_MAIN(TestModelImport)
#include "tst_modelimport.moc"
