// DBC reader: regexCaptureAll, readDbc and its signal step (spec Parts 2.2 and
// 2.3, with the decisions and mends of issue 3).
//
// Every field is found by one fixed pattern, exactly as the Parts give them;
// only the block pattern is the replacement (mend 8). The patterns are
// compiled once, JIT-optimised, and run over views into the file text, so no
// block or line is copied. A field takes the first match of its pattern, which
// is what a global run followed by taking result 0 gives.

#include "cdbc.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringRef>
#include <QTextStream>
#include <QVector>

#include <climits>
#include <cstring>

namespace
{

// One of the reader's fixed patterns, compiled with the option regexCaptureAll
// uses (DontCaptureOption only), JIT-optimised, its validity decided once.
struct FixedPattern {
    explicit FixedPattern(const char *pattern)
        : re(QString::fromLatin1(pattern), QRegularExpression::DontCaptureOption)
    {
        re.optimize();
        valid = re.isValid();
    }
    QRegularExpression re;
    bool valid;
};

// The patterns of Parts 2.2 and 2.3, one backslash of the pattern being "\\" here.
struct ReaderPatterns {
    // Part 2.2, with the block pattern of issue 3, mend 8.
    FixedPattern block{"(?<![^\\n])BO_ .*\\n(?:[ \\t]+SG_.*\\n)*"};
    FixedPattern msgName{"(?<=\\s)\\w+(?=:)"};
    FixedPattern msgId{"(?<=BO_\\s)\\d+(?=\\s)"}; // in blocks and in attribute texts
    FixedPattern msgDlc{"(?<=:\\s)\\d+(?=\\s)"};
    FixedPattern cycleAttribute{"(?<=BA_ \"GenMsgCycleTime\" ).*"};
    FixedPattern cycleValue{"(?<=\\s)\\d+(?=;)"};
    // Part 2.3.
    FixedPattern signalLine{"SG_.*"};
    FixedPattern signalName{"(?<=SG_\\s)\\w+(?=\\s)"};
    FixedPattern bitStart{"(?<=\\s:\\s)\\d+(?=\\|)"};
    FixedPattern bitLength{"(?<=\\|)\\d+(?=@)"};
    FixedPattern factor{"(?<= \\().*(?=,)"};
    FixedPattern offset{"(?<=,).*(?=\\))"};
    FixedPattern range{"(?<=\\[).*(?=\\])"};
    FixedPattern minimum{"^.*(?=\\|)"};
    FixedPattern maximum{"(?<=\\|).*"};
};

const ReaderPatterns &patterns()
{
    static const ReaderPatterns fixed;
    return fixed;
}

// qDebug() builds its text even when the "default" category's debug output is
// switched off and the line is then dropped; asking first skips that work and
// changes nothing that any message handler receives.
bool debugOn()
{
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return !category || category->isDebugEnabled();
}

void debugLine(const char *text)
{
    if (debugOn())
        qDebug() << text;
}

// The first match of `re` in `subject` as a view into the same string, or a
// null view when there is none. The subject is the view alone: look-arounds
// and ^ do not see the text around it, just as when it is its own string.
QStringRef firstMatch(const QRegularExpression &re, const QStringRef &subject)
{
    const QRegularExpressionMatch match = re.match(subject);
    if (!match.hasMatch())
        return QStringRef();
    return subject.mid(match.capturedStart(), match.capturedLength());
}

// The global run of regexCaptureAll over `subject`: every match in order, as
// views. The first `limit` are stored into `out`; returns how many there were.
int allMatches(const QRegularExpression &re, const QStringRef &subject, QVector<QStringRef> *out,
               int limit = INT_MAX)
{
    int found = 0;
    QRegularExpressionMatchIterator it = re.globalMatch(subject);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (found < limit)
            out->append(subject.mid(match.capturedStart(), match.capturedLength()));
        ++found;
    }
    return found;
}

// QString::toInt in base 10: 0 for an empty or non-numeric text or one beyond
// the signed 32-bit range (the success flag is not looked at).
qint32 toInt32(const QStringRef &text)
{
    return text.toInt(nullptr, 10);
}

// The low 8 bits of a converted field, as DLC, start bit and bit length keep them.
quint8 low8(qint32 value)
{
    return static_cast<quint8>(static_cast<quint32>(value) & 0xFFu);
}

// A message identifier text, in the message pass and the cycle-time pass
// alike (issue 3, mend 7): as QString::toInt gives it, except that a text from
// 2147483648 to 4294967295 (bit 31 set, an extended frame) gives its 29-bit
// identifier, the value AND 0x1FFFFFFF. Larger or non-numeric texts give 0.
qint32 toIdentifier(const QStringRef &text)
{
    bool ok = false;
    const qint32 value = text.toInt(&ok, 10);
    if (ok)
        return value;
    const quint32 wide = text.toUInt(&ok, 10);
    if (ok && wide > quint32(INT_MAX))
        return static_cast<qint32>(wide & 0x1FFFFFFFu);
    return 0;
}

