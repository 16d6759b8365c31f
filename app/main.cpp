#include "mainwindow.h"
#include "windowfont.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
#ifndef Q_OS_WIN
    // The fixed geometry was laid out for Windows' 9-point font; elsewhere the
    // default font can be larger and cut the texts off.
    window.setFont(fittingWindowFont(window));
#endif
    window.show();
    return app.exec();
}
