// SPDX-License-Identifier: MIT
#ifndef CANMSGINFO_H
#define CANMSGINFO_H

#include "dbclimits.h"

#include <cstdint>

// UINT32 is the Windows SDK's unsigned 32-bit type; the value-packing slot is
// declared with it. Provide the same name elsewhere so that the slot's
// signature, and its normalized form in the meta-object, read the same.
#ifdef _WIN32
#include <basetsd.h>
#else
typedef std::uint32_t UINT32;
#endif

// One signal of a message, as read from an SG_ line. Plain data: no pointers,
// no toolkit strings, so a whole message table is one contiguous block.
struct CanSignalInfo {
    char signalName[DbcLimits::NameSize]; // NUL-terminated, local 8-bit encoding
    std::uint8_t bitStart;                // start bit; mirrored within its byte after the flip
    std::uint8_t bitLength;               // length in bits
    float factor;
    float offset;
    float minimum;
    float maximum;
    float rawValue; // last raw value packed into this signal
};

// One CAN message, as read from a BO_ line and the SG_ lines below it.
struct CanMsgInfo {
    char msgName[DbcLimits::NameSize]; // NUL-terminated, local 8-bit encoding
    std::int32_t msgId;                // identifier (29-bit for extended frames)
    std::uint8_t msgDlc;               // data length code, low 8 bits
    std::uint8_t msgData[DbcLimits::DataBytes];
    std::int32_t cycleTime; // GenMsgCycleTime attribute, 0 when absent
    std::uint8_t signalCnt; // slots in use, 0 to 64
    CanSignalInfo signalInfo[DbcLimits::MaxSignals];
};

#endif // CANMSGINFO_H
