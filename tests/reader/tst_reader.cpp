// Tests of the DBC reader: regexCaptureAll, readDbc and its signal step,
// including the limits and the repairs for real-world files.
//
// Most tests write a DBC snippet into a temporary directory, read it with a
// fresh engine and compare a compact description of the records:
//   message: "name|id|dlc|cycleTime|signalCnt", messages joined by "; "
//   signal:  "name|bitStart|bitLength|factor|offset|minimum|maximum"
// The float fields of an expected signal are the texts the patterns cut out;
// they are converted with QString::toFloat, as the reader converts them.

#include "cdbc.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextStream>
#include <QtTest>

#include <cstring>
#include <vector>

#include <unistd.h>

namespace
{

// ---------------------------------------------------------------------------
// Reading with the debug lines captured

QStringList *capturedLines = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && capturedLines) {
        capturedLines->append(message);
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

struct ReadResult {
    int rc = 0;
    CDBC::ReadError error = CDBC::ReadError::None;
    QStringList log;
};

// readDbc on the engine's own members, as the driver calls it.
ReadResult readInto(CDBC &engine, const QString &path)
{
    ReadResult result;
    capturedLines = &result.log;
    previousHandler = qInstallMessageHandler(captureHandler);
    result.rc = engine.readDbc(&engine.msgTable, &engine.msgCnt, path);
    qInstallMessageHandler(previousHandler);
    capturedLines = nullptr;
    result.error = engine.lastReadError();
    return result;
}

// ---------------------------------------------------------------------------
// Describing records

QString describeMessage(const CanMsgInfo &msg)
{
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(QString::fromLocal8Bit(msg.msgName))
        .arg(msg.msgId)
        .arg(msg.msgDlc)
        .arg(msg.cycleTime)
        .arg(msg.signalCnt);
}

QString describeMessages(const CDBC &engine)
{
    QStringList parts;
    for (int i = 0; i < engine.msgCnt; ++i)
        parts << describeMessage(engine.msgTable[i]);
    return parts.join(QStringLiteral("; "));
}

QString floatText(float value)
{
    return QString::number(double(value), 'g', 9);
}

QString describeSignal(const CanSignalInfo &sig)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(QString::fromLocal8Bit(sig.signalName))
        .arg(sig.bitStart)
        .arg(sig.bitLength)
        .arg(floatText(sig.factor), floatText(sig.offset), floatText(sig.minimum),
             floatText(sig.maximum));
}

QString describeSignals(const CanMsgInfo &msg)
{
    QStringList parts;
    for (int j = 0; j < msg.signalCnt; ++j)
        parts << describeSignal(msg.signalInfo[j]);
    return parts.join(QStringLiteral("; "));
}

// An expected signal list with its float fields turned into the form
// describeSignal gives, converting each text as the reader does.
QString normaliseSignals(const QString &expected)
{
    if (expected.isEmpty())
        return expected;
    QStringList out;
    for (const QString &one : expected.split(QStringLiteral("; "))) {
        QStringList fields = one.split(QLatin1Char('|'));
        for (int f = 3; f < fields.size(); ++f)
            fields[f] = floatText(fields[f].toFloat());
        out << fields.join(QLatin1Char('|'));
    }
    return out.join(QStringLiteral("; "));
}

QByteArray toCrLf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// A snippet with one message, id 100, whose block is the given lines.
QByteArray oneMessage(const QByteArray &signalLines)
{
    return "VERSION \"\"\n\nBO_ 100 M: 8 ECU1\n" + signalLines + "\n";
}

QByteArray signalLine(const QByteArray &name, int startBit)
{
    return " SG_ " + name + " : " + QByteArray::number(startBit) + "|1@1+ (1,0) [0|1] \"\" ECU2\n";
}

// `count` messages M0, M1, ... with identifiers 1000 + i, each with one
// signal line, and a cycle-time line for each when `withCycleTimes`.
QByteArray manyMessages(int count, bool withCycleTimes)
{
    QByteArray text = "VERSION \"\"\n\n";
    for (int i = 0; i < count; ++i) {
        text += "BO_ " + QByteArray::number(1000 + i) + " M" + QByteArray::number(i) + ": 8 ECU1\n";
        text += signalLine("S" + QByteArray::number(i), i % 64);
        text += "\n";
    }
    if (withCycleTimes) {
        for (int i = 0; i < count; ++i)
            text += "BA_ \"GenMsgCycleTime\" BO_ " + QByteArray::number(1000 + i) + " " +
                    QByteArray::number(i + 1) + ";\n";
    }
    return text;
}

QString manyMessagesDescription(int count, bool withCycleTimes)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts
            << QStringLiteral("M%1|%2|8|%3|1").arg(i).arg(1000 + i).arg(withCycleTimes ? i + 1 : 0);
    return parts.join(QStringLiteral("; "));
}

// One message with `count` one-bit signal lines S0, S1, ...
QByteArray manySignals(int count)
{
    QByteArray lines;
    for (int j = 0; j < count; ++j)
        lines += signalLine("S" + QByteArray::number(j), j % 64);
    return "\nBO_ 256 Big: 8 ECU1\n" + lines + "\nBO_ 257 After: 2 ECU1\n" + signalLine("Last", 3) +
           "\n";
}

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(QUARVEL_TEST_DATA "/reader/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture %s missing", qPrintable(name));
    return file.readAll();
}

// ---------------------------------------------------------------------------
// A literal reading, pattern by pattern, with the reader's limits, built on
// the public regexCaptureAll over fresh string copies, one pattern run at a
// time and every match kept. The reader must give exactly the same records.

QStringList captureAll(CDBC &engine, const QString &pattern, const QString &text)
{
    std::vector<QString> results(size_t(text.size()) + 2);
    int count = -1;
    if (engine.regexCaptureAll(pattern, text, results.data(), &count) != 0)
        qFatal("pattern rejected: %s", qPrintable(pattern));
    return QStringList(results.begin(), results.begin() + count);
}

QString captureFirst(CDBC &engine, const QString &pattern, const QString &text)
{
    const QStringList all = captureAll(engine, pattern, text);
    return all.isEmpty() ? QString() : all.first();
}

qint32 referenceIdentifier(const QString &text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok)
        return 0;
    if (value <= 0x7FFFFFFFull)
        return qint32(value);
    if (value <= 0xFFFFFFFFull)
        return qint32(value & 0x1FFFFFFFull);
    return 0;
}

void referenceName(const QString &name, char (&dest)[DbcLimits::NameSize])
{
    const QByteArray bytes = name.toLocal8Bit().left(DbcLimits::MaxNameLength);
    std::memcpy(dest, bytes.constData(), size_t(bytes.size()));
    dest[bytes.size()] = '\0';
}

QString decodeLikeReader(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QTextStream stream(&copy, QIODevice::ReadOnly);
    return stream.readAll();
}

