// SPDX-License-Identifier: MIT
#include "notebox.h"

#include <QEvent>
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
// About this many lines of details are in sight at once (QMessageBox shows
// about five).
constexpr int DetailsLinesShown = 20;

// How wide a box may be on a screen of this width: as wide as QMessageBox
// lets itself grow (no wider than the screen where that is narrow, otherwise
// 480 pixels less, and at most 1000 pixels), with room left for its frame.
int boxWidthLimit(int screenWidth)
{
    const int messageBoxLimit =
        screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
    return std::min(messageBoxLimit, screenWidth * 9 / 10);
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
    const int limit = box.screen() ? boxWidthLimit(box.screen()->availableGeometry().width()) -
                                         boxMargins.left() - boxMargins.right()
                                   : 0;
    lines.setMinimumWidth(std::clamp(widest + margins + scrollBar, DetailsMinWidth,
                                     std::max(DetailsMinWidth, limit)));
    lines.setFixedHeight(metrics.lineSpacing() * DetailsLinesShown + margins);
}

// Moves a box that has grown (its details shown) back onto its screen: it
// grows to the right and downwards from where it was centred. A box that
// fits is not moved: Qt centres it as it is shown, unless it was moved.
class KeepOnScreen : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::Resize && box->screen()) {
            const QRect screen = box->screen()->availableGeometry();
            QRect frame = box->frameGeometry();
            frame.moveRight(std::min(frame.right(), screen.right()));
            frame.moveBottom(std::min(frame.bottom(), screen.bottom()));
            const QPoint inside(std::max(frame.left(), screen.left()),
                                std::max(frame.top(), screen.top()));
            if (inside != box->frameGeometry().topLeft())
                box->move(inside);
        }
        return false;
    }
};
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
    KeepOnScreen keepOnScreen;
    box.installEventFilter(&keepOnScreen);
    box.exec();
}
