#include "mainwindow.h"

#include <QLabel>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void windowFrame();
    void widgets_data();
    void widgets();
    void focusChain();
    void fixedPositionsAfterResize();
    void slotsWiredByName_data();
    void slotsWiredByName();
};

void tst_MainWindow::windowFrame()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.windowTitle(), QString("Quarvel R_V1.1"));
    QCOMPARE(window.size(), QSize(755, 278));
    QCOMPARE(window.minimumSize(), QSize(0, 0));
    QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QCOMPARE(window.centralWidget()->objectName(), QString("centralWidget"));
    QCOMPARE(window.findChildren<QMenuBar *>().size() + window.findChildren<QToolBar *>().size() +
                 window.findChildren<QStatusBar *>().size(),
             0);
}

void tst_MainWindow::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text"); // text edits start empty
    QTest::addColumn<bool>("autoDefault");

    const auto row = [](const char *name, const char *className, QRect geometry, const char *text,
                        bool autoDefault = false) {
        QTest::newRow(name) << className << geometry << QString::fromUtf8(text) << autoDefault;
    };
    row("label_DBC", "QLabel", QRect(30, 60, 41, 16), "导入DBC");
    row("textEdit_dbc", "QTextEdit", QRect(110, 50, 521, 31), "");
    row("Btn_DBC_Select", "QPushButton", QRect(640, 50, 81, 31), "浏览", true);
    row("label_S_File", "QLabel", QRect(30, 120, 71, 31), "生成文件路径");
    row("textEdit_S_File", "QTextEdit", QRect(110, 120, 521, 31), "");
    // Outside a dialog a push button is not auto-default unless set so.
    row("Rbt_FileDir_Select", "QPushButton", QRect(640, 120, 81, 31), "浏览");
    row("Btn_Creat_File", "QPushButton", QRect(520, 170, 111, 41), "生成文件");
    row("label_S_File_2", "QLabel", QRect(110, 170, 241, 16),
        "*默认生成文件名称为“dbc_2_struct.h”");
}

void tst_MainWindow::widgets()
{
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, autoDefault);

    MainWindow window;
    QWidget *widget = window.findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(widget);
    QCOMPARE(widget->metaObject()->className(), qPrintable(className));
    QCOMPARE(widget->parentWidget(), window.centralWidget());
    QCOMPARE(widget->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    else if (auto *edit = qobject_cast<QTextEdit *>(widget))
        QCOMPARE(edit->toPlainText(), text);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QCOMPARE(button->autoDefault(), autoDefault);
    }
}

void tst_MainWindow::focusChain()
{
    MainWindow window;
    QStringList chain;
    QWidget *w = window.centralWidget();
    do {
        w = w->nextInFocusChain();
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty()) // not the viewports
            chain << w->objectName();
    } while (w != window.centralWidget() && chain.size() < 20);
    QCOMPARE(chain, (QStringList{"textEdit_dbc", "Btn_DBC_Select", "textEdit_S_File",
                                 "Rbt_FileDir_Select", "Btn_Creat_File"}));
}

// No layout: the widgets keep their places whatever the window's size.
void tst_MainWindow::fixedPositionsAfterResize()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QList<QWidget *> children =
        window.centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), 8);
    QVector<QRect> before;
    for (QWidget *w : children)
        before << w->geometry();
    for (const QSize &size : {QSize(1200, 700), QSize(300, 150)}) {
        window.resize(size);
        QCoreApplication::processEvents();
        for (int i = 0; i < children.size(); ++i)
            QCOMPARE(children[i]->geometry(), before[i]);
    }
}

void tst_MainWindow::slotsWiredByName_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("Btn_DBC_Select") << 0;
    QTest::newRow("Rbt_FileDir_Select") << 1;
    QTest::newRow("Btn_Creat_File") << 2;
}

// The window's meta-object holds exactly the three private button slots, and
// each button's clicked() reaches its slot through connectSlotsByName (a
// disconnect reports true only for a connection that was there).
void tst_MainWindow::slotsWiredByName()
{
    QFETCH(int, index);
    const QMetaObject &mo = MainWindow::staticMetaObject;
    QVERIFY(mo.superClass() == &QMainWindow::staticMetaObject);
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 3);
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);
    const QByteArray button = QTest::currentDataTag();
    const QMetaMethod m = mo.method(mo.methodOffset() + index);
    QCOMPARE(m.methodSignature(), "on_" + button + "_clicked()");
    QCOMPARE(m.methodType(), QMetaMethod::Slot);
    QCOMPARE(m.access(), QMetaMethod::Private);

    MainWindow window;
    QVERIFY(window.qt_metacast("MainWindow") == &window);
    QVERIFY(window.qt_metacast("CDBC") == nullptr);
    auto *b = window.findChild<QPushButton *>(button);
    QVERIFY(b);
    const QByteArray slot = "1" + m.methodSignature(); // SLOT() form
    QVERIFY(QObject::disconnect(b, SIGNAL(clicked()), &window, slot.constData()));
    QVERIFY(!QObject::disconnect(b, SIGNAL(clicked()), &window, slot.constData()));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
