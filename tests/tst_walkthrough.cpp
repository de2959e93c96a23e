// The first-run tour: the demo files that the build writes, and the README's walkthrough
// driven through the real window step by step, with a picture of every step. The README
// shows these pictures; LATHRINE_UPDATE_PICTURES=1 writes them into docs/walkthrough/.
#include "app/mainwindow.h"
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

namespace {

// One line per material as a modder would list it: name, full shader name, flag words, N,
// then " #hash" for every texture hash.
QStringList describe(const mtls::Block& block)
{
    QHash<quint32, QString> strings;
    for (const mtls::DictionaryEntry& entry : block.dictionary)
        strings.insert(entry.offset, entry.text);
    QStringList lines;
    for (const mtls::Material& m : block.materials) {
        QString line = strings.value(m.modelId) + ' ' + strings.value(m.mainShader) +
                       "::" + strings.value(m.variant) +
                       QString::asprintf(" %d,%d,%d,%d %d", m.flags[0], m.flags[1], m.flags[2],
                                         m.flags[3], m.paramCount);
        for (const mtls::Item& item : m.items)
            if (!item.isGlobalFlag() && item.type == 5)
                line += " #" + QString::number(item.first, 16);
        lines << line;
    }
    return lines;
}

struct Tour {
    MainWindow w;
    ModalAnswerer answers;
    QTemporaryDir scratch;
    // docs/walkthrough/ of the source tree only when asked for, so that a plain test run
    // never writes into the sources.
    const QString pictures = qEnvironmentVariable("LATHRINE_UPDATE_PICTURES") == "1"
                                 ? QStringLiteral(LATHRINE_SOURCE_DIR "/docs/walkthrough")
                                 : scratch.path();

    ~Tour()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    QTableWidget* materials() const { return w.ui->ExternalTable; }
    QLineEdit* nameField() const { return w.dialog->findChild<QLineEdit*>("lineEdit"); }
    QComboBox* shaders() const { return w.dialog->findChild<QComboBox*>("comboBox"); }
    QPushButton* ok() const { return w.dialog->findChild<QPushButton*>("cancel"); }
    QStringList row(int r) const { return rowTexts(materials(), r).mid(2, 6); }
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
    template <typename Action> void step(const char* name, Action action)
    {
        QElapsedTimer clock;
        clock.start();
        action();
        qInfo("walkthrough step \"%s\": %lld ms", name, clock.elapsed());
    }
    // Scrolls the materials table until the names column comes first, so that each name
    // stands beside its parameters.
    bool scrollToNames() const
    {
        QScrollBar* across = materials()->horizontalScrollBar();
        across->setValue(0);
        while (materials()->columnViewportPosition(3) > 0 && across->value() < across->maximum())
            across->setValue(across->value() + 1);
        return materials()->columnViewportPosition(3) == 0;
    }
    // Saves what the user sees of `widget`; true when the file holds a picture of the
    // widget's size that is not one flat colour.
    bool picture(QWidget* widget, const QString& name) const
    {
        QTest::qWait(20); // let the layout and the paint events settle
        const QString path = QDir(pictures).filePath(name);
        const QImage image = widget->grab().save(path, "PNG") ? QImage(path) : QImage();
        QImage flat(image.size(), image.format());
        flat.fill(image.isNull() ? 0 : image.pixel(0, 0));
        return !image.isNull() && image.size() == widget->size() && image != flat;
    }
};

} // namespace

class TestWalkthrough : public QObject {
    Q_OBJECT

private slots:
    void demoLibrary();
    void demoModel();
    void demoFilesAreWrittenIntoAFolder_data();
    void demoFilesAreWrittenIntoAFolder();
    void walkthrough();
};

void TestWalkthrough::demoLibrary()
{
    const QByteArray bytes = demo::libraryBytes();
    QCOMPARE(bytes.size(), 1074);
    QCOMPARE(bytes.left(12), QByteArray::fromHex("4D544C73 05000000 53020000")); // S = 595
    const auto block = mtls::decode(bytes);
    QVERIFY(block && !block->truncated && block->findings.isEmpty());
    QCOMPARE(block->endOffset, qint64(bytes.size()));
    QCOMPARE(block->dictionary.size(), 47);
    // The hashes are those of textures under Characters/demo_hero/Textures/.
    QCOMPARE(
        describe(*block),
        (QStringList{"hero_jersey yCS_gear::Normal 1,0,3,16 8 #afd99000c9e68846",
                     "hero_shorts yCS_gear::Normal 1,0,3,16 8 #bd972c88a28b7623",
                     "hero_head yCS_head::Normal 1,0,5,16 6 #2771cedeee491630",
                     "hero_eye yCS_eye::Normal 1,2,5,8 3", "hero_body yCS_skin::Normal 1,0,7,16 6",
                     "hero_hair yCS_hair::NewHair_ColorChanging 3,0,9,24 5 #51691738693bbd4d"}));
    // Every kind of item: global shader flags (0) and the types 1 to 5.
    QSet<int> kinds;
    for (const mtls::Material& m : block->materials)
        for (const mtls::Item& item : m.items)
            kinds << (item.isGlobalFlag() ? 0 : item.type);
    QCOMPARE(kinds, (QSet<int>{0, 1, 2, 3, 4, 5}));
}

