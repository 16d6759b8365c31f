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

namespace
{

using DbcMatchers::isDigit;
using DbcMatchers::isWord;
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

// The look-behind (?<=KW\s) of a three-character keyword and one \s.
inline auto afterKeyword(int n, const char *keyword)
{
    return [n, keyword](const QChar *t, int p) {
        return hasAt(t, n, p - 4, keyword, 3) && isSpace(t[p - 1].unicode());
    };
}

const char16_t CycleTimeAttribute[] = u"BA_ \"GenMsgCycleTime\" ";
constexpr int CycleTimeAttributeLength = int(sizeof CycleTimeAttribute / sizeof(char16_t)) - 1;

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
