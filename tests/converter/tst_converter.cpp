#include "cdbc.h"
#include "testfiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <vector>

namespace
{

const QString HeaderName = QStringLiteral("dbc_2_struct.h");
const QString Written = QStringLiteral("文件已生成，请查看！");
const QString NotWritten = QStringLiteral("文件打开失败！");

// Collects the texts of the notes the engine shows while it lives.
struct NoteRecorder {
    QStringList texts;
    CDBC::Notifier previous = CDBC::setNotifier([this](const QString &title, const QString &text) {
        texts << (title == "NOTE" ? text : "wrong title " + title);
    });
    ~NoteRecorder() { CDBC::setNotifier(previous); }
};

// Runs after each debug line of the engine; the lines themselves are dropped.
std::function<void()> onDebugLine;
QtMessageHandler defaultHandler;
void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        defaultHandler(type, context, message);
    else if (onDebugLine)
        onDebugLine();
}

struct Sig {
    const char *name;
    int start; // as stored after the flip
    int length;
};
using Sigs = std::vector<Sig>;

CanMsgInfo makeMessage(const char *name, qint32 id, const Sigs &sigs)
{
    CanMsgInfo msg{};
    qstrncpy(msg.msgName, name, sizeof msg.msgName);
    msg.msgId = id;
    msg.signalCnt = quint8(sigs.size());
    for (size_t i = 0; i < sigs.size(); ++i) {
        qstrncpy(msg.signalInfo[i].signalName, sigs[i].name, sizeof msg.signalInfo[i].signalName);
        msg.signalInfo[i].bitStart = quint8(sigs[i].start);
        msg.signalInfo[i].bitLength = quint8(sigs[i].length);
    }
    return msg;
}

// "name:width" of every member line of every struct, space separated.
QString membersOf(const QByteArray &header)
{
    static const QRegularExpression member(QStringLiteral("^    unsigned char (\\w+):(\\d+);\\r$"),
                                           QRegularExpression::MultilineOption);
    QStringList out;
    for (auto it = member.globalMatch(QString::fromUtf8(header)); it.hasNext();) {
        const auto m = it.next();
        out << m.captured(1) + QLatin1Char(':') + m.captured(2);
    }
    return out.join(QLatin1Char(' '));
}

// "resev_first:8 ... resev_last:8": reserves that fill whole empty bytes.
QString byteReserves(int first, int last)
{
    QStringList out;
    for (int i = first; i <= last; ++i)
        out << QStringLiteral("resev_%1:8").arg(i);
    return out.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(Sigs)

class tst_Converter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { defaultHandler = qInstallMessageHandler(handleMessage); }
    void cleanup() { QDir::setCurrent(startDir); }
    void walk_data();
    void walk();
    void messageBlocks();
    void flipStartBits_data();
    void flipStartBits();
    void endToEnd_data();
    void endToEnd();
    void output_data();
    void output();
    void writerChecksItsOwnOpen();
    void headerCompilesAsC();

private:
    const QString startDir = QDir::currentPath();
};

void tst_Converter::walk_data()
{
    QTest::addColumn<Sigs>("sigs");
    QTest::addColumn<QString>("members");

    QTest::newRow("worked example")
        << Sigs{{"DoorOpen", 0, 1}, {"Speed", 4, 12}, {"Gear", 19, 3}}
        << "DoorOpen:1 resev_0:3 Speed0:4 Speed1:8 resev_1:3 Gear:3 resev_2:2 " +
               byteReserves(3, 7);
    QTest::newRow("ends at its byte end")
        << Sigs{{"A", 8, 8}} << "resev_0:8 A:8 " + byteReserves(1, 6);
    QTest::newRow("past bit 63 written in full, walk ends")
        << Sigs{{"A", 60, 86}}
        << byteReserves(0, 6) + " resev_7:4 A0:4 A1:8 A2:8 A3:8 A4:8 A5:8 A6:8 A7:8 A8:8 A9:8 "
                                "A10:8 A11:2";
    QTest::newRow("start above 63 never written") << Sigs{{"A", 70, 4}} << byteReserves(0, 7);
    QTest::newRow("duplicate start: lowest slot")
        << Sigs{{"A", 8, 4}, {"B", 8, 2}} << "resev_0:8 A:4 resev_1:4 " + byteReserves(2, 7);
    QTest::newRow("start inside an earlier signal")
        << Sigs{{"A", 0, 12}, {"B", 4, 2}} << "A0:8 A1:4 resev_0:4 " + byteReserves(1, 6);
    QTest::newRow("slots out of bit order")
        << Sigs{{"C", 40, 8}, {"A", 0, 4}, {"B", 4, 4}}
        << "A:4 B:4 " + byteReserves(0, 3) + " C:8 " + byteReserves(4, 5);
    QTest::newRow("zero length neither counts nor hides a later slot")
        << Sigs{{"", 7, 0}, {"A", 7, 1}, {"Z", 9, 0}, {"B", 13, 3}}
        << "resev_0:7 A:1 resev_1:5 B:3 " + byteReserves(2, 7);
}

