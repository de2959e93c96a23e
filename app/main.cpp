#include "app/mainwindow.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

const char* const Usage = "Usage: lathrine [FILE]\n";

} // namespace

int main(int argc, char* argv[])
{
    // Answered before the application starts: they need no window and no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("%sFILE: a material library (.mtls) to open, or a model (.mdl) to build "
                        "a new library from.\n",
                        Usage);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lathrine %s\n", LATHRINE_VERSION);
            return 0;
        }
        // Qt's own choice of window system, which QApplication takes off the list: where the
        // environment cannot carry QT_QPA_PLATFORM (Wine keeps it from Windows programs).
        if (std::strcmp(argv[i], "-platform") == 0 && i + 1 < argc) {
            ++i;
            continue;
        }
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "lathrine: unknown option %s\n%s", argv[i], Usage);
            return 2;
        }
    }
    QApplication application(argc, argv);
    MainWindow window;
    window.restoreRememberedGeometry();
    window.show();
    // A file manager starts the editor with the file to open (Exec=lathrine %f).
    window.openFiles(application.arguments().mid(1));
    return application.exec();
}
