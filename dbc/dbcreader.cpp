// SPDX-License-Identifier: MIT
// The DBC reader: readDbc with its signal step, and regexCaptureAll.
//
// Every field of a DBC file is defined by one fixed pattern, found by its
// hand-written matcher (dbcmatchers.cpp). Fields are views into the file
// text: no block or line is copied.

#include "dbcmatchers.h"
#include "debuglog.h"
#include "qtcompat.h"
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringView>
#include <QVector>

#include <climits>
#include <cstddef>
#include <cstring>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace DbcMatchers;

namespace
{

void debugLine(const char *text)
{
    if (DebugLog::enabled())
        DebugLog::line(QLatin1String(text));
}

// The value of a text of one to nine ASCII digits, which no conversion can
// overflow, or -1 for any other text.
int shortDigitValue(QStringView text)
{
    const int n = int(text.size());
    if (n < 1 || n > 9)
        return -1;
    const QChar *c = text.data();
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const ushort u = c[i].unicode();
        if (!isDigit(u))
            return -1;
        value = value * 10 + (u - '0');
    }
    return value;
}

// QString::toInt in base 10: 0 for an empty or non-numeric text or one beyond
// the signed 32-bit range (the success flag is not looked at).
qint32 toInt32(QStringView text)
{
    const int value = shortDigitValue(text);
    return value >= 0 ? value : text.toInt(nullptr, 10);
}

// QString::toFloat itself, for the texts toFloat32 leaves to it. Its C-locale
// parser takes digits, letters, signs, the point, ';' and '%' only, so a text
// holding a parenthesis, a bracket, '|' or '"' (such as the offset of a
// signal line whose unit holds a ')': all up to the line's last ')') is 0
// without asking it.
Q_NEVER_INLINE float qtFloat(QStringView text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '(' || u == ')' || u == '[' || u == ']' || u == '|' || u == '"')
            return 0.0f;
    }
    return text.toFloat();
}

// QString::toFloat: the text read as a double and rounded to float, 0 when it
// is not a number. A plain decimal, an optional minus, digits and optionally a
// point and more digits, with at most 15 digits in all, is an integer below
// 2^53 divided by an exact power of ten; that one division is correctly
// rounded, so it is the same double toDouble gives. Every other text goes
// through toFloat itself.
inline float toFloat32(QStringView text)
{
    static const double powersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const QChar *c = text.data();
    const int n = int(text.size());
    if (n == 1 && isDigit(c[0].unicode())) // as factor 1, offset 0 and many limits are written
        return float(c[0].unicode() - '0');
    const bool negative = n > 0 && c[0] == QLatin1Char('-');
    int i = negative ? 1 : 0;
    const int integerStart = i;
    quint64 digits = 0; // wraps only for a text that goes to toFloat below
    for (; i < n && isDigit(c[i].unicode()); ++i)
        digits = digits * 10 + (c[i].unicode() - '0');
    const int integerDigits = i - integerStart;
    int fractionDigits = 0;
    if (i < n && c[i] == QLatin1Char('.') && integerDigits > 0) {
        const int fractionStart = ++i;
        for (; i < n && isDigit(c[i].unicode()); ++i)
            digits = digits * 10 + (c[i].unicode() - '0');
        fractionDigits = i - fractionStart;
        if (fractionDigits == 0)
            return qtFloat(text);
    }
    if (i < n || integerDigits == 0 || integerDigits + fractionDigits > 15)
        return qtFloat(text);
    double value = double(digits);
    if (fractionDigits > 0)
        value /= powersOfTen[fractionDigits];
    return float(negative ? -value : value);
}

// The low 8 bits of a converted field, as the DLC keeps them.
quint8 low8(qint32 value)
{
    return static_cast<quint8>(static_cast<quint32>(value) & 0xFFu);
}

// A start bit or a length as the file writes it: a run of digits, so a text
// beyond the signed 32-bit range is a very large number, not 0.
int signalNumber(QStringView digits)
{
    const int value = shortDigitValue(digits);
    if (value >= 0 || digits.isEmpty())
        return qMax(value, 0);
    bool ok = false;
    const int wide = digits.toInt(&ok, 10);
    return ok ? wide : INT_MAX;
}

