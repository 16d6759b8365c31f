// Tests of the DBC reader: regexCaptureAll, readDbc and its signal step.
//
// Records are compared as text: a message as "name|id|dlc|cycleTime|signalCnt",
// a signal as "name|bitStart|bitLength|factor|offset|minimum|maximum", joined
// by "; ". Every snippet is also read by a literal reading, pattern by pattern
// over the public regexCaptureAll, which the reader's hand-written matchers
// must equal byte for byte.

#include "cdbc.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cstring>
#include <vector>

namespace
{

QStringList *capturedLines = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && capturedLines)
        capturedLines->append(message);
    else if (previousHandler)
        previousHandler(type, context, message);
}

struct ReadResult {
    int rc;
    CDBC::ReadError error;
    QStringList log;
};

// readDbc on the engine's own members, as the driver calls it, debug lines captured.
ReadResult readInto(CDBC &engine, const QString &path)
{
    ReadResult result{0, CDBC::ReadError::None, {}};
    capturedLines = &result.log;
    previousHandler = qInstallMessageHandler(captureHandler);
    result.rc = engine.readDbc(&engine.msgTable, &engine.msgCnt, path);
    qInstallMessageHandler(previousHandler);
    capturedLines = nullptr;
    result.error = engine.lastReadError();
    return result;
}

QString floatText(float value)
{
    return QString::number(double(value), 'g', 9);
}

QString describeMessage(const CanMsgInfo &m)
{
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(QString::fromLocal8Bit(m.msgName), QString::number(m.msgId), QString::number(m.msgDlc),
             QString::number(m.cycleTime), QString::number(m.signalCnt));
}

QString describeSignals(const CanMsgInfo &m)
{
    QStringList parts;
    for (int j = 0; j < m.signalCnt; ++j) {
        const CanSignalInfo &s = m.signalInfo[j];
        parts << QString::fromLocal8Bit(s.signalName) +
                     QStringLiteral("|%1|%2|%3|%4|%5|%6")
                         .arg(QString::number(s.bitStart), QString::number(s.bitLength),
                              floatText(s.factor), floatText(s.offset), floatText(s.minimum),
                              floatText(s.maximum));
    }
    return parts.join(QStringLiteral("; "));
}

QString describeMessages(const CDBC &engine, bool withSignals = false)
{
    QStringList parts;
    for (int i = 0; i < engine.msgCnt; ++i) {
        const CanMsgInfo &m = engine.msgTable[i];
        const QString part = withSignals ? describeSignals(m) : describeMessage(m);
        if (!part.isEmpty())
            parts << part;
    }
    return parts.join(QStringLiteral("; "));
}

// An expected signal list with its float texts converted as the reader converts them.
QString normaliseSignals(const QString &expected)
{
    QStringList out;
    for (const QString &one : expected.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        QStringList fields = one.split(QLatin1Char('|'));
        for (int f = 3; f < fields.size(); ++f)
            fields[f] = floatText(fields[f].toFloat());
        out << fields.join(QLatin1Char('|'));
    }
    return out.join(QStringLiteral("; "));
}

QByteArray fixture(const char *name)
{
    QFile file(QStringLiteral(QUARVEL_TEST_DATA "/reader/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture %s missing", name);
    return file.readAll();
}

QByteArray signalLine(const QByteArray &name, int startBit)
{
    return " SG_ " + name + " : " + QByteArray::number(startBit) + "|1@1+ (1,0) [0|1] \"\" ECU2\n";
}

// `count` messages M0, M1, ... with identifiers 1000 + i, one signal and a cycle-time line each.
QByteArray manyMessages(int count)
{
    QByteArray text = "VERSION \"\"\n\n", attributes;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        text += "BO_ " + QByteArray::number(1000 + i) + " M" + n + ": 8 ECU1\n" +
                signalLine("S" + n, i % 64) + "\n";
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + QByteArray::number(1000 + i) + " " +
                      QByteArray::number(i + 1) + ";\n";
    }
    return text + attributes;
}

// One message Big with `count` one-bit signal lines S0, S1, ..., then a message After.
QByteArray manySignals(int count)
{
    QByteArray lines;
    for (int j = 0; j < count; ++j)
        lines += signalLine("S" + QByteArray::number(j), j % 64);
    return "\nBO_ 256 Big: 8 ECU1\n" + lines + "\nBO_ 257 After: 2 ECU1\n" + signalLine("Last", 3);
}