// Returns the reader's result code; fills `table` on success.
int referenceRead(const QString &text, std::vector<CanMsgInfo> *table)
{
    CDBC engine; // only for its regexCaptureAll
    const QStringList blocks =
        captureAll(engine, QStringLiteral("(?<![^\\n])BO_ .*\\n(?:[ \\t]+SG_.*\\n)*"), text);
    if (blocks.size() > 300)
        return -1;
    table->assign(size_t(blocks.size()), CanMsgInfo());
    for (int i = 0; i < blocks.size(); ++i) {
        const QString &block = blocks.at(i);
        CanMsgInfo &msg = (*table)[size_t(i)];
        referenceName(captureFirst(engine, QStringLiteral("(?<=\\s)\\w+(?=:)"), block),
                      msg.msgName);
        msg.msgId = referenceIdentifier(
            captureFirst(engine, QStringLiteral("(?<=BO_\\s)\\d+(?=\\s)"), block));
        msg.msgDlc = quint8(
            captureFirst(engine, QStringLiteral("(?<=:\\s)\\d+(?=\\s)"), block).toInt() & 0xFF);
        msg.cycleTime = 0;

        const QString body = block.mid(block.indexOf(QLatin1Char('\n')) + 1);
        const QStringList lines =
            captureAll(engine, QStringLiteral("SG_.*"), body).mid(0, DbcLimits::MaxSignals);
        msg.signalCnt = quint8(lines.size());
        for (int j = 0; j < lines.size(); ++j) {
            const QString &line = lines.at(j);
            CanSignalInfo &sig = msg.signalInfo[j];
            referenceName(captureFirst(engine, QStringLiteral("(?<=SG_\\s)\\w+(?=\\s)"), line),
                          sig.signalName);
            sig.bitStart = quint8(
                captureFirst(engine, QStringLiteral("(?<=\\s:\\s)\\d+(?=\\|)"), line).toInt() &
                0xFF);
            sig.bitLength = quint8(
                captureFirst(engine, QStringLiteral("(?<=\\|)\\d+(?=@)"), line).toInt() & 0xFF);
            sig.factor = captureFirst(engine, QStringLiteral("(?<= \\().*(?=,)"), line).toFloat();
            sig.offset = captureFirst(engine, QStringLiteral("(?<=,).*(?=\\))"), line).toFloat();
            const QString range = captureFirst(engine, QStringLiteral("(?<=\\[).*(?=\\])"), line);
            sig.minimum = captureFirst(engine, QStringLiteral("^.*(?=\\|)"), range).toFloat();
            sig.maximum = captureFirst(engine, QStringLiteral("(?<=\\|).*"), range).toFloat();
        }
    }
    const QStringList attributes =
        captureAll(engine, QStringLiteral("(?<=BA_ \"GenMsgCycleTime\" ).*"), text);
    for (const QString &attribute : attributes) {
        const qint32 id = referenceIdentifier(
            captureFirst(engine, QStringLiteral("(?<=BO_\\s)\\d+(?=\\s)"), attribute));
        for (CanMsgInfo &msg : *table) {
            if (msg.msgId == id)
                msg.cycleTime =
                    captureFirst(engine, QStringLiteral("(?<=\\s)\\d+(?=;)"), attribute).toInt();
        }
    }
    return 0;
}

