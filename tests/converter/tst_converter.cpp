// SPDX-License-Identifier: MIT
// Tests of the header writer: golden headers for every shape of the bit walk,
// compiled as C, and every real DBC file converted into its recorded header.
#include "debuglog.h"
#include "testsupport.h"

#include <QtTest>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

Q_DECLARE_METATYPE(DbcHeaderForm)
Q_DECLARE_METATYPE(DbcBitOrder)

// A signal of a message record filled by other code: its name bytes, and its
// start bit as laid out and its length.
struct RecordSignal {
    QByteArray name;
    int start;
    int length;
};
Q_DECLARE_METATYPE(QVector<RecordSignal>)

namespace
{

const QString HeaderName = QStringLiteral("dbc_2_struct.h");
const QString Written = QStringLiteral("NOTE: 文件已生成，请查看！");

// The digest of each corpus file's header, or "refused", by file name.
QHash<QString, QByteArray> recordedDigests()
{
    QHash<QString, QByteArray> digests;
    for (const QByteArray &line : readAll(testData("converter/corpus.sha256")).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 2)
            digests.insert(QString::fromUtf8(fields[1]), fields[0]);
    }
    return digests;
}

// One message M in the engine's table, filled as other code fills records.
void fillRecords(CDBC &engine, const QVector<RecordSignal> &signalList)
{
    engine.msgTable = new CanMsgInfo[1]{};
    engine.msgCnt = 1;
    CanMsgInfo &msg = engine.msgTable[0];
    qstrcpy(msg.msgName, "M");
    for (const RecordSignal &sig : signalList) {
        CanSignalInfo &slot = msg.signalInfo[msg.signalCnt++];
        std::memcpy(slot.signalName, sig.name.constData(), size_t(sig.name.size()));
        slot.bitStart = quint8(sig.start);
        slot.bitLength = quint8(sig.length);
    }
}

} // namespace

class tst_Converter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules("default.debug=false");
#ifndef QUARVEL_C_COMPILER
        qInfo("The golden headers are not compiled as C here: a cross build has no C compiler "
              "to run; the native build compiles the same bytes.");
#endif
    }
    void golden_data();
    void golden();
    void nameBytesAsLatin1InUtf8();
    void findingsOfRecords_data();
    void findingsOfRecords();
    void framesOfRecords_data();
    void framesOfRecords();
    void signalsTheCheckReads_data();
    void signalsTheCheckReads();
    void corpus_data()
    {
        addCorpusRows();
    }
    void corpus();
    void batchedDebugLines_data();
    void batchedDebugLines();
    void debugLinesSwitch();
#ifdef Q_OS_WIN
    void headerHeldOpen();
#endif
};

void tst_Converter::golden_data()
{
    QTest::addColumn<QString>("dbc");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<DbcHeaderForm>("form");
    DbcHeaderForm frames;
    frames.frames = true;
    DbcHeaderForm framesMsbFirst = frames;
    framesMsbFirst.bitOrder = DbcBitOrder::MsbFirst;
    QTest::newRow("vehicle.dbc") << QUARVEL_EXAMPLES "/vehicle.dbc"
                                 << testData("converter/vehicle.expected") << DbcHeaderForm();
    const QDir dir(testData("converter"));
    for (const QString &file : dir.entryList({"*.dbc"}, QDir::Files, QDir::Name)) {
        const QString base = dir.filePath(QFileInfo(file).completeBaseName());
        for (const auto &[suffix, form] :
             {std::pair(".expected", DbcHeaderForm()), std::pair(".frames.expected", frames),
              std::pair(".frames.msb-first.expected", framesMsbFirst)}) {
            if (QFileInfo::exists(base + suffix))
                QTest::newRow(qPrintable(file + suffix))
                    << dir.filePath(file) << base + suffix << form;
        }
    }
}

