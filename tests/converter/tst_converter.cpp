#include "cdbc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <cstring>
#include <functional>
#include <vector>

namespace
{

const QString HeaderName = QStringLiteral("dbc_2_struct.h");
using Note = QPair<QString, QString>;

// Collects the notes the engine shows while it lives.
struct NoteRecorder {
    QList<Note> notes;
    CDBC::Notifier previous;
    NoteRecorder()
    {
        previous = CDBC::setNotifier([this](const QString &title, const QString &text) {
            notes.append({title, text});
        });
    }
    ~NoteRecorder() { CDBC::setNotifier(previous); }
};

// Collects the engine's debug lines (or just silences them when `keep` is
// false); `onLine` runs after each line.
struct LogRecorder {
    static LogRecorder *active;
    QStringList lines;
    std::function<void()> onLine;
    bool keep;
    QtMessageHandler previous;
    explicit LogRecorder(bool keep = true)
        : keep(keep), previous(qInstallMessageHandler(&LogRecorder::handle))
    {
        active = this;
    }
    ~LogRecorder()
    {
        qInstallMessageHandler(previous);
        active = nullptr;
    }
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (active->keep)
            active->lines << message;
        if (active->onLine)
            active->onLine();
    }
    bool has(const QString &line) const { return lines.contains(line); }
};
LogRecorder *LogRecorder::active = nullptr;

// Puts the working directory back whatever a test does to it.
struct CwdGuard {
    const QString saved = QDir::currentPath();
    ~CwdGuard() { QDir::setCurrent(saved); }
};

struct Sig {
    const char *name;
    int start; // as stored after the flip
    int length;
};
using Sigs = std::vector<Sig>;

