// SPDX-License-Identifier: MIT
#include "notebox.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QIcon>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QtMath>

#include <algorithm>

namespace
{
// The details are no narrower than they were before they were fitted to
// their lines, where the box can be that wide.
constexpr int DetailsMinWidth = 640;
// This many lines of details are in sight at once (QMessageBox shows about
// five), where the screen is tall enough.
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

// As wide as the widest line, at least DetailsMinWidth, but no wider than
// the box can be: QMessageBox cuts off what is wider. As tall as
// DetailsLinesShown lines, but no taller than two thirds of the screen.
void fitDetails(QMessageBox &box, QTextEdit &lines, const QString &details)
{
    const QFontMetrics metrics(lines.font());
    int widest = 0;
    for (const QString &line : details.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margins = 2 * (lines.frameWidth() + int(lines.document()->documentMargin()));
    const int scrollBar = lines.verticalScrollBar()->sizeHint().width();
    const QMargins boxMargins = box.layout()->contentsMargins();
    const QRect screen = box.screen() ? box.screen()->availableGeometry() : QRect();
    const int widthLimit =
        screen.isEmpty() ? DetailsMinWidth
                         : boxWidthLimit(screen.width()) - boxMargins.left() - boxMargins.right();
    lines.setMinimumWidth(
        std::min(std::max(widest + margins + scrollBar, DetailsMinWidth), widthLimit));
    // A line of the details takes the height of its block, a little more
    // than the font's line spacing; below them, the scroll bar for long ones.
    const QTextDocument &text = *lines.document();
    const qreal lineHeight = text.documentLayout()->blockBoundingRect(text.firstBlock()).height();
    const int height = qCeil(lineHeight * DetailsLinesShown) + margins +
                       lines.horizontalScrollBar()->sizeHint().height();
    lines.setFixedHeight(screen.isEmpty() ? height : std::min(height, screen.height() * 2 / 3));
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