// Compares the reader's records with the reference's, byte for byte (both
// start from cleared records), describing the first difference.
void compareWithReference(const CDBC &engine, const std::vector<CanMsgInfo> &expected)
{
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

// ---------------------------------------------------------------------------
// Snippets shared by several tests

struct Snippet {
    const char *name;
    QByteArray dbc;
    QString messages; // expected describeMessages
};

QVector<Snippet> messageSnippets()
{
    const QByteArray sig = " SG_ S : 0|8@1+ (1,0) [0|255] \"\" ECU2\n";
    QVector<Snippet> rows = {
        // The worked example and the message edge cases.
        {"worked example", fixture(QStringLiteral("worked_example.dbc")),
         "EngineData|256|8|10|2; BrakeData|512|4|0|0"},
        {"empty file", "", ""},
        {"no message block", "VERSION \"\"\n\nBU_: ECU1\n", ""},
        {"message line last without line feed", "\nBO_ 1 A: 8 X\n\nBO_ 2 Last: 8 X", "A|1|8|0|0"},
        {"other line between message and signals ends block",
         "\nBO_ 1 A: 8 X\n" + sig + "CM_ BO_ 1 \"x\";\n" + sig, "A|1|8|0|1"},
        {"blank line before signals ends block", "\nBO_ 1 A: 8 X\n\n" + sig, "A|1|8|0|0"},
        {"unindented SG_ line is not a signal line",
         "\nBO_ 1 A: 8 X\nSG_ S : 0|8@1+ (1,0) [0|255] \"\" ECU2\n", "A|1|8|0|0"},
        {"BO_TX_BU_ is not a message line", "\nBO_TX_BU_ 1 : A,B;\n", ""},
        {"tab after BO_ is not a message line", "\nBO_\t1 A: 8 X\n", ""},
        {"identifier 2147483647 kept", "\nBO_ 2147483647 A: 8 X\n", "A|2147483647|8|0|0"},
        {"non-numeric identifier gives 0", "\nBO_ x NoId: 8 X\n", "NoId|0|8|0|0"},
        {"DLC 15", "\nBO_ 1 A: 15 X\n", "A|1|15|0|0"},
        {"DLC 300 keeps low 8 bits", "\nBO_ 1 A: 300 X\n", "A|1|44|0|0"},
        {"DLC beyond 32 bits gives 0", "\nBO_ 1 A: 4294967296 X\n", "A|1|0|0|0"},
        {"no blank after colon gives DLC 0", "\nBO_ 1 A:8 X\n", "A|1|0|0|0"},
        {"blank before colon gives empty name", "\nBO_ 256 EngineData : 8 ECU1\n", "|256|8|0|0"},
        {"blank before colon, later word with colon",
         "\nBO_ 256 EngineData : 8 ECU1\n SG_ S : 0|8@1+ (1,0) [0|1] \"rev min:\" ECU1\n",
         "min|256|8|0|1"},
        {"cycle time for unknown identifier changes nothing",
         "\nBO_ 1 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 2 10;\n", "A|1|8|0|0"},
        {"blank before semicolon sets 0",
         "\nBO_ 256 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 256 5;\n"
         "BA_ \"GenMsgCycleTime\" BO_ 256 10 ;\n",
         "A|256|8|0|0"},
        {"last attribute line wins",
         "\nBO_ 256 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 256 5;\n"
         "BA_ \"GenMsgCycleTime\" BO_ 256 7;\n",
         "A|256|8|7|0"},
        {"every record with the identifier is set",
         "\nBO_ 256 A: 8 X\n\nBO_ 256 B: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 256 25;\n",
         "A|256|8|25|0; B|256|8|25|0"},
        {"attribute without BO_ part sets identifier 0",
         "\nBO_ x NoId: 8 X\n\nBO_ 5 Five: 8 X\n\nBA_ \"GenMsgCycleTime\" BU_ ECU1 50;\n",
         "NoId|0|8|50|0; Five|5|8|0|0"},
        {"BA_DEF_ lines are not attribute lines",
         "\nBO_ 256 A: 8 X\n\nBA_DEF_ \"GenMsgCycleTime\" BO_ 256 10;\n"
         "BA_DEF_DEF_ \"GenMsgCycleTime\" BO_ 256 20;\n",
         "A|256|8|0|0"},
        {"attribute needs the quoted name and a blank",
         "\nBO_ 256 A: 8 X\n\n"
         "BA_ \"GenMsgCycleTime\"BO_ 256 10;\n"
         "BA_  \"GenMsgCycleTime\" BO_ 256 20;\n"
         "BA_ GenMsgCycleTime BO_ 256 30;\n",
         "A|256|8|0|0"},
        {"CR-only file gives no messages",
         "VERSION \"\"\r\rBO_ 1 A: 8 X\r SG_ S : 0|8@1+ (1,0) [0|1] \"\" Y\r\r", ""},
        // Names longer than 39 bytes are cut to 39.
        {"name of 39 bytes kept", "\nBO_ 1 N23456789012345678901234567890123456789: 8 X\n",
         "N23456789012345678901234567890123456789|1|8|0|0"},
        {"name of 45 bytes cut", "\nBO_ 1 N23456789012345678901234567890123456789ABCDEF: 8 X\n",
         "N23456789012345678901234567890123456789|1|8|0|0"},
        // Extended identifiers keep their 29 bits.
        {"identifier 2147483648 gives 29 bits (0)", "\nBO_ 2147483648 A: 8 X\n", "A|0|8|0|0"},
        {"extended identifier", "\nBO_ 2147484160 A: 8 X\n", "A|512|8|0|0"},
        {"identifier 4294967295", "\nBO_ 4294967295 A: 8 X\n", "A|536870911|8|0|0"},
        {"identifier 4294967296 gives 0", "\nBO_ 4294967296 A: 8 X\n", "A|0|8|0|0"},
        {"identifier 99999999999 gives 0", "\nBO_ 99999999999 A: 8 X\n", "A|0|8|0|0"},
        {"extended messages get their own cycle times",
         "\nBO_ 2566844672 ExtA: 8 X\n\nBO_ 2566844928 ExtB: 8 X\n\nBO_ 0 Zero: 8 X\n\n"
         "BA_ \"GenMsgCycleTime\" BO_ 2566844672 100;\n"
         "BA_ \"GenMsgCycleTime\" BO_ 2566844928 200;\n",
         "ExtA|419361024|8|100|0; ExtB|419361280|8|200|0; Zero|0|8|0|0"},
        {"oversized attribute identifier only reaches identifier 0",
         "\nBO_ 0 Zero: 8 X\n\nBO_ 1 One: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 4294967296 30;\n",
         "Zero|0|8|30|0; One|1|8|0|0"},
        // Blocks on the first line, back to back, and with indented signal lines.
        {"message on the first line", "BO_ 1 First: 8 X\n" + sig, "First|1|8|0|1"},
        {"message lines without blank line between", "\nBO_ 1 A: 8 X\nBO_ 2 B: 8 X\n",
         "A|1|8|0|0; B|2|8|0|0"},
        {"message right after a signal line",
         "\nBO_ 1 A: 8 X\n" + sig + "BO_ 2 B: 8 X\n" + sig + sig, "A|1|8|0|1; B|2|8|0|2"},
        {"signal lines indented by a tab", "\nBO_ 1 A: 8 X\n\tSG_ S : 0|8@1+ (1,0) [0|1] \"\" Y\n",
         "A|1|8|0|1"},
        {"signal lines indented by blanks and tabs",
         "\nBO_ 1 A: 8 X\n"
         "  SG_ S : 0|8@1+ (1,0) [0|1] \"\" Y\n"
         "    SG_ T : 8|8@1+ (1,0) [0|1] \"\" Y\n"
         " \t SG_ U : 16|8@1+ (1,0) [0|1] \"\" Y\n",
         "A|1|8|0|3"},
        // A message line containing SG_ adds no nameless signal.
        {"message name with SG_", "\nBO_ 100 MSG_Engine: 8 X\n" + sig, "MSG_Engine|100|8|0|1"},
        {"message line with SG_ and no signals", "\nBO_ 100 MSG_Idle: 8 X\n", "MSG_Idle|100|8|0|0"},
        // Real-world shapes together: first line, tabs, blanks, adjacent
        // messages, extended identifiers, multiplexing, MSG_ name.
        {"real-world shapes", fixture(QStringLiteral("real_world_shapes.dbc")),
         "FirstLine|100|8|20|1; ExtendedA|419361024|8|100|2; ExtendedB|419361280|6|200|1; "
         "MSG_Status|300|2|50|1"},
    };
    // Every cycle-time line is applied, however many.
    rows.append({"150 cycle-time lines all applied", manyMessages(150, true),
                 manyMessagesDescription(150, true)});
    // 300 blocks are still read.
    rows.append({"300 messages", manyMessages(300, false), manyMessagesDescription(300, false)});
    return rows;
}

struct SignalSnippet {
    const char *name;
    QByteArray dbc;
    QString signalList; // expected signals of the first message
};

QVector<SignalSnippet> signalSnippets()
{
    return {
        // The worked example and the signal edge cases.
        {"worked example",
         oneMessage(" SG_ EngineSpeed : 24|16@1+ (0.125,0) [0|8191.875] \"rpm\" Gateway\n"),
         "EngineSpeed|24|16|0.125|0|0|8191.875"},
        {"block without signal lines", oneMessage(""), ""},
        {"multiplexor M", oneMessage(" SG_ Mode M : 0|4@1+ (1,0) [0|15] \"\" ECU1\n"),
         "Mode|0|4|1|0|0|15"},
        {"multiplexed m3", oneMessage(" SG_ Mode m3 : 0|4@1+ (1,0) [0|15] \"\" ECU1\n"),
         "Mode|0|4|1|0|0|15"},
        {"comma in receivers makes factor 0",
         oneMessage(" SG_ S : 8|8@1+ (2,5) [0|100] \"\" ECU1,ECU2\n"), "S|8|8|0|5|0|100"},
        {"two blanks after SG_ give empty name",
         oneMessage(" SG_  Name : 3|8@1+ (1,0) [0|1] \"\" X\n"), "|3|8|1|0|0|1"},
        {"tab after SG_", oneMessage(" SG_\tTabbed : 3|8@1+ (1,0) [0|1] \"\" X\n"),
         "Tabbed|3|8|1|0|0|1"},
        {"no blank before parenthesis makes factor 0",
         oneMessage(" SG_ S : 0|8@1+(3,7) [0|1] \"\" X\n"), "S|0|8|0|7|0|1"},
        {"no range gives minimum and maximum 0", oneMessage(" SG_ S : 0|8@1+ (1,0) \"\" X\n"),
         "S|0|8|1|0|0|0"},
        {"start bit 300 keeps low 8 bits", oneMessage(" SG_ S : 300|8@1+ (1,0) [0|1] \"\" X\n"),
         "S|44|8|1|0|0|1"},
        {"bit length 260 keeps low 8 bits", oneMessage(" SG_ S : 0|260@1+ (1,0) [0|1] \"\" X\n"),
         "S|0|4|1|0|0|1"},
        {"start bit beyond 32 bits gives 0",
         oneMessage(" SG_ S : 4294967296|8@1+ (1,0) [0|1] \"\" X\n"), "S|0|8|1|0|0|1"},
        {"negative and exponent forms",
         oneMessage(" SG_ S : 0|32@1- (-0.5,-40) [-3.4E+038|3.4E+038] \"\" X\n"),
         "S|0|32|-0.5|-40|-3.4E+038|3.4E+038"},
        {"blanks inside parentheses and brackets",
         oneMessage(" SG_ S : 0|8@1+ (0.5, 2) [0 | 10] \"\" X\n"), "S|0|8|0.5| 2|0 | 10"},
        {"range ending in a bar", oneMessage(" SG_ S : 0|8@1+ (1,0) [0|1|] \"\" X\n"),
         "S|0|8|1|0|0|0"},
        {"non-numeric fields give 0", oneMessage(" SG_ S : 0|8@1+ (a,b) [c|d] \"\" X\n"),
         "S|0|8|0|0|0|0"},
        {"line with a name only", oneMessage(" SG_ Lonely\n"), "|0|0|0|0|0|0"},
        {"outputs follow file order",
         oneMessage(" SG_ First : 0|1@1+ (1,0) [0|1] \"\" X\n"
                    " SG_ Second : 1|2@1+ (1,0) [0|3] \"\" X\n"
                    " SG_ Third : 3|3@1+ (1,0) [0|7] \"\" X\n"),
         "First|0|1|1|0|0|1; Second|1|2|1|0|0|3; Third|3|3|1|0|0|7"},
        {"signal name of 45 bytes cut",
         oneMessage(
             " SG_ S23456789012345678901234567890123456789ABCDEF : 0|8@1+ (1,0) [0|1] \"\" X\n"),
         "S23456789012345678901234567890123456789|0|8|1|0|0|1"},
        // No nameless signal: the real signals keep slots 0 on.
        {"message name with SG_ adds no phantom",
         "\nBO_ 100 MSG_Engine: 8 X\n SG_ Speed : 0|16@1+ (0.1,0) [0|100] \"\" Y\n"
         " SG_ Gear : 16|4@1+ (1,0) [0|15] \"\" Y\n",
         "Speed|0|16|0.1|0|0|100; Gear|16|4|1|0|0|15"},
        // Lines indented by tabs or several blanks are signal lines.
        {"tab- and blank-indented lines",
         "BO_ 100 M: 8 X\n\tSG_ A : 0|4@1+ (1,0) [0|15] \"\" Y\n"
         "    SG_ B : 4|4@0- (2,-1) [-9|13] \"\" Y\n",
         "A|0|4|1|0|0|15; B|4|4|2|-1|-9|13"},
    };
}

// Inputs that stress how the patterns run rather than what they find: the
// reader must agree with the reference on them too.
QVector<QPair<const char *, QByteArray>> trickySnippets()
{
    return {
        {"attribute name twice on a line",
         "\nBO_ 1 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BA_ \"GenMsgCycleTime\" BO_ 1 5;\n"},
        {"attribute name ends a line",
         "\nBO_ 0 A: 8 X\n\nBA_ \"GenMsgCycleTime\" \nBA_ \"GenMsgCycleTime\" "},
        {"attribute line with carriage return",
         "\nBO_ 1 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 1 5;\r\n"},
        {"SG_ twice in a line", "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"SG_x\" SG_\n"},
        {"non-ASCII text", "CM_ \"Motor ÄÖÜ 温度\";\n"
                           "BO_ 1 Temp: 8 X\n"
                           " SG_ T : 0|8@1+ (1,0) [0|1] \"°C\" Y\n"},
        {"long line",
         "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"" + QByteArray(20000, 'u') + "\" Y\n"},
        {"BO_ inside a line", "\nCM_ \"BO_ 5 Hidden: 8 X\";\nBO_ 1 A: 8 X\n"},
        {"colons and brackets everywhere",
         "\nBO_ 1 A: 8 X: 9\n SG_ S : 1|2@3 : 4|5@ (1,2)(3,4) [1|2][3|4] \"a:b\" X\n"},
        // The greedy fields end at the last closing character of the line and
        // begin after the first opening one that has such a character after it.
        {"openings without closings", "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1 (2 [3 [4|5 \"\" X\n"
                                      " SG_ T : 0|8@1+ ) (1,0 [0|1 \"a]\" X\n"
                                      " SG_ U : 0|8@1+ ] ( , ) [ | ] \"\" X\n"
                                      " SG_ V : 0|8@1+ (1,2,3) (4,5) [1|2|3] [|] \"\" X\n"
                                      " SG_ W : 0|8@1+ (,) [] \"\" X\n"},
        {"fields after the first SG_ of a line",
         "\nBO_ 1 A: 8 X\n SG_  S : 0|8@1+ (1,0) [0|1] \"SG_ Late : 5|3@\" X\n"
         " SG_ SG_ Double : 1|2@1+ (1,0) [0|1] \"\" X\n"},
        {"runs cut short by their look-ahead",
         "\nBO_ 1 A1B2 C: 8 X\n SG_ S : 01|2|3@4|5@ (1,0) [0|1] \"\" X\n"
         " SG_ T :  5|6@ : 7|8@ (1,0) [0|1] \"\" X\n"},
        // The numbers the fields give, plain and otherwise.
        {"integer texts",
         "\nBO_ 0000000256 A: 000000008 X\n\nBO_ 0004294967295 B: 0000000260 X\n"
         "\nBO_ 999999999 C: 2147483647 X\n SG_ S : 000000300|0000000260@1+ (1,0) [0|1] \"\" X\n"
         " SG_ T : 2147483648|99999999999@1+ (1,0) [0|1] \"\" X\n"
         "\nBA_ \"GenMsgCycleTime\" BO_ 256 0000000005;\n"
         "BA_ \"GenMsgCycleTime\" BO_ 999999999 2147483648;\n"},
        {"decimal texts", "\nBO_ 1 A: 8 X\n"
                          " SG_ A : 0|8@1+ (-0,-0.0) [00.50|-000] \"\" X\n"
                          " SG_ B : 0|8@1+ (1.,.5) [-.5|5.] \"\" X\n"
                          " SG_ C : 0|8@1+ (+1,1e3) [1E-3|-2.5e+2] \"\" X\n"
                          " SG_ D : 0|8@1+ (123456789012345,1234567890123456) "
                          "[0.000000000000001|9.99999999999999] \"\" X\n"
                          " SG_ E : 0|8@1+ (0.1,3.4028235E+38) [1e39|-1e-46] \"\" X\n"
                          " SG_ F : 0|8@1+ (16777217,0.30000000000000004) [1.5.5|--1] \"\" X\n"
                          " SG_ G : 0|8@1+ (inf,nan) [0x10|1,5] \"\" X\n"},
        // The attribute text ends with the attribute name: an empty match
        // follows at the line's end, for identifier 0, and resets the 5.
        {"attribute line ending in the attribute name",
         "\nBO_ 0 A: 8 X\n\nBA_ \"GenMsgCycleTime\" BO_ 0 5; BA_ \"GenMsgCycleTime\" \n"},
        {"message line ends the file",
         "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"\" X\nBO_ 2 B: 8 X"},
        {"signal line ends the file", "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"\" X"},
        {"blank line with indentation ends a block",
         "\nBO_ 1 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] \"\" X\n \t \n SG_ T : 8|8@1+ (1,0) [0|1] "
         "\"\" X\n"},
    };
}

// One file per character: the character stands in every place where a field
// pattern looks at a separator (a blank, a colon, a bar, a bracket, ...) or
// at the characters of a number, in message, signal and cycle-time lines, and
// as a signal line's indentation. Written in UTF-8 with a byte-order mark, so
// the text is the same whatever the local encoding.
QByteArray separatorSweep(QChar c)
{
    static const char *const lines[] = {"VERSION \"\"",
                                        "",
                                        "BO_ 0 Zero: 8 X",
                                        "BO_%1256 N0: 8 X",
                                        "BO_ 257%1N1: 8 X",
                                        "BO_ 258 N2%1: 8 X",
                                        "BO_ 259 N3:%18 X",
                                        "BO_ 260 N4: 8%1X",
                                        "BO_ 261 N%15: 8 X",
                                        "BO_ 300 S: 8 X",
                                        "%1SG_ A : 0|8@1+ (1,0) [0|1] \"\" X",
                                        " SG_%1B : 8|8@1+ (1,0) [0|1] \"\" X",
                                        " SG_ C%1: 16|8@1+ (1,0) [0|1] \"\" X",
                                        " SG_ D%1:%132|8@1+ (1,0) [0|1] \"\" X",
                                        " SG_ E : 40%1|8@1+ (1,0) [0|1] \"\" X",
                                        " SG_ F : 48|%18@1+ (1,0) [0|1] \"\" X",
                                        " SG_ G : 56|8%1@1+ (1,0) [0|1] \"\" X",
                                        " SG_ H : 0|8@1+%1(2,3) [4|5] \"\" X",
                                        " SG_ I : 0|8@1+ (2%13) [4%15] \"\" X",
                                        " SG_ J : 0|8@1+ (2,3%1 [4|5%1 \"\" X",
                                        " SG_ K : 0|8@1+ (2,3) %14|5] \"\" X",
                                        " SG_ L : 0|8@1+ (1.%15,-%12) [-1%1|2.5] \"\" X",
                                        " SG_ M : 0|8@1+ (%11,0%1) [%10|1%1] \"\" X",
                                        " SG_%1%1N : 1|2@1+ (1,0) [0|1] \"\" X",
                                        "",
                                        "BA_ \"GenMsgCycleTime\" BO_%1257 10;",
                                        "BA_ \"GenMsgCycleTime\" BO_ 258%111;",
                                        "BA_ \"GenMsgCycleTime\" BO_ 259 12%1;",
                                        "BA_ \"GenMsgCycleTime\"%1BO_ 260 13;",
                                        "BA_%1\"GenMsgCycleTime\" BO_ 300 14;",
                                        "BA_ \"GenMsgCycleTime\" BO_ 261%1 15;"};
    QString text;
    for (const char *line : lines)
        text += QString::fromLatin1(line).arg(c) + QLatin1Char('\n');
    return "\xEF\xBB\xBF" + text.toUtf8();
}

// UTF-16LE with a byte-order mark, code unit by code unit, so that unpaired
// surrogates stay in the file as they are.
QByteArray utf16LittleEndian(const QString &text)
{
    QByteArray bytes("\xFF\xFE");
    for (const QChar unit : text) {
        bytes += char(unit.unicode() & 0xFF);
        bytes += char(unit.unicode() >> 8);
    }
    return bytes;
}

} // namespace

