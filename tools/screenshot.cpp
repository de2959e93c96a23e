// Renders the main window, optionally with a library loaded, to a PNG: a picture for the
// documentation and a quick look at the styling without a desktop.
//   lathrine_screenshot [FILE_TO_OPEN|""] [OUTPUT_PNG]
#include "app/mainwindow.h"
#include "authoring/dialog.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString input = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString output =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("docs/screenshot.png");

    MainWindow window;
    if (!input.isEmpty())
        QMetaObject::invokeMethod(&window, "open_mtl", Q_ARG(QString, input));
    window.show();
    for (int round = 0; round < 5; ++round)
        QApplication::processEvents();

    const bool saved = window.grab().save(output, "PNG");
    delete window.dialog;
    if (!saved) {
        std::fprintf(stderr, "lathrine_screenshot: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