// Each header is its golden file byte for byte (bit_walk.dbc holds every shape
// of the default form's walk, frames.dbc every shape of the frame form's, in
// both bit orders), and the golden file builds as C99 without a warning. The
// frame check of each is built and run by the layout_check tests, on
// compilers of both bit orders.
void tst_Converter::golden()
{
    QFETCH(QString, dbc);
    QFETCH(QString, expected);
    QFETCH(DbcHeaderForm, form);
    QTemporaryDir tmp;
    NoteRecorder recorder;
    CDBC engine;
    QVERIFY(engine.loadDbc(dbc));
    QVERIFY(engine.writeStructHeader(engine.msgTable, engine.msgCnt, tmp.path(), form));
    QCOMPARE(readAll(tmp.filePath(HeaderName)), readAll(expected));
#ifdef QUARVEL_C_COMPILER
    QProcess cc;
    cc.setProcessChannelMode(QProcess::MergedChannels);
    cc.start(QUARVEL_C_COMPILER,
             {"-x", "c", "-std=c99", "-Wall", "-Wextra", "-Werror", "-fsyntax-only", expected});
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitStatus() == QProcess::NormalExit && cc.exitCode() == 0, cc.readAll());
#endif
}

// A table filled by other code may hold any name bytes: each is written as
// the Latin-1 character it is, in UTF-8.
void tst_Converter::nameBytesAsLatin1InUtf8()
{
    CanMsgInfo msg{};
    msg.signalCnt = 1;
    qstrcpy(msg.signalInfo[0].signalName, "A\x80\xbf\xe9");
    msg.signalInfo[0].bitLength = 8;
    QVERIFY(CDBC::buildStructHeader(&msg, 1).contains(
        "{\r\n    unsigned char A\xc2\x80\xc2\xbf\xc3\xa9:8;\r\n    unsigned char resev_0:8;"));
}

// The findings of records filled by other code, where the name bytes may be
// anything: member names are compared as the header writes them (with their
// part numbers, in UTF-8), whatever their length; start bits are the records'
// mirrored back.
void tst_Converter::findingsOfRecords_data()
{
    QTest::addColumn<QVector<RecordSignal>>("signalList");
    QTest::addColumn<QStringList>("findings");
    const QByteArray n16 = "ABCDEFGHIJKLMNOP", n40(40, 'N');
    QTest::newRow("names that fold alike are told apart")
        << QVector<RecordSignal>{{n16 + "Q", 0, 8}, {"Q" + n16.mid(1) + "A", 8, 8}}
        << QStringList();
    QTest::newRow("a part number after 16 bytes meets a name")
        << QVector<RecordSignal>{{n16, 4, 8}, {n16 + "1", 16, 8}}
        << QStringList{"message M: member ABCDEFGHIJKLMNOP1 appears twice in M_Type"};
    QTest::newRow("bytes from 0x80 up, split and whole")
        << QVector<RecordSignal>{{QByteArray("A\xe9"), 4, 8}, {QByteArray("A\xe9") + '1', 16, 8}}
        << QStringList{"message M: member Aé0 is no C identifier",
                       "message M: member Aé1 is no C identifier",
                       "message M: member Aé1 appears twice in M_Type"};
    const QByteArray accents(39, '\xe9');
    QTest::newRow("39 bytes from 0x80 up, in UTF-8 twice as long")
        << QVector<RecordSignal>{{accents, 4, 8}, {accents + "1", 16, 8}}
        << QStringList{"message M: member " + QString(39, QChar(0xe9)) + "0 is no C identifier",
                       "message M: member " + QString(39, QChar(0xe9)) + "1 is no C identifier",
                       "message M: member " + QString(39, QChar(0xe9)) +
                           "1 appears twice in M_Type"};
    QTest::newRow("a signal named like a later reserve, in the first slot")
        << QVector<RecordSignal>{{"resev_1", 8, 8}}
        << QStringList{"message M: member resev_1 appears twice in M_Type"};
    QTest::newRow("names filling the whole array")
        << QVector<RecordSignal>{{n40, 0, 8}, {n40, 8, 8}}
        << QStringList{"message M: member " + QString(n40) + " appears twice in M_Type"};
    QTest::newRow("keywords only as whole names")
        << QVector<RecordSignal>{{"int", 4, 8}, {"for", 16, 8}, {"_Bool", 24, 8}}
        << QStringList{"message M: member for is a C keyword",
                       "message M: member _Bool is a C keyword"};
    QTest::newRow("every kind of word character, and others")
        << QVector<RecordSignal>{{"Aa_Zz09", 0, 8}, {"-x", 8, 8}}
        << QStringList{"message M: member -x is no C identifier"};
    QTest::newRow("part numbers of two digits")
        << QVector<RecordSignal>{{"A10", 0, 8}, {"A", 8, 100}}
        << QStringList{"message M: member A10 appears twice in M_Type",
                       "message M: signal A (start bit 15, laid out at 8) runs past bit 63 to "
                       "bit 107: M_Type is wider than 64 bits"};
    QTest::newRow("the last start bit a record holds")
        << QVector<RecordSignal>{{"Top", 248, 1}}
        << QStringList{"message M: signal Top (start bit 255, laid out at 248) is not written: "
                       "it starts after bit 63"};
    QTest::newRow("a long name inside another signal")
        << QVector<RecordSignal>{{"Wide", 0, 12}, {"InsideWithAName_17", 3, 2}}
        << QStringList{"message M: signal InsideWithAName_17 (start bit 4, laid out at 3) is not "
                       "written: it starts inside signal Wide (laid out over bits 0 to 11)"};
    // A split name meets a numbered one at every length a name array holds.
    const QByteArray letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklm";
    for (int length = 1; length < DbcLimits::NameSize; ++length) {
        const QByteArray name = letters.left(length);
        QTest::newRow(qPrintable(QString("a split name of %1 bytes").arg(length)))
            << QVector<RecordSignal>{{name, 4, 8}, {name + "1", 16, 8}}
            << QStringList{"message M: member " + name + "1 appears twice in M_Type"};
    }
}

