// SPDX-License-Identifier: MIT
#ifndef BITWALK_H
#define BITWALK_H

#include <quarvel/canmsginfo.h>

#include <QByteArray>
#include <QtAlgorithms>
#include <QtEndian>
#include <QtGlobal>

#include <cstring>

// The bit walk that lays a message's signals over its 64 payload bits. The
// header writer writes a member line for each member it visits; the findings
// learn from the very same walk what the header leaves out.
namespace BitWalk
{

// Writes `value` in decimal at `at`, as member lines write part numbers and
// widths; returns the position after it.
inline char *putDecimal(char *at, quint32 value)
{
    // Bit positions, widths and part numbers have one or two digits.
    if (value < 10) {
        *at = char('0' + value);
        return at + 1;
    }
    if (value < 100) {
        at[0] = char('0' + value / 10);
        at[1] = char('0' + value % 10);
        return at + 2;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        *at++ = digits[--count];
    return at;
}

// A message's name as the header writes it (its struct type is this name
// followed by "_Type"): the record's bytes up to the NUL.
inline QByteArray messageName(const char (&msgName)[DbcLimits::NameSize])
{
    return QByteArray(msgName, int(qstrnlen(msgName, DbcLimits::NameSize)));
}

// Appends a string literal without its NUL, as the writers of the header and
// of its layout check put their fixed text together.
template <int N> void appendLiteral(QByteArray &out, const char (&literal)[N])
{
    out.append(literal, N - 1);
}

// A name as it is written into member lines: a name array's bytes in UTF-8,
// with room for a part number after them.
struct MemberName {
    char bytes[2 * DbcLimits::NameSize + 8];
    int length;

    bool operator==(const MemberName &other) const
    {
        return length == other.length && std::memcmp(bytes, other.bytes, size_t(length)) == 0;
    }
};

// A member's name as the header writes it: the name, then its part number
// when it has one (part >= 0).
inline MemberName withPart(MemberName name, int part)
{
    if (part >= 0)
        name.length = int(putDecimal(name.bytes + name.length, quint32(part)) - name.bytes);
    return name;
}

// A name array's bytes, each taken as a Latin-1 character, in UTF-8: bytes
// below 0x80 stay as they are, the others become two bytes.
inline MemberName latin1BytesAsUtf8(const char (&name)[DbcLimits::NameSize])
{
    MemberName utf8;
    // The usual name is ASCII: it is copied eight bytes at a time, up to the
    // word that holds its NUL, unless a byte from 0x80 up comes before that.
    static_assert(DbcLimits::NameSize % 8 == 0, "name arrays are read in words");
    constexpr quint64 ones = 0x0101010101010101u, highBits = 0x8080808080808080u;
    for (int i = 0; i < DbcLimits::NameSize; i += 8) {
        quint64 word;
        std::memcpy(&word, name + i, 8);
        word = qFromLittleEndian(word); // byte k of the name in bits 8k to 8k + 7
        const quint64 nuls = (word - ones) & ~word & highBits; // exact up to the first NUL
        const quint64 beforeNul = nuls != 0 ? (nuls & (0 - nuls)) - 1 : ~quint64(0);
        if ((word & beforeNul & highBits) != 0)
            break;
        std::memcpy(utf8.bytes + i, name + i, 8);
        if (nuls != 0) {
            utf8.length = i + int(qCountTrailingZeroBits(nuls)) / 8;
            return utf8;
        }
        if (i + 8 == DbcLimits::NameSize) {
            utf8.length = DbcLimits::NameSize;
            return utf8;
        }
    }
    utf8.length = 0;
    for (int i = 0; i < DbcLimits::NameSize && name[i] != '\0'; ++i) {
        const uchar byte = uchar(name[i]);
        if (byte < 0x80) {
            utf8.bytes[utf8.length++] = char(byte);
        } else {
            utf8.bytes[utf8.length++] = char(0xC0 | (byte >> 6));
            utf8.bytes[utf8.length++] = char(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// For every bit position of the walk, the first slot that starts there and
// covers at least one bit, or -1. Slots of length 0 (such as the nameless one
// a message line containing "SG_" yields) never count: they would keep the
// walk where it is, and they must not hide a real signal that starts at the
// same bit in a later slot.
struct StartIndex {
    explicit StartIndex(const CanMsgInfo &msg)
    {
        for (qint8 &slot : firstSlot)
            slot = -1;
        const int slotsInUse = qMin<int>(msg.signalCnt, DbcLimits::MaxSignals);
        for (int s = slotsInUse - 1; s >= 0; --s) {
            const CanSignalInfo &sig = msg.signalInfo[s];
            if (sig.bitStart < DbcLimits::PayloadBits && sig.bitLength != 0) {
                firstSlot[sig.bitStart] = qint8(s);
                startBits |= quint64(1) << sig.bitStart;
            }
        }
    }
    // The first bit at or after `position` (below 64) at which a slot
    // starts, or 64.
    int nextStart(int position) const
    {
        const quint64 later = startBits >> position;
        return later != 0 ? position + int(qCountTrailingZeroBits(later)) : DbcLimits::PayloadBits;
    }
    qint8 firstSlot[DbcLimits::PayloadBits];
    quint64 startBits = 0; // bit k set where a slot starts at bit k
};

// The name of reserve members before their number, in a name array as
// records hold names.
constexpr char ReserveName[DbcLimits::NameSize] = "resev_";

// The same name as member lines write it.
inline const MemberName &reserveName()
{
    static const MemberName name = latin1BytesAsUtf8(ReserveName);
    return name;
}

// A signal's members: one whole member when it ends inside the byte of its
// start bit, otherwise numbered parts that never cross a byte boundary.
template <typename Visit> void visitParts(const CanSignalInfo &sig, Visit &visit)
{
    const int start = sig.bitStart;
    const int length = sig.bitLength;
    const int byteEnd = start / 8 * 8 + 8;
    if (start + length <= byteEnd) {
        visit(-1, length, &sig);
        return;
    }
    int part = 0;
    visit(part++, byteEnd - start, &sig);
    for (int remaining = length - (byteEnd - start); remaining > 0; remaining -= 8)
        visit(part++, qMin(remaining, 8), &sig);
}

// Walks bit positions 0 to 63 of one message, with start bits as flipped. A
// signal is visited where its start bit is reached and the walk jumps past it;
// runs of bits at which no signal starts become reserve members "resev_N",
// closed at every byte boundary. A signal running past bit 63 is visited in
// full and ends the walk. Every signal is visited at most once, its members
// one after another. `starts` is the message's start index, which the caller
// may keep to learn which slot the walk took at each start. For each member
// in order, `visit` gets its part number (-1: not numbered; for a reserve its
// N), its width, and its signal (null for a reserve).
template <typename Visit>
void walkParts(const CanMsgInfo &msg, const StartIndex &starts, Visit &&visit)
{
    int position = 0;
    int gap = 0;
    int reserve = 0;
    while (position < DbcLimits::PayloadBits) {
        if (starts.firstSlot[position] >= 0) {
            const CanSignalInfo *sig = &msg.signalInfo[starts.firstSlot[position]];
            if (gap > 0)
                visit(reserve++, gap, nullptr);
            visitParts(*sig, visit);
            position += sig->bitLength;
            gap = 0;
        } else {
            // The reserve runs up to the next start or the end of the byte.
            const int stop = qMin(starts.nextStart(position), position / 8 * 8 + 8);
            gap += stop - position;
            position = stop;
            if (position % 8 == 0) {
                visit(reserve++, gap, nullptr);
                gap = 0;
            }
        }
    }
}

// The same walk with names: `visit` gets each member's name (without its
// part number), its part number, its width and its signal.
template <typename Visit> void walk(const CanMsgInfo &msg, Visit &&visit)
{
    const CanSignalInfo *named = nullptr;
    MemberName name;
    walkParts(msg, StartIndex(msg), [&](int part, int width, const CanSignalInfo *sig) {
        if (!sig) {
            visit(reserveName(), part, width, nullptr);
            return;
        }
        if (sig != named) { // a signal's first member
            name = latin1BytesAsUtf8(sig->signalName);
            named = sig;
        }
        visit(name, part, width, sig);
    });
}

// The same walk, with each member's first bit counted from bit 0 of byte 0.
// The members lie one after another from bit 0 upward, so a member's first
// bit is the sum of the widths before it. `visit` gets the member's full name
// (part number appended), its first bit, its width and its signal.
template <typename Visit> void walkWithBits(const CanMsgInfo &msg, Visit &&visit)
{
    int firstBit = 0;
    walk(msg, [&](const MemberName &name, int part, int width, const CanSignalInfo *sig) {
        visit(withPart(name, part), firstBit, width, sig);
        firstBit += width;
    });
}

} // namespace BitWalk

#endif // BITWALK_H
