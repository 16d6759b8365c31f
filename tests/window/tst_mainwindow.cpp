#include "mainwindow.h"
#include "windowfont.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

// The window's widgets have fixed sizes: in the font the program gives the
// window, every label's and button's text must show in full.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void everyTextFitsItsWidget();
};

void tst_MainWindow::everyTextFitsItsWidget()
{
    MainWindow window;
#ifndef Q_OS_WIN
    window.setFont(fittingWindowFont(window));
    QVERIFY(window.font().pointSizeF() <= 9);
#endif
    QList<QPair<QWidget *, QString>> texts;
    for (QLabel *label : window.findChildren<QLabel *>())
        texts.append({label, label->text()});
    for (QPushButton *button : window.findChildren<QPushButton *>())
        texts.append({button, button->text()});
    QCOMPARE(texts.size(), 6);

    for (const auto &[widget, text] : texts) {
        // A button's frame and padding take a few pixels on every side.
        const int inset = qobject_cast<QPushButton *>(widget) ? 4 : 0;
        const QSize area = widget->contentsRect().adjusted(inset, inset, -inset, -inset).size();
        const QFontMetrics metrics = widget->fontMetrics();
        const QSize needed(metrics.horizontalAdvance(text), metrics.height());
        QVERIFY2(needed.width() <= area.width() && needed.height() <= area.height(),
                 qPrintable(QString("%1 \"%2\" needs %3x%4 pixels, has %5x%6")
                                .arg(widget->objectName(), text)
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(area.width())
                                .arg(area.height())));
    }
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
