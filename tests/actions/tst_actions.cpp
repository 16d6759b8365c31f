// Tests of the window's three actions, with the choosers and the notes
// answered by the test instead of a person.
#include "filechoosers.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

class tst_Actions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { FileChoosers::install(previousChoosers); }
    void choosers_data();
    void choosers();
    void generations();

private:
    void click(const char *button) { window->findChild<QPushButton *>(button)->click(); }
    QString field(const char *name) { return window->findChild<QTextEdit *>(name)->toPlainText(); }

    MainWindow *window = nullptr;
    QStringList answers; // what the next chooser calls return, in order
    FileChoosers previousChoosers;
};

void tst_Actions::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true); // never the user's settings
    const auto next = [this] { return answers.isEmpty() ? QString() : answers.takeFirst(); };
    previousChoosers = FileChoosers::install(
        {[next](QWidget *, const QString &, const QString &, const QString &) { return next(); },
         [next](QWidget *, const QString &, const QString &, QFileDialog::Options) {
             return next();
         }});
}

void tst_Actions::choosers_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("second"); // answer to the second click, after "/first"
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("notes");

    const QString cjk = QStringLiteral("报"), first = "/first"; // three bytes in UTF-8
    const QString bytes200 = "/" + cjk.repeated(66) + "c", bytes201 = "/" + cjk.repeated(66) + "cd";
    const QString tooLong = "Erroe: 文件路径和名称太长，超出200byte！";
    for (const QByteArray button : {"Btn_DBC_Select", "Rbt_FileDir_Select"}) {
        const bool dir = button.startsWith("Rbt");
        QTest::newRow(button + ": 200 bytes")
            << button << bytes200 << bytes200 << bytes200 << QStringList();
        QTest::newRow(button + ": 201 bytes")
            << button << bytes201 << "" << bytes201 << QStringList{tooLong};
        QTest::newRow(button + ": cancelled")
            << button << QString() << "" << first
            << QStringList{dir ? "Erroe: 打开文件路径失败，请重新打开！"
                               : "Erroe: 打开文件失败，请检查文件！"};
    }
}

// A second choice after an accepted "/first": the path is stored (empty: not
// accepted, the earlier path stays) and shown; the bound counts UTF-8 bytes.
void tst_Actions::choosers()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, second);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QStringList, notes);
    MainWindow mainWindow;
    window = &mainWindow;
    NoteRecorder recorder;
    answers = QStringList{"/first", second};
    click(button);
    click(button);
    QCOMPARE(recorder.notes, notes);
    QCOMPARE(field(button.startsWith("Btn") ? "textEdit_dbc" : "textEdit_S_File"), shown);
    const bool file = button.startsWith("Btn");
    QCOMPARE(QString::fromUtf8(file ? mainWindow.dbcFilePath : mainWindow.outputDirPath),
             stored.isEmpty() ? "/first" : stored);
    QCOMPARE(file ? mainWindow.dbcFileChosen : mainWindow.outputDirChosen, !stored.isEmpty());
    window = nullptr;
}

// Two presses convert twice, each on a new engine: the replaced one is
// released at once. Text typed into a field is not a choice.
void tst_Actions::generations()
{
    QTemporaryDir tmp;
    const QString outDir = tmp.filePath("输出");
    MainWindow mainWindow;
    window = &mainWindow;
    NoteRecorder recorder;
    click("Btn_Creat_File");
    answers = QStringList{QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"), outDir};
    click("Btn_DBC_Select");
    click("Rbt_FileDir_Select");
    mainWindow.findChild<QTextEdit *>("textEdit_dbc")->setPlainText("/typed/by/hand.dbc");
    click("Btn_Creat_File");
    const QPointer<CDBC> first = mainWindow.dbcEngine;
    QVERIFY(first && first->msgCnt == 7);
    click("Btn_Creat_File");
    QVERIFY(!first && mainWindow.dbcEngine);
    QCOMPARE(recorder.notes,
             (QStringList{"Erroe: 请确认已经选择文件、路径！", "NOTE: 文件已生成，请查看！",
                          "NOTE: 文件已生成，请查看！"}));
    QCOMPARE(readAll(outDir + "/dbc_2_struct.h"), readAll(testData("converter/vehicle.expected")));
    window = nullptr;
}

QTEST_MAIN(tst_Actions)
#include "tst_actions.moc"
