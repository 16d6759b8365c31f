// DBC reader: regexCaptureAll, and readDbc with its signal step.
//
// Every field of a DBC file is defined by one fixed pattern (ReaderPatterns
// below); the message block pattern is the one that also finds message lines
// on the first line of the file, right after a signal line, and signal lines
// indented by tabs or several blanks. The patterns are compiled once and
// JIT-optimised; whether each is valid decides the reader's fault paths.
//
// Running compiled patterns would be nearly the whole cost of a read, so each
// also has a hand-written matcher here that finds exactly its matches:
// the same first match and, for the three passes that take every match
// (message blocks, signal lines, cycle-time lines), the same sequence as a
// global run in which each search goes on where the previous match ended. The
// reader tests compare the records with a literal pattern-by-pattern reading
// over snippets, awkward inputs and a corpus of real DBC files.
//
// The matchers take one UTF-16 code unit as one character. That is exact for
// well-formed text, characters beyond U+FFFF included: every pattern starts
// and ends its matches next to ASCII characters, a line feed or the text's
// ends, never inside a surrogate pair, and a pair is one non-blank, non-word
// character to the patterns as its two halves are to the matchers. Ill-formed
// UTF-16 (an unpaired surrogate) is refused by PCRE outright, so such a text
// is read with the compiled patterns themselves; the whole-text passes then
// find nothing, which keeps that path fast too.
//
// Fields are views into the file text: no block or line is copied.

#include "cdbc.h"
#include "readerinternals.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringRef>
#include <QStringView>
#include <QTextStream>
#include <QVector>

#include <climits>
#include <cstring>

namespace
{

// ---------------------------------------------------------------------------
// Hand-written matchers
//
// Each finds the first match of its pattern that starts at or after `from` in
// the subject s[0, n). Look-behinds see the subject only, never text before
// it, just as when the subject is a string of its own.

struct Span {
    int start; // -1: no match
    int length;
};

constexpr Span NoMatch = {-1, 0};

using Finder = Span (*)(const QChar *s, int n, int from);

// The pattern classes \s, \d and \w: ASCII only (no Unicode properties). \s
// is tab, line feed, vertical tab, form feed, carriage return and blank.
inline bool isSpace(ushort c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool isDigit(ushort c)
{
    return c >= '0' && c <= '9';
}

inline bool isWord(ushort c)
{
    const ushort lower = ushort(c | 0x20);
    return isDigit(c) || (lower >= 'a' && lower <= 'z') || c == '_';
}

inline bool isBlankOrTab(ushort c)
{
    return c == ' ' || c == '\t';
}

// Where the line holding position p ends: the next line feed at or after p,
// or n. This is where ".*" stops.
inline int lineEnd(const QChar *s, int n, int p)
{
    while (p < n && s[p] != QLatin1Char('\n'))
        ++p;
    return p;
}

inline bool hasAt(const QChar *s, int n, int p, const char *literal, int length)
{
    if (p < 0 || n - p < length)
        return false;
    for (int k = 0; k < length; ++k) {
        if (s[p + k].unicode() != ushort(literal[k]))
            return false;
    }
    return true;
}

// The first position at or after `from` where `literal` starts, or -1. For
// the short literals searched within lines and blocks.
int findLiteral(const QChar *s, int n, int from, const char *literal, int length)
{
    const ushort lead = ushort(literal[0]);
    for (int i = from; i <= n - length; ++i) {
        if (s[i].unicode() == lead && hasAt(s, n, i, literal, length))
            return i;
    }
    return -1;
}

// Patterns of the form (?<=B)X+(?=A): a look-behind B, a greedy run of one
// class X and one character A after it that is not of class X. A run that
// fails the look-ahead fails from every position inside it too (it ends at the
// same character), so the search skips to the run's end.
template <typename Behind, typename Run, typename Ahead>
Span findRun(const QChar *s, int n, int from, Behind behind, Run inRun, Ahead ahead)
{
    for (int p = from; p < n; ++p) {
        if (!inRun(s[p].unicode()) || !behind(s, p))
            continue;
        int q = p + 1;
        while (q < n && inRun(s[q].unicode()))
            ++q;
        if (q < n && ahead(s[q].unicode()))
            return {p, q - p};
        p = q;
    }
    return NoMatch;
}

// Patterns of the form (?<=B).*(?=C): from a position after B, the greedy ".*"
// runs to the end of the line and gives back characters until C follows, so
// the match ends at the last C of the rest of the line. Without a C there, no
// later position of the same line can match either (its rest of line is
// shorter), nor the line's end, where the line feed follows.
template <typename Behind>
Span findToLast(const QChar *s, int n, int from, Behind behind, ushort close)
{
    for (int p = from; p < n; ++p) {
        if (!behind(s, p))
            continue;
        int last = -1;
        int end = p;
        for (; end < n && s[end] != QLatin1Char('\n'); ++end) {
            if (s[end].unicode() == close)
                last = end;
        }
        if (last >= 0)
            return {p, last - p};
        p = end;
    }
    return NoMatch;
}

// (?<![^\n])BO_ .*\n(?:[ \t]+SG_.*\n)*
// A line that begins with "BO_ " and ends with a line feed, then every
// following line that is blanks or tabs, "SG_" and the rest of a line ended by
// a line feed. Only line starts pass the look-behind.
Span findBlock(const QChar *s, int n, int from)
{
    int p = from;
    if (p > 0 && s[p - 1] != QLatin1Char('\n'))
        p = lineEnd(s, n, p) + 1;
    while (p < n) {
        const int end = lineEnd(s, n, p);
        if (end == n)
            return NoMatch; // no line feed left: neither this line nor a later one can start a
                            // block
        if (hasAt(s, n, p, "BO_ ", 4)) {
            int blockEnd = end + 1;
            while (blockEnd < n) {
                int q = blockEnd;
                while (q < n && isBlankOrTab(s[q].unicode()))
                    ++q;
                if (q == blockEnd || !hasAt(s, n, q, "SG_", 3))
                    break;
                const int signalEnd = lineEnd(s, n, q + 3);
                if (signalEnd == n)
                    break;
                blockEnd = signalEnd + 1;
            }
            return {p, blockEnd - p};
        }
        p = end + 1;
    }
    return NoMatch;
}

// (?<=\s)\w+(?=:)
Span findMessageName(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from, [](const QChar *t, int p) { return p >= 1 && isSpace(t[p - 1].unicode()); },
        isWord, [](ushort c) { return c == ':'; });
}

// (?<=BO_\s)\d+(?=\s)
Span findMessageId(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from,
        [n](const QChar *t, int p) {
            return hasAt(t, n, p - 4, "BO_", 3) && isSpace(t[p - 1].unicode());
        },
        isDigit, isSpace);
}

