// SPDX-License-Identifier: MIT
#ifndef DBCMATCHERS_H
#define DBCMATCHERS_H

#include <QChar>
#include <QStringView>
#include <QVector>

#include <climits>

// The hand-written matchers of the DBC reader's fixed patterns. Each finds
// exactly the matches of its pattern (written above its definition in
// dbcmatchers.cpp): the same first match and, for the passes that take every
// match, the same sequence as a global run of the pattern.
namespace DbcMatchers
{

struct Span {
    int start; // -1: no match
    int length;
};

// Finds the first match that starts at or after `from` in the subject s[0, n).
using Finder = Span (*)(const QChar *s, int n, int from);

// Message blocks and message fields.
Span findBlock(const QChar *s, int n, int from);
Span findMessageName(const QChar *s, int n, int from);
Span findMessageId(const QChar *s, int n, int from); // in blocks and attribute lines
Span findMessageDlc(const QChar *s, int n, int from);
Span findCycleAttribute(const QChar *s, int n, int from);
Span findCycleValue(const QChar *s, int n, int from);
// Signal lines and signal fields.
Span findSignalLine(const QChar *s, int n, int from);
Span findSignalName(const QChar *s, int n, int from);
Span findBitStart(const QChar *s, int n, int from);
Span findBitLength(const QChar *s, int n, int from);
Span findFactor(const QChar *s, int n, int from);
Span findOffset(const QChar *s, int n, int from);
Span findRange(const QChar *s, int n, int from);
Span findMinimum(const QChar *s, int n, int from);
Span findMaximum(const QChar *s, int n, int from);

// The fields of one signal line, each as its finder gives it: a view into
// the line, or a null view where the finder finds nothing. The minimum and
// the maximum are found within the range.
struct SignalFields {
    QStringView name;
    QStringView startBit;
    QStringView bitLength;
    QStringView factor;
    QStringView offset;
    QStringView minimum;
    QStringView maximum;
};

// Every field of a signal line (a match of findSignalLine), each through its
// finder: the reference for what each field is.
SignalFields findSignalFields(QStringView line);

// Reads the signal line that starts at s[from] (at its "SG_") and ends at
// the next line feed or at n, in one pass, when its head has the common
// shape: "SG_" and a blank, the name (a run of \w) and a blank, then up to
// the first ':' none of '|', '(', ',' and '[', then a blank, digits, '|',
// digits and '@'. What follows the '@' may be anything. Returns where the
// line ends, with its fields as findSignalFields gives them for the line;
// or -1, with `fields` untouched, for every other line, which then goes
// through the finders. (Blanks here are the \s characters but the line feed.)
//
// `previous`, where given, holds what the last line read this way had after
// its '@'; a line with the same text there has the same fields there, which
// are taken over. It is updated for the next line and must not outlive the
// text.
struct SignalLineRest {
    const QChar *text = nullptr;
    int length = -1; // -1: nothing known yet
    // Where each field lies, from the start of the text, and how long it is
    // (start -1: the finder finds nothing).
    int factor[2];
    int offset[2];
    int minimum[2];
    int maximum[2];
};
int readCommonSignalLine(const QChar *s, int from, int n, SignalFields *fields,
                         SignalLineRest *previous = nullptr);

// Where the line holding position p ends in s[0, n): the next line feed at
// or after p, or n. This is where ".*" stops.
int lineEnd(const QChar *s, int n, int p);

// The first match in `subject` as a view into the same text, or a null view.
QStringView first(Finder find, QStringView subject);

// Every match in order, each search going on where the previous match ended.
// The first `limit` are appended to `out`; returns how many there were.
int all(Finder find, QStringView subject, QVector<QStringView> *out, int limit = INT_MAX);

// The pattern classes \d and \w: ASCII only (no Unicode properties).
inline bool isDigit(ushort c)
{
    return c >= '0' && c <= '9';
}

inline bool isWord(ushort c)
{
    const ushort lower = ushort(c | 0x20);
    return isDigit(c) || (lower >= 'a' && lower <= 'z') || c == '_';
}

} // namespace DbcMatchers

#endif // DBCMATCHERS_H
