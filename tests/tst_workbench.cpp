// The editor as a modder's workbench: which catalogue it uses, teaching it a game folder,
// finding materials, recent files and what the window remembers, the status bar's lines.
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using testfiles::runTool;

namespace {

// A library of one material per name, each of the shader "<name>_s::Normal".
QByteArray library(const QStringList& names)
{
    QStringList dictionary{"Normal", "colorMap", "tex"};
    QVector<RawMaterial> materials;
    for (const QString& name : names)
        dictionary << name << name + "_s";
    for (const QString& name : names)
        materials.append({offsetOf(dictionary, name),
                          offsetOf(dictionary, name + "_s"),
                          0,
                          {1, 2, 3, 4},
                          1,
                          {entry4(offsetOf(dictionary, "colorMap"), 16)}});
    return buildBlock(dictionary, materials);
}

QStringList menuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << QFileInfo(action->text()).fileName() + (action->isEnabled() ? "" : "-");
    return texts;
}

QString userCatalogue()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/lathrine/MTLs_Shaders.ini";
}

} // namespace

class TestWorkbench : public QObject {
    Q_OBJECT

private slots:
    // The current directory's catalogue when it is there, else the user's; --catalogue names
    // mtls's own. The window and mtls name the same file and see what the other learnt.
    void catalogueRule()
    {
        const char* rows[][3] = {{"here", "", "MTLs_Shaders.ini"},
                                 {"", "", ""},
                                 {"here", "other.ini", "other.ini"},
                                 {"", "other.ini", "other.ini"}};
        for (const auto& row : rows) {
#ifdef Q_OS_WIN
            if (!*row[2]) // Windows has no variable that moves a child's data folder to the test's
                continue;
#endif
            ScratchDirectory scratch(*row[0] ? ScratchDirectory::CatalogueHere
                                             : ScratchDirectory::UsersCatalogue);
            QFile::remove(userCatalogue());
            const QString used = *row[2] ? scratch.path(row[2]) : userCatalogue();
            const QStringList option = *row[1] ? QStringList{"--catalogue", row[1]} : QStringList();
            QVERIFY(writeFile("lib.mtls", library({"m"})));
            QCOMPARE(runTool(MTLS_BINARY, QStringList{"learn", "lib.mtls"} + option).status, 0);
            QVERIFY(readFile(used).contains("m_s"));
            QCOMPARE(runTool(MTLS_BINARY, QStringList{"shaders"} + option).err,
                     "catalogue: " + QDir::toNativeSeparators(used) + "\n");
            if (*row[1])
                continue;
            AnsweredWindow win;
            win.answers.expectMessage();
            win.w.findChild<QAction*>("actionCatalogue")->trigger();
            QCOMPARE(win.answers.messages().value(0).text,
                     "The shader catalogue in use is " + QDir::toNativeSeparators(used) + ".");
            win.w.ui->actionAdd_Material->trigger();
            QCOMPARE(win.w.dialog->findChild<QComboBox*>()->itemText(0), QString("m_s::Normal"));
        }
        QFile::remove(userCatalogue());
    }

