// SPDX-License-Identifier: MIT
#include "debuglog.h"
#include "mainwindow.h"
#include "windowfont.h"
#include <quarvel/cdbc.h>

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // On a scaled Windows display (125 %, 150 %) Qt 5 scales the fonts but not
    // the window's fixed geometry, so the texts overflow their widgets; Qt 6
    // scales both. The Qt 5 build scales as Qt 6 does: the whole window, by
    // the display's own fractional factor. This cannot be tested here: the
    // project is built and tested on Linux, where scaling is left to the
    // desktop's settings and the fitted font below.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
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
