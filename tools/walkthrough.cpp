// Takes the pictures of the README's first-run tour: the demo files are written into a
// scratch folder and the real window is clicked through each step, as a user would.
//   lathrine_walkthrough [OUTPUT_FOLDER]     (default: docs/walkthrough)
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "support/gui/modalanswerer.h"
#include "tools/demofiles.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

namespace {

class Tour {
public:
    explicit Tour(const QString& output) : output(output) {}

    bool ok = true;

    // Saves what the user sees of `widget`, scrolled to the names column when asked.
    void take(QWidget* widget, const char* name, bool namesFirst = false)
    {
        QScrollBar* across = materials->horizontalScrollBar();
        across->setValue(0);
        while (namesFirst && materials->columnViewportPosition(3) > 0 &&
               across->value() < across->maximum())
            across->setValue(across->value() + 1);
        QTest::qWait(20); // let the layout and the paint events settle
        const QString path = output + QLatin1Char('/') + QLatin1String(name) + ".png";
        if (!widget->grab().save(path, "PNG")) {
            std::fprintf(stderr, "lathrine_walkthrough: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }

    // Clicks `button`, types `name` into the dialog that comes, and takes `picture` before OK.
    void dialog(QWidget* button, const QString& name, const char* picture)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        auto* edit = window.dialog->findChild<QLineEdit*>("lineEdit");
        edit->selectAll();
        QTest::keyClicks(edit, name);
        take(window.dialog, picture);
        QTest::mouseClick(window.dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }

    void run(const QDir& demo)
    {
        window.resize(1440, 800); // widened to see a library's parameters
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            ok = false;

        answers.expectFileDialog(demo.filePath("demo.mtls"));
        QTest::mouseClick(window.ui->MTL_Button_0, Qt::LeftButton);
        take(&window, "01-open-library");
        take(&window, "02-parameters", true);

        dialog(window.ui->pushButton, "Cap_ALPHA", "03-add-dialog");
        take(&window, "04-material-added", true);

        dialog(materials->cellWidget(1, 1), "hero_trunks", "05-modify-dialog");
        take(&window, "06-material-replaced", true);

        answers.expectFileDialog(demo.filePath("Characters/demo_hero/demo_hero.mtls"));
        answers.expectMessage(); // "File Saved Successfully."
        QTest::mouseClick(window.ui->pushButton_2, Qt::LeftButton);
        take(&window, "07-library-saved");

        answers.expectFileDialog(demo.filePath("demo.mdl"));
        QTest::mouseClick(window.ui->MTL_Button_0, Qt::LeftButton);
        take(&window, "08-model-opened");
        if (answers.pending() + answers.unexpected() > 0) {
            std::fprintf(stderr, "lathrine_walkthrough: the window did not ask what the tour "
                                 "expects; the pictures may be wrong\n");
            ok = false;
        }
        delete window.dialog;
    }

private:
    QString output;
    MainWindow window;
    ModalAnswerer answers;
    QTableWidget* materials = window.ui->ExternalTable;
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString output =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/walkthrough"))
            .absolutePath();
    QTemporaryDir scratch;
    const QString demoError = demo::writeDemoFiles(scratch.path());
    if (!scratch.isValid() || !demoError.isEmpty() || !QDir().mkpath(output)) {
        std::fprintf(stderr, "lathrine_walkthrough: cannot prepare the tour: %s\n",
                     qPrintable(demoError));
        return 1;
    }
    // The editor keeps its catalogue where it runs, as when started in the demo folder.
    QDir::setCurrent(scratch.path());
    Tour tour(output);
    tour.run(QDir(scratch.path()));
    QFile::remove(MainWindow::previewPath());
    return tour.ok ? 0 : 1;
}