    // Every .mtls below the folder teaches the catalogue, links to folders are not followed,
    // and the view stays as it was; Cancel in the folder dialog does nothing, Cancel part way
    // keeps what was learnt up to then.
    void indexShaders()
    {
        ScratchDirectory scratch;
        AnsweredWindow win;
        QVERIFY(QDir().mkpath("game/sub/deep") && writeFile("game/a.mtls", library({"a", "b"})) &&
                writeFile("game/sub/b.MTLS", library({"b", "c"})) &&
                writeFile("game/sub/deep/cut.mtls", library({"d", "e"}).chopped(10)) &&
                writeFile("game/notes.mtls", "not a library") && writeFile("game/x.txt", "") &&
                QFile::link("..", "game/sub/loop"));
        win.open("shown.mtls", exampleBlock());
        const QStringList before = shown(win.w);
        const QByteArray catalogue = readFile("MTLs_Shaders.ini");
        win.answers.expectFileDialogCancel();
        win.w.ui->actionIndex_Shaders->trigger();
        QCOMPARE(readFile("MTLs_Shaders.ini"), catalogue);
        for (const char* learnt : {"4 new shaders and 0 new parameter names", // shown: colorMap
                                   "0 new shaders and 0 new parameter names"}) {
            win.answers.expectFileDialog(scratch.path("game"));
            win.answers.expectMessage();
            win.w.ui->actionIndex_Shaders->trigger();
            QCOMPARE(win.answers.messages().last().text,
                     QString("Learnt %1 from 3 libraries. 1 files could not be read.").arg(learnt));
        }
        QCOMPARE(ShaderCatalogue().shaderNames(),
                 (QStringList{"a_s::Normal", "b_s::Normal", "c_s::Normal", "d_s::Normal",
                              "yCS_gear::Normal"}));
        QCOMPARE(shown(win.w), before);
        QVERIFY(QDir().mkdir("many"));
        for (int i = 0; i < 40; ++i)
            QVERIFY(writeFile(QString("many/%1.mtls").arg(i, 2, 10, QChar('0')),
                              library({QString("s%1").arg(i)})));
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, [] {
            auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (progress && progress->value() >= 5)
                progress->cancel();
        });
        canceller.start(0);
        win.answers.expectFileDialog(scratch.path("many"));
        win.answers.expectMessage();
        win.w.ui->actionIndex_Shaders->trigger();
        const int learnt = ShaderCatalogue().shaderNames().size() - 5;
        QVERIFY2(learnt >= 5 && learnt < 40, qPrintable(QString::number(learnt)));
        QCOMPARE(win.answers.messages().last().text,
                 QString("Learnt %1 new shaders and 0 new parameter names from %1 libraries.")
                     .arg(learnt));
        QCOMPARE(win.answers.unexpected(), 0);
    }

    // Find hides the rows without the text and says how many are shown; every step still
    // takes all rows.
    void find()
    {
        ScratchDirectory scratch;
        AnsweredWindow win;
        QVERIFY(win.activated());
        win.open("lib.mtls", library({"hero_eye", "hero_jersey", "cap"}));
        QTableWidget* materials = win.w.ui->ExternalTable;
        auto* field = win.w.findChild<QLineEdit*>("filterField");
        QTest::keyClick(&win.w, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(field->isVisible());
        const struct {
            const char* text;
            const char* rows; // shown ones
        } cases[] = {{"HERO", "01"}, {"eye", "0"}, {"_s", "012"}, {"nothing", ""}, {"", "012"}};
        for (const auto& c : cases) {
            field->setText(c.text);
            QString rows;
            for (int r = 0; r < 3; ++r)
                if (!materials->isRowHidden(r))
                    rows += QString::number(r);
            QCOMPARE(rows, QString(c.rows));
            QCOMPARE(libraryLine(win.w),
                     *c.text ? QString("%1 of 3 materials shown.").arg(rows.size()) : "");
        }
        field->setText("eye");
        QCoreApplication::processEvents();
        QVERIFY(!materials->cellWidget(1, 1)->isVisible());
        win.answers.expectFileDialog(scratch.path("saved.mtls"));
        win.answers.expectMessage();
        QTest::keyClick(&win.w, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(mtls::decode(readFile("saved.mtls"))->materials.size(), 3);
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!field->isVisible() && !materials->isRowHidden(1) && libraryLine(win.w).isEmpty());
    }

    // The last eight files opened or saved, most recent first; the dialogs start beside the
    // library shown, else in the last folder used; the window's place is kept.
    void rememberedBetweenRuns()
    {
        ScratchDirectory scratch;
        QFile::remove(MainWindow::settingsPath());
        QVERIFY(QDir().mkdir("d"));
        {
            AnsweredWindow win;
            QCOMPARE(win.w.size(), QSize(1054, 675)); // a first run
            for (int i = 0; i < 9; ++i)
                win.open(QString("d/f%1.mtls").arg(i), exampleBlock());
            auto* recent = win.w.findChild<QMenu*>("menuOpen_Recent");
            QCOMPARE(menuTexts(recent).join(' '),
                     QString("f8.mtls f7.mtls f6.mtls f5.mtls f4.mtls f3.mtls f2.mtls f1.mtls "
                             "Clear Menu"));
            win.open("d/f3.mtls");
            QVERIFY(QFile::remove("d/f5.mtls"));
            win.answers.expectMessage();
            recent->actions().at(4)->trigger(); // f5, gone
            QCOMPARE(win.answers.messages().value(0).text.section('\n', 0, 0),
                     systemWords("Cannot open file : No such file or directory", "d/f5.mtls"));
            QCOMPARE(menuTexts(recent).join(' '),
                     QString("f3.mtls f8.mtls f7.mtls f6.mtls f4.mtls f2.mtls f1.mtls Clear Menu"));
            win.answers.expectFileDialogCancel();
            QTest::mouseClick(win.w.ui->MTL_Button_0, Qt::LeftButton);
            QCOMPARE(win.answers.folder(), scratch.path("d"));
            recent->actions().last()->trigger();
            QCOMPARE(menuTexts(recent), QStringList{"Clear Menu-"});
            win.w.show();
            win.w.resize(900, 600);
            QVERIFY(win.w.close());
        }
        AnsweredWindow again;
        again.w.restoreRememberedGeometry();
        QCOMPARE(again.w.size(), QSize(900, 600));
        again.answers.expectFileDialogCancel();
        QTest::mouseClick(again.w.ui->MTL_Button_0, Qt::LeftButton); // nothing shown
        QCOMPARE(again.answers.folder(), scratch.path("d"));
        QFile::remove(MainWindow::settingsPath());
    }

    // The library's line is permanent: a menu hint does not erase it; the catalogue's notice
    // sits beside it, from whichever step first met a catalogue it cannot write.
    void statusLines()
    {
        ScratchDirectory scratch(ScratchDirectory::UsersCatalogue);
        QVERIFY(QDir().mkdir("MTLs_Shaders.ini"));
        testsupport::ModelBuilder model;
        QVERIFY(writeFile(
            "car.mdl", model.names({"J_Hips", "Eye_L", "Body"}).materials({1, 2}).end().build()));
        AnsweredWindow win;
        QVERIFY(win.w.statusBar()->findChildren<QLabel*>("catalogueNotice").isEmpty());
        win.open("car.mdl");
        const QString line = libraryLine(win.w);
        QVERIFY2(line.startsWith("2 of 2 materials got no parameters: their shaders are not in "
                                 "the catalogue yet"),
                 qPrintable(line));
        QCOMPARE(win.w.statusBar()->findChildren<QLabel*>("catalogueNotice").size(), 1);
        win.w.statusBar()->showMessage("a menu hint");
        win.w.statusBar()->clearMessage();
        QCOMPARE(libraryLine(win.w), line);
    }
};

QTEST_MAIN(TestWorkbench)
#include "tst_workbench.moc"
