// SPDX-License-Identifier: MIT
// Tests of the DBC reader: readDbc with its signal step, its matchers, and regexCaptureAll.
#include "dbcmatchers.h"
#include "testsupport.h"

#include <QtTest>

namespace
{

// "NAME ID DLC CYCLE: SIGNAL START|LENGTH (FACTOR,OFFSET) [MIN|MAX], ...; NEXT ..."
QString describe(const CDBC &engine)
{
    QStringList messages;
    for (int i = 0; i < engine.msgCnt; ++i) {
        const CanMsgInfo &m = engine.msgTable[i];
        QString text =
            QString::asprintf("%s %d %d %d: ", m.msgName, m.msgId, m.msgDlc, m.cycleTime);
        for (int j = 0; j < m.signalCnt; ++j) {
            const CanSignalInfo &s = m.signalInfo[j];
            text += QString::asprintf("%s%s %d|%d (%.9g,%.9g) [%.9g|%.9g]", j ? ", " : "",
                                      s.signalName, s.bitStart, s.bitLength, double(s.factor),
                                      double(s.offset), double(s.minimum), double(s.maximum));
        }
        messages << text;
    }
    return messages.join("; ");
}

const QByteArray Sig = " SG_ S : 0|8@1+ (1,0) [0|255] \"\" X\n";

} // namespace

class tst_Reader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }
    void read_data();
    void read();
    void callersOwnTable();
    void byteOrders_data();
    void byteOrders();
    void chineseTextInTheLocalEncoding_data();
    void chineseTextInTheLocalEncoding();
    void regexCaptureAll_data();
    void regexCaptureAll();
    void signalLineInOnePass_data();
    void signalLineInOnePass();
    void matcherAtTheTextEnd();
};

