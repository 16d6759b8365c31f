// SPDX-License-Identifier: MIT
// Tests of the main window: its texts fit their widgets, and its three
// actions, with the choosers and the notes answered by the test instead of a person.
#include "filechoosers.h"
#include "mainwindow.h"
#include "notebox.h"
#include "testsupport.h"
#include "windowfont.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { FileChoosers::install(previousChoosers); }
    void choosers_data();
    void choosers();
    void generations_data();
    void generations();
    void everyTextFitsItsWidget();
    void noteBox_data();
    void noteBox();

private:
    void click(const char *button) { window->findChild<QPushButton *>(button)->click(); }
    QString field(const char *name) { return window->findChild<QTextEdit *>(name)->toPlainText(); }

    MainWindow *window = nullptr;
    QStringList answers; // what the next chooser calls return, in order
    FileChoosers previousChoosers;
};

void tst_MainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);                        // never the user's settings
    QApplication::setFont(QFont(QApplication::font().family(), 10)); // a desktop's; Windows: 9
    CDBC::setDebugLines(false);
    const auto next = [this] { return answers.isEmpty() ? QString() : answers.takeFirst(); };
    previousChoosers = FileChoosers::install(
        {[next](QWidget *, const QString &, const QString &, const QString &) { return next(); },
         [next](QWidget *, const QString &, const QString &, QFileDialog::Options) {
             return next();
         }});
}

void tst_MainWindow::choosers_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("second"); // answer to the second click, after "/first"
    QTest::addColumn<QString>("note");   // empty: the path is accepted

    const QString cjk = QStringLiteral("报"); // three bytes in UTF-8
    const QString tooLong = "Erroe: 文件路径和名称太长，超出200byte！";
    for (const QByteArray button : {"Btn_DBC_Select", "Rbt_FileDir_Select"}) {
        QTest::newRow(button + ": 200 bytes") << button << "/" + cjk.repeated(66) + "c"
                                              << "";
        QTest::newRow(button + ": 201 bytes") << button << "/" + cjk.repeated(66) + "cd" << tooLong;
        QTest::newRow(button + ": cancelled")
            << button << QString()
            << (button.startsWith("Rbt") ? "Erroe: 打开文件路径失败，请重新打开！"
                                         : "Erroe: 打开文件失败，请检查文件！");
    }
}

// A second choice after an accepted "/first": an accepted path is stored and
// shown; a refused one is shown but not stored, a cancelled one neither.
void tst_MainWindow::choosers()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, second);
    QFETCH(QString, note);
    MainWindow mainWindow;
    window = &mainWindow;
    NoteRecorder recorder;
    answers = QStringList{"/first", second};
    click(button);
    click(button);
    const bool file = button.startsWith("Btn");
    // A file keeps the dialog's forward slashes; a directory takes the
    // platform's separators (backslashes on Windows).
    const auto shown = [file](const QString &path) {
        return file ? path : QDir::toNativeSeparators(path);
    };
    QCOMPARE(recorder.notes.join(""), note);
    QCOMPARE(field(file ? "textEdit_dbc" : "textEdit_S_File"),
             shown(second.isEmpty() ? "/first" : second));
    QCOMPARE(QString::fromUtf8(file ? mainWindow.dbcFilePath : mainWindow.outputDirPath),
             shown(note.isEmpty() ? second : "/first"));
    QCOMPARE(file ? mainWindow.dbcFileChosen : mainWindow.outputDirChosen, note.isEmpty());
    window = nullptr;
}

void tst_MainWindow::generations_data()
{
    QTest::addColumn<QString>("dbc");
    QTest::addColumn<QString>("golden");
    QTest::addColumn<QString>("details"); // of each success note
    const QString vehicle = QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc");
    QTest::newRow("what the header leaves out, in the success note's details")
        << vehicle << testData("converter/vehicle.expected")
        << QString::fromUtf8(readAll(testData("window/vehicle.details"))).trimmed();
    QTest::newRow("nothing left out: the note as ever")
        << testData("converter/body_status.dbc") << testData("converter/body_status.expected")
        << "";
}

