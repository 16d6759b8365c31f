#include "cdbc.h"
#include "filechoosers.h"
#include "mainwindow.h"
#include "testfiles.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

namespace
{

using Note = QPair<QString, QString>;
using Notes = QList<Note>;

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

const Note Written{"NOTE", u8("文件已生成，请查看！")};

Note error(const char *text)
{
    return {"Erroe", u8(text)};
}

enum Outcome { Accepted, Cancelled, Refused };

QString take(QStringList &answers)
{
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class tst_Actions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        CDBC::setNotifier(previousNotifier);
        FileChoosers::install(previousChoosers);
    }
    void init()
    {
        notes.clear();
        fileAnswers.clear();
        dirAnswers.clear();
    }
    void cleanup() { QDir::setCurrent(startDir); }

    void chooserStates_data();
    void chooserStates();
    void missingChoice_data();
    void missingChoice();
    void generations();
    void realDialogsAndBoxes();

private:
    static void click(MainWindow &window, const char *button)
    {
        window.findChild<QPushButton *>(button)->click();
    }
    static QTextEdit *field(MainWindow &window, const char *name)
    {
        return window.findChild<QTextEdit *>(name);
    }
    static QString fixture() { return QStringLiteral(QUARVEL_TEST_DATA "/actions/body.dbc"); }

    Notes notes;
    QStringList fileAnswers;
    QStringList dirAnswers;
    CDBC::Notifier previousNotifier;
    FileChoosers previousChoosers;
    QString startDir;
};

void tst_Actions::initTestCase()
{
    previousNotifier = CDBC::setNotifier([this](const QString &title, const QString &text) {
        notes << Note{title, text};
    });
    previousChoosers =
        FileChoosers::install({[this](QWidget *, const QString &, const QString &,
                                      const QString &) { return take(fileAnswers); },
                               [this](QWidget *, const QString &, const QString &,
                                      QFileDialog::Options) { return take(dirAnswers); }});
    startDir = QDir::currentPath();
}

// A second click on one chooser after an accepted first one. The bound counts
// UTF-8 bytes, not characters.
void tst_Actions::chooserStates_data()
{
    QTest::addColumn<bool>("dirChooser");
    QTest::addColumn<QString>("second");
    QTest::addColumn<Outcome>("outcome");

    const QString cjk = u8("报"); // three bytes in UTF-8
    for (bool dir : {false, true}) {
        const QByteArray who = dir ? "directory, " : "file, ";
        QTest::newRow(who + "66 CJK + 2 ASCII, 200 bytes")
            << dir << "/" + cjk.repeated(66) + "c" << Accepted;
        QTest::newRow(who + "cancelled") << dir << QString() << Cancelled;
        QTest::newRow(who + "60 CJK + 21 ASCII, 201 bytes")
            << dir << "/" + QString(20, 'b') + cjk.repeated(60) << Refused;
    }
}

void tst_Actions::chooserStates()
{
    QFETCH(bool, dirChooser);
    QFETCH(QString, second);
    QFETCH(Outcome, outcome);

    MainWindow window;
    const bool &chosen = dirChooser ? window.outputDirChosen : window.dbcFileChosen;
    const char *stored = dirChooser ? window.outputDirPath : window.dbcFilePath;
    QTextEdit *shown = field(window, dirChooser ? "textEdit_S_File" : "textEdit_dbc");
    // The directory chooser shows and keeps the native form.
    auto native = [&](const QString &path) {
        return dirChooser ? QDir::toNativeSeparators(path) : path;
    };

    const QString first = u8("/first/路径.dbc");
    (dirChooser ? dirAnswers : fileAnswers) << first << second;
    for (int i = 0; i < 2; ++i) {
        click(window, dirChooser ? "Rbt_FileDir_Select" : "Btn_DBC_Select");
        QCOMPARE(chosen, i == 0 || outcome == Accepted);
        QCOMPARE(QByteArray(stored), native(i && outcome == Accepted ? second : first).toUtf8());
        QCOMPARE(shown->toPlainText(), native(i && outcome != Cancelled ? second : first));
    }
    const Notes expected[] = {
        {},
        {error(dirChooser ? "打开文件路径失败，请重新打开！" : "打开文件失败，请检查文件！")},
        {error("文件路径和名称太长，超出200byte！")}};
    QCOMPARE(notes, expected[outcome]);
    QCOMPARE(stored[DbcLimits::MaxPathBytes], '\0');
    // The other chooser is untouched.
    QVERIFY(!(dirChooser ? window.dbcFileChosen : window.outputDirChosen));
    QCOMPARE(QByteArray(dirChooser ? window.dbcFilePath : window.outputDirPath), QByteArray());
    QVERIFY(
        field(window, dirChooser ? "textEdit_dbc" : "textEdit_S_File")->toPlainText().isEmpty());
}

