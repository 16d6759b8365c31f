// SPDX-License-Identifier: MIT
#ifndef DBCFINDINGS_H
#define DBCFINDINGS_H

#include "dbclimits.h"

#include <QPair>
#include <QString>
#include <QVector>

// Where one message of the last read stands in the DBC file, and what of it
// did not fit its fixed-size record. Lines are 1-based; 0 where unknown.
struct DbcSourceMessage {
    int line = 0;                                // the BO_ line
    int signalLines[DbcLimits::MaxSignals] = {}; // the SG_ line of each slot
    int startBits[DbcLimits::MaxSignals] = {};   // each slot's start bit as the file writes it
    int bitLengths[DbcLimits::MaxSignals] = {};  // each slot's length as the file writes it
    quint64 littleEndianSlots = 0;               // bit s set where slot s is little-endian (@1)
    int droppedLines = 0;                        // signal lines after the 64th
    int firstDroppedLine = 0;
    QString fullName;                             // set when the name was cut to 39 bytes
    QVector<QPair<int, QString>> fullSignalNames; // slot and full name, for cut names
    QString namelessLine;                         // the BO_ line, kept when it gave no name
};

// Something the header leaves out or gets wrong, at the BO_ or SG_ line it
// concerns (0: the file as a whole).
struct DbcFinding {
    enum Kind {
        SignalNotWritten,   // starts inside another or shares bits with it, length 0, out of reach
        SignalPastBit63,    // written, but its struct is wider than 64 bits
        SignalBigEndian,    // default form: a little-endian signal laid out big-endian
        SignalLinesDropped, // a message's signal lines after the 64th
        NameCut,            // a message or signal name cut to 39 bytes
        NoCName,            // a member or struct name that is no C identifier or a keyword
        MemberTwice,        // a member name twice in one struct
        StructTwice,        // a struct name twice in the header
        IdentifierTwice,    // two messages with the same identifier
        MessageWithoutName, // a BO_ line on which no name is found
        NoMessage,          // the file holds no message
    };
    static constexpr int KindCount = NoMessage + 1;

    Kind kind;
    int line;
    QString text; // a signal's finding is written into room for its longest form, which it keeps
};
Q_DECLARE_TYPEINFO(DbcFinding, Q_MOVABLE_TYPE);

#endif // DBCFINDINGS_H
