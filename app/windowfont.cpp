// SPDX-License-Identifier: MIT
#include "windowfont.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <vector>

namespace
{

constexpr qreal DesignedPointSize = 9.0;
constexpr qreal SmallestPointSize = 6.0;
constexpr qreal Step = 0.5;

struct TextBox {
    QString text;
    QSize area; // where the widget draws the text
};

// The rectangle a push button draws its label in: the button less its frame
// and default indicator, as its style lays it out.
QSize pushButtonTextArea(const QPushButton &button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    if (button.isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    if (button.autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).size();
}

std::vector<TextBox> textBoxes(const QWidget &window)
{
    std::vector<TextBox> boxes;
    for (const QLabel *label : window.findChildren<QLabel *>())
        boxes.push_back({label->text(), label->contentsRect().size()});
    for (const QPushButton *button : window.findChildren<QPushButton *>())
        boxes.push_back({button->text(), pushButtonTextArea(*button)});
    return boxes;
}

bool allFit(const std::vector<TextBox> &boxes, const QFont &font)
{
    const QFontMetrics metrics(font);
    for (const TextBox &box : boxes) {
        if (metrics.horizontalAdvance(box.text) > box.area.width() ||
            metrics.height() > box.area.height())
            return false;
    }
    return true;
}

} // namespace

QFont fittingWindowFont(const QWidget &window)
{
    const std::vector<TextBox> boxes = textBoxes(window);
    QFont font = window.font();
    qreal largest = DesignedPointSize;
#ifdef Q_OS_WIN
    // Windows' own font is what the window was laid out for: it is kept
    // where it fits, and never made larger.
    if (font.pointSizeF() > 0)
        largest = qMin(largest, font.pointSizeF());
#endif
    for (qreal size = largest; size > SmallestPointSize; size -= Step) {
        font.setPointSizeF(size);
        if (allFit(boxes, font))
            return font;
    }
    font.setPointSizeF(SmallestPointSize);
    return font;
}
