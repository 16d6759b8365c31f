#include "cdbc.h"
#include "filechoosers.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include <deque>

namespace
{

using Note = QPair<QString, QString>;
using Notes = QList<Note>;

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

const char *const ErrorTitle = "Erroe";
const char *const DbcCancelled = "打开文件失败，请检查文件！";
const char *const DirCancelled = "打开文件路径失败，请重新打开！";
const char *const TooLong = "文件路径和名称太长，超出200byte！";
const char *const Missing = "请确认已经选择文件、路径！";
const char *const HeaderWritten = "文件已生成，请查看！";

enum Outcome { Accepted, Cancelled, Refused };

Note error(const char *text)
{
    return {u8(ErrorTitle), u8(text)};
}

// Answers the modal widgets that appear while a slot runs, one handler per
// modal, in order. A modal beyond the handlers is rejected so that a test
// can fail instead of hanging.
class ModalDriver : public QObject
{
public:
    using Handler = std::function<void(QWidget *)>;

    explicit ModalDriver(std::deque<Handler> handlers) : pending(std::move(handlers))
    {
        connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
        timer.start(20);
    }

    int unexpected = 0;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == handled)
            return;
        handled = modal;
        if (pending.empty()) {
            ++unexpected;
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            return;
        }
        Handler handler = std::move(pending.front());
        pending.pop_front();
        handler(modal);
    }

    std::deque<Handler> pending;
    QPointer<QWidget> handled;
    QTimer timer;
};

} // namespace

Q_DECLARE_METATYPE(Outcome)

class tst_Actions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void chooserStates_data();
    void chooserStates();
    void chooserArguments();
    void missingChoice_data();
    void missingChoice();
    void generationWritesHeader();
    void typedTextIgnored();
    void eachGenerationHasItsOwnEngine();
    void realDialogsAndBoxes();

private:
    static void click(MainWindow &window, const char *button)
    {
        window.findChild<QPushButton *>(button)->click();
    }
    static QString text(MainWindow &window, const char *field)
    {
        return window.findChild<QTextEdit *>(field)->toPlainText();
    }
    // Chooses `dbc` and `dir` through the buttons; both must be accepted.
    void choose(MainWindow &window, const QString &dbc, const QString &dir);
    static QString fixture() { return QStringLiteral(QUARVEL_TEST_DATA "/actions/body.dbc"); }
    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    Notes notes;
    QStringList fileAnswers;
    QStringList dirAnswers;
    QStringList chooserCalls; // one line per call, with its arguments
    CDBC::Notifier previousNotifier;
    FileChoosers previousChoosers;
    QString startDir;
};

void tst_Actions::initTestCase()
{
    previousNotifier = CDBC::setNotifier([this](const QString &title, const QString &text) {
        notes << Note{title, text};
    });
    FileChoosers recorded;
    recorded.getOpenFileName = [this](QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter) {
        chooserCalls << QString("file: parent %1, caption '%2', dir '%3', filter '%4'")
                            .arg(parent ? parent->objectName() : "none", caption, dir, filter);
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    };
    recorded.getExistingDirectory = [this](QWidget *parent, const QString &caption,
                                           const QString &dir, QFileDialog::Options options) {
        chooserCalls << QString("directory: parent %1, caption '%2', dir '%3', options %4")
                            .arg(parent ? parent->objectName() : "none", caption, dir)
                            .arg(int(options));
        return dirAnswers.isEmpty() ? QString() : dirAnswers.takeFirst();
    };
    previousChoosers = FileChoosers::install(recorded);
    startDir = QDir::currentPath();
}

void tst_Actions::cleanupTestCase()
{
    CDBC::setNotifier(previousNotifier);
    FileChoosers::install(previousChoosers);
}

void tst_Actions::init()
{
    notes.clear();
    fileAnswers.clear();
    dirAnswers.clear();
    chooserCalls.clear();
}

void tst_Actions::cleanup()
{
    QDir::setCurrent(startDir);
}

void tst_Actions::choose(MainWindow &window, const QString &dbc, const QString &dir)
{
    fileAnswers << dbc;
    dirAnswers << dir;
    click(window, "Btn_DBC_Select");
    click(window, "Rbt_FileDir_Select");
    QVERIFY(window.dbcFileChosen);
    QVERIFY(window.outputDirChosen);
    notes.clear();
}

