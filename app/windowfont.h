// SPDX-License-Identifier: MIT
#ifndef WINDOWFONT_H
#define WINDOWFONT_H

#include <QFont>

class QWidget;

// The window's widgets have fixed sizes, laid out for a 9-point font. Where the
// platform's default font is larger, or its glyphs are wider, the texts of the
// labels and buttons would be cut off.
//
// Returns the font of `window` at 9 points (on Windows: at its own size where
// that is smaller), or at the largest size below that,
// in steps of half a point, at which the text of every QLabel and QPushButton
// in `window` fits the widget's text area in width and height. The search stops
// at 6 points: that size is returned even if some text still does not fit.
QFont fittingWindowFont(const QWidget &window);

#endif // WINDOWFONT_H
