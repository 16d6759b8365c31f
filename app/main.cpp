// SPDX-License-Identifier: MIT
#include "debuglog.h"
#include "mainwindow.h"
#include "notebox.h"
#include "windowfont.h"
#include <quarvel/cdbc.h>

#include <QApplication>

int main(int argc, char *argv[])
{
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // On a scaled Windows display (125 %, 150 %) Qt 5 scales the fonts but not
    // the window's fixed geometry, so the texts overflow their widgets; Qt 6
    // scales both. The Qt 5 build scales as Qt 6 does: the whole window, by
    // the display's own fractional factor (at 144 DPI, 150 %). Elsewhere
    // scaling is left to the desktop's settings and the fitted font below.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    QApplication app(argc, argv);
    // The engine's notes are message boxes without a parent window; its many
    // debug lines are written in large pieces.
    CDBC::setNotifier(showNote);
    DebugLog::install();
    MainWindow window;
    // The fixed geometry was laid out for Windows' 9-point font; a larger
    // default font, or a wider substitute of it, would cut the texts off.
    window.setFont(fittingWindowFont(window));
    window.show();
    return app.exec();
}