// Each chooser after an accepted first choice, then a second click that is
// accepted, cancelled or refused. The bound counts UTF-8 bytes, not characters.
void tst_Actions::chooserStates_data()
{
    QTest::addColumn<bool>("dirChooser");
    QTest::addColumn<QString>("second");
    QTest::addColumn<Outcome>("outcome");

    const QString cjk = u8("报"); // three bytes in UTF-8
    for (bool dir : {false, true}) {
        const QByteArray who = dir ? "directory, " : "file, ";
        auto row = [&](const char *name, const QString &path, Outcome outcome) {
            QTest::newRow(who + name) << dir << path << outcome;
        };
        row("accepted", u8("/数据/下一个"), Accepted);
        row("200 ASCII bytes", "/" + QString(199, 'a'), Accepted);
        row("66 CJK + 2 ASCII, 200 bytes", "/" + cjk.repeated(66) + "c", Accepted);
        row("cancelled", QString(), Cancelled);
        row("201 ASCII bytes", "/" + QString(200, 'a'), Refused);
        row("60 CJK + 21 ASCII, 201 bytes", "/" + QString(20, 'b') + cjk.repeated(60), Refused);
    }
}

void tst_Actions::chooserStates()
{
    QFETCH(bool, dirChooser);
    QFETCH(QString, second);
    QFETCH(Outcome, outcome);

    MainWindow window;
    const char *button = dirChooser ? "Rbt_FileDir_Select" : "Btn_DBC_Select";
    const char *field = dirChooser ? "textEdit_S_File" : "textEdit_dbc";
    const bool &chosen = dirChooser ? window.outputDirChosen : window.dbcFileChosen;
    const char *stored = dirChooser ? window.outputDirPath : window.dbcFilePath;
    // The directory chooser shows and keeps the native form; the file chooser
    // keeps what the dialog returned.
    auto native = [&](const QString &path) {
        return dirChooser ? QDir::toNativeSeparators(path) : path;
    };

    const QString first = u8("/first/路径.dbc");
    (dirChooser ? dirAnswers : fileAnswers) << first << second;
    click(window, button);
    QVERIFY(chosen);
    QCOMPARE(QByteArray(stored), native(first).toUtf8());
    QCOMPARE(text(window, field), native(first));
    QCOMPARE(notes, Notes());

    click(window, button);
    QCOMPARE(chosen, outcome == Accepted);
    QCOMPARE(QByteArray(stored), native(outcome == Accepted ? second : first).toUtf8());
    QCOMPARE(text(window, field), native(outcome == Cancelled ? first : second));
    const Notes expected[] = {
        {}, {error(dirChooser ? DirCancelled : DbcCancelled)}, {error(TooLong)}};
    QCOMPARE(notes, expected[outcome]);
    QCOMPARE(stored[DbcLimits::MaxPathBytes], '\0');

    // The other chooser is untouched.
    QVERIFY(!(dirChooser ? window.dbcFileChosen : window.outputDirChosen));
    QCOMPARE(QByteArray(dirChooser ? window.dbcFilePath : window.outputDirPath), QByteArray());
    QVERIFY(text(window, dirChooser ? "textEdit_dbc" : "textEdit_S_File").isEmpty());
}

// The directory chooser starts wherever the process is at the click.
void tst_Actions::chooserArguments()
{
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    MainWindow window;
    click(window, "Btn_DBC_Select");
    click(window, "Rbt_FileDir_Select");
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    click(window, "Rbt_FileDir_Select");

    const QString dirCall = "directory: parent MainWindow, caption 'test', dir '%1', options %2";
    QCOMPARE(
        chooserCalls,
        (QStringList{u8("file: parent MainWindow, caption '', dir '', filter 'DBC文件(*.dbc)'"),
                     dirCall.arg(startDir).arg(int(QFileDialog::ShowDirsOnly)),
                     dirCall.arg(QDir::currentPath()).arg(int(QFileDialog::ShowDirsOnly))}));
}

void tst_Actions::missingChoice_data()
{
    QTest::addColumn<QString>("firstFile");
    QTest::addColumn<QString>("secondFile");
    QTest::addColumn<QString>("firstDir");
    QTest::addColumn<QString>("secondDir");

    const QString dbc = "/a/b.dbc";
    const QString dir = "/out";
    const QString tooLong = "/" + QString(201, 'l');
    const QString none;
    QTest::newRow("nothing chosen") << none << none << none << none;
    QTest::newRow("only a file") << dbc << dbc << none << none;
    QTest::newRow("only a directory") << none << none << dir << dir;
    QTest::newRow("file cancelled after acceptance") << dbc << none << dir << dir;
    QTest::newRow("directory cancelled after acceptance") << dbc << dbc << dir << none;
    QTest::newRow("file refused after acceptance") << dbc << tooLong << dir << dir;
    QTest::newRow("directory refused after acceptance") << dbc << dbc << dir << tooLong;
    QTest::newRow("both refused") << tooLong << tooLong << tooLong << tooLong;
}