// The members of one struct for a table built by hand, start bits as flipped.
void tst_Converter::walk()
{
    QFETCH(Sigs, sigs);
    QFETCH(QString, members);
    const CanMsgInfo msg = makeMessage("M", 1, sigs);
    QCOMPARE(membersOf(CDBC::buildStructHeader(&msg, 1)), members);
}

// The text around the members. Message names go out byte for byte; signal name
// bytes are read as Latin-1 and written in UTF-8. A 39-byte name fills its array.
void tst_Converter::messageBlocks()
{
    const QByteArray longName(39, 'N');
    CanMsgInfo msgs[2] = {
        makeMessage("Mot\xe9ur", 0, {{"Vitesse\xe9", 0, 8}}),
        makeMessage(longName.constData(), 0x7fffffff, {{longName.constData(), 0, 4}})};
    const QByteArray header = CDBC::buildStructHeader(msgs, 2);
    QVERIFY(header.startsWith("/*\r\nMessage Name:Mot\xe9ur\r\nMessage ID:0x0\r\n*/\r\ntypedef "
                              "struct\r\n{\r\n    unsigned char Vitesse\xc3\xa9:8;\r\n"));
    QVERIFY(header.contains("resev_6:8;\r\n }Mot\xe9ur_Type;\r\n\r\r\n\r\n/*\r\nMessage Name:" +
                            longName + "\r\nMessage ID:0x7fffffff\r\n"));
    QVERIFY(header.contains("{\r\n    unsigned char " + longName + ":4;\r\n"));
    QVERIFY(header.endsWith("resev_7:8;\r\n }" + longName + "_Type;\r\n\r\r\n\r\n"));
}

void tst_Converter::flipStartBits_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    for (const auto &c : {std::pair<int, int>{0, 7}, {12, 11}, {63, 56}, {200, 207}})
        QTest::addRow("%d", c.first) << c.first << c.second;
}

// Flips the last of 300 messages; slots not in use and counts below 1 change nothing.
void tst_Converter::flipStartBits()
{
    QFETCH(int, before);
    QFETCH(int, after);
    std::vector<CanMsgInfo> msgs(300, makeMessage("M", 1, {{"S", 5, 1}, {"U", 5, 1}}));
    for (CanMsgInfo &msg : msgs)
        msg.signalCnt = 1;
    msgs.back().signalInfo[0].bitStart = quint8(before);
    CDBC engine;
    engine.flipStartBits(msgs.data(), 0);
    engine.flipStartBits(msgs.data(), -1);
    QCOMPARE(int(msgs[0].signalInfo[0].bitStart), 5);
    engine.flipStartBits(msgs.data(), 300);
    QCOMPARE(int(msgs.back().signalInfo[0].bitStart), after);
    QCOMPARE(int(msgs[0].signalInfo[0].bitStart), 2);
    QCOMPARE(int(msgs.back().signalInfo[1].bitStart), 5);
}