void tst_Reader::read_data()
{
    QTest::addColumn<QString>("path"); // where set, read instead of `text`
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("records");
    const int none = int(CDBC::ReadError::None), notOpen = int(CDBC::ReadError::FileNotOpen);
    const auto row = [&](const char *name, const QByteArray &text, const QString &records) {
        QTest::newRow(name) << QString() << text << none << records;
    };

    for (const char *fixture : {"reader/worked_example", "reader/real_world_shapes"})
        QTest::newRow(fixture) << testData(fixture) + ".dbc" << QByteArray() << none
                               << QString::fromUtf8(readAll(testData(fixture) + ".records"));
    row("CR LF line ends, a CR before LF a blank",
        "BO_ 1 M: 8\r\n SG_ S : 0|8@1+ (2.5,-1) [0|255] \"\" X\r\n",
        "M 1 8 0: S 0|8 (2.5,-1) [0|255]");
    row("bare SG_ line, then a signal line", "BO_ 1 M: 8 X\n SG_\n" + Sig,
        "M 1 8 0:  0|0 (0,0) [0|0], S 0|8 (1,0) [0|255]");
    row("message right after a signal line, last line without line feed",
        "BO_ 1 A: 8 X\n" + Sig + "BO_ 2 B: 8 X\n" + Sig + "BO_ 3 C: 8 X",
        "A 1 8 0: S 0|8 (1,0) [0|255]; B 2 8 0: S 0|8 (1,0) [0|255]");
    row("identifiers beyond 31 bits",
        "BO_ 4294967295 A: 8 X\nBO_ 4294967296 B: 8 X\nBO_ 2147483647 C: 8 X\n"
        "BO_ 5000000000 D: 8 X\nBA_ \"GenMsgCycleTime\" BO_ 4294967295 7;\n",
        "A 536870911 8 7: ; B 0 8 0: ; C 2147483647 8 0: ; D 0 8 0: ");
    row("cycle times: last line wins, every record with the identifier, a value after a blank, "
        "a line first in the file",
        "BA_ \"GenMsgCycleTime\" BO_ 7 30;\nBO_ 5 A: 8 X\nBO_ 5 B: 8 X\nBO_ 6 C: 8 X\nBO_ 7 D: 8 "
        "X\n"
        "BA_ \"GenMsgCycleTime\" BO_ 5 10;\nBA_ \"GenMsgCycleTime\" BO_ 5 20;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 6 x7;\nBA_ \"GenMsgCycleTime\" \n",
        "A 5 8 20: ; B 5 8 20: ; C 6 8 0: ; D 7 8 30: ");
    row("a name after a character other than a blank", "BO_ 1 Engine-Data: 8 X\n" + Sig,
        " 1 8 0: S 0|8 (1,0) [0|255]");
    row("a unit holding '|'", "BO_ 1 M: 8 X\n SG_ S : 0|8@1+ (1,0) [5|6] \"u|v\" X\n",
        "M 1 8 0: S 0|8 (1,0) [5|6]");
    row("two blanks after BO_: no identifier", "BO_  7 M: 8 X\n", "M 0 8 0: ");
    // The factor ends at the first comma after its parenthesis (two
    // receivers: real_world_shapes).
    row("a comma in the unit", "BO_ 1 M: 8 X\n SG_ S : 0|8@1+ (0.5,2) [0|255] \"a,b\" X\n",
        "M 1 8 0: S 0|8 (0.5,2) [0|255]");
    row("number forms",
        "BO_ 1 M: 8 X\n SG_ S : 0|8@1+ (2.,1e3) [-0.5|+7] \"\" X\n"
        " SG_ T : 8|8@1+ (1..5,-.5) [0.1234567890123456|] X\n",
        "M 1 8 0: S 0|8 (2,1000) [-0.5|7], T 8|8 (0,-0.5) [0.123456791|0]");
    // A start bit or length beyond the 8-bit field is never wrapped: the
    // signal is kept out of the bit walk and the packing (start bit 255, length 0).
    row("numbers beyond the 8-bit fields",
        "BO_ 1 M: 264 X\n SG_ S : 257|300@1+ (1,0) [0|1] \"\" X\n SG_ T : 255|255@1+ X\n"
        " SG_ U : 263|8@0+ X\n SG_ V : 0|256@1+ X\n SG_ W : 99999999999|1@1+ X\n",
        "M 1 8 0: S 255|0 (1,0) [0|1], T 255|255 (0,0) [0|0], U 255|8 (0,0) [0|0], "
        "V 0|0 (0,0) [0|0], W 255|1 (0,0) [0|0]");
    row("names cut to 39 bytes",
        "BO_ 1 " + QByteArray(45, 'M') + ": 8 X\n SG_ " + QByteArray(40, 'S') +
            " : 0|1@1+ (1,0) [0|1] \"\" X\n",
        QString(39, 'M') + " 1 8 0: " + QString(39, 'S') + " 0|1 (1,0) [0|1]");
    QByteArray lines, kept;
    for (int j = 0; j < 65; ++j)
        lines += " SG_ S" + QByteArray::number(j) + " : 0|1@1+ (1,0) [0|1] \"\" X\n";
    for (int j = 0; j < 64; ++j)
        kept += (j ? ", S" : "S") + QByteArray::number(j) + " 0|1 (1,0) [0|1]";
    row("65 signal lines, the first 64 kept", "BO_ 1 M: 8 X\n" + lines, "M 1 8 0: " + kept);
    QString many;
    row("300 messages", manyMessages(300, &many), many);

    QByteArray utf16("\xFF\xFE");
    for (const QChar c : QString::fromLatin1("BO_ 1 M: 8 X\n" + Sig))
        utf16 += QByteArray(reinterpret_cast<const char *>(&c), 2);
    row("UTF-16 with byte-order mark", utf16, "M 1 8 0: S 0|8 (1,0) [0|255]");
    row("UTF-8 byte-order mark before a message line",
        "\xEF\xBB\xBF"
        "BO_ 1 M: 8 X\n",
        "M 1 8 0: ");

    // Files that yield no block at all.
    row("empty file", "", "");
    row("CR-only line ends", "BO_ 1 M: 8 X\r" + Sig.trimmed() + "\r", "");
    row("UTF-16 without byte-order mark",
        QByteArray(reinterpret_cast<const char *>(u"BO_ 1 M: 8 X\n"), 26), "");
    QByteArray unpaired("\xFF\xFE");
    for (const char16_t unit : u"BO_ 1 M: 8 X\n\xD800\n")
        unpaired += QByteArray(reinterpret_cast<const char *>(&unit), 2);
    row("UTF-16 with an unpaired surrogate", unpaired.left(unpaired.size() - 2), "");

    QTest::newRow("missing file") << "no/such.dbc" << QByteArray() << notOpen << "";
    QTest::newRow("directory") << QStringLiteral(QUARVEL_TEST_DATA) << QByteArray() << notOpen
                               << "";
    QTest::newRow("empty path") << "" << QByteArray() << notOpen << "";
}