class tst_Reader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void regexCaptureAll_data();
    void regexCaptureAll();
    void regexCaptureAllRepeated();

    void messages_data();
    void messages();
    void signalFields_data();
    void signalFields();
    void crlfSameAsLf_data();
    void crlfSameAsLf();
    void byteOrderMarks_data();
    void byteOrderMarks();

    void debugLines_data();
    void debugLines();
    void unopenableFile_data();
    void unopenableFile();
    void tooManyMessages_data();
    void tooManyMessages();
    void tooManySignals_data();
    void tooManySignals();
    void readErrorSetOnEveryCall();
    void secondReadReplacesTable();
    void foreignTablePointer();
    void recordsStartCleared();

    void matchesReference_data();
    void matchesReference();
    void corpus_data();
    void corpus();

private:
    QString write(const QByteArray &content);

    QTemporaryDir dir;
    int fileNumber = 0;
};

void tst_Reader::initTestCase()
{
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
}

QString tst_Reader::write(const QByteArray &content)
{
    const QString path = dir.filePath(QStringLiteral("snippet%1.dbc").arg(++fileNumber));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// ---------------------------------------------------------------------------
// regexCaptureAll

void tst_Reader::regexCaptureAll_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rc");
    QTest::addColumn<QStringList>("results");

    const auto row = [](const char *tag, const char *pattern, const char *text, int rc,
                        const QStringList &results) {
        QTest::newRow(tag) << QString::fromUtf8(pattern) << QString::fromUtf8(text) << rc
                           << results;
    };
    row("global, in order", "\\d+", "a1b22c333", 0, {"1", "22", "333"});
    row("no match", "x", "abc", 0, {});
    row("empty text", "a*", "", 0, {""});
    row("non-overlapping", "aa", "aaaaa", 0, {"aa", "aa"});
    row("empty matches", "a*", "baa", 0, {"", "aa", ""});
    row("groups do not capture", "(a)(b)", "abab", 0, {"ab", "ab"});
    row("named group follows whole match", "(?<n>a)b", "abab", 0, {"ab", "a", "ab", "a"});
    row("dot stops at line feed, takes carriage return", "x.*", "x1\r\nx2", 0, {"x1\r", "x2"});
    row("caret only at start of text", "^\\w", "ab\ncd", 0, {"a"});
    row("case-sensitive", "bo_", "BO_ bo_", 0, {"bo_"});
    row("\\w is ASCII", "\\w+", "a\u00e9_1\u6e29", 0, {"a", "_1"});
    row("\\s is ASCII", "\\s", "a\u00a0b\tc", 0, {"\t"});
    row("\\d is ASCII", "\\d", "\u06612", 0, {"2"});
    row("look-arounds", "(?<=BO_\\s)\\d+(?=\\s)", "BO_ 256 X BO_ 7\n", 0, {"256", "7"});
    row("greedy to last comma", "(?<= \\().*(?=,)", "SG_ (1,0) A,B", 0, {"1,0) A"});
    row("unbalanced parenthesis rejected", "(", "abc", -1, {});
    row("bad range rejected", "[z-a]", "abc", -1, {});
}

