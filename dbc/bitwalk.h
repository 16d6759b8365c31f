// SPDX-License-Identifier: MIT
#ifndef BITWALK_H
#define BITWALK_H

#include <quarvel/canmsginfo.h>
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QtAlgorithms>
#include <QtEndian>
#include <QtGlobal>

#include <cstring>

// The walks that lay a message's signals out as struct members, one per form
// of the header: the default form's bit walk over the mirrored start bits,
// and the frame form's walk over the frame's bits. The header writer writes a
// member line for each member a walk visits; the findings, the layout check
// and the layout comparison learn from the very same walk what the header
// holds.
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
// `firstBit` is where its first member begins; the members lie one after
// another from there.
template <typename Visit> void visitParts(const CanSignalInfo &sig, int firstBit, Visit &visit)
{
    const int start = sig.bitStart;
    const int length = sig.bitLength;
    const int byteEnd = start / 8 * 8 + 8;
    if (start + length <= byteEnd) {
        visit(-1, length, &sig, firstBit);
        return;
    }
    int part = 0;
    visit(part++, byteEnd - start, &sig, firstBit);
    firstBit += byteEnd - start;
    for (int remaining = length - (byteEnd - start); remaining > 0; remaining -= 8) {
        visit(part++, qMin(remaining, 8), &sig, firstBit);
        firstBit += 8;
    }
}

// The default form's walk over bit positions 0 to 63 of one message, with
// start bits as flipped. A signal is visited where its start bit is reached
// and the walk jumps past it; runs of bits at which no signal starts become
// reserve members "resev_N", closed at every byte boundary. A signal running
// past bit 63 is visited in full and ends the walk. Every signal is visited at
// most once, its members one after another. `starts` is the message's start
// index, which the caller may keep to learn which slot the walk took at each
// start. For each member in order, `visit` gets its part number (-1: not
// numbered; for a reserve its N), its width, its signal (null for a reserve)
// and its first bit: the members lie one after another from bit 0 of byte 0
// upward, so that is the sum of the widths before it.
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
                visit(reserve++, gap, nullptr, position - gap);
            visitParts(*sig, position, visit);
            position += sig->bitLength;
            gap = 0;
        } else {
            // The reserve runs up to the next start or the end of the byte.
            const int stop = qMin(starts.nextStart(position), position / 8 * 8 + 8);
            gap += stop - position;
            position = stop;
            if (position % 8 == 0) {
                visit(reserve++, gap, nullptr, position - gap);
                gap = 0;
            }
        }
    }
}

// Whether slot `slot` holds a little-endian signal (@1), by a message's mask.
inline bool isLittleEndian(quint64 littleEndianSlots, int slot)
{
    return (littleEndianSlots >> slot & 1) != 0;
}

// The bits of the frame a signal occupies, as the DBC file gives them: bit
// numbers are byte * 8 + bit, bit 0 the least significant of its byte. A
// little-endian signal (@1) runs upward from its start bit, its least
// significant bit; a big-endian one (@0) starts at its most significant bit
// and runs down within its byte, then on from bit 7 of the next byte. The
// records hold the start bit mirrored within its byte, so it is mirrored back
// here.
struct FrameBits {
    FrameBits(const CanSignalInfo &sig, bool littleEndian)
        : start(sig.bitStart ^ 7), length(sig.bitLength), littleEndian(littleEndian)
    {
        for (int i = 0; i < length && !beyondByte7; ++i) {
            const int bit = at(i);
            if (bit >= DbcLimits::PayloadBits)
                beyondByte7 = true;
            else
                bits |= quint64(1) << bit;
        }
    }
    // The frame bit of the signal's bit `i` counted from its most
    // significant (0) down.
    int at(int i) const
    {
        if (littleEndian)
            return start + length - 1 - i;
        // Down within a byte, then from bit 7 of the next byte.
        const int inByte = start % 8;
        return i <= inByte ? start - i
                           : (start / 8 + 1 + (i - inByte - 1) / 8) * 8 + 7 - (i - inByte - 1) % 8;
    }
    int start;
    int length;
    bool littleEndian;
    quint64 bits = 0;         // the signal's bits within the 8 data bytes
    bool beyondByte7 = false; // a bit of it lies past them
};

