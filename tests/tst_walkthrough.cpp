// The first-run tour: the demo files that the build writes, and the README's walkthrough
// driven through the real window step by step, with a picture of every step. The README
// shows these pictures; LATHRINE_UPDATE_PICTURES=1 writes them into docs/walkthrough/.
#include "app/mainwindow.h"
#include "app/qv_qtablewidget.h"
#include "authoring/dialog.h"
#include "authoring/modelfile.h"
#include "mtls/block.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "tools/demofiles.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QtTest>

using namespace testwindow;
using Message = ModalAnswerer::Message;

namespace {

// One line per material as a modder would list it: name, full shader name, flag words, N,
// then the items ("param=texture", "param:type", "flag:second word", "param#hash").
QStringList describe(const mtls::Block& block)
{
    QHash<quint32, QString> strings;
    for (const mtls::DictionaryEntry& entry : block.dictionary)
        strings.insert(entry.offset, entry.text);
    QStringList lines;
    for (const mtls::Material& m : block.materials) {
        QStringList parts{strings.value(m.modelId),
                          strings.value(m.mainShader) + "::" + strings.value(m.variant),
                          QStringLiteral("%1,%2,%3,%4")
                              .arg(m.flags[0])
                              .arg(m.flags[1])
                              .arg(m.flags[2])
                              .arg(m.flags[3]),
                          QString::number(m.paramCount)};
        for (const mtls::Item& item : m.items) {
            const QString name = strings.value(item.name);
            if (item.isGlobalFlag())
                parts << QStringLiteral("flag:%1").arg(item.type);
            else if (item.type == 4)
                parts << name + "=" + strings.value(quint32(item.first));
            else if (item.type == 5)
                parts << name + "#" + QString::number(item.first, 16);
            else
                parts << QStringLiteral("%1:%2(%3,%4)")
                             .arg(name)
                             .arg(item.type)
                             .arg(item.first)
                             .arg(item.second);
        }
        lines << parts.join(' ');
    }
    return lines;
}

// Where the pictures go: docs/walkthrough/ of the source tree when asked for, a temporary
// folder otherwise, so that a plain test run never writes into the sources.
class Pictures {
public:
    Pictures()
        : folder(qEnvironmentVariable("LATHRINE_UPDATE_PICTURES") == QLatin1String("1")
                     ? QStringLiteral(LATHRINE_SOURCE_DIR "/docs/walkthrough")
                     : scratch.path())
    {
        QDir().mkpath(folder);
    }

    // Grabs what the user sees of `widget` and checks that the file holds a real picture of
    // it: its size, and the many colours of rendered text rather than an empty surface.
    QString take(QWidget* widget, const QString& name)
    {
        const QString path = QDir(folder).filePath(name);
        settle();
        if (!widget->grab().save(path, "PNG"))
            return "cannot write " + path;
        const QImage image(path);
        if (image.isNull() || image.size() != widget->size())
            return QStringLiteral("%1: %2x%3, expected %4x%5")
                .arg(name)
                .arg(image.width())
                .arg(image.height())
                .arg(widget->width())
                .arg(widget->height());
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        if (colours.size() < MinimumColours)
            return QStringLiteral("%1 looks empty: %2 colours").arg(name).arg(colours.size());
        taken << image.convertToFormat(QImage::Format_ARGB32);
        return QString();
    }
    // What `widget` shows now, without keeping it.
    static QImage look(QWidget* widget)
    {
        settle();
        return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }
    bool lastDiffersFrom(const QImage& other) const
    {
        return !taken.isEmpty() && taken.last() != other;
    }
    // The last picture differs from the one taken `back` steps before it.
    bool changedSince(int back) const
    {
        return taken.size() > back && taken.last() != taken.at(taken.size() - 1 - back);
    }

private:
    static void settle()
    {
        for (int round = 0; round < 5; ++round)
            QCoreApplication::processEvents();
    }
    static constexpr int MinimumColours = 40;
    QTemporaryDir scratch;
    QString folder;
    QList<QImage> taken;
};

struct Tour {
    MainWindow w;
    ModalAnswerer answers;
    Pictures pictures;
    QElapsedTimer clock;
    QStringList timings;

