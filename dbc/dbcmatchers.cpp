// SPDX-License-Identifier: MIT
// The hand-written matchers of the DBC reader's fixed patterns.
//
// Each fixed pattern of the reader is matched here by hand: running the
// compiled patterns would be nearly the whole cost of a read. Each finder
// gives exactly its pattern's matches: the same first match and, for the
// passes that take every match (message blocks, signal lines, cycle-time
// lines), the same sequence as a global run in which each search goes on where
// the previous match ended. The fuzz target compares a whole read with a
// literal reading, pattern by pattern through CDBC::regexCaptureAll.
//
// The finders take one UTF-16 code unit as one character. That is exact for
// well-formed text, characters beyond U+FFFF included: every pattern starts
// and ends its matches next to ASCII characters, a line feed or the text's
// ends, never inside a surrogate pair, and a pair is one non-blank, non-word
// character to the patterns as its two halves are to the finders. The pattern
// engine matches nothing at all in text that is not well-formed UTF-16; the
// reader gives such text that outcome itself.
//
// Look-behinds see the subject only, never text before it, just as when the
// subject is a string of its own.

#include "dbcmatchers.h"

#include <QStringView>
#include <QtAlgorithms>

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace DbcMatchers
{

// Where the line holding position p ends: the next line feed at or after p,
// or n. This is where ".*" stops. Every pass over whole lines goes through
// here, so with SSE2 eight characters are looked at in one step.
int lineEnd(const QChar *s, int n, int p)
{
#ifdef __SSE2__
    const __m128i feed = _mm_set1_epi16('\n');
    for (; n - p >= 8; p += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + p));
        const uint found = uint(_mm_movemask_epi8(_mm_cmpeq_epi16(units, feed)));
        if (found != 0)
            return p + int(qCountTrailingZeroBits(found)) / 2;
    }
#endif
    while (p < n && s[p] != QLatin1Char('\n'))
        ++p;
    return p;
}

} // namespace DbcMatchers