QByteArray toCrLf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// UTF-16LE with a byte-order mark, unit by unit, so unpaired surrogates stay as they are.
QByteArray utf16LittleEndian(const QString &text)
{
    QByteArray bytes("\xFF\xFE");
    for (const QChar unit : text)
        bytes += char(unit.unicode() & 0xFF) + QByteArray(1, char(unit.unicode() >> 8));
    return bytes;
}

// One file per character: it stands in every place where a field pattern looks
// at a separator or at the characters of a number, in message, signal and
// cycle-time lines, and as a signal line's indentation. UTF-8 with a byte-order
// mark, so the text is the same whatever the local encoding.
QByteArray separatorSweep(QChar c)
{
    QString text = QStringLiteral(
        "VERSION \"\"\n\nBO_ 0 Zero: 8 X\nBO_#256 N0: 8 X\nBO_ 257#N1: 8 X\nBO_ 258 N2#: 8 X\n"
        "BO_ 259 N3:#8 X\nBO_ 260 N4: 8#X\nBO_ 261 N#5: 8 X\nBO_ 300 S: 8 X\n"
        "#SG_ A : 0|8@1+ (1,0) [0|1] \"\" X\n SG_#B : 8|8@1+ (1,0) [0|1] \"\" X\n"
        " SG_ C#: 16|8@1+ (1,0) [0|1] \"\" X\n SG_ D#:#32|8@1+ (1,0) [0|1] \"\" X\n"
        " SG_ E : 40#|8@1+ (1,0) [0|1] \"\" X\n SG_ F : 48|#8@1+ (1,0) [0|1] \"\" X\n"
        " SG_ G : 56|8#@1+ (1,0) [0|1] \"\" X\n SG_ H : 0|8@1+#(2,3) [4|5] \"\" X\n"
        " SG_ I : 0|8@1+ (2#3) [4#5] \"\" X\n SG_ J : 0|8@1+ (2,3# [4|5# \"\" X\n"
        " SG_ K : 0|8@1+ (2,3) #4|5] \"\" X\n SG_ L : 0|8@1+ (1.#5,-#2) [-1#|2.5] \"\" X\n"
        " SG_ M : 0|8@1+ (#1,0#) [#0|1#] \"\" X\n SG_##N : 1|2@1+ (1,0) [0|1] \"\" X\n\n"
        "BA_ \"GenMsgCycleTime\" BO_#257 10;\nBA_ \"GenMsgCycleTime\" BO_ 258#11;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 259 12#;\nBA_ \"GenMsgCycleTime\"#BO_ 260 13;\n"
        "BA_#\"GenMsgCycleTime\" BO_ 300 14;\nBA_ \"GenMsgCycleTime\" BO_ 261# 15;\n");
    return "\xEF\xBB\xBF" + text.replace(QLatin1Char('#'), c).toUtf8();
}

// ---------------------------------------------------------------------------
// The literal reading, with the reader's limits and conversions.

QStringList captureAll(const QString &pattern, const QString &text)
{
    static CDBC engine;
    std::vector<QString> results(size_t(text.size()) + 2);
    int count = -1;
    if (engine.regexCaptureAll(pattern, text, results.data(), &count) != 0)
        qFatal("pattern rejected: %s", qPrintable(pattern));
    return QStringList(results.begin(), results.begin() + count);
}

QString first(const QString &pattern, const QString &text)
{
    const QStringList all = captureAll(pattern, text);
    return all.isEmpty() ? QString() : all.first();
}

qint32 referenceIdentifier(const QString &text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFull)
        return 0;
    return value <= 0x7FFFFFFFull ? qint32(value) : qint32(value & 0x1FFFFFFFull);
}

void referenceName(const QString &name, char (&dest)[DbcLimits::NameSize])
{
    const QByteArray bytes = name.toLocal8Bit().left(DbcLimits::MaxNameLength);
    std::memcpy(dest, bytes.constData(), size_t(bytes.size()) + 1);
}

quint8 low8(const QString &text)
{
    return quint8(text.toInt() & 0xFF);
}