    ~Tour()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    QTableWidget* materials() const { return w.ui->ExternalTable; }
    QTableWidget* dictionary() const { return w.ui->OriginalTable; }
    QLineEdit* nameField() const { return w.dialog->findChild<QLineEdit*>("lineEdit"); }
    QComboBox* shaders() const { return w.dialog->findChild<QComboBox*>("comboBox"); }
    QPushButton* dialogOk() const { return w.dialog->findChild<QPushButton*>("cancel"); }
    QStringList row(int r) const { return rowTexts(materials(), r); }
    QStringList captions() const
    {
        return {w.ui->ExternalLabel->text(), w.ui->OriginalLabel->text(), w.ui->label->text()};
    }
    QStringList names() const
    {
        QStringList all;
        for (int r = 0; r < materials()->rowCount(); ++r)
            all << text(materials(), r, 3);
        return all;
    }
    int modifyButtons() const
    {
        int count = 0;
        for (int r = 0; r < materials()->rowCount(); ++r) {
            auto* button = qobject_cast<QPushButton*>(materials()->cellWidget(r, 1));
            count += button && button->text() == QLatin1String("MODIFY");
        }
        return count;
    }

    // Drags the materials table's scroll bar to the right until the names column comes
    // first, so that each name stands beside its parameters; true when it got there.
    bool scrollToNames() const
    {
        QScrollBar* across = materials()->horizontalScrollBar();
        across->setValue(0);
        while (materials()->columnViewportPosition(3) > 0 && across->value() < across->maximum())
            across->setValue(across->value() + 1);
        return materials()->columnViewportPosition(3) == 0;
    }

    void startStep() { clock.start(); }
    void endStep(const QString& name)
    {
        const qint64 ms = clock.elapsed();
        timings << QStringLiteral("%1: %2 ms").arg(name).arg(ms);
        qInfo("walkthrough step \"%s\": %lld ms", qPrintable(name), ms);
    }
    // The open dialog, answered with `path` as a user types it.
    void openThroughDialog(const QString& path)
    {
        answers.expectFileDialog(path);
        QTest::mouseClick(w.ui->MTL_Button_0, Qt::LeftButton);
    }
};

const QStringList demoShaders{"yCS_eye::Normal", "yCS_gear::Normal",
                              "yCS_hair::NewHair_ColorChanging", "yCS_head::Normal",
                              "yCS_skin::Normal"};

} // namespace

class TestWalkthrough : public QObject {
    Q_OBJECT

private slots:
    void demoLibraryHoldsEveryKindOfItem();
    void demoModelPicksTheDemoShaders();
    void demoFilesAreWrittenIntoAFolder_data();
    void demoFilesAreWrittenIntoAFolder();
    void walkthrough();
};

void TestWalkthrough::demoLibraryHoldsEveryKindOfItem()
{
    const QByteArray bytes = demo::libraryBytes();
    QCOMPARE(bytes.size(), 1074);
    QCOMPARE(bytes.left(12), QByteArray::fromHex("4D544C73 05000000 53020000")); // S = 595
    const auto block = mtls::decode(bytes);
    QVERIFY(block);
    QVERIFY(!block->truncated);
    QCOMPARE(block->findings.size(), 0);
    QCOMPARE(block->endOffset, qint64(bytes.size()));
    QCOMPARE(block->dictionary.size(), 47);
    QCOMPARE(block->dictionary.first().text, QStringLiteral("hero_jersey"));
    // The type 5 hashes are those of textures under Characters/demo_hero/Textures/.
    QCOMPARE(describe(*block),
             (QStringList{
                 "hero_jersey yCS_gear::Normal 1,0,3,16 8 colorMap=hero_jersey_color flag:16256 "
                 "g_nrmMap=hero_jersey_nrm roughnessMap=default_roughness g_mPixMsk=hero_jersey_pm "
                 "g_mPixMsk@ref#afd99000c9e68846 g_tint:2(0,0) g_uvScale:1(0,2) "
                 "g_blendMode:3(0,1)",
                 "hero_shorts yCS_gear::Normal 1,0,3,16 8 colorMap=hero_shorts_color flag:16256 "
                 "g_nrmMap=hero_shorts_nrm roughnessMap=default_roughness g_mPixMsk=hero_shorts_pm "
                 "g_mPixMsk@ref#bd972c88a28b7623 g_tint:2(0,0) g_uvScale:1(0,2) "
                 "g_blendMode:3(0,1)",
                 "hero_head yCS_head::Normal 1,0,5,16 6 colorMap=hero_head_color "
                 "normalMap=hero_head_normal roughnessMap=default_roughness g_mPixMsk=hero_head_pm "
                 "g_mPixMsk@ref#2771cedeee491630 g_sssScale:1(0,3)",
                 "hero_eye yCS_eye::Normal 1,2,5,8 3 colorMap=hero_eye_color "
                 "normalMap=default_normal g_irisScale:3(0,2)",
                 "hero_body yCS_skin::Normal 1,0,7,16 6 colorMap=hero_body_color "
                 "normalMap=hero_body_normal metalMap=default_metal "
                 "roughnessMap=hero_body_roughness g_sssScale:1(0,3) g_tint:2(0,0)",
                 "hero_hair yCS_hair::NewHair_ColorChanging 3,0,9,24 5 colorMap=hero_hair_color "
                 "g_nrmMap=default_nrm flag:0 flowMap=hero_hair_flow "
                 "flowMap@ref#51691738693bbd4d g_hairTint:2(0,0)",
             }));
}