// (?<=:\s)\d+(?=\s)
Span findMessageDlc(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from,
        [](const QChar *t, int p) {
            return p >= 2 && t[p - 2] == QLatin1Char(':') && isSpace(t[p - 1].unicode());
        },
        isDigit, isSpace);
}

// (?<=BA_ "GenMsgCycleTime" ).*
// Every position right after the attribute name and its blank matches, up to
// the end of its line (possibly empty). The name may end just before `from`
// (a match that ended at a line's end where the name also ends), so the
// search for it starts that many characters earlier.
const char16_t CycleTimeAttribute[] = u"BA_ \"GenMsgCycleTime\" ";
constexpr int CycleTimeAttributeLength = int(sizeof CycleTimeAttribute / sizeof(char16_t)) - 1;

Span findCycleAttribute(const QChar *s, int n, int from)
{
    const qsizetype at = QStringView(s, n).indexOf(QStringView(CycleTimeAttribute),
                                                   qMax(0, from - CycleTimeAttributeLength));
    if (at < 0)
        return NoMatch;
    const int p = int(at) + CycleTimeAttributeLength;
    return {p, lineEnd(s, n, p) - p};
}

// (?<=\s)\d+(?=;)
Span findCycleValue(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from, [](const QChar *t, int p) { return p >= 1 && isSpace(t[p - 1].unicode()); },
        isDigit, [](ushort c) { return c == ';'; });
}

// SG_.*
Span findSignalLine(const QChar *s, int n, int from)
{
    const int at = findLiteral(s, n, from, "SG_", 3);
    if (at < 0)
        return NoMatch;
    return {at, lineEnd(s, n, at + 3) - at};
}

// (?<=SG_\s)\w+(?=\s)
Span findSignalName(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from,
        [n](const QChar *t, int p) {
            return hasAt(t, n, p - 4, "SG_", 3) && isSpace(t[p - 1].unicode());
        },
        isWord, isSpace);
}