CanMsgInfo makeMessage(const char *name, qint32 id, const Sigs &sigs)
{
    CanMsgInfo msg;
    std::memset(&msg, 0, sizeof msg);
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
    auto it = member.globalMatch(QString::fromUtf8(header));
    while (it.hasNext()) {
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

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString dataFile(const char *name)
{
    return QStringLiteral(QUARVEL_TEST_DATA "/converter/") + QLatin1String(name);
}

} // namespace

Q_DECLARE_METATYPE(Sigs)

class tst_Converter : public QObject
{
    Q_OBJECT

private slots:
    void walk_data();
    void walk();
    void messageComment_data();
    void messageComment();
    void namesAreCopiedAsBytes();
    void flipStartBits_data();
    void flipStartBits();
    void flipVisitsEveryMessage();
    void endToEnd_data();
    void endToEnd();
    void readFailureKeepsHeader_data();
    void readFailureKeepsHeader();
    void prepareSucceeds_data();
    void prepareSucceeds();
    void outputFailures_data();
    void outputFailures();
    void writerChecksItsOwnOpen();
    void relativeOutputDirectory();
    void emptyTableGivesEmptyFile();
    void headerCompilesAsC();
};

void tst_Converter::walk_data()
{
    QTest::addColumn<Sigs>("sigs");
    QTest::addColumn<QString>("members");

    QTest::newRow("no signal") << Sigs{} << byteReserves(0, 7);
    QTest::newRow("worked example")
        << Sigs{{"DoorOpen", 0, 1}, {"Speed", 4, 12}, {"Gear", 19, 3}}
        << "DoorOpen:1 resev_0:3 Speed0:4 Speed1:8 resev_1:3 Gear:3 resev_2:2 " +
               byteReserves(3, 7);
    QTest::newRow("byte at a byte start")
        << Sigs{{"A", 8, 8}} << "resev_0:8 A:8 " + byteReserves(1, 6);
    QTest::newRow("16 bits at a byte start")
        << Sigs{{"A", 8, 16}} << "resev_0:8 A0:8 A1:8 " + byteReserves(1, 5);
    QTest::newRow("split from mid-byte over three bytes")
        << Sigs{{"A", 7, 16}} << "resev_0:7 A0:1 A1:8 A2:7 resev_1:1 " + byteReserves(2, 6);
    QTest::newRow("gap closed at byte end, numbering past 7")
        << Sigs{{"A", 2, 3}} << "resev_0:2 A:3 resev_1:3 " + byteReserves(2, 8);
    QTest::newRow("whole 64 bits")
        << Sigs{{"A", 0, 64}} << "A0:8 A1:8 A2:8 A3:8 A4:8 A5:8 A6:8 A7:8";
    QTest::newRow("8 bits at bit 60 end the walk")
        << Sigs{{"A", 60, 8}} << byteReserves(0, 6) + " resev_7:4 A0:4 A1:4";
    QTest::newRow("past bit 63 written in full")
        << Sigs{{"A", 56, 20}} << byteReserves(0, 6) + " A0:8 A1:8 A2:4";
    QTest::newRow("start above 63 never written") << Sigs{{"A", 70, 4}} << byteReserves(0, 7);
    QTest::newRow("duplicate start: lowest slot")
        << Sigs{{"A", 8, 4}, {"B", 8, 2}} << "resev_0:8 A:4 resev_1:4 " + byteReserves(2, 7);
    QTest::newRow("start inside an earlier signal")
        << Sigs{{"A", 0, 12}, {"B", 4, 2}} << "A0:8 A1:4 resev_0:4 " + byteReserves(1, 6);
    QTest::newRow("slots out of bit order")
        << Sigs{{"C", 40, 8}, {"A", 0, 4}, {"B", 4, 4}}
        << "A:4 B:4 " + byteReserves(0, 3) + " C:8 " + byteReserves(4, 5);
    QTest::newRow("zero length alone") << Sigs{{"", 7, 0}} << byteReserves(0, 7);
    QTest::newRow("zero length does not hide a later slot")
        << Sigs{{"", 7, 0}, {"A", 7, 1}} << "resev_0:7 A:1 " + byteReserves(1, 7);
    QTest::newRow("zero length inside a byte")
        << Sigs{{"A", 0, 2}, {"Z", 2, 0}, {"B", 5, 3}} << "A:2 resev_0:3 B:3 " + byteReserves(1, 7);
}

// The members of one struct for a table built by hand, start bits as flipped.
void tst_Converter::walk()
{
    QFETCH(Sigs, sigs);
    QFETCH(QString, members);
    const CanMsgInfo msg = makeMessage("M", 1, sigs);
    QCOMPARE(membersOf(CDBC::buildStructHeader(&msg, 1)), members);
}

void tst_Converter::messageComment_data()
{
    QTest::addColumn<qint32>("id");
    QTest::addColumn<QByteArray>("idLine");
    QTest::newRow("0") << 0 << QByteArray("Message ID:0x0\r\n");
    QTest::newRow("416") << 416 << QByteArray("Message ID:0x1a0\r\n");
    QTest::newRow("0x7ff") << 0x7ff << QByteArray("Message ID:0x7ff\r\n");
    QTest::newRow("largest") << 2147483647 << QByteArray("Message ID:0x7fffffff\r\n");
}

void tst_Converter::messageComment()
{
    QFETCH(qint32, id);
    QFETCH(QByteArray, idLine);
    const CanMsgInfo msg = makeMessage("Msg", id, {});
    const QByteArray block = CDBC::buildStructHeader(&msg, 1);
    QVERIFY(
        block.startsWith("/*\r\nMessage Name:Msg\r\n" + idLine + "*/\r\ntypedef struct\r\n{\r\n"));
    QVERIFY(block.endsWith("resev_7:8;\r\n }Msg_Type;\r\n\r\r\n\r\n"));
}

// Message names go out byte for byte; signal name bytes are read as Latin-1
// and written in UTF-8. A 39-character name fills its array.
void tst_Converter::namesAreCopiedAsBytes()
{
    const QByteArray longName(39, 'N');
    CanMsgInfo msgs[2] = {makeMessage("Mot\xe9ur", 1, {{"Vitesse\xe9", 0, 8}}),
                          makeMessage(longName.constData(), 2, {{longName.constData(), 0, 4}})};
    const QByteArray header = CDBC::buildStructHeader(msgs, 2);
    QVERIFY(header.contains("Message Name:Mot\xe9ur\r\n"));
    QVERIFY(header.contains(" }Mot\xe9ur_Type;"));
    QVERIFY(header.contains("    unsigned char Vitesse\xc3\xa9:8;\r\n"));
    QVERIFY(header.contains("Message Name:" + longName + "\r\n"));
    QVERIFY(header.contains("    unsigned char " + longName + ":4;\r\n"));
}

void tst_Converter::flipStartBits_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    const int cases[][2] = {{0, 7}, {7, 0}, {12, 11}, {24, 31}, {39, 32}, {63, 56}, {200, 207}};
    for (const auto &c : cases)
        QTest::addRow("%d", c[0]) << c[0] << c[1];
}