// The signal's start bit and length as its 8-bit record fields keep them. A
// number above 255 (CAN FD frames run to bit 511) is never wrapped, which
// would lay the signal out, and pack it, at a place that has nothing to do
// with the file. Such a signal takes no part in the bit walk or the packing:
// a start bit is kept as 255, beyond every bit the walk reaches and every byte
// the packing writes, before and after the flip; a length is kept as 0, which
// both skip. The file's numbers stay in the source record, for the findings.
void storeBits(CanSignalInfo &sig, int startBit, int bitLength)
{
    sig.bitStart = quint8(qMin(startBit, DbcLimits::MaxBitNumber));
    sig.bitLength = bitLength > DbcLimits::MaxBitNumber ? 0 : quint8(bitLength);
}

// A message identifier text, in the message pass and the cycle-time pass
// alike: as QString::toInt gives it, except that a text from 2147483648 to
// 4294967295 (bit 31 set, an extended frame) gives its 29-bit identifier, the
// value AND 0x1FFFFFFF. Larger or non-numeric texts give 0.
qint32 toIdentifier(QStringView text)
{
    const int shortValue = shortDigitValue(text);
    if (shortValue >= 0)
        return shortValue;
    bool ok = false;
    const qint32 value = text.toInt(&ok, 10);
    if (ok)
        return value;
    const quint32 wide = text.toUInt(&ok, 10);
    if (ok && wide > quint32(INT_MAX))
        return static_cast<qint32>(wide & 0x1FFFFFFFu);
    return 0;
}

// Whether the local 8-bit encoding writes the name characters (ASCII letters,
// digits and underscore) as their ASCII bytes, as every encoding used for
// local 8-bit text does. Asked once per read.
bool localEncodingKeepsAsciiNames()
{
    static const char nameCharacters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    return QString::fromLatin1(nameCharacters).toLocal8Bit() == QByteArray(nameCharacters);
}

// Converts a name to the local 8-bit encoding and copies it with its NUL into
// a 40-byte name array; a name beyond 39 bytes is cut to its first 39 bytes,
// with a debug line, and true is returned. Names are runs of \w, so when the
// local encoding keeps them as they are the bytes are copied directly.
bool storeName(QStringView name, char (&dest)[DbcLimits::NameSize], bool asciiAsIs)
{
    const int n = int(name.size());
    const QChar *c = name.data();
    // The usual name, which needs no cut, is copied while it is checked: a
    // run of \w is ASCII, so for such a name that is enough.
    if (asciiAsIs && n <= DbcLimits::MaxNameLength) {
        ushort units = 0;
        for (int i = 0; i < n; ++i) {
            units |= c[i].unicode();
            dest[i] = char(c[i].unicode());
        }
        if (units < 0x80) {
            dest[n] = '\0';
            return false;
        }
        std::memset(dest, 0, size_t(n)); // as the record was before
    }
    int wordCharacters = 0;
    while (asciiAsIs && wordCharacters < n && isWord(c[wordCharacters].unicode()))
        ++wordCharacters;
    if (asciiAsIs && wordCharacters == n) {
        const int kept = qMin(n, int(DbcLimits::MaxNameLength));
        if (n > kept)
            DBC_DEBUG().noquote() << "name cut to 39 bytes:" << name.toLatin1();
        for (int i = 0; i < kept; ++i)
            dest[i] = char(c[i].unicode());
        dest[kept] = '\0';
        return n > kept;
    }
    QByteArray bytes = name.toLocal8Bit();
    const bool cut = bytes.size() > DbcLimits::MaxNameLength;
    if (cut) {
        DBC_DEBUG().noquote() << "name cut to 39 bytes:" << bytes;
        bytes.truncate(DbcLimits::MaxNameLength);
    }
    std::memcpy(dest, bytes.constData(), static_cast<size_t>(bytes.size()));
    dest[bytes.size()] = '\0';
    return cut;
}

// How many line feeds the code units u[0, n) hold. With SSE2 eight are
// counted in one step, in eight 16-bit counters that are added up at least
// every 32767 steps.
int countLineFeeds(const char16_t *u, int n)
{
    int feeds = 0;
    int i = 0;
#ifdef __SSE2__
    const __m128i feed = _mm_set1_epi16('\n');
    while (n - i >= 8) {
        const int steps = qMin((n - i) / 8, 32767);
        __m128i counts = _mm_setzero_si128();
        for (int k = 0; k < steps; ++k, i += 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(u + i));
            counts = _mm_sub_epi16(counts, _mm_cmpeq_epi16(units, feed));
        }
        const __m128i pairs = _mm_madd_epi16(counts, _mm_set1_epi16(1));
        const __m128i halves = _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 0x4E));
        feeds += _mm_cvtsi128_si32(_mm_add_epi32(halves, _mm_shuffle_epi32(halves, 0xB1)));
    }
