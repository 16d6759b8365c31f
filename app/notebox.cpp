// SPDX-License-Identifier: MIT
#include "notebox.h"

#include <QIcon>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>

#include <algorithm>

namespace
{
// Today's width of the details: the short note's box is no narrower.
constexpr int DetailsMinWidth = 640;
// Lines of details in sight at once (QMessageBox shows about five).
constexpr int DetailsLinesShown = 20;

// How wide QMessageBox lets itself grow on a screen of this width: no wider
// than the screen where that is narrow, otherwise 480 pixels less, and at
// most 1000 pixels (the limit of its own size calculation).
int messageBoxWidthLimit(int screenWidth)
{
    return screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
}

// As wide as the widest line, between DetailsMinWidth and what the box can
// hold; as tall as DetailsLinesShown lines.
void fitDetails(QMessageBox &box, QTextEdit &lines, const QString &details)
{
    const QFontMetrics metrics(lines.font());
    int widest = 0;
    for (const QString &line : details.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margins = 2 * (lines.frameWidth() + int(lines.document()->documentMargin()));
    const int scrollBar = lines.verticalScrollBar()->sizeHint().width();
    const QMargins boxMargins = box.layout()->contentsMargins();
    const int limit = box.screen()
                          ? messageBoxWidthLimit(box.screen()->availableGeometry().width()) -
                                boxMargins.left() - boxMargins.right()
                          : 0;
    lines.setMinimumWidth(std::clamp(widest + margins + scrollBar, DetailsMinWidth,
                                     std::max(DetailsMinWidth, limit)));
    lines.setFixedHeight(metrics.lineSpacing() * DetailsLinesShown + margins);
}
} // namespace

void showNote(const QString &title, const QString &text, const QString &details)
{
    if (details.isEmpty()) {
        QMessageBox::about(nullptr, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok);
    // The icon of QMessageBox::about, so that the box itself looks the same.
    const QIcon icon = box.windowIcon();
    box.setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
    box.setDetailedText(details);
    // The details are compiler-style lines: shown whole, one below the other,
    // not wrapped into the width of the short note.
    if (QTextEdit *lines = box.findChild<QTextEdit *>()) {
        lines->setLineWrapMode(QTextEdit::NoWrap);
        fitDetails(box, *lines, details);
    }
    box.exec();
}