// (?<=\s:\s)\d+(?=\|)
Span findBitStart(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from,
        [](const QChar *t, int p) {
            return p >= 3 && isSpace(t[p - 3].unicode()) && t[p - 2] == QLatin1Char(':') &&
                   isSpace(t[p - 1].unicode());
        },
        isDigit, [](ushort c) { return c == '|'; });
}

// (?<=\|)\d+(?=@)
Span findBitLength(const QChar *s, int n, int from)
{
    return findRun(
        s, n, from, [](const QChar *t, int p) { return p >= 1 && t[p - 1] == QLatin1Char('|'); },
        isDigit, [](ushort c) { return c == '@'; });
}

// (?<= \().*(?=,)
Span findFactor(const QChar *s, int n, int from)
{
    return findToLast(
        s, n, from,
        [](const QChar *t, int p) {
            return p >= 2 && t[p - 1] == QLatin1Char('(') && t[p - 2] == QLatin1Char(' ');
        },
        ',');
}

// (?<=,).*(?=\))
Span findOffset(const QChar *s, int n, int from)
{
    return findToLast(
        s, n, from, [](const QChar *t, int p) { return p >= 1 && t[p - 1] == QLatin1Char(','); },
        ')');
}

// (?<=\[).*(?=\])
Span findRange(const QChar *s, int n, int from)
{
    return findToLast(
        s, n, from, [](const QChar *t, int p) { return p >= 1 && t[p - 1] == QLatin1Char('['); },
        ']');
}

// ^.*(?=\|)   (^ is the start of the subject only)
Span findMinimum(const QChar *s, int n, int from)
{
    if (from > 0)
        return NoMatch;
    return findToLast(
        s, n, 0, [](const QChar *, int p) { return p == 0; }, '|');
}

// (?<=\|).*   (it can match empty, at the very end of the subject too)
Span findMaximum(const QChar *s, int n, int from)
{
    for (int p = qMax(from, 1); p <= n; ++p) {
        if (s[p - 1] == QLatin1Char('|'))
            return {p, lineEnd(s, n, p) - p};
    }
    return NoMatch;
}

// ---------------------------------------------------------------------------
// The fixed patterns

// One of the reader's fixed patterns, compiled with the option regexCaptureAll
// uses (DontCaptureOption only), JIT-optimised, its validity decided once, and
// its hand-written matcher.
struct FixedPattern {
    FixedPattern(const char *pattern, Finder finder)
        : re(QString::fromLatin1(pattern), QRegularExpression::DontCaptureOption), find(finder)
    {
        re.optimize();
        valid = re.isValid();
    }
    QRegularExpression re;
    bool valid;
    Finder find;
};

// The reader's patterns, one backslash of the pattern being "\\" here.
struct ReaderPatterns {
    // Message blocks and message fields.
    FixedPattern block{"(?<![^\\n])BO_ .*\\n(?:[ \\t]+SG_.*\\n)*", findBlock};
    FixedPattern msgName{"(?<=\\s)\\w+(?=:)", findMessageName};
    FixedPattern msgId{"(?<=BO_\\s)\\d+(?=\\s)", findMessageId}; // in blocks and attribute texts
    FixedPattern msgDlc{"(?<=:\\s)\\d+(?=\\s)", findMessageDlc};
    FixedPattern cycleAttribute{"(?<=BA_ \"GenMsgCycleTime\" ).*", findCycleAttribute};
    FixedPattern cycleValue{"(?<=\\s)\\d+(?=;)", findCycleValue};
    // Signal lines and signal fields.
    FixedPattern signalLine{"SG_.*", findSignalLine};
    FixedPattern signalName{"(?<=SG_\\s)\\w+(?=\\s)", findSignalName};
    FixedPattern bitStart{"(?<=\\s:\\s)\\d+(?=\\|)", findBitStart};
    FixedPattern bitLength{"(?<=\\|)\\d+(?=@)", findBitLength};
    FixedPattern factor{"(?<= \\().*(?=,)", findFactor};
    FixedPattern offset{"(?<=,).*(?=\\))", findOffset};
    FixedPattern range{"(?<=\\[).*(?=\\])", findRange};
    FixedPattern minimum{"^.*(?=\\|)", findMinimum};
    FixedPattern maximum{"(?<=\\|).*", findMaximum};
};

const ReaderPatterns &patterns()
{
    static const ReaderPatterns fixed;
    return fixed;
}