// The demo model's parts pick the five shaders the demo library teaches.
void TestWalkthrough::demoModel()
{
    const auto model = authoring::readModelFile(demo::modelBytes());
    QVERIFY(model && !model->damaged);
    QVERIFY(model->nameTable.contains("J_Hips"));
    QStringList plan;
    for (const authoring::PlannedMaterial& material : authoring::materialPlan(*model))
        plan << material.name + " " + material.shader;
    QCOMPARE(plan,
             (QStringList{"head yCS_head::Normal", "Eye_L yCS_eye::Normal", "eye_r yCS_eye::Normal",
                          "body yCS_skin::Normal", "hair_01 yCS_hair::NewHair_ColorChanging",
                          "Jersey yCS_gear::Normal", "Shorts yCS_gear::Normal"}));
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
    const QDir folder(scratch.filePath(where));

    const QString error = demo::writeDemoFiles(folder.path());
    QCOMPARE(error.isEmpty(), writes);
    if (!writes) {
        QVERIFY2(error.contains(folder.path()), qPrintable(error));
        QCOMPARE(readFile(scratch.filePath("blocker")), QByteArray("not a folder"));
        return;
    }
    QCOMPARE(readFile(folder.filePath("demo.mtls")), demo::libraryBytes());
    QCOMPARE(readFile(folder.filePath("demo.mdl")), demo::modelBytes());
    QVERIFY(QFileInfo(folder.filePath("Characters/demo_hero")).isDir());
}