// Each file is read twice into one engine, as the driver reads it, after a
// read that failed: the second read must give the same and release the first
// table (the sanitizer build reports a leak).
void tst_Reader::read()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, text);
    QFETCH(int, error);
    QFETCH(QString, records);
    QTemporaryDir dir;
    if (path.isNull()) {
        path = dir.filePath("file.dbc");
        QVERIFY(writeFile(path, text));
    }
    CDBC engine;
    QCOMPARE(engine.readDbc(&engine.msgTable, &engine.msgCnt, QString()), -1);
    for (int pass = 0; pass < 2; ++pass) {
        QCOMPARE(engine.readDbc(&engine.msgTable, &engine.msgCnt, path), error ? -1 : 0);
        QCOMPARE(int(engine.lastReadError()), error);
        QCOMPARE(describe(engine), records);
    }
}

// A table read into the caller's own pointer is the caller's: the engine's
// table stays as it was, to be released by the engine.
void tst_Reader::callersOwnTable()
{
    CDBC engine;
    QCOMPARE(
        engine.readDbc(&engine.msgTable, &engine.msgCnt, testData("reader/worked_example.dbc")), 0);
    const QString before = describe(engine);
    CanMsgInfo *mine = nullptr;
    int count = 0;
    QCOMPARE(engine.readDbc(&mine, &count, testData("reader/real_world_shapes.dbc")), 0);
    QCOMPARE(describe(engine), before);
    QVERIFY(count == 4 && mine != engine.msgTable);
    delete[] mine;
}

void tst_Reader::byteOrders_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<DbcByteOrders>("littleEndian"); // per message, a bit per slot
    const auto row = [](const char *name, const QByteArray &text, const DbcByteOrders &orders) {
        QTest::newRow(name) << text << orders;
    };
    row("both orders, both signs",
        "BO_ 1 M: 8 X\n SG_ A : 0|8@1+ X\n SG_ B : 7|8@0+ X\n SG_ C : 16|8@1- X\n"
        " SG_ D : 31|8@0- X\nBO_ 2 N: 8 X\n SG_ E : 0|8@0+ X\n",
        {0b0101, 0});
    row("uncommon lines, read by the finders",
        "BO_ 1 M: 8 X\n SG_ A: 0|8@1+ X\n SG_ B m3 : 8|4@1+ X\n\tSG_  C : 12|4@0+ X\n", {0b011});
    row("no byte order after the '@', at the text's end", "BO_ 1 M: 8 X\n SG_ A : 0|8@", {0});
    row("a digit other than 0 and 1", "BO_ 1 M: 8 X\n SG_ A : 0|8@2+ X\n", {0});
    QByteArray lines;
    for (int j = 0; j < 65; ++j)
        lines += " SG_ S" + QByteArray::number(j) + " : 0|1@" + (j >= 63 ? "1" : "0") + "+ X\n";
    row("the last of 64 slots; lines after it dropped", "BO_ 1 M: 8 X\n" + lines,
        {quint64(1) << 63});
}

// The reader records each signal's byte order beside its record: the frame
// form and the frame check read it.
void tst_Reader::byteOrders()
{
    QFETCH(QByteArray, text);
    QFETCH(DbcByteOrders, littleEndian);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("file.dbc"), text));
    CDBC engine;
    QCOMPARE(engine.readDbc(&engine.msgTable, &engine.msgCnt, dir.filePath("file.dbc")), 0);
    QCOMPARE(engine.byteOrders(), littleEndian);
}

void tst_Reader::chineseTextInTheLocalEncoding_data()
{
    QTest::addColumn<QByteArray>("codec"); // the local 8-bit encoding; empty: the system's
    QTest::newRow("the system's local encoding") << QByteArray();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTest::newRow("GBK, as on a Chinese Windows") << QByteArray("GBK");
#endif
}