// Returns the reader's result code; fills `table` on success.
int referenceRead(const QString &text, std::vector<CanMsgInfo> *table)
{
    const QStringList blocks = captureAll("(?<![^\\n])BO_ .*\\n(?:[ \\t]+SG_.*\\n)*", text);
    if (blocks.size() > DbcLimits::MaxMessages)
        return -1;
    table->assign(size_t(blocks.size()), CanMsgInfo());
    for (int i = 0; i < blocks.size(); ++i) {
        const QString &block = blocks.at(i);
        CanMsgInfo &msg = (*table)[size_t(i)];
        referenceName(first("(?<=\\s)\\w+(?=:)", block), msg.msgName);
        msg.msgId = referenceIdentifier(first("(?<=BO_\\s)\\d+(?=\\s)", block));
        msg.msgDlc = low8(first("(?<=:\\s)\\d+(?=\\s)", block));
        const QStringList lines = captureAll("SG_.*", block.mid(block.indexOf('\n') + 1));
        msg.signalCnt = quint8(qMin(lines.size(), DbcLimits::MaxSignals));
        for (int j = 0; j < msg.signalCnt; ++j) {
            const QString &line = lines.at(j);
            CanSignalInfo &sig = msg.signalInfo[j];
            referenceName(first("(?<=SG_\\s)\\w+(?=\\s)", line), sig.signalName);
            sig.bitStart = low8(first("(?<=\\s:\\s)\\d+(?=\\|)", line));
            sig.bitLength = low8(first("(?<=\\|)\\d+(?=@)", line));
            sig.factor = first("(?<= \\().*(?=,)", line).toFloat();
            sig.offset = first("(?<=,).*(?=\\))", line).toFloat();
            const QString range = first("(?<=\\[).*(?=\\])", line);
            sig.minimum = first("^.*(?=\\|)", range).toFloat();
            sig.maximum = first("(?<=\\|).*", range).toFloat();
        }
    }
    for (const QString &attribute : captureAll("(?<=BA_ \"GenMsgCycleTime\" ).*", text)) {
        const qint32 id = referenceIdentifier(first("(?<=BO_\\s)\\d+(?=\\s)", attribute));
        for (CanMsgInfo &msg : *table) {
            if (msg.msgId == id)
                msg.cycleTime = first("(?<=\\s)\\d+(?=;)", attribute).toInt();
        }
    }
    return 0;
}

// Reads the file with the reader into `engine` and literally; the result codes
// and the records (all from cleared memory) must be identical.
void readAndCompare(CDBC &engine, const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    std::vector<CanMsgInfo> expected;
    const int expectedRc =
        referenceRead(QTextStream(&bytes, QIODevice::ReadOnly).readAll(), &expected);

    QCOMPARE(readInto(engine, path).rc, expectedRc);
    if (expectedRc != 0)
        return;
    QCOMPARE(engine.msgCnt, int(expected.size()));
    for (int i = 0; i < engine.msgCnt; ++i) {
        const CanMsgInfo &got = engine.msgTable[i];
        const CanMsgInfo &want = expected[size_t(i)];
        if (std::memcmp(&got, &want, sizeof(CanMsgInfo)) == 0)
            continue;
        QCOMPARE(describeMessage(got), describeMessage(want));
        QCOMPARE(describeSignals(got), describeSignals(want));
        QFAIL(qPrintable(QStringLiteral("record %1 differs in bytes not described").arg(i)));
    }
}

} // namespace

class tst_Reader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(dir.isValid(), qPrintable(dir.errorString())); }
    void regexCaptureAll_data();
    void regexCaptureAll();
    void records_data();
    void records();
    void debugLines_data();
    void debugLines();
    void unopenableFile_data();
    void unopenableFile();
    void messageLimit_data();
    void messageLimit();
    void signalLimit_data();
    void signalLimit();
    void tableLifecycle();
    void corpus_data();
    void corpus();

private:
    QString write(const QByteArray &content);

    QTemporaryDir dir;
    int fileNumber = 0;
};

QString tst_Reader::write(const QByteArray &content)
{
    const QString path = dir.filePath(QStringLiteral("snippet%1.dbc").arg(++fileNumber));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_Reader::regexCaptureAll_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rc");
    QTest::addColumn<QStringList>("results");
    const auto row = [](const char *tag, const char *pattern, const char *text, int rc,
                        const QStringList &results) {
        QTest::newRow(tag) << QString(pattern) << QString(text) << rc << results;
    };
    row("global, in order", "\\d+", "a1b22c333", 0, {"1", "22", "333"});
    row("same pattern, other text", "\\d+", "x345", 0, {"345"});
    row("no match", "x", "abc", 0, {});
    row("empty text", "a*", "", 0, {""});
    row("empty matches", "a*", "baa", 0, {"", "aa", ""});
    row("groups do not capture", "(a)(b)", "abab", 0, {"ab", "ab"});
    row("named group follows whole match", "(?<n>a)b", "abab", 0, {"ab", "a", "ab", "a"});
    row("rejected pattern", "(", "abc", -1, {});
}

