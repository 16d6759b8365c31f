// SPDX-License-Identifier: MIT
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace
{

// lowMask[n] has the n lowest bits of a byte set, highMask[n] the n highest.
// The packing only looks up counts from 0 to 8.
constexpr std::uint8_t lowMask[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};
constexpr std::uint8_t highMask[9] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

constexpr int lastDataByte = DbcLimits::DataBytes - 1;

// Shifts of an unsigned 32-bit value. A signal may be longer than 32 bits, so
// the distances can reach 32 and beyond; the value then has no bits left there
// and the result is 0 (a plain C++ shift by that much is undefined).
UINT32 shiftLeft(UINT32 value, int distance)
{
    Q_ASSERT(distance >= 0);
    return distance >= 32 ? 0u : value << distance;
}

UINT32 shiftRight(UINT32 value, int distance)
{
    Q_ASSERT(distance >= 0);
    return distance >= 32 ? 0u : value >> distance;
}

// True when the stored NUL-terminated name equals `name` byte for byte. The
// stored name is read no further than its 40-byte array, and a wanted name with
// an embedded NUL matches nothing rather than its leading part.
bool sameName(const char (&stored)[DbcLimits::NameSize], const QByteArray &name)
{
    const size_t storedLength = qstrnlen(stored, DbcLimits::NameSize);
    return storedLength == size_t(name.size()) &&
           std::memcmp(stored, name.constData(), storedLength) == 0;
}

// Lays the value's bits into the data bytes in Motorola order: the start bit
// names the most significant bit (bit startBit % 8 of byte startBit / 8), and
// the signal runs toward less significant bits, on to bit 7 of the next byte.
//
// The value holds no bits above the signal's length (the caller masks them),
// so only the signal's own bits change.
//
// A signal that does not fit in the frame is clipped: bytes before byte 8 are
// written exactly as for a frame long enough to hold it, anything from byte 8 on
// is left alone (a start bit above 63 writes nothing at all).
void packMotorola(std::uint8_t *data, int startBit, int bitLength, UINT32 value)
{
    const int bitInByte = startBit % 8; // most significant bit of the signal in the first byte
    const int firstByte = startBit / 8;
    if (firstByte > lastDataByte)
        return;

    if (bitInByte >= bitLength - 1) {
        // The whole signal lies in the first byte, bits bitInByte down to shift.
        const int shift = bitInByte - bitLength + 1;
        const std::uint8_t keep = lowMask[shift] | highMask[7 - bitInByte];
        data[firstByte] = (data[firstByte] & keep) | (shiftLeft(value, shift) & 0xFF);
        return;
    }

    // The signal fills the first byte from bitInByte down to bit 0 and runs on.
    const int bitsInFirst = bitInByte + 1;
    const int bitsAfterFirst = bitLength - bitsInFirst; // at least 1 here
    data[firstByte] =
        (data[firstByte] & highMask[8 - bitsInFirst]) | (shiftRight(value, bitsAfterFirst) & 0xFF);

    // Whole bytes follow, most significant first, then a partial last byte
    // whose top bits hold the value's lowest bits.
    const int wholeBytes = bitsAfterFirst / 8;
    const int bitsInLast = bitsAfterFirst % 8;
    for (int m = 1; m <= wholeBytes; ++m) {
        const int index = firstByte + m;
        if (index > lastDataByte)
            return;
        data[index] = shiftRight(value, bitsInLast + 8 * (wholeBytes - m)) & 0xFF;
    }
    const int lastIndex = firstByte + wholeBytes + 1;
    if (bitsInLast > 0 && lastIndex <= lastDataByte) {
        data[lastIndex] = (data[lastIndex] & lowMask[8 - bitsInLast]) |
                          (shiftLeft(value & lowMask[bitsInLast], 8 - bitsInLast) & 0xFF);
    }
}

} // namespace

// Finds the first signal called `canInfoName` (lowest message index, then lowest
// slot), records the raw value in it and packs the value into its message's data
// bytes. A name that matches no signal changes nothing.
void CDBC::canInfoTransferData(QString canInfoName, UINT32 value)
{
    if (msgTable == nullptr)
        return;
    const QByteArray name = canInfoName.toLocal8Bit();

    for (int msgIndex = 0; msgIndex < msgCnt; ++msgIndex) {
        CanMsgInfo &msg = msgTable[msgIndex];
        const int slotsInUse = std::min<int>(msg.signalCnt, DbcLimits::MaxSignals);
        for (int slot = 0; slot < slotsInUse; ++slot) {
            CanSignalInfo &signal = msg.signalInfo[slot];
            if (!sameName(signal.signalName, name))
                continue;
            // Nearest float, ties to even, when the value needs more than 24 bits.
            signal.rawValue = static_cast<float>(value);
            // Bits above the signal's length belong to its neighbours: they are
            // masked off (a length of 0 writes nothing, 32 and more keep all).
            const UINT32 fitted =
                signal.bitLength >= 32 ? value : value & ((UINT32(1) << signal.bitLength) - 1u);
            packMotorola(msg.msgData, signal.bitStart, signal.bitLength, fitted);
            return;
        }
    }
}