void tst_Converter::findingsOfRecords()
{
    QFETCH(QVector<RecordSignal>, signalList);
    QFETCH(QStringList, findings);
    CDBC engine;
    fillRecords(engine, signalList);
    QStringList texts;
    for (const DbcFinding &finding : engine.findings())
        texts << finding.text;
    QCOMPARE(texts, findings);
}

void tst_Converter::framesOfRecords_data()
{
    QTest::addColumn<QVector<RecordSignal>>("signalList");
    QTest::addColumn<DbcByteOrders>("byteOrders");
    QTest::addColumn<DbcBitOrder>("bitOrder");
    QTest::addColumn<QString>("members"); // the struct's, up to its empty bytes
    QTest::addColumn<QStringList>("findings");
    // Start bits as records hold them: the file's mirrored within its byte.
    const QVector<RecordSignal> crossing{{"A", 3 ^ 7, 12}};
    QTest::newRow("no byte orders given: big-endian")
        << crossing << DbcByteOrders() << DbcBitOrder::LsbFirst << "A0:4 resev_0:4 A1:8"
        << QStringList();
    QTest::newRow("little-endian, from bit 0 up")
        << crossing << DbcByteOrders{1} << DbcBitOrder::LsbFirst << "resev_0:3 A0:5 A1:7 resev_1:1"
        << QStringList();
    QTest::newRow("little-endian, from bit 7 down")
        << crossing << DbcByteOrders{1} << DbcBitOrder::MsbFirst << "A0:5 resev_0:3 resev_1:1 A1:7"
        << QStringList();
    QTest::newRow("a later signal in the free bits of a big-endian one")
        << QVector<RecordSignal>{{"A", 3 ^ 7, 12}, {"B", 7 ^ 7, 4}} << DbcByteOrders()
        << DbcBitOrder::LsbFirst << "A0:4 B:4 A1:8" << QStringList();
    QTest::newRow("orders of another message do not count")
        << crossing << DbcByteOrders{0, 1} << DbcBitOrder::LsbFirst << "A0:4 resev_0:4 A1:8"
        << QStringList();
    QTest::newRow("bits shared with an earlier signal, beyond byte 7")
        << QVector<RecordSignal>{{"A", 0 ^ 7, 16}, {"B", 15 ^ 7, 2}, {"C", 60 ^ 7, 8}}
        << DbcByteOrders{0b111} << DbcBitOrder::LsbFirst << "A0:8 A1:8"
        << QStringList{"message M: signal B (start bit 15, length 2, little-endian) is not "
                       "written: it shares frame bit 15 with signal A",
                       "message M: signal C (start bit 60, length 8, little-endian) is not "
                       "written: it reaches beyond byte 7 of the frame"};
}