// Every combination without two accepted choices shows the one note and
// creates no engine.
void tst_Actions::missingChoice()
{
    QFETCH(QString, firstFile);
    QFETCH(QString, secondFile);
    QFETCH(QString, firstDir);
    QFETCH(QString, secondDir);

    MainWindow window;
    fileAnswers << firstFile << secondFile;
    dirAnswers << firstDir << secondDir;
    for (int i = 0; i < 2; ++i) {
        click(window, "Btn_DBC_Select");
        click(window, "Rbt_FileDir_Select");
    }
    // Paths typed into the fields do not count as choices.
    window.findChild<QTextEdit *>("textEdit_dbc")->setPlainText(fixture());
    window.findChild<QTextEdit *>("textEdit_S_File")->setPlainText(QDir::tempPath());
    const bool fileChosen = window.dbcFileChosen;
    const bool dirChosen = window.outputDirChosen;
    QVERIFY(!(fileChosen && dirChosen));

    notes.clear();
    click(window, "Btn_Creat_File");
    QCOMPARE(notes, Notes{error(Missing)});
    QVERIFY(!window.dbcEngine);
    QCOMPARE(window.dbcFileChosen, fileChosen);
    QCOMPARE(window.outputDirChosen, dirChosen);
}

// Generation works on the stored paths, including non-ASCII ones: the DBC
// file and a not yet existing output directory both lie under Chinese names.
void tst_Actions::generationWritesHeader()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dbc = tmp.filePath(u8("车身 数据/车身.dbc"));
    QVERIFY(QDir().mkpath(QFileInfo(dbc).path()));
    QVERIFY(QFile::copy(fixture(), dbc));
    const QString out = tmp.filePath(u8("输出/头文件"));
    const QString cwd = QDir::currentPath();

    MainWindow window;
    choose(window, dbc, out);
    click(window, "Btn_Creat_File");

    QCOMPARE(notes, (Notes{{"NOTE", u8(HeaderWritten)}}));
    QVERIFY(window.dbcEngine);
    QCOMPARE(window.dbcEngine->msgCnt, 2);
    const QByteArray header = readAll(out + "/dbc_2_struct.h");
    QVERIFY(header.contains("Message Name:BodyStatus\r\nMessage ID:0x123\r\n"));
    QVERIFY(header.contains("Message Name:DashReply\r\nMessage ID:0x410\r\n"));
    QVERIFY(header.contains(" }DashReply_Type;"));

    // The same bytes as the engine gives for these paths without the window.
    const QString direct = tmp.filePath("direct");
    CDBC engine;
    engine.transDbc(dbc, direct);
    QCOMPARE(header, readAll(direct + "/dbc_2_struct.h"));
    QCOMPARE(QDir::currentPath(), cwd);
}

void tst_Actions::typedTextIgnored()
{
    QTemporaryDir chosen, typed;
    QVERIFY(chosen.isValid() && typed.isValid());
    QVERIFY(QFile::copy(fixture(), typed.filePath("other.dbc")));

    MainWindow window;
    choose(window, fixture(), chosen.path());
    auto *dbcField = window.findChild<QTextEdit *>("textEdit_dbc");
    auto *dirField = window.findChild<QTextEdit *>("textEdit_S_File");
    dbcField->clear();
    QTest::keyClicks(dbcField, typed.filePath("other.dbc"));
    dirField->clear();
    QTest::keyClicks(dirField, typed.path());
    QCOMPARE(dirField->toPlainText(), typed.path());

    click(window, "Btn_Creat_File");
    QCOMPARE(notes, (Notes{{"NOTE", u8(HeaderWritten)}}));
    QVERIFY(QFile::exists(chosen.filePath("dbc_2_struct.h")));
    QVERIFY(!QFile::exists(typed.filePath("dbc_2_struct.h")));
    QCOMPARE(QByteArray(window.dbcFilePath), fixture().toUtf8());
    QCOMPARE(QByteArray(window.outputDirPath), QDir::toNativeSeparators(chosen.path()).toUtf8());
}