// Two presses convert twice, each on a new engine: the replaced one is
// released at once. One choice alone converts nothing; text typed into a
// field is not a choice.
void tst_MainWindow::generations()
{
    QFETCH(QString, dbc);
    QFETCH(QString, golden);
    QFETCH(QString, details);
    QTemporaryDir tmp;
    const QString outDir = tmp.filePath("输出"), start = QDir::currentPath();
    MainWindow mainWindow;
    window = &mainWindow;
    NoteRecorder recorder;
    answers = QStringList{dbc, outDir};
    click("Btn_DBC_Select");
    click("Btn_Creat_File"); // a file, but no directory yet
    click("Rbt_FileDir_Select");
    QCOMPARE(field("textEdit_dbc"), dbc);
    QCOMPARE(field("textEdit_S_File"), QDir::toNativeSeparators(outDir));
    mainWindow.findChild<QTextEdit *>("textEdit_dbc")->setPlainText("/typed/by/hand.dbc");
    click("Btn_Creat_File");
    const QPointer<CDBC> first = mainWindow.dbcEngine;
    QVERIFY(first && first->msgCnt > 0);
    click("Btn_Creat_File");
    QVERIFY(!first && mainWindow.dbcEngine);
    QCOMPARE(QDir::currentPath(), start); // restored after each generation
    QCOMPARE(recorder.notes,
             (QStringList{"Erroe: 请确认已经选择文件、路径！", "NOTE: 文件已生成，请查看！",
                          "NOTE: 文件已生成，请查看！"}));
    QCOMPARE(recorder.details, (QStringList{"", details, details}));
    QCOMPARE(readAll(outDir + "/dbc_2_struct.h"), readAll(golden));
    QVERIFY(!mainWindow.windowIcon().pixmap(256).isNull());
    window = nullptr;
}

// The window's widgets have fixed sizes: in the font the program gives the
// window, every label's and button's text must show in full.
void tst_MainWindow::everyTextFitsItsWidget()
{
    // A large platform default, as on many Linux desktops (12 points and up).
    const QFont platformFont = QApplication::font();
    QApplication::setFont(QFont(platformFont.family(), 14));
    MainWindow window;
    window.setFont(fittingWindowFont(window));
    QVERIFY2(window.font().pointSizeF() <= 9 && window.font().pointSizeF() > 6,
             qPrintable(QString::number(window.font().pointSizeF())));
    QApplication::setFont(platformFont);
    int checked = 0;
    for (QWidget *widget : window.centralWidget()->findChildren<QWidget *>()) {
        const bool button = qobject_cast<QPushButton *>(widget);
        if (!button && !qobject_cast<QLabel *>(widget))
            continue;
        // A button's frame and padding take a few pixels on every side.
        const int inset = button ? 4 : 0;
        const QSize area = widget->contentsRect().adjusted(inset, inset, -inset, -inset).size();
        const QFontMetrics metrics = widget->fontMetrics();
        QVERIFY2(metrics.horizontalAdvance(widget->property("text").toString()) <= area.width() &&
                     metrics.height() <= area.height(),
                 qPrintable(widget->objectName() + " cuts its text off"));
        ++checked;
    }
    QCOMPARE(checked, 6);
}

void tst_MainWindow::noteBox_data()
{
    QTest::addColumn<QString>("dbc"); // the details are its findings
    QTest::newRow("nothing to report: QMessageBox::about") << testData("converter/body_status.dbc");
    QTest::newRow("81 findings, long names") << QUARVEL_CORPUS_DIR "/gwm_haval_h6_phev_2024.dbc";
}

// The box stays until closed. Its details: many unwrapped lines in sight, each
// finding's message and signal without scrolling, the grown box on the screen.
void tst_MainWindow::noteBox()
{
    QFETCH(QString, dbc);
    CDBC engine;
    if (!QFile::exists(dbc))
        QSKIP(qPrintable(dbc + " is absent"));
    QVERIFY(engine.loadDbc(dbc));
    const QString details = CDBC::findingsDetails(dbc, engine.findings()).join('\n');
    QStringList seen;
    QTimer::singleShot(0, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen << box->text() << box->detailedText() << QString::number(box->standardButtons());
        box->move(box->screen()->availableGeometry().right() - box->width(), 0); // at the edge
        for (QAbstractButton *button : box->buttons())
            if (box->buttonRole(button) == QMessageBox::ActionRole)
                button->click(); // "Show Details..."
        if (auto *lines = box->findChild<QTextEdit *>()) {
            const QFontMetrics metrics(lines->font());
            const QRect area = lines->viewport()->rect();
            if (lines->lineWrapMode() != QTextEdit::NoWrap ||
                area.height() < 15 * metrics.lineSpacing() ||
                !box->screen()->availableGeometry().contains(box->frameGeometry()))
                seen << "wrapped, under 15 lines in sight, or partly off the screen";
            const QRegularExpression start("^line \\d+: message \\S+: signal \\S+");
            for (const QString &line : box->detailedText().split('\n'))
                if (metrics.horizontalAdvance(start.match(line).captured()) > area.width())
                    seen << "cut: " + line;
        }
        box->button(QMessageBox::Ok)->click();
    });
    showNote("NOTE", "文件已生成，请查看！", details);
    QCOMPARE(seen,
             (QStringList{"文件已生成，请查看！", details, QString::number(QMessageBox::Ok)}));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