// Records filled by other code, in the byte orders it gives: in the frame
// form each signal lies at its frame bits, the free ones reserves within
// their byte; what is not written is told.
void tst_Converter::framesOfRecords()
{
    QFETCH(QVector<RecordSignal>, signalList);
    QFETCH(DbcByteOrders, byteOrders);
    QFETCH(DbcBitOrder, bitOrder);
    QFETCH(QString, members);
    QFETCH(QStringList, findings);
    CDBC engine;
    fillRecords(engine, signalList);
    DbcHeaderForm form;
    form.frames = true;
    form.bitOrder = bitOrder;
    const QString header = QString::fromUtf8(
        CDBC::buildStructHeader(engine.msgTable, engine.msgCnt, form, byteOrders));
    QStringList written;
    for (auto match = QRegularExpression("    unsigned char (\\w+:\\d+);").globalMatch(header);
         match.hasNext();)
        written << match.next().captured(1);
    while (!written.isEmpty() && written.last().startsWith("resev_") &&
           written.last().endsWith(":8"))
        written.removeLast();
    QCOMPARE(written.join(' '), members);
    QStringList texts;
    for (const DbcFinding &finding : engine.findings(form, byteOrders))
        texts << finding.text;
    QCOMPARE(texts, findings);
    // The default form lays out a little-endian signal big-endian, and says so.
    const bool littleEndian = !byteOrders.isEmpty() && (byteOrders.first() & 1) != 0;
    texts.clear();
    for (const DbcFinding &finding : engine.findings(DbcHeaderForm(), byteOrders))
        texts << finding.text;
    QCOMPARE(
        !texts.filter("signal A (start bit 3, little-endian) is laid out big-endian").isEmpty() ||
            !texts.filter("signal A (start bit 0, little-endian) is laid out big-endian").isEmpty(),
        littleEndian);
}

void tst_Converter::signalsTheCheckReads_data()
{
    QTest::addColumn<QString>("dbc");
    QTest::addColumn<bool>("frames");
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("leftOut");
    const QString vehicle = QUARVEL_EXAMPLES "/vehicle.dbc",
                  shapes = testData("converter/frames.dbc");
    // WheelSpeedRR (48|16@1+) is laid out over bits 55 to 70: its struct is
    // wider than a frame, though its frame bits are not.
    QTest::newRow("vehicle.dbc, default form") << vehicle << false << 28 << 1;
    QTest::newRow("vehicle.dbc, frame form") << vehicle << true << 29 << 0;
    // All (0|64@1+) is laid out over bits 7 to 70.
    QTest::newRow("frames.dbc, default form") << shapes << false << 7 << 1;
    QTest::newRow("frames.dbc, frame form") << shapes << true << 10 << 0;
}

// The frame check reads every signal the header writes within a frame and
// counts those it leaves out: in the default form, signals whose struct
// runs past the 8 data bytes.
void tst_Converter::signalsTheCheckReads()
{
    QFETCH(QString, dbc);
    QFETCH(bool, frames);
    QFETCH(int, checked);
    QFETCH(int, leftOut);
    NoteRecorder recorder;
    CDBC engine;
    QVERIFY(engine.loadDbc(dbc));
    DbcHeaderForm form;
    form.frames = frames;
    const QByteArray check =
        CDBC::buildLayoutCheck(engine.msgTable, engine.msgCnt, form, engine.byteOrders());
    QVERIFY(check.contains("#define DBC_2_STRUCT_CHECK_SIGNALS " + QByteArray::number(checked) +
                           "\r\n"));
    QCOMPARE(check.contains("\"; " + QByteArray::number(leftOut) + " left out"), leftOut > 0);
    QCOMPARE(check.contains("#define DBC_CHECK_LEFT_OUT_TEXT \"\"\r\n"), leftOut == 0);
}

// Every real DBC file converts with one note, into the header whose digest
// scripts/record-corpus-digests.sh recorded, or is refused (more than 300
// messages) and leaves no header.
void tst_Converter::corpus()
{
    QFETCH(QString, path);
    static const QHash<QString, QByteArray> digests = recordedDigests();
    const QByteArray digest = digests.value(QFileInfo(path).fileName());
    QVERIFY2(!digest.isEmpty(), "no digest recorded: run scripts/record-corpus-digests.sh");
    QTemporaryDir tmp;
    NoteRecorder recorder;
    CDBC().transDbc(path, tmp.path());
    if (digest == "refused") {
        QCOMPARE(recorder.notes, QStringList{"NOTE: DBC文件报文数量超过300，无法生成！"});
        QVERIFY(!QFileInfo::exists(tmp.filePath(HeaderName)));
    } else {
        QCOMPARE(recorder.notes, QStringList{Written});
        QCOMPARE(
            QCryptographicHash::hash(readAll(tmp.filePath(HeaderName)), QCryptographicHash::Sha256)
                .toHex(),
            digest);
    }
}

