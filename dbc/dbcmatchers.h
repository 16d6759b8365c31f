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

// The same fields in one pass over a signal line whose head has the common
// shape: "SG_" and one \s, the name (a run of \w) and a \s, then up to the
// first ':' none of '|', '(', ',' and '[', then a \s, digits, '|', digits and
// '@'. What follows the '@' may be anything. Returns false, with `fields`
// untouched, for every other line, which then goes through the finders.
bool readCommonSignalLine(QStringView line, SignalFields *fields);

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

// Which ASCII characters are of class \w, as a table: the readers ask for
// every character of every name.
struct WordCharacters {
    bool word[128] = {};
    constexpr WordCharacters()
    {
        for (int c = 0; c < 128; ++c)
            word[c] = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      c == '_';
    }
};
inline constexpr WordCharacters wordCharacters{};

inline bool isWord(ushort c)
{
    return c < 128 && wordCharacters.word[c];
}

} // namespace DbcMatchers

#endif // DBCMATCHERS_H