void tst_Converter::flipStartBits()
{
    QFETCH(int, before);
    QFETCH(int, after);
    CanMsgInfo msgs[2] = {makeMessage("A", 1, {{"S", 5, 1}, {"T", before, 1}}),
                          makeMessage("B", 2, {{"U", 5, 1}})};
    msgs[1].signalCnt = 0; // its slot is not in use and must keep its value
    CDBC engine;
    engine.flipStartBits(msgs, 2);
    QCOMPARE(int(msgs[0].signalInfo[1].bitStart), after);
    QCOMPARE(int(msgs[0].signalInfo[0].bitStart), 2);
    QCOMPARE(int(msgs[1].signalInfo[0].bitStart), 5);
    engine.flipStartBits(msgs, 2);
    QCOMPARE(int(msgs[0].signalInfo[1].bitStart), before);
}

void tst_Converter::flipVisitsEveryMessage()
{
    std::vector<CanMsgInfo> msgs(300);
    for (int i = 0; i < 300; ++i)
        msgs[size_t(i)] = makeMessage("M", i, {{"S", i % 64, 1}, {"T", 255 - i % 64, 1}});
    CDBC engine;
    engine.flipStartBits(msgs.data(), 0);
    engine.flipStartBits(msgs.data(), -1);
    QCOMPARE(int(msgs[299].signalInfo[0].bitStart), 299 % 64);
    engine.flipStartBits(msgs.data(), 300);
    for (int i = 0; i < 300; ++i) {
        QCOMPARE(int(msgs[size_t(i)].signalInfo[0].bitStart), (i % 64) ^ 7);
        QCOMPARE(int(msgs[size_t(i)].signalInfo[1].bitStart), (255 - i % 64) ^ 7);
    }
}

void tst_Converter::endToEnd_data()
{
    QTest::addColumn<QString>("dbc");
    QTest::addColumn<QString>("golden");
    QTest::addColumn<int>("size");
    QTest::newRow("body status") << dataFile("body_status.dbc")
                                 << dataFile("body_status.expected.h") << 451;
    QTest::newRow("vehicle bus") << QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc")
                                 << dataFile("vehicle.expected.h") << 3471;
}

// A whole conversion from a DBC file, compared byte for byte with its golden.
void tst_Converter::endToEnd()
{
    QFETCH(QString, dbc);
    QFETCH(QString, golden);
    QFETCH(int, size);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString outDir = tmp.filePath(QStringLiteral("out"));
    NoteRecorder notes;
    LogRecorder log;
    CDBC engine;
    engine.transDbc(dbc, outDir);

    QVERIFY(log.has(QStringLiteral("Trans dbc success!")));
    QCOMPARE(notes.notes, QList<Note>{Note("NOTE", "文件已生成，请查看！")});
    const QByteArray expected = readAll(golden);
    QCOMPARE(expected.size(), size);
    QCOMPARE(readAll(outDir + QLatin1Char('/') + HeaderName), expected);
    for (int i = 0; i < engine.msgCnt; ++i)
        for (quint8 byte : engine.msgTable[i].msgData)
            QCOMPARE(int(byte), 0);
}

void tst_Converter::readFailureKeepsHeader_data()
{
    QTest::addColumn<int>("messages"); // -1: no DBC file at all
    QTest::addColumn<QString>("box");
    QTest::newRow("missing file") << -1 << QStringLiteral("打开文件失败，请检查文件！");
    QTest::newRow("301 messages") << 301 << QStringLiteral("DBC文件报文数量超过300，无法生成！");
}

void tst_Converter::readFailureKeepsHeader()
{
    QFETCH(int, messages);
    QFETCH(QString, box);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dbc = tmp.filePath(QStringLiteral("input.dbc"));
    if (messages >= 0) {
        QByteArray text("VERSION \"\"\n\nBU_: ECU\n");
        for (int i = 0; i < messages; ++i)
            text += "\nBO_ " + QByteArray::number(i + 1) + " Msg" + QByteArray::number(i) +
                    ": 8 ECU\n SG_ Sig : 0|8@1+ (1,0) [0|255] \"\" ECU\n";
        QVERIFY(writeFile(dbc, text));
    }
    const QByteArray old("/* header of an earlier conversion */\r\n");
    QVERIFY(writeFile(tmp.filePath(HeaderName), old));
    const QString missingDir = tmp.filePath(QStringLiteral("not/created"));

    NoteRecorder notes;
    LogRecorder log;
    CDBC engine;
    engine.transDbc(dbc, tmp.path());
    CDBC other;
    other.transDbc(dbc, missingDir);

    QVERIFY(log.has(QStringLiteral("Trans dbc false!")));
    QVERIFY(!log.has(QStringLiteral("Trans dbc success!")));
    QCOMPARE(notes.notes, (QList<Note>{Note("NOTE", box), Note("NOTE", box)}));
    QCOMPARE(readAll(tmp.filePath(HeaderName)), old);
    QVERIFY(!QFileInfo::exists(missingDir));
}