// A DBC file as Chinese suppliers write it: comments, units and value
// descriptions in GBK (code page 936), whose trail bytes include ASCII
// punctuation ([ ] | \ @ { in the characters used here). Names and numbers
// are ASCII, so the header and the packing are those of the same file
// without the Chinese text, whatever the local encoding.
void tst_Reader::chineseTextInTheLocalEncoding()
{
    QFETCH(QByteArray, codec);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTextCodec *const system = QTextCodec::codecForLocale();
    if (!codec.isEmpty())
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
    const auto restore = qScopeGuard([system] { QTextCodec::setCodecForLocale(system); });
#endif
    const QByteArray file = "VERSION \"\"\n\nBU_: ECU\n\n"
                            "BO_ 256 Gear: 8 ECU\n"
                            " SG_ GearPos : 7|4@0+ (1,0) [0|15] \"%1\" ECU\n"
                            " SG_ Speed : 15|16@0+ (0.1,0) [0|6553.5] \"%2\" ECU\n\n"
                            "CM_ BO_ 256 \"%3\";\nCM_ SG_ 256 Speed \"%4\";\n"
                            "VAL_ 256 GearPos 0 \"%5\" 1 \"%6\" ;\n"
                            "BA_ \"GenMsgCycleTime\" BO_ 256 20;\n";
    // 档位 (gear) 乕, 车速 (speed) 乚, 里程 亅 乗, 丂, 亄 in GBK.
    const QByteArray chinese[] = {"\xb5\xb5\xce\xbb\x81[",
                                  "\xb3\xb5\xcb\xd9\x81]",
                                  "\xc0\xef\xb3\xcc\x81|\x81\\",
                                  "\x81@",
                                  "\x81{",
                                  "\xb5\xb5"};
    QTemporaryDir tmp;
    QByteArray headers[2], packed[2];
    for (int withChinese = 0; withChinese < 2; ++withChinese) {
        QByteArray text = file;
        for (int i = 0; i < 6; ++i)
            text.replace("%" + QByteArray::number(i + 1), withChinese ? chinese[i] : "x");
        const QString name = QString::number(withChinese);
        QVERIFY(writeFile(tmp.filePath(name + ".dbc"), text));
        NoteRecorder recorder;
        CDBC engine;
        QVERIFY(engine.transDbc(tmp.filePath(name + ".dbc"), tmp.filePath(name)));
        headers[withChinese] = readAll(tmp.filePath(name + "/dbc_2_struct.h"));
        engine.canInfoTransferData("Speed", 0x1234);
        packed[withChinese] = QByteArray(reinterpret_cast<char *>(engine.msgTable[0].msgData), 8);
    }
    QVERIFY(headers[0].startsWith("/*\r\nMessage Name:Gear\r\n"));
    QCOMPARE(headers[1], headers[0]);
    QCOMPARE(packed[1].toHex(' '), packed[0].toHex(' '));
}

void tst_Reader::regexCaptureAll_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("results"); // empty: the pattern is rejected
    QTest::newRow("every match") << "(?<=\\s)\\d+(?=;)" << QStringList{"10", "200"};
    QTest::newRow("named groups follow their match")
        << "(?<n>\\d)0(?=;)" << QStringList{"10", "1", "00", "0"};
    QTest::newRow("rejected pattern") << "(" << QStringList();
}

void tst_Reader::regexCaptureAll()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, results);
    QString found[8] = {"untouched"};
    int count = 1;
    const int rc = CDBC().regexCaptureAll(pattern, "BA_ x 10; y 200;", found, &count);
    QCOMPARE(rc, results.isEmpty() ? -1 : 0);
    QCOMPARE(QStringList(found, found + count),
             results.isEmpty() ? QStringList{"untouched"} : results);
}

