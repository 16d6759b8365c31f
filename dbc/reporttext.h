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
        // Bit positions and lengths, the usual numbers, go straight in.
        if (value >= 0 && value < 10) {
            *room(1) = char16_t(u'0' + value);
            return *this;
        }
        if (value >= 10 && value < 100) {
            char16_t *to = room(2);
            to[0] = char16_t(u'0' + value / 10);
            to[1] = char16_t(u'0' + value % 10);
            return *this;
        }
        char digits[12];
        int at = 0;
        if (value < 0)
            digits[at++] = '-', value = -value;
        const char *end = BitWalk::putDecimal(digits + at, quint32(value));
        return latin1Part(digits, int(end - digits));
    }
    // A name array of a record up to its NUL, each byte a Latin-1
    // character. The array is copied whole and widened sixteen characters at
    // a time, a loop over a fixed count that compiles to a few instructions;
    // the characters past the name are dropped.
    Text &name(const char (&latin1)[DbcLimits::NameSize])
    {
        constexpr int step = 16;
        uchar bytes[(DbcLimits::NameSize + step - 1) / step * step] = {};
        std::memcpy(bytes, latin1, DbcLimits::NameSize);
        const void *nul = std::memchr(bytes, 0, DbcLimits::NameSize);
        const int length = nul ? int(static_cast<const uchar *>(nul) - bytes) : DbcLimits::NameSize;
        char16_t *to = room((length + step - 1) / step * step);
        for (int at = 0; at < length; at += step) {
            for (int i = 0; i < step; ++i)
                to[at + i] = bytes[at + i];
        }
        size = int(to - buffer) + length;
        return *this;
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