// Each call twice: the second finds the pattern compiled. Slots past the results stay untouched.
void tst_Reader::regexCaptureAll()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(int, rc);
    QFETCH(QStringList, results);

    CDBC engine;
    for (int call = 0; call < 2; ++call) {
        QString outputs[8];
        for (QString &slot : outputs)
            slot = QStringLiteral("untouched");
        int count = -7;
        QCOMPARE(engine.regexCaptureAll(pattern, text, outputs, &count), rc);
        QCOMPARE(count, rc == 0 ? results.size() : -7);
        const int used = rc == 0 ? count : 0;
        QCOMPARE(QStringList(outputs, outputs + used), results);
        for (int i = used; i < 8; ++i)
            QCOMPARE(outputs[i], QStringLiteral("untouched"));
    }
}

void tst_Reader::records_data()
{
    QTest::addColumn<QByteArray>("dbc");
    QTest::addColumn<QString>("messages"); // null: compared with the literal reading only
    QTest::addColumn<QString>("signalList");

    const QByteArray sig = " SG_ S : 0|8@1+ (1,0) [0|255] \"\" ECU2\n";
    const QByteArray name39 = "N23456789012345678901234567890123456789";
    const auto row = [](const char *tag, const QByteArray &dbc, const char *messages = nullptr,
                        const char *signalList = "") {
        QTest::newRow(tag) << dbc << (messages ? QString::fromLatin1(messages) : QString())
                           << QString::fromLatin1(signalList);
    };

    // Limits, repairs for real-world files and boundaries, with the records they give.
    row("worked example", fixture("worked_example.dbc"),
        "EngineData|256|8|10|2; BrakeData|512|4|0|0",
        "EngineSpeed|24|16|0.125|0|0|8191.875; EngineTemp|0|8|1|-40|-40|215");
    // Message on the first line, tab and blank indentation, message right after a signal
    // line, extended identifiers and their cycle times, multiplexing, a comma in the
    // receivers (factor 0), no phantom signal for MSG_, BO_TX_BU_ and BA_DEF_ lines.
    row("real-world shapes", fixture("real_world_shapes.dbc"),
        "FirstLine|100|8|20|1; ExtendedA|419361024|8|100|2; ExtendedB|419361280|6|200|1; "
        "MSG_Status|300|2|50|1",
        "TabIndented|0|8|1|0|0|255; FourBlanks|8|4|0.5|-1|-1|6.5; TwoBlanks|12|4|1|0|-8|7; "
        "Mode|0|4|0|0|0|15; Status|0|16|1|0|0|65535");
    row("empty file", "", "");
    row("last message line without line feed", "\nBO_ 1 A: 8 X\n\nBO_ 2 Last: 8 X", "A|1|8|0|0");
    row("unindented SG_ line ends the block, message lines back to back",
        "\nBO_ 1 A: 8 X\n" + sig +
            "SG_ T : 8|8@1+ (1,0) [0|1] \"\" X\nBO_ 2 MSG_Idle: 8 X\n"
            "BO_ 3 B: 8 X\n",
        "A|1|8|0|1; MSG_Idle|2|8|0|0; B|3|8|0|0", "S|0|8|1|0|0|255");
    row("identifiers around bit 31, also in cycle-time lines",
        "\nBO_ 2147483647 A: 8 X\nBO_ 2147483648 B: 8 X\nBO_ 4294967295 C: 8 X\n"
        "BO_ 4294967296 D: 8 X\nBO_ x E: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 4294967295 60;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 4294967296 30;\n",
        "A|2147483647|8|0|0; B|0|8|30|0; C|536870911|8|60|0; D|0|8|30|0; E|0|8|30|0");
    row("data length codes keep 8 bits", "\nBO_ 1 A: 300 X\nBO_ 2 B: 4294967296 X\n",
        "A|1|44|0|0; B|2|0|0|0");
    row("names of 39 and 40 bytes",
        "\nBO_ 1 " + name39 + ": 8 X\n SG_ S" + name39 + " : 0|1@1+ (1,0) [0|1] \"\" X\nBO_ 2 " +
            name39 + "A: 8 X\n",
        qPrintable(QString::fromLatin1(name39 + "|1|8|0|1; " + name39 + "|2|8|0|0")),
        qPrintable(QString::fromLatin1("S" + name39.left(38) + "|0|1|1|0|0|1")));
    row("cycle-time lines",
        "\nBO_ 256 A: 8 X\n\nBO_ 256 B: 8 X\n\nBO_ 257 C: 8 X\n\nBO_ x D: 8 X\n\n"
        "BA_ \"GenMsgCycleTime\" BO_ 256 5;\nBA_ \"GenMsgCycleTime\" BO_ 256 7;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 257 3;\nBA_ \"GenMsgCycleTime\" BO_ 257 10 ;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 999 10;\nBA_ \"GenMsgCycleTime\" BU_ ECU1 50;\n"
        "BA_DEF_ \"GenMsgCycleTime\" BO_ 256 1;\nBA_DEF_DEF_ \"GenMsgCycleTime\" BO_ 256 2;\n"
        "BA_ \"GenMsgCycleTime\"BO_ 256 3;\nBA_  \"GenMsgCycleTime\" BO_ 256 4;\n"
        "BA_ GenMsgCycleTime BO_ 256 6;\n",
        "A|256|8|7|0; B|256|8|7|0; C|257|8|0|0; D|0|8|50|0");
    row("signal fields",
        "\nBO_ 100 M: 8 X\n SG_ S : 300|260@1+ (1,0) [0|1] \"\" X\n"
        " SG_ N : 0|32@1- (-0.5,-40) [-3.4E+038|3.4E+038] \"\" X\n"
        " SG_ R : 0|8@1+ (1,0) \"\" X\n SG_ Lonely\n",
        "M|100|8|0|4",
        "S|44|4|1|0|0|1; N|0|32|-0.5|-40|-3.4E+038|3.4E+038; R|0|8|1|0|0|0; |0|0|0|0|0|0");
    row("CR-only line ends", "VERSION \"\"\r\rBO_ 1 A: 8 X\r SG_ S : 0|8@1+ (1,0) [0|1] \"\" Y\r",
        "");

    // Inputs that stress how the patterns run rather than what they find.
    row("word with colon after a blank before the message colon",
        "\nBO_ 256 EngineData : 8 ECU1\n SG_ S : 0|8@1+ (1,0) [0|1] \"rev min:\" ECU1\n");
    row("attribute name twice on a line",
        "\nBO_ 1 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BA_ \"GenMsgCycleTime\" BO_ 1 5;\n");
    row("attribute name ends a line",
        "\nBO_ 0 A: 8 X\n\nBA_ \"GenMsgCycleTime\" \nBA_ \"GenMsgCycleTime\" ");
    row("attribute line ending in the attribute name",
        "\nBO_ 0 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 0 5; BA_ \"GenMsgCycleTime\" \n");
    row("SG_ twice in a line", "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"SG_x\" SG_\n");
    row("non-ASCII text",
        "CM_ \"Motor ÄÖÜ 温度\";\nBO_ 1 Temp: 8 X\n SG_ T : 0|8@1+ (1,0) [0|1] \"°C\" Y\n");
    row("long line",
        "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"" + QByteArray(20000, 'u') + "\" Y\n");
    row("BO_ inside a line", "\nCM_ \"BO_ 5 Hidden: 8 X\";\nBO_ 1 A: 8 X\n");
    row("colons and brackets everywhere",
        "\nBO_ 1 A: 8 X: 9\n SG_ S : 1|2@3 : 4|5@ (1,2)(3,4) [1|2][3|4] \"a:b\" X\n");
    row("openings without closings",
        "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1 (2 [3 [4|5 \"\" X\n"
        " SG_ T : 0|8@1+ ) (1,0 [0|1 \"a]\" X\n"
        " SG_ U : 0|8@1+ ] ( , ) [ | ] \"\" X\n SG_ V : 0|8@1+ (1,2,3) (4,5) [1|2|3] [|] \"\" X\n"
        " SG_ W : 0|8@1+ (,) [] \"\" X\n");
    row("fields after the first SG_ of a line",
        "\nBO_ 1 A: 8 X\n SG_  S : 0|8@1+ (1,0) [0|1] \"SG_ Late : 5|3@\" X\n"
        " SG_ SG_ Double : 1|2@1+ (1,0) [0|1] \"\" X\n");
    row("runs cut short by their look-ahead",
        "\nBO_ 1 A1B2 C: 8 X\n SG_ S : 01|2|3@4|5@ (1,0) [0|1] \"\" X\n"
        " SG_ T :  5|6@ : 7|8@ (1,0) [0|1] \"\" X\n");
    row("integer texts",
        "\nBO_ 0000000256 A: 000000008 X\n\nBO_ 0004294967295 B: 0000000260 X\n"
        "\nBO_ 999999999 C: 2147483647 X\n SG_ S : 000000300|0000000260@1+ (1,0) [0|1] \"\" X\n"
        " SG_ T : 2147483648|99999999999@1+ (1,0) [0|1] \"\" X\n"
        "\nBA_ \"GenMsgCycleTime\" BO_ 256 0000000005;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 999999999 2147483648;\n");
    row("decimal texts", "\nBO_ 1 A: 8 X\n SG_ A : 0|8@1+ (-0,-0.0) [00.50|-000] \"\" X\n"
                         " SG_ B : 0|8@1+ (1.,.5) [-.5|5.] \"\" X\n"
                         " SG_ C : 0|8@1+ (+1,1e3) [1E-3|-2.5e+2] \"\" X\n"
                         " SG_ D : 0|8@1+ (123456789012345,1234567890123456) "
                         "[0.000000000000001|9.99999999999999] \"\" X\n"
                         " SG_ E : 0|8@1+ (0.1,3.4028235E+38) [1e39|-1e-46] \"\" X\n"
                         " SG_ F : 0|8@1+ (16777217,0.30000000000000004) [1.5.5|--1] \"\" X\n"
                         " SG_ G : 0|8@1+ (inf,nan) [0x10|1,5] \"\" X\n"
                         " SG_ H : 0|8@1+ (0.5, 2) [0 | 10] \"\" X\n");
    row("message line ends the file",
        "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"\" X\nBO_ 2 B: 8 X");
    row("signal line ends the file", "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"\" X");
    row("blank line with indentation ends a block",
        "\nBO_ 1 A: 8 X\n" + sig + " \t \n SG_ T : 8|8@1+ (1,0) [0|1] \"\" X\n");

    // Every ASCII character and some others (Unicode blanks and digits, a
    // byte-order mark, a replacement character) in every separator place.
    QVector<ushort> characters;
    for (ushort c = 0; c < 0x80; ++c)
        characters << c;
    characters << 0x85 << 0xA0 << 0xE9 << 0x660 << 0x1680 << 0x2028 << 0x3000 << 0xFEFF << 0xFF10
               << 0xFFFD;
    for (const ushort c : characters)
        row(qPrintable(QStringLiteral("U+%1 in separator places").arg(c, 4, 16, QLatin1Char('0'))),
            separatorSweep(QChar(c)));

    // Characters beyond U+FFFF, and unpaired surrogates (the patterns then find
    // nothing) first and last at each position within a group of four code units.
    const QString plain = QString::fromUtf8(fixture("real_world_shapes.dbc"));
    const QString car = QString::fromUcs4(U"\U0001F697");
    row("character beyond U+FFFF in comment, name and unit",
        utf16LittleEndian("CM_ \"" + car + "\";\n" + plain + "\nBO_ 7 Car" + car +
                          "A: 8 X\n SG_ S" + car + " : 0|8@1+ (1,0) [0|1] \"" + car + "\" X\n"));
    row("character beyond U+FFFF as a separator",
        utf16LittleEndian(plain + "\nBO_ 7" + car + "Car: 8 X\n SG_ S :" + car + "0|8@1+ (1" + car +
                          ",0) [0|1] \"\" X\n"));
    for (int lead = 0; lead < 4; ++lead) {
        const QString blanks(lead, QLatin1Char(' '));
        row(qPrintable(QStringLiteral("unpaired surrogate after %1 blanks").arg(lead)),
            utf16LittleEndian(blanks + QChar(ushort(0xD83D)) + plain));
        row(qPrintable(QStringLiteral("unpaired surrogate last, %1 blanks first").arg(lead)),
            utf16LittleEndian(blanks + plain + QChar(ushort(0xDE97))));
    }
}