namespace
{

using DbcMatchers::isDigit;
using DbcMatchers::isWord;
using DbcMatchers::lineEnd;
using DbcMatchers::Span;

constexpr Span NoMatch = {-1, 0};

// The pattern class \s, ASCII only: tab, line feed, vertical tab, form feed,
// carriage return and blank.
inline bool isSpace(ushort c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool isBlankOrTab(ushort c)
{
    return c == ' ' || c == '\t';
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

// The look-behind (?<=KW\s) of a three-character keyword and one \s.
inline auto afterKeyword(int n, const char *keyword)
{
    return [n, keyword](const QChar *t, int p) {
        return hasAt(t, n, p - 4, keyword, 3) && isSpace(t[p - 1].unicode());
    };
}

// Where the fields after a signal line's '@' start and end: the '(' of the
// first " (" and the first ',' after it, the first ',' and '[', the last ')'
// and ']' (-1: none).
struct FieldMarks {
    int open = -1;
    int commaAfterOpen = -1;
    int firstComma = -1;
    int lastParen = -1;
    int bracket = -1;
    int lastBracket = -1;
    int end = 0; // the line's end
};

inline void mark(FieldMarks &marks, const QChar *s, int i)
{
    switch (s[i].unicode()) {
    case '(':
        if (marks.open < 0 && s[i - 1] == QLatin1Char(' '))
            marks.open = i;
        break;
    case ')':
        marks.lastParen = i;
        break;
    case ',':
        if (marks.firstComma < 0)
            marks.firstComma = i;
        if (marks.open >= 0 && marks.commaAfterOpen < 0)
            marks.commaAfterOpen = i;
        break;
    case '[':
        if (marks.bracket < 0)
            marks.bracket = i;
        break;
    case ']':
        marks.lastBracket = i;
        break;
    default:
        break;
    }
}

// The marks of the line from s[from] (from > 0) to the next line feed or
// n, and where it ends. With SSE2 eight characters are looked at in one step
// and only those of the five kinds are gone through; the last step looks at
// the last eight characters, skipping those already looked at.
FieldMarks markFields(const QChar *s, int from, int n)
{
    FieldMarks marks;
    int i = from;
#ifdef __SSE2__
    if (n - i >= 8) {
        const __m128i open = _mm_set1_epi16('('), close = _mm_set1_epi16(')'),
                      comma = _mm_set1_epi16(','), bracket = _mm_set1_epi16('['),
                      bracketClose = _mm_set1_epi16(']'), feed = _mm_set1_epi16('\n');
        const auto marksAt = [&](__m128i units) {
            const __m128i parens =
                _mm_or_si128(_mm_cmpeq_epi16(units, open), _mm_cmpeq_epi16(units, close));
            const __m128i brackets =
                _mm_or_si128(_mm_cmpeq_epi16(units, bracket), _mm_cmpeq_epi16(units, bracketClose));
            const __m128i hits =
                _mm_or_si128(_mm_or_si128(parens, brackets), _mm_cmpeq_epi16(units, comma));
            return uint(_mm_movemask_epi8(hits)) & 0x5555u; // one bit per character
        };
        for (;; i += 8) {
            const int at = qMin(i, n - 8);
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
            const uint feeds =
                (uint(_mm_movemask_epi8(_mm_cmpeq_epi16(units, feed))) & 0x5555u) >> (2 * (i - at));
            // Only the characters before the first line feed count.
            const uint inLine = feeds != 0 ? (feeds & (0 - feeds)) - 1 : ~0u;
            for (uint found = (marksAt(units) >> (2 * (i - at))) & inLine; found != 0;
                 found &= found - 1)
                mark(marks, s, i + int(qCountTrailingZeroBits(found)) / 2);
            if (feeds != 0 || n - i <= 8) {
                marks.end = feeds != 0 ? i + int(qCountTrailingZeroBits(feeds)) / 2 : n;
                return marks;
            }
        }
    }
#endif
    for (; i < n && s[i] != QLatin1Char('\n'); ++i)
        mark(marks, s, i);
    marks.end = i;
    return marks;
}

// Where the run of \w characters from `from` ends in s[0, n). With SSE2
// eight characters are classified in one step.
int wordRunEnd(const QChar *s, int from, int n)
{
    int i = from;
#ifdef __SSE2__
    // Signed 16-bit comparisons: units from 0x8000 up compare as negative,
    // below every ASCII character, as they should.
    const __m128i beforeZero = _mm_set1_epi16('0' - 1), afterNine = _mm_set1_epi16('9' + 1),
                  beforeA = _mm_set1_epi16('a' - 1), afterZ = _mm_set1_epi16('z' + 1),
                  caseBit = _mm_set1_epi16(0x20), underscore = _mm_set1_epi16('_');
    for (; n - i >= 8; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
        const __m128i lower = _mm_or_si128(units, caseBit);
        const __m128i digits =
            _mm_and_si128(_mm_cmpgt_epi16(units, beforeZero), _mm_cmplt_epi16(units, afterNine));
        const __m128i letters =
            _mm_and_si128(_mm_cmpgt_epi16(lower, beforeA), _mm_cmplt_epi16(lower, afterZ));
        const __m128i words =
            _mm_or_si128(_mm_or_si128(digits, letters), _mm_cmpeq_epi16(units, underscore));
        const uint others = ~uint(_mm_movemask_epi8(words)) & 0xFFFFu;
        if (others != 0)
            return i + int(qCountTrailingZeroBits(others)) / 2;
    }
#endif
    while (i < n && isWord(s[i].unicode()))
        ++i;
    return i;
}

constexpr char16_t CycleTimeAttribute[] = u"BA_ \"GenMsgCycleTime\" ";
constexpr int CycleTimeAttributeLength = int(sizeof CycleTimeAttribute / sizeof(char16_t)) - 1;

// For the search of the attribute name: how far a place the name could end
// at moves on, by the character found there (Horspool's search). A character
// the name holds before its end moves it to where that character of the name
// would lie; any other the name's whole length.
struct CycleTimeSkips {
    int skip[128] = {};
    constexpr CycleTimeSkips()
    {
        for (int &s : skip)
            s = CycleTimeAttributeLength;
        for (int k = 0; k < CycleTimeAttributeLength - 1; ++k)
            skip[CycleTimeAttribute[k]] = CycleTimeAttributeLength - 1 - k;
    }
};
constexpr CycleTimeSkips cycleTimeSkips;

} // namespace

namespace DbcMatchers
{

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
    return findRun(s, n, from, afterKeyword(n, "BO_"), isDigit, isSpace);
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
Span findCycleAttribute(const QChar *s, int n, int from)
{
    constexpr int m = CycleTimeAttributeLength;
    for (int p = qMax(0, from - m); n - p >= m;) {
        const ushort last = s[p + m - 1].unicode();
        int k = m - 1;
        while (k >= 0 && s[p + k].unicode() == CycleTimeAttribute[k])
            --k;
        if (k < 0)
            return {p + m, lineEnd(s, n, p + m) - (p + m)};
        p += last < 128 ? cycleTimeSkips.skip[last] : m;
    }
    return NoMatch;
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
    return findRun(s, n, from, afterKeyword(n, "SG_"), isWord, isSpace);
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

// (?<= \()[^,\n]*(?=,)
// From a position after " (", the characters up to the first ',' of the rest
// of the line: the factor ends where the offset begins, whatever commas the
// unit or the receivers after it hold. A run ended by the line feed or the
// end, with no ',' there, fails from every position inside it too (it ends at
// the same place), so the search goes on after it.
Span findFactor(const QChar *s, int n, int from)
{
    for (int p = from; p < n; ++p) {
        if (p < 2 || s[p - 1] != QLatin1Char('(') || s[p - 2] != QLatin1Char(' '))
            continue;
        int q = p;
        while (q < n && s[q] != QLatin1Char(',') && s[q] != QLatin1Char('\n'))
            ++q;
        if (q < n && s[q] == QLatin1Char(','))
            return {p, q - p};
        p = q;
    }
    return NoMatch;
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

SignalFields findSignalFields(QStringView line)
{
    SignalFields fields;
    fields.name = first(findSignalName, line);
    fields.startBit = first(findBitStart, line);
    fields.bitLength = first(findBitLength, line);
    fields.factor = first(findFactor, line);
    fields.offset = first(findOffset, line);
    const QStringView range = first(findRange, line);
    fields.minimum = first(findMinimum, range);
    fields.maximum = first(findMaximum, range);
    return fields;
}

// Why one pass gives what each finder gives, on a line of the common shape:
//  - name: position 4 is the first the look-behind "SG_\s" admits, and the
//    run of \w from there ends at a \s;
//  - start bit: every position the look-behind "\s:\s" admits lies after a
//    colon, so the first is two after the line's first colon; its digits end
//    at '|';
//  - length: no '|' comes before the one after the start bit, so the first
//    position after a '|' is the one after it; its digits end at '@';
//  - factor, offset and range: none of '(', ',' and '[' comes before the '@',
//    so their first occurrences, where each field starts, are found after it.
//    The factor runs to the first ',' after its " (", and without one there
//    no later start matches either (see findFactor). The offset and the range
//    run to the last occurrence of their closing character in the rest of the
//    line, and without one there no later start matches either (see
//    findToLast);
//  - minimum and maximum: the range holds no line feed, so they run from its
//    start to its last '|' and from its first '|' to its end.
// The line's end is found on the way, as the first line feed after the '@'.
// All that is found after the '@' depends on the text from there to the
// line's end alone.
int readCommonSignalLine(const QChar *text, int from, int n, SignalFields *fields,
                         SignalLineRest *previous)
{
    // Positions are counted from the line's start; the line feed that ends
    // the line is \s but no blank, and none of the line's characters.
    const QChar *const s = text + from;
    n -= from;
    const auto isBlank = [](ushort c) {
        constexpr quint64 blanks =
            1ull << ' ' | 1ull << '\t' | 1ull << '\v' | 1ull << '\f' | 1ull << '\r';
        return c <= ' ' && (blanks >> c) & 1;
    };
    if (n < 5 || !hasAt(s, n, 0, "SG_", 3) || !isBlank(s[3].unicode()) || !isWord(s[4].unicode()))
        return -1;
    const int nameEnd = wordRunEnd(s, 5, n);
    if (nameEnd == n || !isBlank(s[nameEnd].unicode()))
        return -1;
    int colon = nameEnd + 1;
    for (; colon < n && s[colon] != QLatin1Char(':'); ++colon) {
        const ushort c = s[colon].unicode();
        if (c == '|' || c == '(' || c == ',' || c == '[' || c == '\n')
            return -1;
    }
    const int startBit = colon + 2;
    if (startBit >= n || !isBlank(s[colon - 1].unicode()) || !isBlank(s[colon + 1].unicode()))
        return -1;
    int bar = startBit;
    while (bar < n && isDigit(s[bar].unicode()))
        ++bar;
    if (bar == startBit || bar == n || s[bar] != QLatin1Char('|'))
        return -1;
    const int bitLength = bar + 1;
    int at = bitLength;
    while (at < n && isDigit(s[at].unicode()))
        ++at;
    if (at == bitLength || at == n || s[at] != QLatin1Char('@'))
        return -1;

    const auto part = [s](int from, int to) { return QStringView(s + from, to - from); };
    fields->name = part(4, nameEnd);
    fields->startBit = part(startBit, bar);
    fields->bitLength = part(bitLength, at);

    // The rest after the '@': taken over from the line before when it is the
    // same text, else looked through.
    const QChar *const rest = s + at + 1;
    const int room = n - (at + 1);
    SignalLineRest own;
    SignalLineRest &known = previous ? *previous : own;
    const bool same = known.length >= 0 && room >= known.length &&
                      (room == known.length || rest[known.length] == QLatin1Char('\n')) &&
                      std::memcmp(rest, known.text, sizeof(QChar) * size_t(known.length)) == 0;
    if (same) {
        known.text = rest; // the same text, in the line read last
    } else {
        const FieldMarks marks = markFields(s, at + 1, n);
        const auto span = [at](int(&field)[2], int from, int to) {
            field[0] = from - (at + 1);
            field[1] = to - from;
        };
        known.text = rest;
        known.length = marks.end - (at + 1);
        known.factor[0] = known.offset[0] = known.minimum[0] = known.maximum[0] = -1;
        if (marks.commaAfterOpen >= 0)
            span(known.factor, marks.open + 1, marks.commaAfterOpen);
        if (marks.firstComma >= 0 && marks.lastParen > marks.firstComma)
            span(known.offset, marks.firstComma + 1, marks.lastParen);
        const int bracket = marks.bracket, lastBracket = marks.lastBracket;
        if (bracket >= 0 && lastBracket > bracket) {
            int firstBar = -1, lastBar = -1;
            for (int i = bracket + 1; i < lastBracket; ++i) {
                if (s[i] == QLatin1Char('|')) {
                    if (firstBar < 0)
                        firstBar = i;
                    lastBar = i;
                }
            }
            if (firstBar >= 0) {
                span(known.minimum, bracket + 1, lastBar);
                span(known.maximum, firstBar + 1, lastBracket);
            }
        }
    }
    const auto field = [rest](const int(&span)[2]) {
        return span[0] < 0 ? QStringView() : QStringView(rest + span[0], span[1]);
    };
    fields->factor = field(known.factor);
    fields->offset = field(known.offset);
    fields->minimum = field(known.minimum);
    fields->maximum = field(known.maximum);
    return from + at + 1 + known.length;
}

QStringView first(Finder find, QStringView subject)
{
    const Span found = find(subject.data(), int(subject.size()), 0);
    if (found.start < 0)
        return QStringView();
    return QStringView(subject.data() + found.start, found.length);
}

int all(Finder find, QStringView subject, QVector<QStringView> *out, int limit)
{
    const QChar *const s = subject.data();
    const int n = int(subject.size());
    int found = 0;
    int from = 0;
    while (from <= n) {
        const Span match = find(s, n, from);
        if (match.start < 0)
            break;
        if (found < limit)
            out->append(QStringView(s + match.start, match.length));
        ++found;
        // After an empty match a global run retries there for a non-empty one
        // and then moves on by one character. Of the patterns run globally
        // only the cycle-time one can match empty, and only at a line's end,
        // where nothing non-empty starts.
        from = match.start + match.length + (match.length == 0 ? 1 : 0);
    }
    return found;
}

} // namespace DbcMatchers
