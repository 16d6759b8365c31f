// SPDX-License-Identifier: MIT
#ifndef NOTEBOX_H
#define NOTEBOX_H

#include <QString>

// Shows one of the engine's notes as a message box without a parent window
// and returns when the user has closed it. A note without details is the
// box of QMessageBox::about; one with details (what the header leaves out)
// is the same box with the details behind its "Show Details..." button,
// one finding a line, unwrapped, in an area tall and wide enough to read
// each line's beginning without scrolling.
void showNote(const QString &title, const QString &text, const QString &details);

#endif // NOTEBOX_H