// Each snippet, with LF and with CR LF line ends, agrees with the literal
// reading; where given, the records are the expected ones.
void tst_Reader::records()
{
    QFETCH(QByteArray, dbc);
    QFETCH(QString, messages);
    QFETCH(QString, signalList);

    CDBC crlf;
    readAndCompare(crlf, write(toCrLf(dbc)));
    CDBC engine;
    readAndCompare(engine, write(dbc));
    if (QTest::currentTestFailed() || messages.isNull())
        return;
    QCOMPARE(engine.lastReadError(), CDBC::ReadError::None);
    QCOMPARE(describeMessages(engine), messages);
    QCOMPARE(describeMessages(engine, true), normaliseSignals(signalList));
}

void tst_Reader::debugLines_data()
{
    QTest::addColumn<QByteArray>("dbc");
    QTest::addColumn<QStringList>("expected");

    const QStringList open{"file open success", "read BOSG success!"};
    const QStringList end{"read BOSG success!", "read signal finished"};
    const QStringList fields{
        "read signal success!",         "read bitStart success!",
        "read bitLength success!",      "read signal factor success!",
        "read signal offset success!",  "read signal Minimun To Maximum success!",
        "read signal Minimun success!", "read signal Maximun success!"};
    QTest::newRow("no message block") << QByteArray("VERSION \"\"\n") << open + end;
    QTest::newRow("worked example")
        << fixture("worked_example.dbc")
        << open + QStringList{"\"read canidCnt:0\"", "read signal success!"} + fields + fields +
               QStringList{"\"read canidCnt:1\"", "read signal success!"} + end;
    // A name-only signal line logs every field step; over-long names are cut with a line.
    QTest::newRow("names cut, fields missing")
        << QByteArray("\nBO_ 1 M23456789012345678901234567890123456789ABC: 8 X\n"
                      " SG_ S23456789012345678901234567890123456789XYZ \n")
        << open +
               QStringList{"\"read canidCnt:0\"",
                           "name cut to 39 bytes: M23456789012345678901234567890123456789ABC",
                           "read signal success!",
                           "name cut to 39 bytes: S23456789012345678901234567890123456789XYZ"} +
               fields + end;
}