void tst_Reader::regexCaptureAll()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(int, rc);
    QFETCH(QStringList, results);

    const QString untouched = QStringLiteral("untouched");
    QString outputs[16];
    for (QString &slot : outputs)
        slot = untouched;
    int count = -7;

    CDBC engine;
    QCOMPARE(engine.regexCaptureAll(pattern, text, outputs, &count), rc);
    if (rc != 0) {
        QCOMPARE(count, -7);
    } else {
        QCOMPARE(count, results.size());
        QCOMPARE(QStringList(outputs, outputs + count), results);
    }
    for (int i = rc == 0 ? count : 0; i < 16; ++i)
        QCOMPARE(outputs[i], untouched);
}

// A pattern given again (compiled once) gives the results of its own text.
void tst_Reader::regexCaptureAllRepeated()
{
    CDBC engine;
    QString outputs[4];
    int count = 0;
    for (int round = 0; round < 3; ++round) {
        QCOMPARE(engine.regexCaptureAll("\\d+", "a1b2", outputs, &count), 0);
        QCOMPARE(count, 2);
        QCOMPARE(outputs[1], QString("2"));
        QCOMPARE(engine.regexCaptureAll("\\d+", "x345", outputs, &count), 0);
        QCOMPARE(count, 1);
        QCOMPARE(outputs[0], QString("345"));
        QCOMPARE(engine.regexCaptureAll("[a-z]", "x345", outputs, &count), 0);
        QCOMPARE(count, 1);
        QCOMPARE(outputs[0], QString("x"));
        QCOMPARE(engine.regexCaptureAll("(", "x", outputs, &count), -1);
    }
}