// Exactly the README's steps, through the buttons and dialogs a user clicks.
void TestWalkthrough::walkthrough()
{
    // scripts/run starts the editor in the demo folder: the catalogue lives there too.
    ScratchDirectory scratch;
    QCOMPARE(demo::writeDemoFiles(QDir::currentPath()), QString());
    Tour tour;
    tour.w.resize(1440, 800); // widened to see a library's parameters, as the README says
    tour.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tour.w));

    // 1. Open the demo library.
    tour.answers.expectFileDialog(scratch.path("demo.mtls"));
    tour.step("open demo.mtls",
              [&] { QTest::mouseClick(tour.w.ui->MTL_Button_0, Qt::LeftButton); });
    QCOMPARE(tour.answers.fileDialogs().last().title, QStringLiteral("Open MTLs File"));
    QCOMPARE(tour.captions(), (QStringList{"demo.mtls   ", "  Found 6 materials:", "Items: 6   "}));
    QCOMPARE(tour.w.ui->OriginalTable->rowCount(), 47);
    QCOMPARE(tour.names(), (QStringList{"hero_jersey", "hero_shorts", "hero_head", "hero_eye",
                                        "hero_body", "hero_hair"}));
    QVERIFY(tour.picture(&tour.w, "01-open-library.png"));

    // 2. Scroll the materials table to a material's parameters.
    bool scrolled = false;
    tour.step("scroll to the parameters", [&] { scrolled = tour.scrollToNames(); });
    QVERIFY(scrolled);
    QVERIFY(tour.picture(&tour.w, "02-parameters.png"));

    // 3. Add Material: a name, the preselected shader, OK.
    tour.step("open the Add Material dialog",
              [&] { QTest::mouseClick(tour.w.ui->pushButton, Qt::LeftButton); });
    QVERIFY(tour.w.dialog->isVisible());
    QStringList offered;
    for (int i = 0; i < tour.shaders()->count(); ++i)
        offered << tour.shaders()->itemText(i);
    QCOMPARE(offered,
             (QStringList{"yCS_eye::Normal", "yCS_gear::Normal", "yCS_hair::NewHair_ColorChanging",
                          "yCS_head::Normal", "yCS_skin::Normal"}));
    QCOMPARE(tour.shaders()->currentText(), QStringLiteral("yCS_gear::Normal"));
    QTest::keyClicks(tour.nameField(), "Cap_ALPHA");
    QVERIFY(tour.picture(tour.w.dialog, "03-add-dialog.png"));
    tour.step("add Cap_ALPHA", [&] { QTest::mouseClick(tour.ok(), Qt::LeftButton); });
    QCOMPARE(tour.captions(),
             (QStringList{"mtlsView.bin   ", "  Found 7 materials:", "Items: 7   "}));
    QCOMPARE(tour.row(6),
             (QStringList{"yCS_gear", "Cap_ALPHA", "8", "Normal", "colorMap", "Cap_color"}));
    QVERIFY(tour.scrollToNames());
    QVERIFY(tour.picture(&tour.w, "04-material-added.png"));

    // 4. MODIFY a row: the dialog comes with its name; a new name replaces the material.
    tour.materials()->horizontalScrollBar()->setValue(0);
    auto* modify = qobject_cast<QPushButton*>(tour.materials()->cellWidget(1, 1));
    QVERIFY(modify);
    tour.step("MODIFY hero_shorts", [&] { QTest::mouseClick(modify, Qt::LeftButton); });
    QVERIFY(tour.w.dialog->isVisible());
    QCOMPARE(tour.nameField()->text(), QStringLiteral("hero_shorts"));
    QCOMPARE(tour.shaders()->currentText(), QStringLiteral("yCS_gear::Normal"));
    tour.nameField()->selectAll();
    QTest::keyClicks(tour.nameField(), "hero_trunks");
    QVERIFY(tour.picture(tour.w.dialog, "05-modify-dialog.png"));
    tour.step("replace hero_shorts by hero_trunks",
              [&] { QTest::mouseClick(tour.ok(), Qt::LeftButton); });
    QCOMPARE(tour.names(), (QStringList{"hero_jersey", "hero_trunks", "hero_head", "hero_eye",
                                        "hero_body", "hero_hair", "Cap_ALPHA"}));
    QCOMPARE(tour.row(1), (QStringList{"yCS_gear", "hero_trunks", "8", "Normal", "colorMap",
                                       "hero_trunks_color"}));
    QVERIFY(tour.scrollToNames());
    QVERIFY(tour.picture(&tour.w, "06-material-replaced.png"));

    // 5. Save into the character's folder: the textures are hashed for that character.
    tour.materials()->horizontalScrollBar()->setValue(0);
    const QString saved = scratch.path("Characters/demo_hero/demo_hero.mtls");
    tour.answers.expectFileDialog(saved);
    tour.answers.expectMessage();
    tour.step("save Characters/demo_hero/demo_hero.mtls",
              [&] { QTest::mouseClick(tour.w.ui->pushButton_2, Qt::LeftButton); });
    QCOMPARE(tour.answers.messages(),
             (QList<ModalAnswerer::Message>{{"Warning", "File Saved Successfully."}}));
    QCOMPARE(tour.captions(),
             (QStringList{"demo_hero.mtls   ", "  Found 7 materials:", "Items: 7   "}));
    QCOMPARE(tour.w.current_file, saved);
    const QByteArray savedBytes = readFile(saved);
    const auto block = mtls::decode(savedBytes);
    QVERIFY(block);
    // hero_jersey keeps the demo's hash; the new textures get theirs.
    QStringList hashes;
    for (const QString& line : describe(*block))
        hashes << line.section('#', 1);
    QCOMPARE(hashes, (QStringList{"afd99000c9e68846", "e103086e76fd64f3", "2771cedeee491630", "",
                                  "", "51691738693bbd4d", "292407e670d214bd"}));
    QVERIFY(tour.picture(&tour.w, "07-library-saved.png"));

    // 6. Open the demo model: one material per part, each with its part's shader.
    tour.answers.expectFileDialog(scratch.path("demo.mdl"));
    tour.step("open demo.mdl", [&] { QTest::mouseClick(tour.w.ui->MTL_Button_0, Qt::LeftButton); });
    QCOMPARE(tour.answers.fileDialogs().size(), 3);
    QCOMPARE(tour.answers.messages().size(), 1);
    QCOMPARE(tour.captions(),
             (QStringList{"mtlsView.bin   ", "  Found 7 materials:", "Items: 7   "}));
    QCOMPARE(tour.names(),
             (QStringList{"head", "Eye_L", "eye_r", "body", "hair_01", "Jersey", "Shorts"}));
    QCOMPARE(tour.row(4), (QStringList{"yCS_hair", "hair_01", "5", "NewHair_ColorChanging",
                                       "colorMap", "hair_01_color"}));
    QCOMPARE(readFile(saved), savedBytes);
    QVERIFY(tour.picture(&tour.w, "08-model-opened.png"));
}

QTEST_MAIN(TestWalkthrough)
#include "tst_walkthrough.moc"
