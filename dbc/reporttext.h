// SPDX-License-Identifier: MIT
#ifndef REPORTTEXT_H
#define REPORTTEXT_H

#include "bitwalk.h"

#include <QLatin1String>
#include <QString>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <vector>

// How the engine words its reports (the findings, the layout changes between
// two files): texts put together piece by piece, warning lines in the form
// compilers write them, and closing lines that count each kind.
namespace ReportText
{

// Writes Latin-1 pieces as UTF-16 code units into room made for them
// beforehand, so that a text of many pieces has its room checked once.
class Pen
{
public:
    // The most units a number or a name written by a pen takes.
    static constexpr int MostForNumber = 11;
    static constexpr int MostForName = 48;

    explicit Pen(char16_t *at) : at(at) {}
    // Words written as a UTF-16 literal (u"..."), copied as they are.
    template <std::size_t N> Pen &operator<<(const char16_t (&literal)[N])
    {
        std::memcpy(at, literal, (N - 1) * sizeof(char16_t));
        at += N - 1;
        return *this;
    }
    Pen &operator<<(int value)
    {
        // Bit positions and lengths, the usual numbers, go straight in.
        if (value >= 0 && value < 10) {
            *at++ = char16_t(u'0' + value);
            return *this;
        }
        if (value >= 10 && value < 100) {
            at[0] = char16_t(u'0' + value / 10);
            at[1] = char16_t(u'0' + value % 10);
            at += 2;
            return *this;
        }
        char digits[12];
        int length = 0;
        if (value < 0)
            digits[length++] = '-', value = -value;
        const char *end = BitWalk::putDecimal(digits + length, quint32(value));
        return latin1Part(digits, int(end - digits));
    }
    // A name array of a record up to its NUL, each byte a Latin-1
    // character. The array is widened whole, in a few steps of a fixed
    // count, and the characters past the name are dropped.
    Pen &name(const char (&latin1)[DbcLimits::NameSize])
    {
#ifdef __SSE2__
        static_assert(DbcLimits::NameSize == 40, "a name array is read as 16 + 16 + 8 bytes");
        const __m128i zero = _mm_setzero_si128();
        const __m128i chunks[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i *>(latin1)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i *>(latin1 + 16)),
                                   _mm_loadl_epi64(reinterpret_cast<const __m128i *>(latin1 + 32))};
        quint64 nuls = quint64(1) << DbcLimits::NameSize; // the array's end ends the name too
        for (int k = 0; k < 3; ++k)
            nuls |= quint64(uint(_mm_movemask_epi8(_mm_cmpeq_epi8(chunks[k], zero)))) << (16 * k);
        for (int k = 0; k < 3; ++k) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(at + 16 * k),
                             _mm_unpacklo_epi8(chunks[k], zero));
            if (k < 2)
                _mm_storeu_si128(reinterpret_cast<__m128i *>(at + 16 * k + 8),
                                 _mm_unpackhi_epi8(chunks[k], zero));
        }
        at += qCountTrailingZeroBits(nuls);
        return *this;
#else
        constexpr int step = 16;
        static_assert((DbcLimits::NameSize + step - 1) / step * step <= MostForName,
                      "a name takes its whole steps");
        uchar bytes[(DbcLimits::NameSize + step - 1) / step * step] = {};
        std::memcpy(bytes, latin1, DbcLimits::NameSize);
        const void *nul = std::memchr(bytes, 0, DbcLimits::NameSize);
        const int length = nul ? int(static_cast<const uchar *>(nul) - bytes) : DbcLimits::NameSize;
        for (int from = 0; from < length; from += step) {
            for (int i = 0; i < step; ++i)
                at[from + i] = bytes[from + i];
        }
        at += length;
        return *this;
#endif
    }
    Pen &latin1Part(const char *latin1, int length)
    {
#ifdef __SSE2__
        // Eight characters a step; the last step ends at the last byte, and
        // may widen again some that an earlier one did.
        if (length >= 8) {
            const auto widen8 = [&](int from) {
                _mm_storeu_si128(
                    reinterpret_cast<__m128i *>(at + from),
                    _mm_unpacklo_epi8(
                        _mm_loadl_epi64(reinterpret_cast<const __m128i *>(latin1 + from)),
                        _mm_setzero_si128()));
            };
            for (int from = 0; from < length - 8; from += 8)
                widen8(from);
            widen8(length - 8);
            at += length;
            return *this;
        }
#endif
        for (int i = 0; i < length; ++i)
            at[i] = uchar(latin1[i]);
        at += length;
        return *this;
    }
    // The first `length` units of a text a pen wrote before into `room`,
    // such as a label that many texts open with. The whole room is copied,
    // in a count of steps known beforehand.
    template <std::size_t N> Pen &units(const char16_t (&room)[N], int length)
    {
        std::memcpy(at, room, sizeof room);
        at += length;
        return *this;
    }
    char16_t *end() const
    {
        return at;
    }

private:
    char16_t *at;
};

// A string of at most `most` units whose Latin-1 pieces `pieces` writes
// with a pen straight into the string's own room: a text made once, without
// being copied from a buffer. The string keeps the room of `most` units.
#if defined(Q_CC_GNU) && !defined(Q_CC_CLANG)
// GCC, once a pen's writes are inlined here, takes the string's room for the
// header in front of it and warns of writes past that header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
template <typename Pieces> QString penned(int most, Pieces &&pieces)
{
    QString text(most, Qt::Uninitialized);
    char16_t *const start = reinterpret_cast<char16_t *>(text.data());
    Pen pen(start);
    pieces(pen);
    Q_ASSERT(pen.end() - start <= most);
    text.resize(int(pen.end() - start));
    return text;
}
#if defined(Q_CC_GNU) && !defined(Q_CC_CLANG)
#pragma GCC diagnostic pop
#endif

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
    template <std::size_t N> Text &operator<<(const char16_t (&literal)[N])
    {
        std::memcpy(room(N - 1), literal, (N - 1) * sizeof(char16_t));
        return *this;
    }
    Text &operator<<(const QString &part)
    {
        return append(reinterpret_cast<const char16_t *>(part.utf16()), part.size());
    }
    Text &operator<<(int value)
    {
        return write(Pen::MostForNumber, [value](Pen &pen) { pen << value; });
    }
    Text &name(const char (&latin1)[DbcLimits::NameSize])
    {
        return write(Pen::MostForName, [&latin1](Pen &pen) { pen.name(latin1); });
    }
    // UTF-8 bytes, such as a member's name.
    Text &utf8(const char *bytes, int length)
    {
        if (std::all_of(bytes, bytes + length, [](char c) { return uchar(c) < 0x80; }))
            return latin1Part(bytes, length);
        return *this << QString::fromUtf8(bytes, length);
    }
    // Latin-1 pieces of `most` units at the most, which `pieces` writes with
    // a pen: the room is made once for all of them.
    template <typename Pieces> Text &write(int most, Pieces &&pieces)
    {
        char16_t *const start = room(most);
        Pen pen(start);
        pieces(pen);
        Q_ASSERT(pen.end() - start <= most);
        size = int(pen.end() - buffer);
        return *this;
    }
    operator QString() const { return QString(reinterpret_cast<const QChar *>(buffer), size); }

private:
    Text &latin1Part(const char *latin1, int length)
    {
        Pen(room(length)).latin1Part(latin1, length);
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

    char16_t local[512];
    std::vector<char16_t> heap;
    char16_t *buffer = local;
    int size = 0;
    int capacity = 512;
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