// Which signal holds each bit of the frame in the frame form. Signals are
// taken in the order of their slots (the file's order); one is left out when
// it has length 0, reaches beyond byte 7, or shares a bit with a signal taken
// before it.
struct FrameMap {
    FrameMap(const CanMsgInfo &msg, quint64 littleEndianSlots)
    {
        for (qint8 &slot : owner)
            slot = -1;
        const int slotsInUse = qMin<int>(msg.signalCnt, DbcLimits::MaxSignals);
        for (int s = 0; s < slotsInUse; ++s) {
            const CanSignalInfo &sig = msg.signalInfo[s];
            const FrameBits frame(sig, isLittleEndian(littleEndianSlots, s));
            if (sig.bitLength == 0 || frame.beyondByte7 || (frame.bits & taken) != 0)
                continue;
            taken |= frame.bits;
            writtenSlots |= quint64(1) << s;
            firstByte[s] = qint8(qCountTrailingZeroBits(frame.bits) / 8);
            lastByte[s] =
                qint8((DbcLimits::PayloadBits - 1 - qCountLeadingZeroBits(frame.bits)) / 8);
            for (quint64 left = frame.bits; left != 0; left &= left - 1)
                owner[qCountTrailingZeroBits(left)] = qint8(s);
        }
    }
    qint8 owner[DbcLimits::PayloadBits]; // the slot holding each frame bit, or -1
    quint64 taken = 0;                   // the frame bits some signal holds
    quint64 writtenSlots = 0;            // bit s set where slot s is written
    // The first and the last byte each written slot touches.
    qint8 firstByte[DbcLimits::MaxSignals];
    qint8 lastByte[DbcLimits::MaxSignals];
};

// The frame form's walk: byte by byte, each byte's bits in the order the
// compiler allocates them (from bit 0 up, or with `msbFirst` from bit 7
// down). Each run of bits one signal holds within a byte is a member: part k
// of a signal lies in the k-th byte it touches, and a signal within one byte
// is one member without a number. Each run of bits no signal holds is a
// reserve member, numbered in the order of declaration. `visit` gets the
// same as in walkParts(), with the member's lowest frame bit as its first bit.
template <typename Visit>
void walkFrameParts(const CanMsgInfo &msg, const FrameMap &map, bool msbFirst, Visit &&visit)
{
    int reserve = 0;
    for (int byte = 0; byte < DbcLimits::DataBytes; ++byte) {
        int i = 0;
        while (i < 8) {
            const int bit = byte * 8 + (msbFirst ? 7 - i : i);
            const int slot = map.owner[bit];
            int width = 1;
            while (i + width < 8 &&
                   map.owner[byte * 8 + (msbFirst ? 7 - i - width : i + width)] == slot)
                ++width;
            const int lowest = msbFirst ? bit - width + 1 : bit;
            if (slot < 0) {
                visit(reserve++, width, nullptr, lowest);
            } else {
                const bool oneByte = map.firstByte[slot] == map.lastByte[slot];
                visit(oneByte ? -1 : byte - map.firstByte[slot], width, &msg.signalInfo[slot],
                      lowest);
            }
            i += width;
        }
    }
}

// How one message's struct is laid out: the default form, or the frame form
// for a compiler that fills bytes from bit 0 or from bit 7.
struct Form {
    bool frames = false;
    bool msbFirst = false;
    quint64 littleEndianSlots = 0; // bit s set where slot s is little-endian (@1)
};

// The form of message `index` of a table, its byte orders from the mask
// given for it, if any.
inline Form formOf(const DbcHeaderForm &form, const DbcByteOrders &byteOrders, int index)
{
    Form walk;
    walk.frames = form.frames;
    walk.msbFirst = form.bitOrder == DbcBitOrder::MsbFirst;
    walk.littleEndianSlots = index >= 0 && index < byteOrders.size() ? byteOrders.at(index) : 0;
    return walk;
}

// The members of one message's struct in the order the header declares them,
// in either form; `visit` gets what walkParts() gives it.
template <typename Visit> void walkMembers(const CanMsgInfo &msg, const Form &form, Visit &&visit)
{
    if (form.frames)
        walkFrameParts(msg, FrameMap(msg, form.littleEndianSlots), form.msbFirst, visit);
    else
        walkParts(msg, StartIndex(msg), visit);
}

// The same walk with names: `visit` gets each member's name (without its
// part number), its part number, its width, its signal and its first bit.
template <typename Visit> void walk(const CanMsgInfo &msg, const Form &form, Visit &&visit)
{
    const CanSignalInfo *named = nullptr;
    MemberName name;
    walkMembers(msg, form, [&](int part, int width, const CanSignalInfo *sig, int firstBit) {
        if (!sig) {
            visit(reserveName(), part, width, nullptr, firstBit);
            return;
        }
        if (sig != named) { // a signal's first member
            name = latin1BytesAsUtf8(sig->signalName);
            named = sig;
        }
        visit(name, part, width, sig, firstBit);
    });
}

// The same walk, each member with its full name (part number appended).
template <typename Visit> void walkWithBits(const CanMsgInfo &msg, const Form &form, Visit &&visit)
{
    walk(msg, form,
         [&](const MemberName &name, int part, int width, const CanSignalInfo *sig, int firstBit) {
             visit(withPart(name, part), firstBit, width, sig);
         });
}

} // namespace BitWalk

#endif // BITWALK_H