void tst_Reader::debugLines()
{
    QFETCH(QByteArray, dbc);
    QFETCH(QStringList, expected);

    CDBC engine;
    const ReadResult result = readInto(engine, write(dbc));
    QCOMPARE(result.rc, 0);
    QCOMPARE(result.log, expected);
}

void tst_Reader::unopenableFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("empty path") << QString() << QStringList{"file not open"};
    QTest::newRow("missing file") << dir.filePath("none.dbc") << QStringList{"file not open"};
    // Opens, but reading from offset 0 fails with an I/O error.
    QTest::newRow("read error after open")
        << "/proc/self/mem" << QStringList{"file open success", "file not read"};
}

// A file that cannot be read fails the read and leaves the table; the next read clears the error.
void tst_Reader::unopenableFile()
{
    QFETCH(QString, path);
    QFETCH(QStringList, log);
    if (path.startsWith("/proc/") && !QFile::exists(path))
        QSKIP("no /proc/self/mem on this system to fail a read after opening");

    CDBC engine;
    const QString good = write(fixture("worked_example.dbc"));
    QCOMPARE(readInto(engine, good).rc, 0);
    CanMsgInfo *const table = engine.msgTable;
    const ReadResult result = readInto(engine, path);
    QCOMPARE(result.rc, -1);
    QCOMPARE(result.error, CDBC::ReadError::FileNotOpen);
    QCOMPARE(result.log, log);
    QCOMPARE(engine.msgTable, table);
    QCOMPARE(engine.msgCnt, 2);
    QCOMPARE(readInto(engine, good).error, CDBC::ReadError::None);
}