// ---------------------------------------------------------------------------
// Records

void tst_Reader::messages_data()
{
    QTest::addColumn<QByteArray>("dbc");
    QTest::addColumn<QString>("expected");
    for (const Snippet &row : messageSnippets())
        QTest::newRow(row.name) << row.dbc << row.messages;
}

void tst_Reader::messages()
{
    QFETCH(QByteArray, dbc);
    QFETCH(QString, expected);

    CDBC engine;
    const ReadResult result = readInto(engine, write(dbc));
    QCOMPARE(result.rc, 0);
    QCOMPARE(result.error, CDBC::ReadError::None);
    QCOMPARE(describeMessages(engine), expected);
}

void tst_Reader::signalFields_data()
{
    QTest::addColumn<QByteArray>("dbc");
    QTest::addColumn<QString>("expected");
    for (const SignalSnippet &row : signalSnippets())
        QTest::newRow(row.name) << row.dbc << row.signalList;

    // The worked example file: both messages' signals.
    QTest::newRow("worked example file")
        << fixture(QStringLiteral("worked_example.dbc"))
        << "EngineSpeed|24|16|0.125|0|0|8191.875; EngineTemp|0|8|1|-40|-40|215";
}

void tst_Reader::signalFields()
{
    QFETCH(QByteArray, dbc);
    QFETCH(QString, expected);

    CDBC engine;
    const ReadResult result = readInto(engine, write(dbc));
    QCOMPARE(result.rc, 0);
    QVERIFY(engine.msgCnt >= 1);
    QCOMPARE(describeSignals(engine.msgTable[0]), normaliseSignals(expected));
}

void tst_Reader::crlfSameAsLf_data()
{
    QTest::addColumn<QByteArray>("dbc");
    for (const Snippet &row : messageSnippets()) {
        if (!row.dbc.contains('\r'))
            QTest::newRow(row.name) << row.dbc;
    }
    for (const SignalSnippet &row : signalSnippets()) {
        // A name at the very end of a line is followed by the carriage return,
        // which is white space: that one line reads differently, by the patterns.
        if (qstrcmp(row.name, "line with a name only") != 0)
            QTest::newRow(row.name) << row.dbc;
    }
}

// The same file with CR LF line ends gives byte-identical records.
void tst_Reader::crlfSameAsLf()
{
    QFETCH(QByteArray, dbc);

    CDBC lf;
    CDBC crlf;
    QCOMPARE(readInto(lf, write(dbc)).rc, 0);
    QCOMPARE(readInto(crlf, write(toCrLf(dbc))).rc, 0);
    QCOMPARE(crlf.msgCnt, lf.msgCnt);
    for (int i = 0; i < lf.msgCnt; ++i) {
        QCOMPARE(describeMessage(crlf.msgTable[i]), describeMessage(lf.msgTable[i]));
        QCOMPARE(describeSignals(crlf.msgTable[i]), describeSignals(lf.msgTable[i]));
        QVERIFY(std::memcmp(&crlf.msgTable[i], &lf.msgTable[i], sizeof(CanMsgInfo)) == 0);
    }
}

void tst_Reader::byteOrderMarks_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QByteArray>("mark");
    QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("UTF-16LE") << QByteArray("UTF-16LE") << QByteArray("\xFF\xFE");
    QTest::newRow("UTF-16BE") << QByteArray("UTF-16BE") << QByteArray("\xFE\xFF");
    QTest::newRow("UTF-32LE") << QByteArray("UTF-32LE") << QByteArray("\xFF\xFE\0\0", 4);
}

// A byte-order mark selects the encoding, as QTextStream decodes by default.
void tst_Reader::byteOrderMarks()
{
    QFETCH(QByteArray, codec);
    QFETCH(QByteArray, mark);

    const QByteArray plain = fixture(QStringLiteral("real_world_shapes.dbc"));
    QTextCodec *textCodec = QTextCodec::codecForName(codec);
    QVERIFY(textCodec);
    QTextCodec::ConverterState noMark(QTextCodec::IgnoreHeader);
    const QString unicode = QString::fromUtf8(plain);
    const QByteArray encoded =
        mark + textCodec->fromUnicode(unicode.constData(), unicode.size(), &noMark);
    QVERIFY(encoded.startsWith(mark) && !encoded.mid(mark.size()).startsWith(mark));

    CDBC reference;
    CDBC engine;
    QCOMPARE(readInto(reference, write(plain)).rc, 0);
    QCOMPARE(readInto(engine, write(encoded)).rc, 0);
    QCOMPARE(engine.msgCnt, 4);
    QCOMPARE(engine.msgCnt, reference.msgCnt);
    for (int i = 0; i < engine.msgCnt; ++i)
        QVERIFY(std::memcmp(&engine.msgTable[i], &reference.msgTable[i], sizeof(CanMsgInfo)) == 0);
}

// ---------------------------------------------------------------------------
// Debug lines, results and the table's lifecycle

void tst_Reader::debugLines_data()
{
    QTest::addColumn<QByteArray>("dbc");
    QTest::addColumn<QStringList>("expected");

    const QStringList fields = {
        "read signal success!",         "read bitStart success!",
        "read bitLength success!",      "read signal factor success!",
        "read signal offset success!",  "read signal Minimun To Maximum success!",
        "read signal Minimun success!", "read signal Maximun success!"};

    QTest::newRow("no message block") << QByteArray("VERSION \"\"\n")
                                      << QStringList{"file open success", "read BOSG success!",
                                                     "read BOSG success!", "read signal finished"};
    QTest::newRow("message without signals")
        << QByteArray("\nBO_ 1 A: 8 X\n")
        << QStringList{"file open success",    "read BOSG success!", "\"read canidCnt:0\"",
                       "read signal success!", "read BOSG success!", "read signal finished"};
    QTest::newRow("fields logged whether found or not")
        << QByteArray("\nBO_ 1 A: 8 X\n SG_ Lonely\n")
        << (QStringList{"file open success", "read BOSG success!", "\"read canidCnt:0\"",
                        "read signal success!"}
            << fields << "read BOSG success!"
            << "read signal finished");
    QTest::newRow("worked example") << fixture(QStringLiteral("worked_example.dbc"))
                                    << (QStringList{"file open success", "read BOSG success!",
                                                    "\"read canidCnt:0\"", "read signal success!"}
                                        << fields << fields << "\"read canidCnt:1\""
                                        << "read signal success!"
                                        << "read BOSG success!"
                                        << "read signal finished");
    QTest::newRow("names cut")
        << QByteArray("\nBO_ 1 M23456789012345678901234567890123456789ABC: 8 X\n"
                      " SG_ S23456789012345678901234567890123456789XYZ : 0|1@1+ (1,0) [0|1] "
                      "\"\" Y\n")
        << (QStringList{"file open success", "read BOSG success!", "\"read canidCnt:0\"",
                        "name cut to 39 bytes: M23456789012345678901234567890123456789ABC",
                        "read signal success!",
                        "name cut to 39 bytes: S23456789012345678901234567890123456789XYZ"}
            << fields << "read BOSG success!"
            << "read signal finished");
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
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty path") << "empty";
    QTest::newRow("missing file") << "missing";
    QTest::newRow("directory") << "directory";
    QTest::newRow("unreadable file") << "unreadable";
    QTest::newRow("read error after open") << "read error";
}