void TestWalkthrough::demoModelPicksTheDemoShaders()
{
    const auto model = authoring::readModelFile(demo::modelBytes());
    QVERIFY(model);
    QVERIFY(!model->damaged);
    QVERIFY(model->nameTable.contains("J_Hips"));
    QCOMPARE(model->materials, (QStringList{"head", "Eye_L", "eye_r", "body", "hair_01",
                                            "Jersey:skinned", "Shorts:skinned"}));
    const QVector<authoring::PlannedMaterial> plan = authoring::materialPlan(*model);
    QCOMPARE(plan, (QVector<authoring::PlannedMaterial>{
                       {"head", "yCS_head::Normal"},
                       {"Eye_L", "yCS_eye::Normal"},
                       {"eye_r", "yCS_eye::Normal"},
                       {"body", "yCS_skin::Normal"},
                       {"hair_01", "yCS_hair::NewHair_ColorChanging"},
                       {"Jersey", "yCS_gear::Normal"},
                       {"Shorts", "yCS_gear::Normal"},
                   }));
    // Every shader the model asks for is one that the demo library teaches, so the import
    // gives rows with real parameters.
    const auto block = mtls::decode(demo::libraryBytes());
    QVERIFY(block);
    QSet<QString> taught;
    for (const QString& line : describe(*block))
        taught.insert(line.section(' ', 1, 1));
    QCOMPARE(taught, QSet<QString>(demoShaders.begin(), demoShaders.end()));
}

void TestWalkthrough::demoFilesAreWrittenIntoAFolder_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("writes");
    QTest::newRow("existing folder") << "" << true;
    QTest::newRow("folder still to make") << "new/deeper" << true;
    QTest::newRow("a file stands there") << "blocker" << false;
}

void TestWalkthrough::demoFilesAreWrittenIntoAFolder()
{
    QFETCH(QString, where);
    QFETCH(bool, writes);
    QTemporaryDir scratch;
    QVERIFY(writeFile(scratch.filePath("blocker"), "not a folder"));
    const QString folder = scratch.filePath(where);

    const QString error = demo::writeDemoFiles(folder);
    QCOMPARE(error.isEmpty(), writes);
    if (!writes) {
        QVERIFY2(error.contains(folder), qPrintable(error));
        QCOMPARE(readFile(scratch.filePath("blocker")), QByteArray("not a folder"));
        return;
    }
    const QByteArray library = readFile(QDir(folder).filePath("demo.mtls"));
    QCOMPARE(library.size(), 1074);
    QCOMPARE(library.left(4), QByteArray("MTLs"));
    const QByteArray model = readFile(QDir(folder).filePath("demo.mdl"));
    QCOMPARE(model.size(), 269);
    QCOMPARE(model.left(4), QByteArray("MDL!"));
    QVERIFY(QFileInfo(QDir(folder).filePath("Characters/demo_hero")).isDir());
}

