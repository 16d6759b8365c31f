// Tests of the header writer: its bit walk, the golden header compiled as C,
// and every real DBC file converted.
#include "debuglog.h"
#include "testsupport.h"

#include <QtTest>

namespace
{

const QString HeaderName = QStringLiteral("dbc_2_struct.h");
const QString Written = QStringLiteral("NOTE: 文件已生成，请查看！");

// "NAME:WIDTH" of every member line of a header, space separated.
QByteArray membersOf(const QByteArray &header)
{
    QByteArrayList members;
    for (const QByteArray &line : header.split('\n')) {
        if (line.startsWith("    unsigned char ") && line.endsWith(";\r"))
            members << line.mid(18).chopped(2);
    }
    return members.join(' ');
}

// "resev_FIRST:8 ... resev_LAST:8": reserves that fill whole empty bytes.
QByteArray byteReserves(int first, int last)
{
    QByteArrayList out;
    for (int i = first; i <= last; ++i)
        out << "resev_" + QByteArray::number(i) + ":8";
    return out.join(' ');
}

} // namespace

class tst_Converter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }
    void walk_data();
    void walk();
    void headerCompilesAsC();
    void corpus_data() { addCorpusRows(); }
    void corpus();
    void batchedDebugLines_data();
    void batchedDebugLines();
};

void tst_Converter::walk_data()
{
    QTest::addColumn<QByteArray>("sigs"); // "NAME:START:LENGTH ...", start bits as flipped
    QTest::addColumn<QByteArray>("members");

    QTest::newRow("worked example")
        << QByteArray("DoorOpen:0:1 Speed:4:12 Gear:19:3")
        << "DoorOpen:1 resev_0:3 Speed0:4 Speed1:8 resev_1:3 Gear:3 resev_2:2 " +
               byteReserves(3, 7);
    QTest::newRow("ends at its byte end")
        << QByteArray("A:8:8") << "resev_0:8 A:8 " + byteReserves(1, 6);
    QTest::newRow("past bit 63 written in full, walk ends")
        << QByteArray("A:60:86")
        << byteReserves(0, 6) + " resev_7:4 A0:4 A1:8 A2:8 A3:8 A4:8 A5:8 A6:8 A7:8 A8:8 A9:8 "
                                "A10:8 A11:2";
    QTest::newRow("start above 63 never written") << QByteArray("A:70:4") << byteReserves(0, 7);
    QTest::newRow("duplicate start: lowest slot")
        << QByteArray("A:8:4 B:8:2") << "resev_0:8 A:4 resev_1:4 " + byteReserves(2, 7);
    QTest::newRow("start inside an earlier signal")
        << QByteArray("A:0:12 B:4:2") << "A0:8 A1:4 resev_0:4 " + byteReserves(1, 6);
    QTest::newRow("slots out of bit order")
        << QByteArray("C:40:8 A:0:4 B:4:4")
        << "A:4 B:4 " + byteReserves(0, 3) + " C:8 " + byteReserves(4, 5);
    QTest::newRow("zero length neither counts nor hides a later slot")
        << QByteArray(":7:0 A:7:1 Z:9:0 B:13:3")
        << "resev_0:7 A:1 resev_1:5 B:3 " + byteReserves(2, 7);
    QTest::newRow("name bytes as Latin-1 in UTF-8")
        << QByteArray("A\x80\xbf\xe9:0:8") << "A\xc2\x80\xc2\xbf\xc3\xa9:8 " + byteReserves(0, 6);
}

// The members of one struct for a record built by hand.
void tst_Converter::walk()
{
    QFETCH(QByteArray, sigs);
    QFETCH(QByteArray, members);
    CanMsgInfo msg{};
    for (const QByteArray &sig : sigs.split(' ')) {
        CanSignalInfo &s = msg.signalInfo[msg.signalCnt++];
        qstrncpy(s.signalName, sig.split(':')[0].constData(), DbcLimits::NameSize);
        s.bitStart = quint8(sig.split(':')[1].toInt());
        s.bitLength = quint8(sig.split(':')[2].toInt());
    }
    QCOMPARE(membersOf(CDBC::buildStructHeader(&msg, 1)), members);
}

// The golden header builds as C99 without a warning.
void tst_Converter::headerCompilesAsC()
{
#ifndef QUARVEL_C_COMPILER
    QSKIP("no GCC-compatible C compiler was configured for this build");
#else
    QProcess cc;
    cc.setProcessChannelMode(QProcess::MergedChannels);
    cc.start(QUARVEL_C_COMPILER, {"-x", "c", "-std=c99", "-Wall", "-Wextra", "-Werror",
                                  "-fsyntax-only", testData("converter/vehicle.expected")});
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitStatus() == QProcess::NormalExit && cc.exitCode() == 0, cc.readAll());
#endif
}

// Every real DBC file converts with one note: its header holds exactly the
// bytes of its table, or the file has more than 300 messages and no header.
void tst_Converter::corpus()
{
    QFETCH(QString, path);
    QTemporaryDir tmp;
    NoteRecorder recorder;
    CDBC engine;
    engine.transDbc(path, tmp.path());
    QCOMPARE(recorder.notes.size(), 1);
    if (recorder.notes.first() == Written)
        QCOMPARE(readAll(tmp.filePath(HeaderName)),
                 CDBC::buildStructHeader(engine.msgTable, engine.msgCnt));
    else
        QVERIFY(!QFileInfo::exists(tmp.filePath(HeaderName)));
}

namespace
{
QStringList *captured = nullptr;
int messages = 0;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    ++messages;
    *captured << message.split('\n');
}
} // namespace

void tst_Converter::batchedDebugLines_data()
{
    QTest::addColumn<QString>("outDir"); // relative to a temporary directory
    QTest::newRow("header written") << "out";
    QTest::newRow("notes in between") << "taken";
}

// Collected or not, the debug lines of a conversion and the notes shown in
// between (as warnings, without a notifier) come out the same and in the same
// order; collected, they reach the handler in a few pieces.
void tst_Converter::batchedDebugLines()
{
    QFETCH(QString, outDir);
    QTemporaryDir tmp;
    QVERIFY(QDir().mkpath(tmp.filePath("taken/dbc_2_struct.h")));
    QStringList lines[2];
    int handed[2];
    QLoggingCategory::setFilterRules("default.debug=true");
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    const CDBC::Notifier notifier = CDBC::setNotifier(CDBC::Notifier());
    for (int batched = 0; batched < 2; ++batched) {
        captured = &lines[batched];
        QDir(tmp.filePath("out")).removeRecursively();
        if (batched)
            DebugLog::install();
        messages = 0;
        CDBC engine; // in two steps, as quarvel-cli converts
        if (engine.loadDbc(QUARVEL_EXAMPLES "/vehicle.dbc"))
            engine.writeStructHeader(engine.msgTable, engine.msgCnt, tmp.filePath(outDir));
        handed[batched] = messages;
    }
    DebugLog::uninstall();
    CDBC::setNotifier(notifier);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("default.debug=false");
    QVERIFY(lines[0].size() > 250);
    QCOMPARE(lines[0].last(),
             outDir == "out" ? "NOTE: 文件已生成，请查看！" : "NOTE: 文件打开失败！");
    QCOMPARE(lines[1], lines[0]);
    const int notes = lines[0].filter("NOTE: ").size();
    QCOMPARE(handed[0], lines[0].size()); // line by line
    QVERIFY(handed[1] <= 2 * notes + 1);  // a piece before each note, the note, the rest
}

QTEST_GUILESS_MAIN(tst_Converter)
#include "tst_converter.moc"