#endif
    for (; i < n; ++i)
        feeds += u[i] == u'\n';
    return feeds;
}

// The 1-based line of positions in the text, counted on from the position
// asked before (from the start again for an earlier one).
class LineCounter
{
public:
    explicit LineCounter(QStringView text) : text(text.utf16()) {}
    int lineOf(QStringView part)
    {
        const int at = int(part.utf16() - text);
        if (at < counted)
            counted = 0, line = 1;
        line += countLineFeeds(text + counted, at - counted);
        counted = at;
        return line;
    }
    // Takes note that the position `at` is at line `lineThere`.
    void passed(const char16_t *at, int lineThere)
    {
        counted = int(at - text);
        line = lineThere;
    }

private:
    const char16_t *text;
    int counted = 0;
    int line = 1;
};

// Whether the text is well-formed UTF-16. Only a text decoded from UTF-16 or
// UTF-32 can hold an unpaired surrogate, and most hold no surrogate at all:
// that is looked for first, eight code units at a time with SSE2, before
// Qt's check.
bool isWellFormed(QStringView text)
{
    const char16_t *const u = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool surrogates = false;
#ifdef __SSE2__
    const __m128i high5 = _mm_set1_epi16(short(0xF800)), surrogate = _mm_set1_epi16(short(0xD800));
    __m128i found = _mm_setzero_si128();
    for (; n - i >= 8; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(u + i));
        found = _mm_or_si128(found, _mm_cmpeq_epi16(_mm_and_si128(units, high5), surrogate));
    }
    surrogates = _mm_movemask_epi8(found) != 0;
#endif
    for (; i < n; ++i)
        surrogates = surrogates || (u[i] & 0xF800) == 0xD800;
    return !surrogates || text.isValidUtf16();
}

// What one read carries from step to step.
struct ReadContext {
    bool asciiNames; // the local encoding keeps name characters as ASCII
    LineCounter lineCounter;
    SignalLineRest lastRest; // of the signal line read last
};

// Reads and decodes the file in pieces the size of a text stream's, at most
// `bound` + 1 bytes; *bytes gets how many were read. The text grows as a
// stream's buffer does: Qt 6's own stream, and buffers of the file's exact
// size, were measured to take fresh memory from the system on every read of
// a large file, at two to three times the cost.
QString readText(QFile &file, qint64 bound, qint64 *bytes)
{
    QString text;
    QtCompat::DbcDecoder decoder;
    char piece[1 << 14];
    *bytes = 0;
    while (*bytes <= bound) {
        const qint64 got = file.read(piece, qMin<qint64>(sizeof piece, bound + 1 - *bytes));
        if (got <= 0)
            break;
        *bytes += got;
        decoder.appendTo(&text, piece, int(got));
    }
    return text;
}

// Opens and decodes the DBC file: a byte-order mark selects UTF-8, UTF-16 or
// UTF-32, else the local 8-bit encoding applies, under Qt 5 and Qt 6 alike.
// No text mode, so carriage returns stay in the text. Only regular files are
// read (a FIFO would block, a device never end), and none larger than
// DbcLimits::MaxDbcFileBytes. An empty path, or a file that cannot be
// opened or read, gives false with the reason.
bool decodeFile(const QString &path, QString *text, QString *reason)
{
    const QFileInfo info(path);
    QFile file(path);
    const bool irregular = info.exists() && !info.isFile();
    if (path.isEmpty() || irregular || !file.open(QIODevice::ReadOnly)) {
        debugLine("file not open");
        *reason = path.isEmpty() ? QStringLiteral("no DBC file")
                  : irregular    ? QStringLiteral("not a regular file")
                                 : file.errorString();
        return false;
    }
    debugLine("file open success");
    // A file that is too large is not read at all, and one that grows while
    // it is read is read no further than the bound.
    bool tooLarge = file.size() > DbcLimits::MaxDbcFileBytes;
    if (!tooLarge) {
        qint64 bytes = 0;
        *text = readText(file, DbcLimits::MaxDbcFileBytes, &bytes);
        tooLarge = bytes > DbcLimits::MaxDbcFileBytes;
    }
    if (file.error() != QFileDevice::NoError) { // opened, but reading failed
        debugLine("file not read");
        *reason = file.errorString();
        return false;
    }
    if (tooLarge) {
        text->clear();
        DBC_DEBUG().noquote().nospace()
            << "file too large: more than " << DbcLimits::MaxDbcFileMB << " MB";
        *reason = QStringLiteral("larger than %1 MB").arg(DbcLimits::MaxDbcFileMB);
        return false;
    }
    return true;
}