void tst_Converter::prepareSucceeds_data()
{
    QTest::addColumn<QString>("dir"); // relative to the temporary directory
    QTest::addColumn<bool>("oldFile");
    QTest::addColumn<bool>("created");
    QTest::newRow("deep missing directory") << "a/b/c/d" << false << true;
    QTest::newRow("existing directory") << "" << false << false;
    QTest::newRow("old header replaced") << "" << true << false;
}

// The directory exists afterwards, holds an empty header, and the working
// directory is the one the caller had.
void tst_Converter::prepareSucceeds()
{
    QFETCH(QString, dir);
    QFETCH(bool, oldFile);
    QFETCH(bool, created);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    CwdGuard guard;
    const QString before = QDir::currentPath();
    const QString outDir = tmp.filePath(dir);
    if (oldFile)
        QVERIFY(writeFile(outDir + QLatin1Char('/') + HeaderName, "old content"));
    NoteRecorder notes;
    LogRecorder log;
    CDBC engine;
    QVERIFY(engine.prepareOutputFile(outDir, HeaderName));
    QCOMPARE(log.has(QStringLiteral("不存在该路径")), created);
    QCOMPARE(log.has(QStringLiteral("文件存在")), oldFile);
    QVERIFY(QFileInfo(outDir + QLatin1Char('/') + HeaderName).isFile());
    QCOMPARE(QFileInfo(outDir + QLatin1Char('/') + HeaderName).size(), qint64(0));
    QCOMPARE(QDir::currentPath(), before);
    QVERIFY(notes.notes.isEmpty());
}

void tst_Converter::outputFailures_data()
{
    QTest::addColumn<QString>("dir");       // relative to the temporary directory
    QTest::addColumn<QStringList>("boxes"); // texts of the "NOTE" boxes, in order
    QTest::addColumn<bool>("cwdAtOutput");  // working directory left in the output directory
    QTest::newRow("output path is a file") << "file" << QStringList{"文件打开失败！"} << false;
    QTest::newRow("parent is a file") << "file/sub" << QStringList{"文件打开失败！"} << false;
    QTest::newRow("header name is a directory")
        << "taken" << QStringList{"打开失败！", "文件打开失败！"} << true;
}

// A regular file stands in for an unusable directory: the tests run as root,
// so permission bits would not make anything fail.
void tst_Converter::outputFailures()
{
    QFETCH(QString, dir);
    QFETCH(QStringList, boxes);
    QFETCH(bool, cwdAtOutput);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(writeFile(tmp.filePath(QStringLiteral("file")), "not a directory"));
    QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("taken/") + HeaderName));
    CwdGuard guard;
    const QString before = QDir::currentPath();
    const QString outDir = tmp.filePath(dir);
    CDBC engine;
    {
        NoteRecorder notes;
        QVERIFY(!engine.prepareOutputFile(outDir, HeaderName));
        QCOMPARE(notes.notes.size(), boxes.size() - 1);
    }
    QCOMPARE(QDir::currentPath(), cwdAtOutput ? QFileInfo(outDir).canonicalFilePath() : before);

    QVERIFY(QDir::setCurrent(before));
    NoteRecorder notes;
    const CanMsgInfo msg = makeMessage("M", 1, {{"S", 0, 8}});
    engine.writeStructHeader(const_cast<CanMsgInfo *>(&msg), 1, outDir);
    QStringList shown;
    for (const Note &note : qAsConst(notes.notes)) {
        QCOMPARE(note.first, QStringLiteral("NOTE"));
        shown << note.second;
    }
    QCOMPARE(shown, boxes);
    QCOMPARE(readAll(tmp.filePath(QStringLiteral("file"))), QByteArray("not a directory"));
    QVERIFY(QFileInfo(tmp.filePath(QStringLiteral("taken/")) + HeaderName).isDir());
}

// The preparation succeeds, then the header is taken away before the writer
// opens it (done from the debug line the preparation logs last). The writer
// must notice its own failed open instead of announcing success.
void tst_Converter::writerChecksItsOwnOpen()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    CwdGuard guard;
    const QString header = tmp.filePath(HeaderName);
    bool sabotaged = false;
    LogRecorder log;
    log.onLine = [&] {
        if (!sabotaged && QFileInfo(header).isFile() && QFile::remove(header))
            sabotaged = QDir().mkdir(header);
    };
    NoteRecorder notes;
    const CanMsgInfo msg = makeMessage("M", 1, {});
    CDBC engine;
    engine.writeStructHeader(const_cast<CanMsgInfo *>(&msg), 1, tmp.path());
    QVERIFY(sabotaged);
    QCOMPARE(notes.notes, QList<Note>{Note("NOTE", "文件打开失败！")});
}

