// Takes the pictures of the README's first-run tour: the demo files are written into a
// scratch folder (under Characters/, so that the status line names no folder of the machine)
// and the real window is clicked through each step, as a user would.
//   lathrine_walkthrough [OUTPUT_FOLDER]     (default: docs/walkthrough)
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "support/gui/modalanswerer.h"
#include "tools/demofiles.h"
#include "tools/desktoplook.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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

    // Clicks `button`, types `name` into the dialog that comes and presses OK; `picture` is
    // taken before the typing or after it.
    void dialog(QWidget* button, const QString& name, const char* picture, bool typedFirst)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        if (!typedFirst)
            take(window.dialog, picture);
        auto* edit = window.dialog->findChild<QLineEdit*>("lineEdit");
        edit->selectAll();
        QTest::keyClicks(edit, name);
        if (typedFirst)
            take(window.dialog, picture);
        QTest::mouseClick(window.dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }

    void run(const QDir& demo)
    {
        window.resize(1920, 1000); // a full-HD desktop's width: a row from its number to its last texture
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            ok = false;

        answers.expectFileDialog(demo.filePath("demo.mtls"));
        QTest::mouseClick(window.ui->MTL_Button_0, Qt::LeftButton);
        take(&window, "01-open-library");
        take(&window, "02-parameters", true);

        dialog(window.ui->pushButton, "Cap_ALPHA", "03-add-dialog", true);
        take(&window, "04-material-added");

        dialog(materials->cellWidget(1, 1), "hero_trunks", "05-modify-dialog", false);
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
    desktoplook::prepare();
    QApplication application(argc, argv);
    desktoplook::apply();
    const QString output =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/walkthrough"))
            .absolutePath();
    QTemporaryDir scratch;
    // The user's folders (catalogue, settings) are the scratch folder's: every tour starts new.
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath("config")));
    const QString demoFolder = scratch.filePath(QStringLiteral("Characters/demo"));
    const QString demoError = demo::writeDemoFiles(demoFolder);
    if (!scratch.isValid() || !demoError.isEmpty() || !QDir().mkpath(output)) {
        std::fprintf(stderr, "lathrine_walkthrough: cannot prepare the tour: %s\n",
                     qPrintable(demoError));
        return 1;
    }
    // The editor keeps its catalogue where it runs, as when started in the demo folder.
    QDir::setCurrent(demoFolder);
    Tour tour(output);
    tour.run(QDir(demoFolder));
    QFile::remove(MainWindow::previewPath());
    return tour.ok ? 0 : 1;
}
