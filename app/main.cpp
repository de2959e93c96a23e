#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    // A file manager starts the editor with the file to open (Exec=lathrine %f); nothing
    // else on the command line means anything to it.
    window.openFiles(application.arguments().mid(1));
    return application.exec();
}