// A relative output directory is resolved against the working directory the
// caller had, both when it is prepared and when the header is written.
void tst_Converter::relativeOutputDirectory()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    CwdGuard guard;
    QVERIFY(QDir::setCurrent(tmp.path()));
    const CanMsgInfo msg = makeMessage("M", 1, {{"S", 0, 8}});
    NoteRecorder notes;
    CDBC engine;
    engine.writeStructHeader(const_cast<CanMsgInfo *>(&msg), 1, QStringLiteral("rel/out"));
    QCOMPARE(notes.notes, QList<Note>{Note("NOTE", "文件已生成，请查看！")});
    QCOMPARE(readAll(tmp.filePath(QStringLiteral("rel/out/")) + HeaderName),
             CDBC::buildStructHeader(&msg, 1));
    QCOMPARE(QDir::currentPath(), QDir(tmp.path()).canonicalPath());
}

void tst_Converter::emptyTableGivesEmptyFile()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(writeFile(tmp.filePath(HeaderName), "old content"));
    NoteRecorder notes;
    CDBC engine;
    engine.writeStructHeader(nullptr, 0, tmp.path());
    QCOMPARE(notes.notes, QList<Note>{Note("NOTE", "文件已生成，请查看！")});
    QVERIFY(QFileInfo(tmp.filePath(HeaderName)).isFile());
    QCOMPARE(QFileInfo(tmp.filePath(HeaderName)).size(), qint64(0));
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
    LogRecorder quiet(false);
    CDBC engine;
    engine.transDbc(QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"), tmp.path());
    QCOMPARE(notes.notes, QList<Note>{Note("NOTE", "文件已生成，请查看！")});
    const QByteArray header = readAll(tmp.filePath(HeaderName));

    // Size checks in the C99 form: an array of negative size does not compile.
    static const QRegularExpression structEnd(
        QStringLiteral("\\{\\r\\n(.*?)\\r\\n \\}(\\w+)_Type;"),
        QRegularExpression::DotMatchesEverythingOption);
    QByteArray checks = "#include \"dbc_2_struct.h\"\n";
    QByteArray wrongCheck;
    int fullStructs = 0;
    auto it = structEnd.globalMatch(QString::fromUtf8(header));
    while (it.hasNext()) {
        const auto m = it.next();
        int bits = 0;
        for (const QString &member : membersOf(m.captured(1).toUtf8() + "\r\n").split(' '))
            bits += member.section(QLatin1Char(':'), 1).toInt();
        const QByteArray type = m.captured(2).toUtf8() + "_Type";
        const int bytes = (bits + 7) / 8;
        fullStructs += bits == 64 ? 1 : 0;
        checks += "typedef char size_of_" + type + "[sizeof(" + type +
                  ") == " + QByteArray::number(bytes) + " ? 1 : -1];\n";
        if (wrongCheck.isEmpty())
            wrongCheck = "typedef char wrong_size[sizeof(" + type +
                         ") == " + QByteArray::number(bytes + 1) + " ? 1 : -1];\n";
    }
    QCOMPARE(fullStructs, 6);

    auto compile = [&](const QByteArray &source, QByteArray *output) {
        const QString file = tmp.filePath(QStringLiteral("check.c"));
        if (!writeFile(file, source))
            return false;
        QProcess cc;
        cc.setWorkingDirectory(tmp.path());
        cc.setProcessChannelMode(QProcess::MergedChannels);
        cc.start(QStringLiteral(QUARVEL_C_COMPILER),
                 {"-std=c99", "-Wall", "-Wextra", "-Werror", "-c", file, "-o",
                  tmp.filePath(QStringLiteral("check.o"))});
        const bool ran = cc.waitForFinished(60000);
        *output = cc.readAll();
        return ran && cc.exitStatus() == QProcess::NormalExit && cc.exitCode() == 0;
    };
    QByteArray output;
    QVERIFY2(compile(checks, &output), output.constData());
    // The check itself must be able to fail.
    QVERIFY(!compile(checks + wrongCheck, &output));
#endif
}

QTEST_GUILESS_MAIN(tst_Converter)
#include "tst_converter.moc"
