// How the editor meets the desktop: the file it is started with, and the working file when the
// program's own folder cannot be written.
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"

#include <QStandardPaths>
#include <QtTest>

using namespace testwindow;

namespace {

// In a scratch folder that is the current directory, with lib.mtls (one material) and car.mdl
// (two).
struct Window : ScratchWindow {
    Window()
    {
        testsupport::ModelBuilder car;
        car.names({"J_Hips", "Eye_L", "Body"}).materials({1, 2}).end();
        if (!writeFile("lib.mtls", testdata::exampleBlock()) || !writeFile("car.mdl", car.build()))
            qFatal("cannot write the test files");
    }
};

// The names the program is started with, the file the window then shows ("" none) and the
// warning it gave, answered with OK. A model opens as in the working file test below.
const char* const Starts[][4] = {
    {"library", "lib.mtls", "lib.mtls", ""},
    {"several", "lib.mtls car.mdl", "lib.mtls", ""},
    {"first missing", "gone.mtls lib.mtls", "",
     "Cannot open file : No such file or directory\ngone.mtls: No such file or directory"},
    {"none", "", "", ""}};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { MainWindow::setProgramFolder({}); } // after the window has gone

    void startedWithFiles_data() { testrows::addRows(Starts); }

    void startedWithFiles()
    {
        QFETCH(int, row);
        const QString shown = Starts[row][2], warned = systemWords(Starts[row][3]);
        Window win;
        win.w.show();
        win.w.openFiles(QString(Starts[row][1]).split(' ', Qt::SkipEmptyParts));
        QCOMPARE(win.messages(), warned.isEmpty() ? "" : "Warning: " + warned);
        // Named relative to where the program was started, opened by its full name.
        QCOMPARE(win.w.current_file, shown.isEmpty() ? shown : win.path(shown));
        QCOMPARE(win.materials->rowCount(), shown == "lib.mtls" ? 1 : 2);
    }

    void workingFileWhereItCanBeWritten()
    {
        Window win;
        const QString program = win.path("program");
        MainWindow::setProgramFolder(program);
        QVERIFY(QDir().mkdir(program) && MainWindow::previewPath() == program + "/mtlsView.bin");
        // A plain file where the folder should be: no one, root included, can write into it.
        QVERIFY(QDir().rmdir(program) && writeFile(program, "installed"));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        const QString working = data + "/mtlsView.bin";
        QVERIFY(QDir(data).removeRecursively() && MainWindow::previewPath() == working);

        // Adding, replacing and a model import all go through the working file.
        win.w.openFiles({"lib.mtls"});
        call(win.w, "add_material", "Car_ALPHA", "yCS_gear::Normal");
        win.w.swap_pending = true; // on row 0
        call(win.w, "add_material", "Body_ALPHA", "yCS_skin::Normal");
        QVERIFY(win.w.current_file == working &&
                rowTexts(win.materials, 0).value(3) + rowTexts(win.materials, 1).value(3) ==
                    "Body_ALPHACar_ALPHA");
        win.w.openFiles({"car.mdl"});
        QVERIFY(win.w.current_file == working && win.materials->rowCount() == 2 &&
                readFile(program) == "installed" && win.answers.messages().isEmpty());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