// Converts a name to the local 8-bit encoding and copies it with its NUL into
// a 40-byte name array; a name beyond 39 bytes is cut to its first 39 bytes,
// with a debug line (issue 3, point 4).
void storeName(const QStringRef &name, char (&dest)[DbcLimits::NameSize])
{
    QByteArray bytes = name.toLocal8Bit();
    if (bytes.size() > DbcLimits::MaxNameLength) {
        if (debugOn())
            qDebug().noquote() << "name cut to 39 bytes:" << bytes;
        bytes.truncate(DbcLimits::MaxNameLength);
    }
    std::memcpy(dest, bytes.constData(), static_cast<size_t>(bytes.size()));
    dest[bytes.size()] = '\0';
}

// Part 2.3: the signal step for one block and its record. Returns false when
// the signal-line pattern is rejected, which ends the read.
bool readSignals(const ReaderPatterns &p, const QStringRef &block, CanMsgInfo &msg)
{
    if (!p.signalLine.valid) {
        debugLine("read signal fault!");
        return false;
    }

    // Step 1 over the block's signal lines only, the text after its message
    // line (mend 9); the message line ends at the block's first line feed.
    const QStringRef body = block.mid(block.indexOf(QLatin1Char('\n')) + 1);
    QVector<QStringRef> lines;
    const int lineCount = allMatches(p.signalLine.re, body, &lines, DbcLimits::MaxSignals);

    // Step 2, with the first 64 lines kept (issue 3, point 2).
    if (lineCount > DbcLimits::MaxSignals && debugOn())
        qDebug().noquote().nospace() << "too many signals in message " << msg.msgName << " (id "
                                     << msg.msgId << "): " << (lineCount - DbcLimits::MaxSignals)
                                     << " of " << lineCount << " signal lines dropped";
    msg.signalCnt = static_cast<quint8>(lines.size());
    debugLine("read signal success!");

    // Step 3, the fields of each line in their fixed order.
    for (int j = 0; j < lines.size(); ++j) {
        const QStringRef &line = lines.at(j);
        CanSignalInfo &sig = msg.signalInfo[j];
        if (p.signalName.valid) {
            storeName(firstMatch(p.signalName.re, line), sig.signalName);
            debugLine("read signal success!");
        }
        if (p.bitStart.valid) {
            sig.bitStart = low8(toInt32(firstMatch(p.bitStart.re, line)));
            debugLine("read bitStart success!");
        }
        if (p.bitLength.valid) {
            sig.bitLength = low8(toInt32(firstMatch(p.bitLength.re, line)));
            debugLine("read bitLength success!");
        }
        if (p.factor.valid) {
            sig.factor = firstMatch(p.factor.re, line).toFloat();
            debugLine("read signal factor success!");
        }
        if (p.offset.valid) {
            sig.offset = firstMatch(p.offset.re, line).toFloat();
            debugLine("read signal offset success!");
        }
        QStringRef range;
        if (p.range.valid) {
            range = firstMatch(p.range.re, line);
            debugLine("read signal Minimun To Maximum success!");
        }
        if (p.minimum.valid) {
            sig.minimum = firstMatch(p.minimum.re, range).toFloat();
            debugLine("read signal Minimun success!");
        }
        if (p.maximum.valid) {
            sig.maximum = firstMatch(p.maximum.re, range).toFloat();
            debugLine("read signal Maximun success!");
        }
    }
    return true;
}

// Compiled patterns of the public regexCaptureAll, so that a pattern it is
// given again is not compiled again. Per thread, bounded.
QRegularExpression cachedPattern(const QString &pattern)
{
    thread_local QHash<QString, QRegularExpression> cache;
    const auto found = cache.constFind(pattern);
    if (found != cache.constEnd())
        return found.value();
    if (cache.size() >= 64)
        cache.clear();
    QRegularExpression re(pattern, QRegularExpression::DontCaptureOption);
    re.optimize();
    cache.insert(pattern, re);
    return re;
}

} // namespace

// Part 2.2. Each match gives its whole text followed by the text of each
// capturing group (under DontCaptureOption only named groups capture). The
// caller's array must hold as many slots as the run can give: regexCaptureAll
// takes no capacity. On a rejected pattern it returns -1 and touches nothing.
int CDBC::regexCaptureAll(QString pattern, QString text, QString *results, int *resultCnt)
{
    const QRegularExpression re = cachedPattern(pattern);
    if (!re.isValid())
        return -1;
    const int groups = re.captureCount();
    int stored = 0;
    QRegularExpressionMatchIterator it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        for (int g = 0; g <= groups; ++g)
            results[stored++] = match.captured(g);
    }
    *resultCnt = stored;
    return 0;
}