// True when the text holds no surrogate code unit (0xD800 to 0xDFFF, the top
// five bits 11011), so that every code unit is one character and the
// hand-written matchers apply. Four code units are tested at a time: masked
// and compared with 0xD800, a surrogate leaves a zero 16-bit lane, and a word
// holds a zero lane exactly when (x - 0x0001...) & ~x & 0x8000... is not 0.
bool singleUnitCharacters(const QString &text)
{
    const ushort *unit = text.utf16();
    const ushort *const end = unit + text.size();
    constexpr quint64 topFive = 0xF800F800F800F800ull;
    constexpr quint64 surrogate = 0xD800D800D800D800ull;
    constexpr quint64 ones = 0x0001000100010001ull;
    constexpr quint64 highs = 0x8000800080008000ull;
    quint64 zeroLanes = 0;
    for (; end - unit >= 4; unit += 4) {
        quint64 word;
        std::memcpy(&word, unit, sizeof word);
        const quint64 x = (word & topFive) ^ surrogate;
        zeroLanes |= (x - ones) & ~x & highs;
    }
    if (zeroLanes != 0)
        return false;
    for (; unit != end; ++unit) {
        if ((*unit & 0xF800u) == 0xD800u)
            return false;
    }
    return true;
}

// True when every surrogate code unit of the text is half of a well-formed
// pair, so that the matchers give exactly the patterns' matches. Checked only
// when singleUnitCharacters() has found a surrogate.
bool wellFormedUtf16(const QString &text)
{
    const ushort *unit = text.utf16();
    const ushort *const end = unit + text.size();
    for (; unit != end; ++unit) {
        if (QChar::isHighSurrogate(*unit)) {
            if (unit + 1 == end || !QChar::isLowSurrogate(unit[1]))
                return false;
            ++unit;
        } else if (QChar::isLowSurrogate(*unit)) {
            return false;
        }
    }
    return true;
}

bool compiledPatternsOnly = false;

// Runs the fixed patterns during one read: by their matchers, or by the
// compiled patterns when the text is not one the matchers take.
class PatternRunner
{
public:
    explicit PatternRunner(bool compiled) : compiled(compiled) {}

    // The first match of `pattern` in `subject` as a view into the same
    // string, or a null view when there is none.
    QStringRef first(const FixedPattern &pattern, const QStringRef &subject) const
    {
        if (compiled) {
            const QRegularExpressionMatch match = pattern.re.match(subject);
            if (!match.hasMatch())
                return QStringRef();
            return subject.mid(match.capturedStart(), match.capturedLength());
        }
        const Span found = pattern.find(subject.unicode(), subject.size(), 0);
        if (found.start < 0)
            return QStringRef();
        return QStringRef(subject.string(), subject.position() + found.start, found.length);
    }

    // The global run of regexCaptureAll over `subject`: every match in order.
    // The first `limit` are appended to `out`; returns how many there were.
    int all(const FixedPattern &pattern, const QStringRef &subject, QVector<QStringRef> *out,
            int limit = INT_MAX) const
    {
        int found = 0;
        if (compiled) {
            QRegularExpressionMatchIterator it = pattern.re.globalMatch(subject);
            while (it.hasNext()) {
                const QRegularExpressionMatch match = it.next();
                if (found < limit)
                    out->append(subject.mid(match.capturedStart(), match.capturedLength()));
                ++found;
            }
            return found;
        }
        const QChar *const s = subject.unicode();
        const int n = subject.size();
        int from = 0;
        while (from <= n) {
            const Span match = pattern.find(s, n, from);
            if (match.start < 0)
                break;
            if (found < limit)
                out->append(
                    QStringRef(subject.string(), subject.position() + match.start, match.length));
            ++found;
            // After an empty match the run retries there for a non-empty one
            // and then moves on by one character. Of the patterns run
            // globally only the cycle-time one can match empty, and only at
            // a line's end, where nothing non-empty starts.
            from = match.start + match.length + (match.length == 0 ? 1 : 0);
        }
        return found;
    }

private:
    const bool compiled;
};

// ---------------------------------------------------------------------------
// Conversions and debug lines

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

