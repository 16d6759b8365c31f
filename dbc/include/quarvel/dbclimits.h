// SPDX-License-Identifier: MIT
#ifndef DBCLIMITS_H
#define DBCLIMITS_H

#include <QtGlobal>

// Fixed capacities of the in-memory CAN database and of the window's path
// buffers. Every record and every bound in the engine and the window uses
// these, so they are defined in one place.
namespace DbcLimits
{

constexpr int MaxMessages = 300;  // message blocks one DBC file may hold
constexpr int MaxSignals = 64;    // signal slots of one message record
constexpr int DataBytes = 8;      // payload bytes of one CAN frame
constexpr int PayloadBits = 64;   // bits covered by one generated struct
constexpr int NameSize = 40;      // bytes of a name array, NUL included
constexpr int MaxNameLength = 39; // name bytes that fit beside the NUL
constexpr int MaxPathBytes = 200; // UTF-8 bytes of an accepted path, NUL excluded
constexpr int MaxBitNumber = 255; // largest start bit or length a signal record holds

// Bytes of a DBC file the reader takes: far above real DBC files (tens of MB
// at most), low enough that the file and its decoded text fit in memory.
constexpr qint64 MaxDbcFileMB = 128;
constexpr qint64 MaxDbcFileBytes = MaxDbcFileMB * 1024 * 1024;

} // namespace DbcLimits

#endif // DBCLIMITS_H
