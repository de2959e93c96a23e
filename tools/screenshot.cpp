// Takes the documentation's pictures of the whole window at its first size, each from the demo
// files in a scratch folder of its own, whose name shows nowhere:
//   screenshot.png          demo.mtls open, as a first run shows it
//   installed-readonly.png  an editor whose own folder cannot be written, started as
//                           `lathrine demo.mtls`, after adding Car_ALPHA
//   lathrine_screenshot [OUTPUT_FOLDER]     (default: docs)
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "tools/demofiles.h"
#include "tools/desktoplook.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

namespace {

bool settleAndSave(MainWindow& window, const QString& path)
{
    for (int round = 0; round < 5; ++round)
        QApplication::processEvents();
    if (window.grab().save(path, "PNG"))
        return true;
    std::fprintf(stderr, "lathrine_screenshot: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    desktoplook::prepare();
    // The working file of an install goes to the data folder: here, one in the scratch folder.
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath("config"))); // no recent files
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lathrine"));
    desktoplook::apply();
    const QDir output(
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs")).absolutePath());
    // Under Characters/ the status line names the folder from there on, the same everywhere.
    const QString demoFolder = scratch.filePath(QStringLiteral("Characters/demo"));
    const QString error = demo::writeDemoFiles(demoFolder);
    if (!scratch.isValid() || !error.isEmpty() || !QDir().mkpath(output.absolutePath())) {
        std::fprintf(stderr, "lathrine_screenshot: cannot prepare the pictures: %s\n",
                     qPrintable(error));
        return 1;
    }
    QDir::setCurrent(demoFolder); // the catalogue stays in the scratch folder
    bool ok = true;
    {
        MainWindow window;
        window.show();
        window.openFiles({QString::fromLatin1(demo::LibraryFileName)});
        ok = settleAndSave(window, output.filePath(QStringLiteral("screenshot.png"))) && ok;
        delete window.dialog;
    }
    {
        // A plain file where the program's folder would be: nothing can be written there.
        const QString program = scratch.filePath(QStringLiteral("usr-bin"));
        QFile plain(program);
        ok = plain.open(QIODevice::WriteOnly) && ok;
        MainWindow::setProgramFolder(program);
        MainWindow window;
        window.show();
        window.openFiles({QString::fromLatin1(demo::LibraryFileName)});
        QMetaObject::invokeMethod(&window, "add_material", Q_ARG(QString, "Car_ALPHA"),
                                  Q_ARG(QString, "yCS_gear::Normal"));
        ok = MainWindow::previewPath().startsWith(scratch.filePath(QStringLiteral("data"))) && ok;
        ok = settleAndSave(window, output.filePath(QStringLiteral("installed-readonly.png"))) && ok;
        delete window.dialog;
    }
    return ok ? 0 : 1;
}