void tst_Converter::endToEnd_data()
{
    QTest::addColumn<QString>("dbc");    // empty: a generated file of 301 messages
    QTest::addColumn<QString>("golden"); // empty: the old header must stay
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("box");
    const QString data = QStringLiteral(QUARVEL_TEST_DATA "/converter/");
    QTest::newRow("body status") << data + "body_status.dbc" << data + "body_status.expected.h"
                                 << 451 << Written;
    QTest::newRow("vehicle bus") << QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc")
                                 << data + "vehicle.expected.h" << 3471 << Written;
    QTest::newRow("missing file") << data + "missing.dbc"
                                  << "" << 0 << "打开文件失败，请检查文件！";
    QTest::newRow("301 messages") << ""
                                  << "" << 0 << "DBC文件报文数量超过300，无法生成！";
}

// A whole conversion over an old header: the result is compared byte for byte
// with its golden, or the box is shown and nothing in the output is touched.
void tst_Converter::endToEnd()
{
    QFETCH(QString, dbc);
    QFETCH(QString, golden);
    QFETCH(int, size);
    QFETCH(QString, box);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    if (dbc.isEmpty()) {
        QByteArray text("VERSION \"\"\n\nBU_: ECU\n");
        for (int i = 0; i < 301; ++i)
            text += "\nBO_ " + QByteArray::number(i + 1) + " Msg" + QByteArray::number(i) +
                    ": 8 ECU\n SG_ Sig : 0|8@1+ (1,0) [0|255] \"\" ECU\n";
        QVERIFY(writeFile(dbc = tmp.filePath("big.dbc"), text));
    }
    const QByteArray old("/* header of an earlier conversion */\r\n");
    QVERIFY(writeFile(tmp.filePath(HeaderName), old));
    NoteRecorder notes;
    CDBC engine;
    engine.transDbc(dbc, tmp.path());
    QCOMPARE(notes.texts, QStringList{box});
    QCOMPARE(readAll(tmp.filePath(HeaderName)), golden.isEmpty() ? old : readAll(golden));
    if (golden.isEmpty()) {
        CDBC other;
        other.transDbc(dbc, tmp.filePath("not/created"));
        QVERIFY(!QFileInfo::exists(tmp.filePath("not")));
    } else {
        QCOMPARE(readAll(golden).size(), size);
    }
    for (int i = 0; i < engine.msgCnt; ++i)
        QCOMPARE(QByteArray(reinterpret_cast<char *>(engine.msgTable[i].msgData), 8),
                 QByteArray(8, 0));
}

void tst_Converter::output_data()
{
    QTest::addColumn<QString>("dir");       // relative to the working directory
    QTest::addColumn<QStringList>("boxes"); // shown by the preparation, then by the writer
    QTest::newRow("deep missing directory") << "a/b/c/d" << QStringList{Written};
    QTest::newRow("old header, empty table") << "old" << QStringList{Written};
    QTest::newRow("output path is a file") << "file" << QStringList{NotWritten};
    QTest::newRow("parent is a file") << "file/sub" << QStringList{NotWritten};
    QTest::newRow("header name is a directory")
        << "taken" << QStringList{"打开失败！", "打开失败！", NotWritten};
}

// Prepares, then writes into a relative directory. A regular file stands in
// for an unusable directory: the tests run as root, so permission bits would
// not make anything fail.
void tst_Converter::output()
{
    QFETCH(QString, dir);
    QFETCH(QStringList, boxes);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(QDir::setCurrent(tmp.path()));
    QVERIFY(writeFile("file", "not a directory") && QDir().mkpath("taken/" + HeaderName));
    QVERIFY(QDir().mkdir("old") && writeFile("old/" + HeaderName, "old content"));
    const QString start = QDir::currentPath(), header = dir + '/' + HeaderName;
    const bool ok = boxes.last() == Written, empty = dir == "old";
    const CanMsgInfo msg = makeMessage("M", 1, {{"S", 0, 8}});
    NoteRecorder notes;
    CDBC engine;

    QCOMPARE(engine.prepareOutputFile(dir, HeaderName), ok);
    // A failed open leaves the working directory at the output directory.
    QCOMPARE(QDir::currentPath(), dir == "taken" ? start + "/taken" : start);
    if (ok)
        QCOMPARE(readAll(header), QByteArray());
    QVERIFY(QDir::setCurrent(start));
    engine.writeStructHeader(empty ? nullptr : const_cast<CanMsgInfo *>(&msg), empty ? 0 : 1, dir);
    QCOMPARE(notes.texts, boxes);
    if (ok) {
        QCOMPARE(QDir::currentPath(), start);
        QCOMPARE(readAll(header), empty ? QByteArray() : CDBC::buildStructHeader(&msg, 1));
    }
    QCOMPARE(readAll(tmp.filePath("file")), QByteArray("not a directory"));
    QVERIFY(QFileInfo(tmp.filePath("taken/") + HeaderName).isDir());
}