// Part 2.2 with issue 3: sets readError on every call; a failure before the
// block pass leaves *table and *count as they were.
int CDBC::readDbc(CanMsgInfo **table, int *count, QString dbcPath)
{
    readError = ReadError::None;
    const ReaderPatterns &p = patterns();

    // Steps 1 to 3: an empty path or a file that cannot be opened or read
    // fails the read (mend 6), with readError FileNotOpen either way. QFile
    // refuses a directory.
    if (dbcPath.isEmpty()) {
        debugLine("file not open");
        readError = ReadError::FileNotOpen;
        return -1;
    }
    QFile file(dbcPath);
    if (!file.open(QIODevice::ReadOnly)) {
        debugLine("file not open");
        readError = ReadError::FileNotOpen;
        return -1;
    }
    debugLine("file open success");
    // Decoded as QTextStream decodes by default: a byte-order mark selects
    // UTF-8, UTF-16 or UTF-32, else the local 8-bit encoding. No text mode, so
    // carriage returns stay in the text.
    QTextStream stream(&file);
    const QString text = stream.readAll();
    if (file.error() != QFileDevice::NoError) { // opened, but reading failed
        debugLine("file not read");
        readError = ReadError::FileNotOpen;
        return -1;
    }
    file.close();
    const QStringRef whole(&text);

    // Step 4, the block pass.
    if (!p.block.valid) {
        debugLine("read BOSG fault!");
        readError = ReadError::PatternRejected;
        return -1;
    }
    QVector<QStringRef> blocks;
    allMatches(p.block.re, whole, &blocks);
    const int blockCount = blocks.size();
    if (blockCount > DbcLimits::MaxMessages) {
        // Issue 3, point 1: refused before any table is allocated.
        if (debugOn())
            qDebug().noquote().nospace()
                << "too many messages: " << blockCount << " message blocks (at most "
                << DbcLimits::MaxMessages << ")";
        readError = ReadError::TooManyMessages;
        return -1;
    }

    // Step 5. The records start cleared.
    CanMsgInfo *records = blockCount > 0 ? new CanMsgInfo[blockCount]() : nullptr;
    if (table == &msgTable)
        delete[] msgTable;
    *table = records;
    debugLine("read BOSG success!");
    *count = blockCount;

    // Step 6, one record per block.
    for (int i = 0; i < blockCount; ++i) {
        const QStringRef &block = blocks.at(i);
        CanMsgInfo &msg = records[i];
        if (debugOn())
            qDebug() << (QByteArray("read canidCnt:") + QByteArray::number(i));

        if (!p.msgName.valid) {
            debugLine("read canid name fault!");
            readError = ReadError::PatternRejected;
            return -1;
        }
        storeName(firstMatch(p.msgName.re, block), msg.msgName);

        if (!p.msgId.valid) {
            debugLine("read canid fault!");
            readError = ReadError::PatternRejected;
            return -1;
        }
        msg.msgId = toIdentifier(firstMatch(p.msgId.re, block));

        if (!p.msgDlc.valid) {
            debugLine("read canid DLC fault!");
            readError = ReadError::PatternRejected;
            return -1;
        }
        msg.msgDlc = low8(toInt32(firstMatch(p.msgDlc.re, block)));

        msg.cycleTime = 0;

        if (!readSignals(p, block, msg)) {
            readError = ReadError::PatternRejected;
            return -1;
        }
    }

    // Step 7, the cycle-time pass: every attribute line (issue 3, point 3).
    if (!p.cycleAttribute.valid) {
        debugLine("read BOSG fault!");
        readError = ReadError::PatternRejected;
        return -1;
    }
    QVector<QStringRef> attributes;
    allMatches(p.cycleAttribute.re, whole, &attributes);
    debugLine("read BOSG success!");

    // Step 8, in file order, so the last line for an identifier wins.
    for (const QStringRef &attribute : qAsConst(attributes)) {
        qint32 id = 0;
        if (p.msgId.valid)
            id = toIdentifier(firstMatch(p.msgId.re, attribute));
        else
            debugLine("read canid fault!");
        if (!p.cycleValue.valid)
            continue; // every matching record keeps its cycle time
        bool haveValue = false;
        qint32 cycleTime = 0;
        for (int k = 0; k < blockCount; ++k) {
            if (records[k].msgId != id)
                continue;
            if (!haveValue) { // the same text gives the same value for each record
                cycleTime = toInt32(firstMatch(p.cycleValue.re, attribute));
                haveValue = true;
            }
            records[k].cycleTime = cycleTime;
        }
    }

    // Step 9.
    debugLine("read signal finished");
    return 0;
}