// The debug lines of a signal line, one per field in the order of the
// fields, after a debug line about its name if it was cut.
const char *const FieldLines[] = {
    "read signal success!",         "read bitStart success!",
    "read bitLength success!",      "read signal factor success!",
    "read signal offset success!",  "read signal Minimun To Maximum success!",
    "read signal Minimun success!", "read signal Maximun success!"};

// The signal step for one block: its signal lines and their fields.
void readSignals(QStringView block, CanMsgInfo &msg, DbcSourceMessage &source, ReadContext &context)
{
    // The signal lines are those of the block after its message line, which
    // ends at the block's first line feed: a message line holding "SG_" (a
    // name such as MSG_Engine) adds no signal.
    //
    // Each line of a block after its message line is blanks or tabs, "SG_"
    // and the rest of a line, ended by a line feed (see findBlock). So the
    // signal lines, the matches of findSignalLine in it, are one per line,
    // each from its "SG_" to its line feed, and they lie on the lines right
    // after the message line.
    const QStringView body = block.mid(block.indexOf(QLatin1Char('\n')) + 1);
    const int lineCount = countLineFeeds(body.utf16(), int(body.size()));
    const int kept = qMin(lineCount, DbcLimits::MaxSignals);

    // The first 64 signal lines are kept; a debug line tells how many were dropped.
    if (lineCount > DbcLimits::MaxSignals)
        DBC_DEBUG().noquote().nospace() << "too many signals in message " << msg.msgName << " (id "
                                        << msg.msgId << "): " << (lineCount - DbcLimits::MaxSignals)
                                        << " of " << lineCount << " signal lines dropped";
    msg.signalCnt = static_cast<quint8>(kept);
    debugLine("read signal success!");

    // The fields of each line, read in one pass when the line has the common
    // shape, else each by its finder, stored in their fixed order.
    const QChar *const s = body.data();
    const int n = int(body.size());
    for (int j = 0, p = 0; j < kept; ++j) {
        while (s[p] == QLatin1Char(' ') || s[p] == QLatin1Char('\t'))
            ++p;
        SignalFields fields;
        int end = readCommonSignalLine(s, p, n, &fields, &context.lastRest);
        if (end < 0) {
            end = lineEnd(s, n, p);
            fields = findSignalFields(QStringView(s + p, end - p));
        }
        p = end + 1;
        CanSignalInfo &sig = msg.signalInfo[j];
        source.signalLines[j] = source.line + 1 + j;
        if (storeName(fields.name, sig.signalName, context.asciiNames))
            source.fullSignalNames.append({j, fields.name.toString()});
        source.startBits[j] = signalNumber(fields.startBit);
        source.bitLengths[j] = signalNumber(fields.bitLength);
        storeBits(sig, source.startBits[j], source.bitLengths[j]);
        // The byte order follows the length's '@': 1 little-endian, 0 (and
        // anything else) big-endian.
        if (!fields.bitLength.isNull()) {
            const int order = int(fields.bitLength.data() - s) + int(fields.bitLength.size()) + 1;
            if (order < n && s[order - 1] == QLatin1Char('@') && s[order] == QLatin1Char('1'))
                source.littleEndianSlots |= quint64(1) << j;
        }
        sig.factor = toFloat32(fields.factor);
        sig.offset = toFloat32(fields.offset);
        sig.minimum = toFloat32(fields.minimum);
        sig.maximum = toFloat32(fields.maximum);
        if (DebugLog::enabled()) {
            for (const char *text : FieldLines)
                DebugLog::line(QLatin1String(text));
        }
    }
    // The block ends after the line feed of its last line.
    context.lineCounter.passed(body.utf16() + n, source.line + 1 + lineCount);
    if (lineCount > DbcLimits::MaxSignals) {
        source.droppedLines = lineCount - DbcLimits::MaxSignals;
        source.firstDroppedLine = source.line + 1 + DbcLimits::MaxSignals;
    }
}

// Clears a record as value-initialization does, in pieces of one signal
// slot: the record is then written while it is still in the cache.
void clearRecord(CanMsgInfo &msg)
{
    static_assert(std::is_trivial<CanMsgInfo>::value, "records are plain data");
    static_assert(offsetof(CanMsgInfo, signalInfo) + sizeof msg.signalInfo == sizeof msg,
                  "the slots end the record");
    std::memset(static_cast<void *>(&msg), 0, offsetof(CanMsgInfo, signalInfo));
    for (CanSignalInfo &slot : msg.signalInfo)
        std::memset(static_cast<void *>(&slot), 0, sizeof slot);
}

