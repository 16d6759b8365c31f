// SPDX-License-Identifier: MIT
#ifndef REPORTTEXT_H
#define REPORTTEXT_H

#include "bitwalk.h"

#include <QLatin1String>
#include <QString>

// How the engine words its reports (the findings, the layout changes between
// two files): texts put together piece by piece, warning lines in the form
// compilers write them, and closing lines that count each kind.
namespace ReportText
{

// A text put together piece by piece into room for a text of any usual
// length, so that it is allocated once. Names are the bytes of the record,
// each taken as a Latin-1 character.
class Text
{
public:
    Text() { text.reserve(200); }
    Text &operator<<(const char *latin1)
    {
        text.append(QLatin1String(latin1));
        return *this;
    }
    Text &operator<<(const QString &part)
    {
        text.append(part);
        return *this;
    }
    Text &operator<<(int value)
    {
        char digits[12];
        int at = 0;
        if (value < 0)
            digits[at++] = '-', value = -value;
        const char *end = BitWalk::putDecimal(digits + at, quint32(value));
        text.append(QLatin1String(digits, int(end - digits)));
        return *this;
    }
    operator QString() const { return text; }

private:
    QString text;
};

// "1 warning", "2 warnings".
inline QString counted(int count, const char *singular, const char *plural)
{
    return Text() << count << " " << (count == 1 ? singular : plural);
}

// How many there are of each kind that occurs, such as "2 signals not
// written, 1 running past bit 63": `wordings` holds each kind's singular and
// plural.
template <int Kinds>
Text &kindCounts(Text &out, const int (&perKind)[Kinds], const char *const (&wordings)[Kinds][2])
{
    const char *separator = "";
    for (int kind = 0; kind < Kinds; ++kind) {
        if (perKind[kind] > 0) {
            out << separator << counted(perKind[kind], wordings[kind][0], wordings[kind][1]);
            separator = ", ";
        }
    }
    return out;
}

// "FILE:LINE: warning: TEXT", or "PROGRAM: warning: TEXT in FILE" for the
// file as a whole (line 0).
inline QString warningLine(const QString &program, const QString &file, int line,
                           const QString &text)
{
    if (line == 0)
        return Text() << program << ": warning: " << text << " in " << file;
    return Text() << file << ":" << line << ": warning: " << text;
}

} // namespace ReportText

#endif // REPORTTEXT_H