void tst_Reader::messageLimit_data()
{
    QTest::addColumn<int>("blocks");
    QTest::newRow("300") << 300;
    QTest::newRow("301") << 301;
}

// 300 blocks are read with every one of their cycle-time lines; 301 fail the
// read before a table is allocated.
void tst_Reader::messageLimit()
{
    QFETCH(int, blocks);

    CDBC engine;
    const QString good = write(fixture("worked_example.dbc"));
    QCOMPARE(readInto(engine, good).rc, 0);
    CanMsgInfo *const table = engine.msgTable;
    const ReadResult result = readInto(engine, write(manyMessages(blocks)));
    if (blocks <= DbcLimits::MaxMessages) {
        QCOMPARE(result.rc, 0);
        QStringList expected;
        for (int i = 0; i < blocks; ++i)
            expected << QStringLiteral("M%1|%2|8|%3|1").arg(i).arg(1000 + i).arg(i + 1);
        QCOMPARE(describeMessages(engine), expected.join(QStringLiteral("; ")));
        return;
    }
    QCOMPARE(result.rc, -1);
    QCOMPARE(result.error, CDBC::ReadError::TooManyMessages);
    QCOMPARE(
        result.log,
        (QStringList{
            "file open success",
            QStringLiteral("too many messages: %1 message blocks (at most 300)").arg(blocks)}));
    QCOMPARE(engine.msgTable, table);
    QCOMPARE(engine.msgCnt, 2);
    QCOMPARE(readInto(engine, good).error, CDBC::ReadError::None);
}