namespace
{
QStringList *captured = nullptr;
int messages = 0;
Q_LOGGING_CATEGORY(noteLines, "quarvel.notes")
// Each line with its message's type and category (a piece of collected debug
// lines comes without one: the default category's).
void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    ++messages;
    const char *category = context.category ? context.category : "default";
    for (const QString &line : message.split('\n'))
        *captured << QString("%1 %2: %3").arg(QString::number(type), category, line);
}
} // namespace

void tst_Converter::batchedDebugLines_data()
{
    QTest::addColumn<QString>("outDir"); // relative to a temporary directory
    // The notes as debug lines of a category of their own, or as warnings.
    QTest::addColumn<bool>("notifier");
    QTest::newRow("header written") << "out" << false;
    QTest::newRow("notes in between") << "taken" << false;
    QTest::newRow("notes in between, through a notifier") << "taken" << true;
}

// Collected or not, the debug lines of a conversion and the notes shown in
// between come out the same and in the same order; collected, they reach the
// handler in a few pieces, every other message at once and unchanged.
void tst_Converter::batchedDebugLines()
{
    QFETCH(QString, outDir);
    QFETCH(bool, notifier);
    QTemporaryDir tmp;
    QVERIFY(QDir().mkpath(tmp.filePath("taken/dbc_2_struct.h")));
    QStringList lines[2];
    int handed[2];
    QLoggingCategory::setFilterRules("default.debug=true");
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    const CDBC::Notifier previousNotifier = CDBC::setNotifier(
        notifier ? CDBC::Notifier([](const QString &title, const QString &text, const QString &) {
            qCDebug(noteLines).noquote() << title + ": " + text;
        })
                 : CDBC::Notifier());
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
    CDBC::setNotifier(previousNotifier);
    QVERIFY(qInstallMessageHandler(previous) == capture); // uninstall() put it back
    QLoggingCategory::setFilterRules("default.debug=false");
    QVERIFY(lines[0].size() > 250);
    QCOMPARE(lines[0].last(), (notifier ? "0 quarvel.notes: " : "1 default: ") +
                                  (outDir == "out" ? Written : "NOTE: 文件打开失败！"));
    QCOMPARE(lines[1], lines[0]);
    const int notes = lines[0].filter("NOTE: ").size();
    QCOMPARE(handed[0], lines[0].size()); // line by line
    QVERIFY(handed[1] <= 2 * notes + 1);  // a piece before each note, the note, the rest
}

// Switched off, the engine's debug lines are gone and the program's own stay;
// switched on again, the engine's are back.
void tst_Converter::debugLinesSwitch()
{
    QStringList lines;
    captured = &lines;
    QLoggingCategory::setFilterRules("default.debug=true");
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    NoteRecorder recorder;
    QTemporaryDir tmp;
    for (const bool on : {false, true}) {
        CDBC::setDebugLines(on);
        CDBC().transDbc(QUARVEL_EXAMPLES "/vehicle.dbc", tmp.path());
        qDebug() << "own line";
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("default.debug=false");
    QCOMPARE(lines.mid(0, 2), (QStringList{"0 default: own line", "0 default: file open success"}));
    QVERIFY(lines.size() > 250 && lines.last() == "0 default: own line");
}

#ifdef Q_OS_WIN
// An editor or IDE on Windows holds the header open without letting it be
// deleted: the conversion fails and says why, and the old header stays whole.
void tst_Converter::headerHeldOpen()
{
    QTemporaryDir tmp;
    const QString header = tmp.filePath(HeaderName);
    QVERIFY(writeFile(header, "old"));
    const HANDLE held = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(header).utf16()), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    QVERIFY(held != INVALID_HANDLE_VALUE);
    NoteRecorder recorder;
    CDBC engine;
    const bool written = engine.transDbc(QUARVEL_EXAMPLES "/vehicle.dbc", tmp.path());
    CloseHandle(held);
    QVERIFY(!written);
    QCOMPARE(recorder.notes, QStringList{"NOTE: 文件打开失败！"});
    QVERIFY2(engine.failureReason().startsWith("held open by another program"),
             qPrintable(engine.failureReason()));
    QCOMPARE(readAll(header), QByteArray("old"));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{HeaderName});
}
#endif

QTEST_GUILESS_MAIN(tst_Converter)
#include "tst_converter.moc"