void tst_Actions::missingChoice_data()
{
    QTest::addColumn<QStringList>("files"); // answers to two clicks on each chooser
    QTest::addColumn<QStringList>("dirs");

    const QString dbc = "/a/b.dbc", dir = "/out", tooLong = "/" + QString(201, 'l');
    QTest::newRow("nothing chosen") << QStringList{} << QStringList{};
    QTest::newRow("only a file") << QStringList{dbc, dbc} << QStringList{};
    QTest::newRow("only a directory") << QStringList{} << QStringList{dir, dir};
    QTest::newRow("file cancelled after acceptance")
        << QStringList{dbc, ""} << QStringList{dir, dir};
    QTest::newRow("directory refused after acceptance")
        << QStringList{dbc, dbc} << QStringList{dir, tooLong};
}

// Without two accepted choices generation shows the one note and creates no
// engine; paths typed into the fields do not count as choices.
void tst_Actions::missingChoice()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, dirs);

    MainWindow window;
    fileAnswers = files;
    dirAnswers = dirs;
    for (int i = 0; i < 2; ++i) {
        click(window, "Btn_DBC_Select");
        click(window, "Rbt_FileDir_Select");
    }
    field(window, "textEdit_dbc")->setPlainText(fixture());
    field(window, "textEdit_S_File")->setPlainText(QDir::tempPath());
    QVERIFY(!(window.dbcFileChosen && window.outputDirChosen));

    notes.clear();
    click(window, "Btn_Creat_File");
    QCOMPARE(notes, Notes{error("请确认已经选择文件、路径！")});
    QVERIFY(!window.dbcEngine);
}

// Generation runs on the stored paths (Chinese names, a not yet existing output
// directory), not on text typed into the fields. Every press converts on a new
// engine; the replaced one is released at once, the last one with the window.
void tst_Actions::generations()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dbc = tmp.filePath(u8("车身 数据/车身.dbc"));
    QVERIFY(QDir().mkpath(QFileInfo(dbc).path()));
    QVERIFY(QFile::copy(fixture(), dbc));
    const QString out = tmp.filePath(u8("输出/头文件")), typed = tmp.filePath("typed");

    auto *window = new MainWindow;
    fileAnswers << dbc;
    dirAnswers << out;
    click(*window, "Btn_DBC_Select");
    click(*window, "Rbt_FileDir_Select");
    QTest::keyClicks(field(*window, "textEdit_dbc"), "typed");
    field(*window, "textEdit_S_File")->clear();
    QTest::keyClicks(field(*window, "textEdit_S_File"), typed);
    QCOMPARE(field(*window, "textEdit_S_File")->toPlainText(), typed);

    click(*window, "Btn_Creat_File");
    QPointer<CDBC> first = window->dbcEngine;
    QVERIFY(first);
    QCOMPARE(first->msgCnt, 2);
    QSignalSpy firstGone(first.data(), &QObject::destroyed);
    const QByteArray header = readAll(out + "/dbc_2_struct.h");
    QVERIFY(header.contains("Message Name:DashReply\r\nMessage ID:0x410\r\n"));
    QVERIFY(!QFileInfo::exists(typed));
    CDBC engine;
    engine.transDbc(dbc, tmp.filePath("direct"));
    QCOMPARE(header, readAll(tmp.filePath("direct/dbc_2_struct.h")));
    QVERIFY(QFile::remove(out + "/dbc_2_struct.h"));

    click(*window, "Btn_Creat_File");
    QPointer<CDBC> second = window->dbcEngine;
    QVERIFY(second);
    QCOMPARE(firstGone.count(), 1);
    // A fresh table: start bits are flipped once and records do not pile up.
    QCOMPARE(second->msgCnt, 2);
    QCOMPARE(readAll(out + "/dbc_2_struct.h"), header);
    QCOMPARE(notes, (Notes{Written, Written, Written}));
    QCOMPARE(QDir::currentPath(), startDir);

    QSignalSpy secondGone(second.data(), &QObject::destroyed);
    delete window;
    QCOMPARE(secondGone.count(), 1);
}

