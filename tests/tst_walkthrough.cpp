// The README's first-run tour through the real window, step by step, with a picture of every
// step; LATHRINE_UPDATE_PICTURES=1 writes the pictures into docs/walkthrough/.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "mtls/blockcheck.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "tools/demofiles.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest>

using namespace testwindow;

namespace {

struct Tour {
    ScratchDirectory scratch; // scripts/run starts the editor in the demo folder
    MainWindow w;
    ModalAnswerer answers;
    QTemporaryDir pictures;
    QTableWidget* materials = w.ui->ExternalTable;
    ~Tour()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
    }
    QStringList column(int c) const
    {
        QStringList all;
        for (int r = 0; r < materials->rowCount(); ++r)
            all << text(materials, r, c);
        return all;
    }
    QString captions() const
    {
        return w.ui->ExternalLabel->text() + "|" + w.ui->OriginalLabel->text();
    }
    // Clicks `widget` and types `name` into the dialog that comes, `picture` taken before OK.
    void dialog(QWidget* widget, const QString& name, const char* picture)
    {
        QTest::mouseClick(widget, Qt::LeftButton);
        w.dialog->findChild<QLineEdit*>("lineEdit")->selectAll();
        QTest::keyClicks(w.dialog->findChild<QLineEdit*>("lineEdit"), name);
        take(w.dialog, picture);
        QTest::mouseClick(w.dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }
    // Saves what the user sees of `widget`, scrolled to the names column when asked.
    void take(QWidget* widget, const char* name, bool namesFirst = false)
    {
        QScrollBar* across = materials->horizontalScrollBar();
        across->setValue(0);
        while (namesFirst && materials->columnViewportPosition(3) > 0 &&
               across->value() < across->maximum())
            across->setValue(across->value() + 1);
        QTest::qWait(20); // let the layout and the paint events settle
        const QString folder = qEnvironmentVariable("LATHRINE_UPDATE_PICTURES") == "1"
                                   ? LATHRINE_SOURCE_DIR "/docs/walkthrough"
                                   : pictures.path();
        const QImage image = widget->grab().toImage();
        QVERIFY(image.size() == widget->size() && image.save(folder + "/" + name + ".png"));
        QVERIFY(image.pixel(0, 0) != image.pixel(image.width() / 2, image.height() / 2) ||
                image.pixel(1, 1) != image.pixel(image.width() - 2, image.height() - 2));
    }
};

} // namespace

class TestWalkthrough : public QObject {
    Q_OBJECT

private slots:
    void demoFiles()
    {
        ScratchDirectory scratch;
        QVERIFY(writeFile("blocker", "not a folder"));
        QVERIFY(demo::writeDemoFiles("blocker").contains("blocker"));
        QCOMPARE(readFile("blocker"), QByteArray("not a folder"));
        QCOMPARE(demo::writeDemoFiles("new/deeper"), QString());
        QCOMPARE(readFile("new/deeper/demo.mtls"), demo::libraryBytes());
        QCOMPARE(readFile("new/deeper/demo.mdl"), demo::modelBytes());
        QVERIFY(QFileInfo("new/deeper/Characters/demo_hero").isDir());
        QVERIFY(mtls::checkBlock(demo::libraryBytes()).isEmpty());
    }

    void walkthrough()
    {
        Tour tour;
        QCOMPARE(demo::writeDemoFiles(QDir::currentPath()), QString());
        tour.w.resize(1440, 800); // widened to see a library's parameters, as the README says
        tour.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tour.w));

        tour.answers.expectFileDialog(tour.scratch.path("demo.mtls"));
        QTest::mouseClick(tour.w.ui->MTL_Button_0, Qt::LeftButton);
        QCOMPARE(tour.captions(), QString("demo.mtls   |  Found 6 materials:"));
        QCOMPARE(tour.column(3), (QStringList{"hero_jersey", "hero_shorts", "hero_head", "hero_eye",
                                              "hero_body", "hero_hair"}));
        tour.take(&tour.w, "01-open-library");
        tour.take(&tour.w, "02-parameters", true);

        tour.dialog(tour.w.ui->pushButton, "Cap_ALPHA", "03-add-dialog");
        QCOMPARE(rowTexts(tour.materials, 6, 2).mid(0, 6).join(' '),
                 QString("yCS_gear Cap_ALPHA 8 Normal colorMap Cap_color"));
        tour.take(&tour.w, "04-material-added", true);
        QCOMPARE(readFile("demo.mtls"), demo::libraryBytes()); // the user's file stays as it was

        tour.dialog(tour.materials->cellWidget(1, 1), "hero_trunks", "05-modify-dialog");
        QCOMPARE(tour.column(3).mid(0, 3),
                 (QStringList{"hero_jersey", "hero_trunks", "hero_head"}));
        QCOMPARE(text(tour.materials, 1, 7), QString("hero_trunks_color"));
        tour.take(&tour.w, "06-material-replaced", true);

        // Saved into the character's folder as a clean library.
        const QString saved = tour.scratch.path("Characters/demo_hero/demo_hero.mtls");
        tour.answers.expectFileDialog(saved);
        tour.answers.expectMessage();
        QTest::mouseClick(tour.w.ui->pushButton_2, Qt::LeftButton);
        QCOMPARE(tour.answers.messages().value(0).text, QString("File Saved Successfully."));
        QCOMPARE(tour.captions(), QString("demo_hero.mtls   |  Found 7 materials:"));
        QVERIFY(mtls::checkBlock(readFile(saved)).isEmpty());
        tour.take(&tour.w, "07-library-saved");

        tour.answers.expectFileDialog(tour.scratch.path("demo.mdl"));
        QTest::mouseClick(tour.w.ui->MTL_Button_0, Qt::LeftButton);
        QCOMPARE(tour.column(3),
                 (QStringList{"head", "Eye_L", "eye_r", "body", "hair_01", "Jersey", "Shorts"}));
        tour.take(&tour.w, "08-model-opened");
        QCOMPARE(tour.answers.unexpected() + tour.answers.pending(), 0);
    }
};

QTEST_MAIN(TestWalkthrough)
#include "tst_walkthrough.moc"