// The preparation succeeds, then the header is taken away before the writer
// opens it (from the debug line the preparation logs last). The writer must
// notice its own failed open instead of announcing success.
void tst_Converter::writerChecksItsOwnOpen()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString header = tmp.filePath(HeaderName);
    bool sabotaged = false;
    onDebugLine = [&] {
        if (!sabotaged && QFileInfo(header).isFile() && QFile::remove(header))
            sabotaged = QDir().mkdir(header);
    };
    NoteRecorder notes;
    const CanMsgInfo msg = makeMessage("M", 1, {});
    CDBC engine;
    engine.writeStructHeader(const_cast<CanMsgInfo *>(&msg), 1, tmp.path());
    onDebugLine = nullptr;
    QVERIFY(sabotaged);
    QCOMPARE(notes.texts, QStringList{NotWritten});
}

// The header of a DBC whose names are valid, unique C identifiers must build
// as C99 without a warning, and each struct must take exactly the bytes its
// bit-fields cover: 8 for a struct that stays within bits 0 to 63.
void tst_Converter::headerCompilesAsC()
{
#ifndef QUARVEL_C_COMPILER
    QSKIP("no GCC-compatible C compiler was configured for this build");
#else
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    NoteRecorder notes;
    CDBC().transDbc(QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"), tmp.path());
    const QByteArray header = readAll(tmp.filePath(HeaderName));

    // Size checks in the C99 form: an array of negative size does not compile.
    static const QRegularExpression structEnd(
        QStringLiteral("\\{\\r\\n(.*?)\\r\\n \\}(\\w+)_Type;"),
        QRegularExpression::DotMatchesEverythingOption);
    QByteArray checks = "#include \"dbc_2_struct.h\"\n", wrongCheck;
    int fullStructs = 0;
    for (auto it = structEnd.globalMatch(QString::fromUtf8(header)); it.hasNext();) {
        const auto m = it.next();
        int bits = 0;
        for (const QString &member : membersOf(m.captured(1).toUtf8() + "\r\n").split(' '))
            bits += member.section(QLatin1Char(':'), 1).toInt();
        const QByteArray type = m.captured(2).toUtf8() + "_Type";
        fullStructs += bits == 64 ? 1 : 0;
        auto check = [&](const char *name, int bytes) {
            return QByteArray("typedef char ") + name + type + "[sizeof(" + type +
                   ") == " + QByteArray::number(bytes) + " ? 1 : -1];\n";
        };
        checks += check("size_of_", (bits + 7) / 8);
        if (wrongCheck.isEmpty())
            wrongCheck = check("wrong_size_", (bits + 7) / 8 + 1);
    }
    QCOMPARE(fullStructs, 6);

    // The wrong size is tried first: the check itself must be able to fail.
    for (const QByteArray &source : {checks + wrongCheck, checks}) {
        QVERIFY(writeFile(tmp.filePath("check.c"), source));
        QProcess cc;
        cc.setWorkingDirectory(tmp.path());
        cc.setProcessChannelMode(QProcess::MergedChannels);
        cc.start(QUARVEL_C_COMPILER,
                 {"-std=c99", "-Wall", "-Wextra", "-Werror", "-c", "check.c", "-o", "check.o"});
        QVERIFY(cc.waitForFinished(60000) && cc.exitStatus() == QProcess::NormalExit);
        QVERIFY2((cc.exitCode() == 0) == (source == checks), cc.readAll().constData());
    }
#endif
}

QTEST_GUILESS_MAIN(tst_Converter)
#include "tst_converter.moc"
