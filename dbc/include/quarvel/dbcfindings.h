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
    int droppedLines = 0;                        // signal lines after the 64th
    int firstDroppedLine = 0;
    QString fullName;                             // set when the name was cut to 39 bytes
    QVector<QPair<int, QString>> fullSignalNames; // slot and full name, for cut names
};

// Something the header leaves out or gets wrong, at the BO_ or SG_ line it
// concerns (0: the file as a whole).
struct DbcFinding {
    int line;
    QString text;
};

#endif // DBCFINDINGS_H