void tst_Reader::signalLineInOnePass_data()
{
    QTest::addColumn<QString>("text"); // a signal line from its "SG_", maybe with more lines
    QTest::addColumn<bool>("common");  // whether it is read in one pass
    const auto row = [](const char *name, const char *text, bool common) {
        QTest::newRow(name) << QString::fromLatin1(text) << common;
    };
    row("usual", "SG_ S : 0|8@1+ (1,0) [0|255] \"km/h\" X", true);
    row("two receivers", "SG_ S : 0|8@1+ (1,0) [0|1] \"\" A,B", true);
    row("comma in the unit", "SG_ S : 0|8@1+ (1,0) [0|1] \"a,b\" X", true);
    row("commas before the parenthesis", "SG_ S : 0|8@1+ a,b (1,0) [0|1] X", true);
    row("no comma after the parenthesis", "SG_ S : 0|8@1+ a,b (1) [0|1] X", true);
    row("multiplexed", "SG_ S m3 : 7|8@0- (0.5,-2) [-1|1] \"\" X", true);
    row("unit holding ), ] and |", "SG_ S : 0|8@1+ (1,0) [0|1] \"a)b]|c\" X", true);
    row("comma before the parenthesis", "SG_ S : 0|8@1+ ,(1,0) [0|1] \"\" X", true);
    row("no range, empty fields", "SG_ S : 0|8@1+ (,) X", true);
    row("three bars, nested brackets", "SG_ S : 0|8@1+ (1,0) [[0|1|2]|3] \"\" X", true);
    row("tabs and a carriage return", "SG_\tS\t:\t0|8@1+ (1,0) [0|1] \"\" X\r", true);
    row("ends at the line feed", "SG_ S : 0|8@1+ (1,0) [0|1] X\n SG_ T : 1|1@1+ (2,3) [4|5] Y",
        true);
    row("nothing after the @", "SG_ S : 0|8@", true);
    row("empty maximum", "SG_ S : 0|8@1+ (1,0) [5|] X", true);
    row("name with a hyphen", "SG_ A-B : 0|8@1+ (1,0) [0|1] \"\" X", false);
    row("bar before the colon", "SG_ S x|y : 0|8@1+ (1,0) [0|1] \"\" X", false);
    row("line feed in the head", "SG_ S\n: 0|8@1+ (1,0) [0|1] X", false);
    row("start bit not a number", "SG_ S : x|8@1+ (1,0) [0|1] X", false);
    row("no blank after the colon", "SG_ S :0|8@1+ (1,0) [0|1] X", false);
}

// The one-pass reading gives each field exactly where the finders find it,
// and the line's end; taken over from the line before, too.
void tst_Reader::signalLineInOnePass()
{
    QFETCH(QString, text);
    QFETCH(bool, common);
    using namespace DbcMatchers;
    const QChar *const s = text.constData();
    const int n = text.size();
    const int lineEnd = text.contains('\n') ? text.indexOf('\n') : n;
    const SignalFields expected = findSignalFields(QStringView(s, lineEnd));
    SignalLineRest rest;
    for (int pass = 0; pass < 2; ++pass) {
        SignalFields fields;
        QCOMPARE(readCommonSignalLine(s, 0, n, &fields, &rest), common ? lineEnd : -1);
        if (!common)
            return;
        const QStringView found[] = {fields.name,   fields.startBit, fields.bitLength,
                                     fields.factor, fields.offset,   fields.minimum,
                                     fields.maximum};
        const QStringView wanted[] = {expected.name,   expected.startBit, expected.bitLength,
                                      expected.factor, expected.offset,   expected.minimum,
                                      expected.maximum};
        for (int k = 0; k < 7; ++k) {
            QCOMPARE(found[k].isNull(), wanted[k].isNull());
            if (!wanted[k].isNull())
                QCOMPARE(found[k].data() - s, wanted[k].data() - s);
            QCOMPARE(found[k].size(), wanted[k].size());
        }
    }
}

// A matcher finds what its pattern finds, up to the text's last character.
void tst_Reader::matcherAtTheTextEnd()
{
    const QString text = "BO_ 1 M: 8 X\n SG_"; // SG_.* matches the last three characters
    QCOMPARE(DbcMatchers::first(DbcMatchers::findSignalLine, text).toString(), QString("SG_"));
}

QTEST_GUILESS_MAIN(tst_Reader)
#include "tst_reader.moc"