// The value of a text of one to nine ASCII digits, which no conversion can
// overflow, or -1 for any other text.
int shortDigitValue(const QStringRef &text)
{
    const int n = text.size();
    if (n < 1 || n > 9)
        return -1;
    const QChar *c = text.unicode();
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
qint32 toInt32(const QStringRef &text)
{
    const int value = shortDigitValue(text);
    return value >= 0 ? value : text.toInt(nullptr, 10);
}

// QString::toFloat: the text read as a double and rounded to float, 0 when it
// is not a number. A plain decimal, an optional minus, digits and optionally a
// point and more digits, with at most 15 digits in all, is an integer below
// 2^53 divided by an exact power of ten; that one division is correctly
// rounded, so it is the same double toDouble gives. Every other text goes
// through toFloat itself.
float toFloat32(const QStringRef &text)
{
    static const double powersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const QChar *c = text.unicode();
    const int n = text.size();
    int i = 0;
    const bool negative = n > 0 && c[0] == QLatin1Char('-');
    if (negative)
        i = 1;
    quint64 digits = 0;
    int digitCount = 0;
    int fractionDigits = -1; // -1 until the point
    for (; i < n; ++i) {
        const ushort u = c[i].unicode();
        if (isDigit(u)) {
            if (++digitCount > 15)
                return text.toFloat();
            digits = digits * 10 + (u - '0');
            if (fractionDigits >= 0)
                ++fractionDigits;
        } else if (u == '.' && fractionDigits < 0 && digitCount > 0) {
            fractionDigits = 0;
        } else {
            return text.toFloat();
        }
    }
    if (digitCount == 0 || fractionDigits == 0)
        return text.toFloat();
    double value = double(digits);
    if (fractionDigits > 0)
        value /= powersOfTen[fractionDigits];
    return float(negative ? -value : value);
}

// The low 8 bits of a converted field, as DLC, start bit and bit length keep them.
quint8 low8(qint32 value)
{
    return static_cast<quint8>(static_cast<quint32>(value) & 0xFFu);
}

// A message identifier text, in the message pass and the cycle-time pass
// alike: as QString::toInt gives it, except that a text from 2147483648 to
// 4294967295 (bit 31 set, an extended frame) gives its 29-bit identifier, the
// value AND 0x1FFFFFFF. Larger or non-numeric texts give 0.
qint32 toIdentifier(const QStringRef &text)
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
// with a debug line. Names are runs of \w, so when the local encoding keeps
// them as they are the bytes are copied directly.
void storeName(const QStringRef &name, char (&dest)[DbcLimits::NameSize], bool asciiAsIs)
{
    const int n = name.size();
    const QChar *c = name.unicode();
    int wordCharacters = 0;
    while (asciiAsIs && wordCharacters < n && isWord(c[wordCharacters].unicode()))
        ++wordCharacters;
    if (asciiAsIs && wordCharacters == n) {
        const int kept = qMin(n, int(DbcLimits::MaxNameLength));
        if (n > kept && debugOn())
            qDebug().noquote() << "name cut to 39 bytes:" << name.toLatin1();
        for (int i = 0; i < kept; ++i)
            dest[i] = char(c[i].unicode());
        dest[kept] = '\0';
        return;
    }
    QByteArray bytes = name.toLocal8Bit();
    if (bytes.size() > DbcLimits::MaxNameLength) {
        if (debugOn())
            qDebug().noquote() << "name cut to 39 bytes:" << bytes;
        bytes.truncate(DbcLimits::MaxNameLength);
    }
    std::memcpy(dest, bytes.constData(), static_cast<size_t>(bytes.size()));
    dest[bytes.size()] = '\0';
}

// The signal step for one block and its record. Returns false when the
// signal-line pattern is rejected, which ends the read.
bool readSignals(const ReaderPatterns &p, const PatternRunner &run, bool asciiNames,
                 const QStringRef &block, CanMsgInfo &msg, QVector<QStringRef> &lines)
{
    if (!p.signalLine.valid) {
        debugLine("read signal fault!");
        return false;
    }

    // The signal lines are those of the block after its message line, which
    // ends at the block's first line feed: a message line holding "SG_" (a
    // name such as MSG_Engine) adds no signal.
    const QStringRef body = block.mid(block.indexOf(QLatin1Char('\n')) + 1);
    lines.clear();
    const int lineCount = run.all(p.signalLine, body, &lines, DbcLimits::MaxSignals);

    // The first 64 signal lines are kept; a debug line tells how many were dropped.
    if (lineCount > DbcLimits::MaxSignals && debugOn())
        qDebug().noquote().nospace() << "too many signals in message " << msg.msgName << " (id "
                                     << msg.msgId << "): " << (lineCount - DbcLimits::MaxSignals)
                                     << " of " << lineCount << " signal lines dropped";
    msg.signalCnt = static_cast<quint8>(lines.size());
    debugLine("read signal success!");

    // The fields of each line, in their fixed order, each with its debug line.
    for (int j = 0; j < lines.size(); ++j) {
        const QStringRef &line = lines.at(j);
        CanSignalInfo &sig = msg.signalInfo[j];
        if (p.signalName.valid) {
            storeName(run.first(p.signalName, line), sig.signalName, asciiNames);
            debugLine("read signal success!");
        }
        if (p.bitStart.valid) {
            sig.bitStart = low8(toInt32(run.first(p.bitStart, line)));
            debugLine("read bitStart success!");
        }
        if (p.bitLength.valid) {
            sig.bitLength = low8(toInt32(run.first(p.bitLength, line)));
            debugLine("read bitLength success!");
        }
        if (p.factor.valid) {
            sig.factor = toFloat32(run.first(p.factor, line));
            debugLine("read signal factor success!");
        }
        if (p.offset.valid) {
            sig.offset = toFloat32(run.first(p.offset, line));
            debugLine("read signal offset success!");
        }
        QStringRef range;
        if (p.range.valid) {
            range = run.first(p.range, line);
            debugLine("read signal Minimun To Maximum success!");
        }
        if (p.minimum.valid) {
            sig.minimum = toFloat32(run.first(p.minimum, range));
            debugLine("read signal Minimun success!");
        }
        if (p.maximum.valid) {
            sig.maximum = toFloat32(run.first(p.maximum, range));
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
    const ReaderPatterns &p = patterns();

    // An empty path, or a file that cannot be opened or read, fails the read
    // with readError FileNotOpen. QFile refuses a directory.
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
    const PatternRunner run(compiledPatternsOnly ||
                            (!singleUnitCharacters(text) && !wellFormedUtf16(text)));
    const bool asciiNames = localEncodingKeepsAsciiNames();

    // The block pass. More than 300 blocks fail the read before any table is
    // allocated.
    if (!p.block.valid) {
        debugLine("read BOSG fault!");
        readError = ReadError::PatternRejected;
        return -1;
    }
    QVector<QStringRef> blocks;
    blocks.reserve(DbcLimits::MaxMessages);
    const int blockCount = run.all(p.block, whole, &blocks, DbcLimits::MaxMessages);
    if (blockCount > DbcLimits::MaxMessages) {
        if (debugOn())
            qDebug().noquote().nospace()
                << "too many messages: " << blockCount << " message blocks (at most "
                << DbcLimits::MaxMessages << ")";
        readError = ReadError::TooManyMessages;
        return -1;
    }

    // The table, its records cleared.
    CanMsgInfo *records = blockCount > 0 ? new CanMsgInfo[blockCount]() : nullptr;
    if (table == &msgTable)
        delete[] msgTable;
    *table = records;
    debugLine("read BOSG success!");
    *count = blockCount;

    // One record per block.
    QVector<QStringRef> lines;
    lines.reserve(DbcLimits::MaxSignals);
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
        storeName(run.first(p.msgName, block), msg.msgName, asciiNames);

        if (!p.msgId.valid) {
            debugLine("read canid fault!");
            readError = ReadError::PatternRejected;
            return -1;
        }
        msg.msgId = toIdentifier(run.first(p.msgId, block));

        if (!p.msgDlc.valid) {
            debugLine("read canid DLC fault!");
            readError = ReadError::PatternRejected;
            return -1;
        }
        msg.msgDlc = low8(toInt32(run.first(p.msgDlc, block)));

        msg.cycleTime = 0;

        if (!readSignals(p, run, asciiNames, block, msg, lines)) {
            readError = ReadError::PatternRejected;
            return -1;
        }
    }

    // The cycle-time pass: every attribute line, however many.
    if (!p.cycleAttribute.valid) {
        debugLine("read BOSG fault!");
        readError = ReadError::PatternRejected;
        return -1;
    }
    QVector<QStringRef> attributes;
    run.all(p.cycleAttribute, whole, &attributes);
    debugLine("read BOSG success!");

    // In file order, so the last line for an identifier wins; every record
    // with the identifier is set.
    for (const QStringRef &attribute : qAsConst(attributes)) {
        qint32 id = 0;
        if (p.msgId.valid)
            id = toIdentifier(run.first(p.msgId, attribute));
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
                cycleTime = toInt32(run.first(p.cycleValue, attribute));
                haveValue = true;
            }
            records[k].cycleTime = cycleTime;
        }
    }

    debugLine("read signal finished");
    return 0;
}

void ReaderInternals::setCompiledPatternsOnly(bool on)
{
    compiledPatternsOnly = on;
}