// A file that cannot be opened fails the read and leaves the table.
void tst_Reader::unopenableFile()
{
    QFETCH(QString, kind);

    QString path;
    if (kind == "missing") {
        path = dir.filePath("no such file.dbc");
    } else if (kind == "directory") {
        path = dir.path();
    } else if (kind == "unreadable") {
        path = write("\nBO_ 1 A: 8 X\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        if (::access(QFile::encodeName(path).constData(), R_OK) == 0)
            QSKIP("the file stays readable for this user (root); cannot test");
    } else if (kind == "read error") {
        // Opens, but reading from offset 0 fails with an I/O error.
        path = QStringLiteral("/proc/self/mem");
        if (!QFile::exists(path))
            QSKIP("no /proc/self/mem on this system");
    }

    CDBC engine;
    QCOMPARE(readInto(engine, write(fixture("worked_example.dbc"))).rc, 0);
    CanMsgInfo *const table = engine.msgTable;
    QCOMPARE(engine.msgCnt, 2);

    const ReadResult result = readInto(engine, path);
    QCOMPARE(result.rc, -1);
    QCOMPARE(result.error, CDBC::ReadError::FileNotOpen);
    QCOMPARE(result.log, kind == "read error" ? (QStringList{"file open success", "file not read"})
                                              : QStringList{"file not open"});
    QCOMPARE(engine.msgTable, table);
    QCOMPARE(engine.msgCnt, 2);
    QCOMPARE(describeMessages(engine), QString("EngineData|256|8|10|2; BrakeData|512|4|0|0"));
}

void tst_Reader::tooManyMessages_data()
{
    QTest::addColumn<int>("blocks");
    QTest::newRow("301") << 301;
    QTest::newRow("1000") << 1000;
}

// More than 300 blocks fail the read before a table is allocated.
void tst_Reader::tooManyMessages()
{
    QFETCH(int, blocks);

    CDBC engine;
    QCOMPARE(readInto(engine, write(fixture("worked_example.dbc"))).rc, 0);
    CanMsgInfo *const table = engine.msgTable;

    const ReadResult result = readInto(engine, write(manyMessages(blocks, true)));
    QCOMPARE(result.rc, -1);
    QCOMPARE(result.error, CDBC::ReadError::TooManyMessages);
    QCOMPARE(
        result.log,
        (QStringList{
            "file open success",
            QStringLiteral("too many messages: %1 message blocks (at most 300)").arg(blocks)}));
    QCOMPARE(engine.msgTable, table);
    QCOMPARE(engine.msgCnt, 2);
}

void tst_Reader::tooManySignals_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("64") << 64;
    QTest::newRow("65") << 65;
    QTest::newRow("100") << 100;
    QTest::newRow("300") << 300;
}

// The first 64 signal lines are kept, and a debug line says so.
void tst_Reader::tooManySignals()
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
    QCOMPARE(QString(engine.msgTable[1].signalInfo[0].signalName), QString("Last"));

    const QString dropped = QStringLiteral("too many signals in message Big (id 256): %1 of %2 "
                                           "signal lines dropped")
                                .arg(lines - 64)
                                .arg(lines);
    QCOMPARE(result.log.contains(dropped), lines > 64);
    if (lines > 64) // logged with the step's count line, before the fields
        QCOMPARE(result.log.indexOf(dropped), result.log.indexOf("\"read canidCnt:0\"") + 1);
    QCOMPARE(result.log.count("read bitStart success!"), 64 + 1);
}

void tst_Reader::readErrorSetOnEveryCall()
{
    CDBC engine;
    const QString good = write(fixture("worked_example.dbc"));
    QCOMPARE(readInto(engine, QString()).error, CDBC::ReadError::FileNotOpen);
    QCOMPARE(readInto(engine, good).error, CDBC::ReadError::None);
    QCOMPARE(readInto(engine, write(manyMessages(301, false))).error,
             CDBC::ReadError::TooManyMessages);
    QCOMPARE(engine.lastReadError(), CDBC::ReadError::TooManyMessages);
    QCOMPARE(readInto(engine, good).error, CDBC::ReadError::None);
    QCOMPARE(engine.lastReadError(), CDBC::ReadError::None);
}

// A second read on the same object replaces the table (the first is released).
void tst_Reader::secondReadReplacesTable()
{
    CDBC engine;
    QCOMPARE(readInto(engine, write(fixture("worked_example.dbc"))).rc, 0);
    QCOMPARE(engine.msgCnt, 2);
    QCOMPARE(readInto(engine, write(fixture("real_world_shapes.dbc"))).rc, 0);
    QCOMPARE(engine.msgCnt, 4);
    QCOMPARE(QString(engine.msgTable[3].msgName), QString("MSG_Status"));
    QCOMPARE(readInto(engine, write("VERSION \"\"\n")).rc, 0);
    QCOMPARE(engine.msgCnt, 0);
    QCOMPARE(readInto(engine, write("\nBO_ 7 Seven: 1 X\n")).rc, 0);
    QCOMPARE(describeMessages(engine), QString("Seven|7|1|0|0"));
}

// A table pointer other than the object's own is the caller's to release.
void tst_Reader::foreignTablePointer()
{
    CDBC engine;
    CanMsgInfo *table = nullptr;
    int count = -1;
    const QString path = write(fixture("worked_example.dbc"));
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int rc = engine.readDbc(&table, &count, path);
    qInstallMessageHandler(previous);
    QCOMPARE(rc, 0);
    QCOMPARE(count, 2);
    QVERIFY(table != nullptr);
    QCOMPARE(QString(table[1].msgName), QString("BrakeData"));
    QVERIFY(engine.msgTable == nullptr);
    QCOMPARE(engine.msgCnt, 0);
    delete[] table;
}