// Exactly the README's steps, through the buttons and dialogs a user clicks.
void TestWalkthrough::walkthrough()
{
    // scripts/run starts the editor in the demo folder: the catalogue lives there too.
    ScratchDirectory scratch;
    const QString folder = QDir::currentPath();
    QCOMPARE(demo::writeDemoFiles(folder), QString());
    Tour tour;
    // Widened as a user does to see a library's parameters; the README says so.
    tour.w.resize(1440, 800);
    tour.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tour.w));
    const QImage emptyWindow = Pictures::look(&tour.w);

    // 1. Open the demo library.
    tour.startStep();
    tour.openThroughDialog(scratch.path("demo.mtls"));
    tour.endStep("open demo.mtls");
    QCOMPARE(tour.answers.fileDialogs().size(), 1);
    QCOMPARE(tour.answers.fileDialogs().last().title, QStringLiteral("Open MTLs File"));
    QCOMPARE(tour.captions(), (QStringList{"demo.mtls   ", "  Found 6 materials:", "Items: 6   "}));
    QCOMPARE(tour.dictionary()->rowCount(), 47);
    QCOMPARE(rowTexts(tour.dictionary(), 1), (QStringList{"1", "yCS_gear", "12"}));
    QCOMPARE(tour.names(), (QStringList{"hero_jersey", "hero_shorts", "hero_head", "hero_eye",
                                        "hero_body", "hero_hair"}));
    QCOMPARE(tour.modifyButtons(), 6);
    QString problem = tour.pictures.take(&tour.w, "01-open-library.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(tour.pictures.lastDiffersFrom(emptyWindow));

    // 2. Scroll the materials table to a material's parameters.
    tour.startStep();
    QVERIFY(tour.scrollToNames());
    tour.endStep("scroll to the parameters");
    QCOMPARE(tour.row(0), (QStringList{"0", "<none>", "yCS_gear", "hero_jersey", "8", "Normal",
                                       "colorMap", "hero_jersey_color", "Global@ShaderFlag0-16256",
                                       "g_nrmMap", "hero_jersey_nrm", "roughnessMap",
                                       "default_roughness", "g_mPixMsk", "hero_jersey_pm",
                                       "g_mPixMsk@ref", "g_tint", "g_uvScale", "g_blendMode"}));
    problem = tour.pictures.take(&tour.w, "02-parameters.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(tour.pictures.changedSince(1));

    // 3. Add Material: a name, the preselected shader, OK.
    tour.startStep();
    QTest::mouseClick(tour.w.ui->pushButton, Qt::LeftButton);
    tour.endStep("open the Add Material dialog");
    QVERIFY(tour.w.dialog->isVisible());
    QCOMPARE(tour.nameField()->text(), QString());
    QStringList offered;
    for (int i = 0; i < tour.shaders()->count(); ++i)
        offered << tour.shaders()->itemText(i);
    QCOMPARE(offered, demoShaders);
    QCOMPARE(tour.shaders()->currentText(), QStringLiteral("yCS_gear::Normal"));
    QTest::keyClicks(tour.nameField(), "Cap_ALPHA");
    problem = tour.pictures.take(tour.w.dialog, "03-add-dialog.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    tour.startStep();
    QTest::mouseClick(tour.dialogOk(), Qt::LeftButton);
    tour.endStep("add Cap_ALPHA");
    QVERIFY(!tour.w.dialog->isVisible());
    QCOMPARE(tour.captions(),
             (QStringList{"mtlsView.bin   ", "  Found 7 materials:", "Items: 7   "}));
    QCOMPARE(tour.row(6), (QStringList{"6", "<none>", "yCS_gear", "Cap_ALPHA", "8", "Normal",
                                       "colorMap", "Cap_color", "g_nrmMap", "Cap_nrm",
                                       "roughnessMap", "default_roughness", "g_mPixMsk", "Cap_pm",
                                       "g_mPixMsk@ref", "g_tint", "g_uvScale", "g_blendMode"}));
    QCOMPARE(tour.modifyButtons(), 7);
    QVERIFY(tour.scrollToNames());
    problem = tour.pictures.take(&tour.w, "04-material-added.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // 4. MODIFY a row: the dialog comes with its name; a new name replaces the material.
    tour.materials()->horizontalScrollBar()->setValue(0);
    tour.startStep();
    QTest::mouseClick(qobject_cast<QPushButton*>(tour.materials()->cellWidget(1, 1)),
                      Qt::LeftButton);
    tour.endStep("MODIFY hero_shorts");
    QVERIFY(tour.w.dialog->isVisible());
    QCOMPARE(tour.nameField()->text(), QStringLiteral("hero_shorts"));
    QCOMPARE(tour.shaders()->currentText(), QStringLiteral("yCS_gear::Normal"));
    tour.nameField()->selectAll();
    QTest::keyClicks(tour.nameField(), "hero_trunks");
    QCOMPARE(tour.nameField()->text(), QStringLiteral("hero_trunks"));
    problem = tour.pictures.take(tour.w.dialog, "05-modify-dialog.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    tour.startStep();
    QTest::mouseClick(tour.dialogOk(), Qt::LeftButton);
    tour.endStep("replace hero_shorts by hero_trunks");
    QCOMPARE(tour.names(), (QStringList{"hero_jersey", "hero_trunks", "hero_head", "hero_eye",
                                        "hero_body", "hero_hair", "Cap_ALPHA"}));
    QCOMPARE(tour.row(1),
             (QStringList{"1", "<none>", "yCS_gear", "hero_trunks", "8", "Normal", "colorMap",
                          "hero_trunks_color", "g_nrmMap", "hero_trunks_nrm", "roughnessMap",
                          "default_roughness", "g_mPixMsk", "hero_trunks_pm", "g_mPixMsk@ref",
                          "g_tint", "g_uvScale", "g_blendMode"}));
    QCOMPARE(tour.captions().at(1), QStringLiteral("  Found 7 materials:"));
    QVERIFY(tour.scrollToNames());
    problem = tour.pictures.take(&tour.w, "06-material-replaced.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(tour.pictures.changedSince(2)); // against the picture after the add

    // 5. Save into the character's folder: the textures are hashed for that character.
    tour.materials()->horizontalScrollBar()->setValue(0);
    const QString saved = scratch.path("Characters/demo_hero/demo_hero.mtls");
    tour.answers.expectFileDialog(saved);
    tour.answers.expectMessage();
    tour.startStep();
    QTest::mouseClick(tour.w.ui->pushButton_2, Qt::LeftButton);
    tour.endStep("save Characters/demo_hero/demo_hero.mtls");
    QCOMPARE(tour.answers.fileDialogs().last().title, QStringLiteral("Save MTLs File as"));
    QCOMPARE(tour.answers.messages(), (QList<Message>{{"Warning", "File Saved Successfully."}}));
    QCOMPARE(tour.captions(),
             (QStringList{"demo_hero.mtls   ", "  Found 7 materials:", "Items: 7   "}));
    QCOMPARE(tour.w.current_file, saved);
    const auto block = mtls::decode(readFile(saved));
    QVERIFY(block);
    QCOMPARE(block->materials.size(), 7);
    // g_mPixMsk@ref of hero_jersey keeps the demo's hash; the new textures get theirs.
    QCOMPARE(block->materials[0].items[4].first, Q_UINT64_C(0xafd99000c9e68846));
    QCOMPARE(block->materials[1].items[4].first, Q_UINT64_C(0xe103086e76fd64f3)); // trunks_pm
    QCOMPARE(block->materials[6].items[4].first, Q_UINT64_C(0x292407e670d214bd)); // Cap_pm
    problem = tour.pictures.take(&tour.w, "07-library-saved.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // 6. Open the demo model: one material per part, each with its part's shader.
    const QByteArray savedBytes = readFile(saved);
    tour.startStep();
    tour.openThroughDialog(scratch.path("demo.mdl"));
    tour.endStep("open demo.mdl");
    QCOMPARE(tour.answers.fileDialogs().size(), 3);
    QCOMPARE(tour.answers.messages().size(), 1);
    QCOMPARE(tour.answers.unexpected(), 0);
    QCOMPARE(tour.captions(),
             (QStringList{"mtlsView.bin   ", "  Found 7 materials:", "Items: 7   "}));
    QCOMPARE(tour.names(),
             (QStringList{"head", "Eye_L", "eye_r", "body", "hair_01", "Jersey", "Shorts"}));
    QCOMPARE(tour.row(0), (QStringList{"0", "<none>", "yCS_head", "head", "6", "Normal", "colorMap",
                                       "head_color", "normalMap", "head_normal", "roughnessMap",
                                       "default_roughness", "g_mPixMsk", "head_pm", "g_mPixMsk@ref",
                                       "g_sssScale"}));
    QCOMPARE(tour.row(1),
             (QStringList{"1", "<none>", "yCS_eye", "Eye_L", "3", "Normal", "colorMap",
                          "Eye_L_color", "normalMap", "default_normal", "g_irisScale"}));
    QCOMPARE(tour.row(3),
             (QStringList{"3", "<none>", "yCS_skin", "body", "6", "Normal", "colorMap",
                          "body_color", "normalMap", "body_normal", "metalMap", "default_metal",
                          "roughnessMap", "body_roughness", "g_sssScale", "g_tint"}));
    QCOMPARE(tour.row(4),
             (QStringList{"4", "<none>", "yCS_hair", "hair_01", "5", "NewHair_ColorChanging",
                          "colorMap", "hair_01_color", "g_nrmMap", "default_nrm", "flowMap",
                          "hair_01_flow", "flowMap@ref", "g_hairTint"}));
    QCOMPARE(tour.row(5).mid(2, 6),
             (QStringList{"yCS_gear", "Jersey", "8", "Normal", "colorMap", "Jersey_color"}));
    QCOMPARE(readFile(saved), savedBytes);
    problem = tour.pictures.take(&tour.w, "08-model-opened.png");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    qInfo("walkthrough timings: %s", qPrintable(tour.timings.join("; ")));
}

QTEST_MAIN(TestWalkthrough)
#include "tst_walkthrough.moc"