// Every press runs a whole conversion on a new engine; the replaced engine is
// released at once and the last one with the window.
void tst_Actions::eachGenerationHasItsOwnEngine()
{
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString headerPath = out.filePath("dbc_2_struct.h");
    auto *window = new MainWindow;
    choose(*window, fixture(), out.path());

    click(*window, "Btn_Creat_File");
    QPointer<CDBC> first = window->dbcEngine;
    QVERIFY(first);
    QSignalSpy firstGone(first.data(), &QObject::destroyed);
    const QByteArray firstHeader = readAll(headerPath);
    QVERIFY(!firstHeader.isEmpty());
    QVERIFY(QFile::remove(headerPath));

    click(*window, "Btn_Creat_File");
    QPointer<CDBC> second = window->dbcEngine;
    QVERIFY(second);
    QCOMPARE(firstGone.count(), 1);
    QVERIFY(first.isNull());
    // A fresh table: start bits are flipped once and records do not pile up.
    QCOMPARE(second->msgCnt, 2);
    QCOMPARE(readAll(headerPath), firstHeader);
    QCOMPARE(notes, (Notes{{"NOTE", u8(HeaderWritten)}, {"NOTE", u8(HeaderWritten)}}));

    QSignalSpy secondGone(second.data(), &QObject::destroyed);
    delete window;
    QCOMPARE(secondGone.count(), 1);
}

// The default seams: Qt's own file dialogs (the test platform has no native
// ones) with the window as parent, and QMessageBox::about without a parent.
// Paths typed into the dialogs come back to the window.
void tst_Actions::realDialogsAndBoxes()
{
    const FileChoosers recordedChoosers = FileChoosers::install({});
    const CDBC::Notifier recorder = CDBC::setNotifier({});
    QTemporaryDir start, out;
    QVERIFY(start.isValid() && out.isValid());
    QVERIFY(QDir::setCurrent(start.path()));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStringList seen;
    auto describe = [&](QWidget *modal) {
        const QString parent = modal->parentWidget() == &window ? "window" : "none";
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            return QString("box %1: %2, parent %3").arg(box->windowTitle(), box->text(), parent);
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return QString("unexpected ") + modal->metaObject()->className();
        if (dialog->fileMode() == QFileDialog::ExistingFile)
            return QString("open file %1, parent %2").arg(dialog->nameFilters().join(';'), parent);
        return QString("directory %1 in %2%3, parent %4")
            .arg(dialog->windowTitle(), dialog->directory().canonicalPath(),
                 dialog->testOption(QFileDialog::ShowDirsOnly) ? ", dirs only" : "", parent);
    };
    // Types `path` into the dialog and accepts it, or closes the modal.
    auto answer = [&](const QString &path) {
        return [&, path](QWidget *modal) {
            seen << describe(modal);
            auto *name = modal->findChild<QLineEdit *>("fileNameEdit");
            if (name && !path.isEmpty())
                name->setText(path);
            QMetaObject::invokeMethod(modal, name && path.isEmpty() ? "reject" : "accept",
                                      Qt::QueuedConnection);
        };
    };

    ModalDriver driver({answer({}), answer(fixture()), answer(out.path()), answer({}), answer({})});
    click(window, "Btn_Creat_File");
    click(window, "Btn_DBC_Select");
    click(window, "Rbt_FileDir_Select");
    click(window, "Btn_DBC_Select");
    FileChoosers::install(recordedChoosers);
    CDBC::setNotifier(recorder);

    const QString openFile = u8("open file DBC文件(*.dbc), parent window");
    QCOMPARE(seen, (QStringList{
                       u8("box Erroe: 请确认已经选择文件、路径！, parent none"),
                       openFile,
                       "directory test in " + QDir(start.path()).canonicalPath() +
                           ", dirs only, parent window",
                       openFile,
                       u8("box Erroe: 打开文件失败，请检查文件！, parent none"),
                   }));
    QCOMPARE(driver.unexpected, 0);
    QVERIFY(notes.isEmpty());

    QVERIFY(!window.dbcFileChosen);
    QCOMPARE(QByteArray(window.dbcFilePath), fixture().toUtf8());
    QVERIFY(window.outputDirChosen);
    QCOMPARE(QByteArray(window.outputDirPath), QDir::toNativeSeparators(out.path()).toUtf8());
    QCOMPARE(text(window, "textEdit_S_File"), QDir::toNativeSeparators(out.path()));
}

QTEST_MAIN(tst_Actions)
#include "tst_actions.moc"