// The records start cleared: data bytes, unused outputs and raw values are 0.
void tst_Reader::recordsStartCleared()
{
    CDBC engine;
    QCOMPARE(readInto(engine, write(fixture("worked_example.dbc"))).rc, 0);
    static const CanSignalInfo clearSignal = {};
    for (int i = 0; i < engine.msgCnt; ++i) {
        const CanMsgInfo &msg = engine.msgTable[i];
        for (quint8 byte : msg.msgData)
            QCOMPARE(int(byte), 0);
        for (int j = 0; j < DbcLimits::MaxSignals; ++j) {
            QCOMPARE(msg.signalInfo[j].rawValue, 0.0f);
            if (j >= msg.signalCnt)
                QVERIFY(std::memcmp(&msg.signalInfo[j], &clearSignal, sizeof clearSignal) == 0);
        }
        const size_t used = std::strlen(msg.msgName);
        for (size_t k = used; k < sizeof msg.msgName; ++k)
            QCOMPARE(int(msg.msgName[k]), 0);
    }
}

// ---------------------------------------------------------------------------
// Agreement with the literal reading

void tst_Reader::matchesReference_data()
{
    QTest::addColumn<QByteArray>("dbc");
    for (const Snippet &row : messageSnippets()) {
        QTest::newRow(row.name) << row.dbc;
        QTest::newRow(qPrintable(QString("CR LF: ") + row.name)) << toCrLf(row.dbc);
    }
    for (const SignalSnippet &row : signalSnippets()) {
        QTest::newRow(qPrintable(QString("signals: ") + row.name)) << row.dbc;
        QTest::newRow(qPrintable(QString("signals, CR LF: ") + row.name)) << toCrLf(row.dbc);
    }
    for (const auto &row : trickySnippets()) {
        QTest::newRow(row.first) << row.second;
        QTest::newRow(qPrintable(QString("CR LF: ") + row.first)) << toCrLf(row.second);
    }
    QTest::newRow("301 messages") << manyMessages(301, true);
    QTest::newRow("100 signal lines") << manySignals(100);

    // Every ASCII character and some others (Unicode blanks and digits, a
    // byte-order mark, a replacement character) in every separator place.
    QVector<ushort> characters;
    for (ushort c = 0; c < 0x80; ++c)
        characters << c;
    characters << 0x85 << 0xA0 << 0xE9 << 0x660 << 0x1680 << 0x2028 << 0x3000 << 0xFEFF << 0xFF10
               << 0xFFFD;
    for (const ushort c : characters)
        QTest::newRow(qPrintable(
            QStringLiteral("character U+%1 in separator places").arg(c, 4, 16, QLatin1Char('0'))))
            << separatorSweep(QChar(c));

    // Texts with surrogate code units: characters beyond U+FFFF, and unpaired
    // surrogates, which make the patterns find nothing at all.
    const QString plain = QString::fromUtf8(fixture(QStringLiteral("real_world_shapes.dbc")));
    const QString astral = QString::fromUcs4(U"\U0001F697");
    QTest::newRow("character beyond U+FFFF in comment, name and unit") << utf16LittleEndian(
        "CM_ \"" + astral + "\";\n" + plain + "\nBO_ 7 Car" + astral + "A: 8 X\n SG_ S" + astral +
        " : 0|8@1+ (1,0) [0|1] \"" + astral + "\" X\n");
    QTest::newRow("character beyond U+FFFF as a separator")
        << utf16LittleEndian(plain + "\nBO_ 7" + astral + "Car: 8 X\n SG_ S :" + astral +
                             "0|8@1+ (1" + astral + ",0) [0|1] \"\" X\n");
    // An unpaired surrogate first and last, at each position within a group
    // of four code units.
    for (int lead = 0; lead < 4; ++lead) {
        const QString blanks(lead, QLatin1Char(' '));
        QTest::newRow(qPrintable(QStringLiteral("unpaired surrogate after %1 blanks").arg(lead)))
            << utf16LittleEndian(blanks + QChar(ushort(0xD83D)) + plain);
        QTest::newRow(
            qPrintable(QStringLiteral("unpaired surrogate last, %1 blanks first").arg(lead)))
            << utf16LittleEndian(blanks + plain + QChar(ushort(0xDE97)));
    }
}

void tst_Reader::matchesReference()
{
    QFETCH(QByteArray, dbc);

    std::vector<CanMsgInfo> expected;
    const int expectedRc = referenceRead(decodeLikeReader(dbc), &expected);

    CDBC engine;
    const ReadResult result = readInto(engine, write(dbc));
    QCOMPARE(result.rc, expectedRc);
    if (expectedRc == 0)
        compareWithReference(engine, expected);
}

// ---------------------------------------------------------------------------
// The public corpus

void tst_Reader::corpus_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(QUARVEL_CORPUS_DIR));
    if (!corpus.exists())
        QSKIP(qPrintable("corpus folder " + corpus.path() + " is not present"));
    const QStringList files =
        corpus.entryList(QStringList{"*.dbc"}, QDir::Files | QDir::Readable, QDir::Name);
    if (files.isEmpty())
        QSKIP(qPrintable("corpus folder " + corpus.path() + " holds no .dbc file"));
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << corpus.filePath(file);
}

// Every file reads, or fails only by the 300-message rule; the counts agree
// with a plain line count, and the records with the literal reading.
void tst_Reader::corpus()
{
    QFETCH(QString, path);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = decodeLikeReader(file.readAll());

    // Message lines and the indented signal lines right below each, by lines.
    const QStringList lines = text.split(QLatin1Char('\n'));
    static const QRegularExpression signalLineStart(QStringLiteral("^[ \\t]+SG_"));
    QVector<int> signalLines; // per message line
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).startsWith(QLatin1String("BO_ ")))
            continue;
        int n = 0;
        while (i + 1 + n + 1 < lines.size() &&
               signalLineStart.match(lines.at(i + 1 + n)).hasMatch())
            ++n;
        signalLines << n;
    }

    CDBC engine;
    const ReadResult result = readInto(engine, path);
    if (signalLines.size() > DbcLimits::MaxMessages) {
        QCOMPARE(result.rc, -1);
        QCOMPARE(result.error, CDBC::ReadError::TooManyMessages);
        QVERIFY(engine.msgTable == nullptr);
        QCOMPARE(engine.msgCnt, 0);
        return;
    }
    QCOMPARE(result.rc, 0);
    QCOMPARE(result.error, CDBC::ReadError::None);
    QVERIFY(engine.msgCnt > 0);
    QCOMPARE(engine.msgCnt, signalLines.size());
    int signalTotal = 0;
    for (int i = 0; i < engine.msgCnt; ++i) {
        const CanMsgInfo &msg = engine.msgTable[i];
        QVERIFY(msg.signalCnt <= DbcLimits::MaxSignals);
        QCOMPARE(int(msg.signalCnt), qMin(signalLines.at(i), DbcLimits::MaxSignals));
        QVERIFY(std::memchr(msg.msgName, 0, sizeof msg.msgName) != nullptr);
        for (int j = 0; j < msg.signalCnt; ++j)
            QVERIFY(std::memchr(msg.signalInfo[j].signalName, 0, DbcLimits::NameSize) != nullptr);
        signalTotal += msg.signalCnt;
    }
    QVERIFY(signalTotal > 0);

    std::vector<CanMsgInfo> expected;
    QCOMPARE(referenceRead(text, &expected), 0);
    compareWithReference(engine, expected);
}

QTEST_GUILESS_MAIN(tst_Reader)
#include "tst_reader.moc"
