#include "debuglog.h"
#include "mainwindow.h"
#include "windowfont.h"
#include <quarvel/cdbc.h>

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The engine's notes are message boxes without a parent window; its many
    // debug lines are written in large pieces.
    CDBC::setNotifier([](const QString &title, const QString &text) {
        QMessageBox::about(nullptr, title, text);
    });
    DebugLog::install();
    MainWindow window;
#ifndef Q_OS_WIN
    // The fixed geometry was laid out for Windows' 9-point font; elsewhere the
    // default font can be larger and cut the texts off.
    window.setFont(fittingWindowFont(window));
#endif
    window.show();
    return app.exec();
}