// The default seams: Qt's own file dialogs (the test platform has no native
// ones) with the window as parent, and QMessageBox::about without a parent.
// The directory dialog starts wherever the process is at the click.
void tst_Actions::realDialogsAndBoxes()
{
    const FileChoosers recordedChoosers = FileChoosers::install({});
    const CDBC::Notifier recorder = CDBC::setNotifier({});
    QTemporaryDir start, out;
    QVERIFY(start.isValid() && out.isValid());
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(QDir::setCurrent(start.path()));

    // Each modal is described, then gets the next path typed and accepted (none: cancelled).
    QStringList answers{"", fixture(), out.path(), "", ""}, seen;
    QPointer<QWidget> handled;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == handled)
            return;
        handled = modal;
        const QString parent = modal->parentWidget() == &window ? "window" : "none";
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            seen << QString("box %1: %2, parent %3").arg(box->windowTitle(), box->text(), parent);
        else if (dialog && dialog->fileMode() == QFileDialog::ExistingFile)
            seen << QString("open file %1, parent %2").arg(dialog->nameFilters().join(';'), parent);
        else if (dialog)
            seen << QString("directory %1 in %2%3, parent %4")
                        .arg(dialog->windowTitle(), dialog->directory().canonicalPath(),
                             dialog->testOption(QFileDialog::ShowDirsOnly) ? ", dirs only" : "",
                             parent);
        else
            seen << QString("unexpected ") + modal->metaObject()->className();
        const QString path = take(answers);
        auto *name = modal->findChild<QLineEdit *>("fileNameEdit");
        if (name && !path.isEmpty())
            name->setText(path);
        QMetaObject::invokeMethod(modal, name && path.isEmpty() ? "reject" : "accept",
                                  Qt::QueuedConnection);
    });
    timer.start(20);
    click(window, "Btn_Creat_File");
    click(window, "Btn_DBC_Select");
    click(window, "Rbt_FileDir_Select");
    click(window, "Btn_DBC_Select");
    FileChoosers::install(recordedChoosers);
    CDBC::setNotifier(recorder);

    const QString openFile = u8("open file DBC文件(*.dbc), parent window");
    QCOMPARE(seen,
             (QStringList{u8("box Erroe: 请确认已经选择文件、路径！, parent none"), openFile,
                          "directory test in " + QDir(start.path()).canonicalPath() +
                              ", dirs only, parent window",
                          openFile, u8("box Erroe: 打开文件失败，请检查文件！, parent none")}));
    QVERIFY(notes.isEmpty());
    QVERIFY(!window.dbcFileChosen);
    QCOMPARE(QByteArray(window.dbcFilePath), fixture().toUtf8());
    QVERIFY(window.outputDirChosen);
    QCOMPARE(QByteArray(window.outputDirPath), QDir::toNativeSeparators(out.path()).toUtf8());
    QCOMPARE(field(window, "textEdit_S_File")->toPlainText(), QDir::toNativeSeparators(out.path()));
}

QTEST_MAIN(tst_Actions)
#include "tst_actions.moc"