// One record from its block: name, identifier and DLC of the message line,
// then the signal step.
void readMessage(int index, QStringView block, CanMsgInfo &msg, DbcSourceMessage &source,
                 ReadContext &context)
{
    if (DebugLog::enabled()) // as qDebug() quotes a QByteArray
        DebugLog::line(QLatin1String("\"read canidCnt:" + QByteArray::number(index) + '"'));
    source.line = context.lineCounter.lineOf(block);
    const QStringView name = first(findMessageName, block);
    if (storeName(name, msg.msgName, context.asciiNames))
        source.fullName = name.toString();
    else if (name.isEmpty())
        source.namelessLine = block.left(block.indexOf(QLatin1Char('\n'))).toString();
    msg.msgId = toIdentifier(first(findMessageId, block));
    msg.msgDlc = low8(toInt32(first(findMessageDlc, block)));
    msg.cycleTime = 0;
    readSignals(block, msg, source, context);
}

// The cycle-time pass: every attribute line, however many, in file order, so
// the last line for an identifier wins; every record with the identifier is set.
void applyCycleTimes(QStringView text, CanMsgInfo *records, int count)
{
    QVector<QStringView> attributes;
    all(findCycleAttribute, text, &attributes);
    debugLine("read BOSG success!");
    for (QStringView attribute : qAsConst(attributes)) {
        const qint32 id = toIdentifier(first(findMessageId, attribute));
        bool haveValue = false;
        qint32 cycleTime = 0;
        for (int k = 0; k < count; ++k) {
            if (records[k].msgId != id)
                continue;
            if (!haveValue) { // the same text gives the same value for each record
                cycleTime = toInt32(first(findCycleValue, attribute));
                haveValue = true;
            }
            records[k].cycleTime = cycleTime;
        }
    }
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

// Each match gives its whole text followed by the text of each capturing
// group (under DontCaptureOption only named groups capture). The caller's
// array must hold as many slots as the run can give: regexCaptureAll takes no
// capacity. On a rejected pattern it returns -1 and touches nothing.
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

// Sets readError on every call; a failure before the block pass leaves *table
// and *count as they were.
int CDBC::readDbc(CanMsgInfo **table, int *count, QString dbcPath)
{
    readError = ReadError::None;
    QString decoded, reason;
    if (!decodeFile(dbcPath, &decoded, &reason)) {
        readError = ReadError::FileNotOpen;
        setFailure(dbcPath, reason);
        return -1;
    }
    // The pattern engine matches nothing in text that is not well-formed
    // UTF-16 (an unpaired surrogate, from a UTF-16 or UTF-32 file): such a
    // text is read as one without any block or attribute line.
    const QStringView text = isWellFormed(decoded) ? QStringView(decoded) : QStringView();

    // The block pass. More than 300 blocks fail the read before any table is
    // allocated.
    QVector<QStringView> blocks;
    blocks.reserve(DbcLimits::MaxMessages);
    const int blockCount = all(findBlock, text, &blocks, DbcLimits::MaxMessages);
    if (blockCount > DbcLimits::MaxMessages) {
        DBC_DEBUG().noquote().nospace()
            << "too many messages: " << blockCount << " message blocks (at most "
            << DbcLimits::MaxMessages << ")";
        readError = ReadError::TooManyMessages;
        setFailure(dbcPath, QStringLiteral("%1 messages, more than %2")
                                .arg(blockCount)
                                .arg(DbcLimits::MaxMessages));
        return -1;
    }

    // The table; each record is cleared just before it is read.
    CanMsgInfo *records = blockCount > 0 ? new CanMsgInfo[blockCount] : nullptr;
    if (table == &msgTable)
        delete[] msgTable;
    *table = records;
    debugLine("read BOSG success!");
    *count = blockCount;

    ReadContext context{localEncodingKeepsAsciiNames(), LineCounter(text), {}};
    sourceMessages = QVector<DbcSourceMessage>(blockCount);
    for (int i = 0; i < blockCount; ++i) {
        clearRecord(records[i]);
        readMessage(i, blocks.at(i), records[i], sourceMessages[i], context);
    }

    applyCycleTimes(text, records, blockCount);
    debugLine("read signal finished");
    return 0;
}
