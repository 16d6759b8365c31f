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
    void autoDefault();
    void focusChain();
    void fixedPositionsAfterResize();
    void fieldsStartEmpty();
    void metaObject();
    void slotsWiredByName_data();
    void slotsWiredByName();
};

void tst_MainWindow::windowFrame()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.windowTitle(), QString("Quarvel R_V1.1"));
    QCOMPARE(window.size(), QSize(755, 278));
    QVERIFY(window.isEnabled());
    QVERIFY(window.centralWidget() != nullptr);
    QCOMPARE(window.centralWidget()->objectName(), QString("centralWidget"));
    QCOMPARE(window.findChildren<QMenuBar *>().size(), 0);
    QCOMPARE(window.findChildren<QToolBar *>().size(), 0);
    QCOMPARE(window.findChildren<QStatusBar *>().size(), 0);
    QCOMPARE(window.minimumSize(), QSize(0, 0));
    QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

void tst_MainWindow::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("label_DBC") << "label_DBC" << "QLabel" << QRect(30, 60, 41, 16)
                               << QString::fromUtf8("导入DBC");
    QTest::newRow("textEdit_dbc") << "textEdit_dbc" << "QTextEdit" << QRect(110, 50, 521, 31)
                                  << QString();
    QTest::newRow("Btn_DBC_Select") << "Btn_DBC_Select" << "QPushButton" << QRect(640, 50, 81, 31)
                                    << QString::fromUtf8("浏览");
    QTest::newRow("label_S_File") << "label_S_File" << "QLabel" << QRect(30, 120, 71, 31)
                                  << QString::fromUtf8("生成文件路径");
    QTest::newRow("textEdit_S_File") << "textEdit_S_File" << "QTextEdit"
                                     << QRect(110, 120, 521, 31) << QString();
    QTest::newRow("Rbt_FileDir_Select") << "Rbt_FileDir_Select" << "QPushButton"
                                        << QRect(640, 120, 81, 31) << QString::fromUtf8("浏览");
    QTest::newRow("Btn_Creat_File") << "Btn_Creat_File" << "QPushButton"
                                    << QRect(520, 170, 111, 41) << QString::fromUtf8("生成文件");
    QTest::newRow("label_S_File_2") << "label_S_File_2" << "QLabel" << QRect(110, 170, 241, 16)
                                    << QString::fromUtf8("*默认生成文件名称为“dbc_2_struct.h”");
}

void tst_MainWindow::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    MainWindow window;
    QWidget *widget = window.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->metaObject()->className(), qPrintable(className));
    QCOMPARE(widget->parentWidget(), window.centralWidget());
    QCOMPARE(widget->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    else if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    else
        QCOMPARE(qobject_cast<QTextEdit *>(widget)->toPlainText(), text);
}

void tst_MainWindow::autoDefault()
{
    MainWindow window;
    QVERIFY(window.findChild<QPushButton *>("Btn_DBC_Select")->autoDefault());
    // Outside a dialog a push button is not auto-default unless set so.
    QVERIFY(!window.findChild<QPushButton *>("Rbt_FileDir_Select")->autoDefault());
    QVERIFY(!window.findChild<QPushButton *>("Btn_Creat_File")->autoDefault());
}

void tst_MainWindow::focusChain()
{
    MainWindow window;
    QStringList chain;
    QWidget *w = window.centralWidget();
    do {
        w = w->nextInFocusChain();
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w->objectName();
    } while (w != window.centralWidget() && chain.size() < 20);
    // The viewports of the text edits are not focus targets of their own.
    chain.removeAll(QString());
    QCOMPARE(chain, (QStringList{"textEdit_dbc", "Btn_DBC_Select", "textEdit_S_File",
                                 "Rbt_FileDir_Select", "Btn_Creat_File"}));
}

void tst_MainWindow::fixedPositionsAfterResize()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QHash<QString, QRect> before;
    for (QWidget *w : window.centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        before.insert(w->objectName(), w->geometry());
    QCOMPARE(before.size(), 8);

    for (const QSize &size : {QSize(1200, 700), QSize(300, 150)}) {
        window.resize(size);
        QCoreApplication::processEvents();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(window.findChild<QWidget *>(it.key())->geometry(), it.value());
    }
}

void tst_MainWindow::fieldsStartEmpty()
{
    MainWindow window;
    QVERIFY(window.findChild<QTextEdit *>("textEdit_dbc")->toPlainText().isEmpty());
    QVERIFY(window.findChild<QTextEdit *>("textEdit_S_File")->toPlainText().isEmpty());
}

void tst_MainWindow::metaObject()
{
    const QMetaObject &mo = MainWindow::staticMetaObject;
    QCOMPARE(mo.className(), "MainWindow");
    QVERIFY(mo.superClass() == &QMainWindow::staticMetaObject);
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);

    const QList<QByteArray> expected{"on_Btn_DBC_Select_clicked()",
                                     "on_Rbt_FileDir_Select_clicked()",
                                     "on_Btn_Creat_File_clicked()"};
    QCOMPARE(mo.methodCount() - mo.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(m.methodSignature(), expected.at(i));
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.parameterCount(), 0);
    }

    MainWindow window;
    QVERIFY(window.qt_metacast("MainWindow") == &window);
    QVERIFY(window.qt_metacast("QMainWindow") != nullptr);
    QVERIFY(window.qt_metacast("CDBC") == nullptr);
}

void tst_MainWindow::slotsWiredByName_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Btn_DBC_Select") << "Btn_DBC_Select";
    QTest::newRow("Rbt_FileDir_Select") << "Rbt_FileDir_Select";
    QTest::newRow("Btn_Creat_File") << "Btn_Creat_File";
}

// Each button's clicked() reaches its slot through connectSlotsByName: the
// exact connection from the button to the window's slot exists (disconnect
// reports true only for a connection that was there).
void tst_MainWindow::slotsWiredByName()
{
    QFETCH(QString, button);
    MainWindow window;
    auto *b = window.findChild<QPushButton *>(button);
    QVERIFY(b);
    const QByteArray slot = "1on_" + button.toLatin1() + "_clicked()"; // SLOT() form
    QVERIFY(QObject::disconnect(b, SIGNAL(clicked()), &window, slot.constData()));
    QVERIFY(!QObject::disconnect(b, SIGNAL(clicked()), &window, slot.constData()));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