void tst_Reader::signalLimit_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("64") << 64;
    QTest::newRow("65") << 65;
}

// The first 64 signal lines are kept, and a debug line says how many were dropped.
void tst_Reader::signalLimit()
{
    QFETCH(int, lines);

    CDBC engine;
    const ReadResult result = readInto(engine, write(manySignals(lines)));
    QCOMPARE(result.rc, 0);
    QCOMPARE(engine.msgCnt, 2);
    const CanMsgInfo &big = engine.msgTable[0];
    QCOMPARE(int(big.signalCnt), 64);
    for (int j = 0; j < 64; ++j) {
        QCOMPARE(QString(big.signalInfo[j].signalName), QStringLiteral("S%1").arg(j));
        QCOMPARE(int(big.signalInfo[j].bitStart), j);
    }
    QCOMPARE(describeMessage(engine.msgTable[1]), QString("After|257|2|0|1"));
    QCOMPARE(describeSignals(engine.msgTable[1]), QString("Last|3|1|1|0|0|1"));

    // Logged right after the step's count line, before the fields; only when lines are dropped.
    const QString dropped = QStringLiteral("too many signals in message Big (id 256): %1 of %2 "
                                           "signal lines dropped")
                                .arg(lines - 64)
                                .arg(lines);
    QCOMPARE(result.log.indexOf(dropped),
             lines > 64 ? result.log.indexOf("\"read canidCnt:0\"") + 1 : -1);
    QCOMPARE(result.log.filter("too many signals").size(), lines > 64 ? 1 : 0);
    QCOMPARE(result.log.count("read bitStart success!"), 64 + 1);
}

// A second read on the object replaces its table; a table pointer other than
// the object's own is the caller's and leaves the object's table alone.
void tst_Reader::tableLifecycle()
{
    CDBC engine;
    QCOMPARE(readInto(engine, write(fixture("real_world_shapes.dbc"))).rc, 0);
    QCOMPARE(engine.msgCnt, 4);
    QCOMPARE(readInto(engine, write("VERSION \"\"\n")).rc, 0);
    QCOMPARE(engine.msgCnt, 0);
    QCOMPARE(readInto(engine, write("\nBO_ 7 Seven: 1 X\n")).rc, 0);
    QCOMPARE(describeMessages(engine), QString("Seven|7|1|0|0"));
    CanMsgInfo *const own = engine.msgTable;

    CanMsgInfo *table = nullptr;
    int count = -1;
    const QString path = write(fixture("worked_example.dbc"));
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int rc = engine.readDbc(&table, &count, path);
    qInstallMessageHandler(previous);
    QCOMPARE(rc, 0);
    QCOMPARE(count, 2);
    QCOMPARE(QString(table[1].msgName), QString("BrakeData"));
    QCOMPARE(engine.msgTable, own);
    QCOMPARE(describeMessages(engine), QString("Seven|7|1|0|0"));
    delete[] table;
}

void tst_Reader::corpus_data()
{
    addCorpusRows();
}

// Every real file reads as the literal reading does, or fails by the 300-message rule.
void tst_Reader::corpus()
{
    QFETCH(QString, path);
    CDBC engine;
    readAndCompare(engine, path);
    if (engine.lastReadError() != CDBC::ReadError::TooManyMessages)
        QVERIFY(engine.msgCnt > 0);
}

QTEST_GUILESS_MAIN(tst_Reader)
#include "tst_reader.moc"
