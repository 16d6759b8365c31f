// SPDX-License-Identifier: MIT
#ifndef REPORTTEXT_H
#define REPORTTEXT_H

#include "bitwalk.h"

#include <QLatin1String>
#include <QString>

#include <algorithm>
#include <cstring>
#include <vector>

// How the engine words its reports (the findings, the layout changes between
// two files): texts put together piece by piece, warning lines in the form
// compilers write them, and closing lines that count each kind.
namespace ReportText
{

// A text put together piece by piece in room for a text of any usual
// length, and made a string once. Names are the bytes of the record,
// each taken as a Latin-1 character.
class Text
{
public:
    Text() = default;
    Text(const Text &other) { append(other.buffer, other.size); }
    Text &operator=(const Text &) = delete;
    Text &operator<<(const char *latin1) { return latin1Part(latin1, int(std::strlen(latin1))); }
    Text &operator<<(const QString &part)
    {
        return append(reinterpret_cast<const char16_t *>(part.utf16()), part.size());
    }
    Text &operator<<(int value)
    {
        char digits[12];
        int at = 0;
        if (value < 0)
            digits[at++] = '-', value = -value;
        const char *end = BitWalk::putDecimal(digits + at, quint32(value));
        return latin1Part(digits, int(end - digits));
    }
    // UTF-8 bytes, such as a member's name.
    Text &utf8(const char *bytes, int length)
    {
        if (std::all_of(bytes, bytes + length, [](char c) { return uchar(c) < 0x80; }))
            return latin1Part(bytes, length);
        return *this << QString::fromUtf8(bytes, length);
    }
    operator QString() const { return QString(reinterpret_cast<const QChar *>(buffer), size); }

private:
    Text &latin1Part(const char *latin1, int length)
    {
        char16_t *to = room(length);
        for (int i = 0; i < length; ++i)
            to[i] = uchar(latin1[i]);
        return *this;
    }
    Text &append(const char16_t *units, int length)
    {
        std::copy(units, units + length, room(length));
        return *this;
    }
    char16_t *room(int length)
    {
        if (size + length > capacity)
            grow(size + length);
        char16_t *at = buffer + size;
        size += length;
        return at;
    }
    Q_NEVER_INLINE void grow(int needed)
    {
        capacity = qMax(needed, 2 * capacity);
        std::vector<char16_t> larger(buffer, buffer + size);
        larger.resize(size_t(capacity));
        heap.swap(larger);
        buffer = heap.data();
    }

    char16_t local[256];
    std::vector<char16_t> heap;
    char16_t *buffer = local;
    int size = 0;
    int capacity = 256;
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
