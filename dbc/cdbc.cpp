// SPDX-License-Identifier: MIT
#include <quarvel/cdbc.h>

#include "dbcnotes.h"
#include "debuglog.h"

#include <QDebug>

#include <cstring>

CDBC::CDBC() : QObject(nullptr), msgTable(nullptr), msgCnt(0) {}

// The table belongs to its engine object and goes with it.
CDBC::~CDBC()
{
    delete[] msgTable;
}

// One whole conversion: read the DBC file into this object's table, clear
// every message's data bytes, mirror the start bits and write the header.
// A failed read is reported to the user once and leaves the output directory
// untouched; an existing header is not replaced by a partial one.
//
// The success note carries what the header leaves out, so that the window's
// user sees it too: the findings of quarvel-cli, each by its line number.
bool CDBC::transDbc(QString dbcPath, QString outputDir)
{
    const DebugLog::Batch batch;
    if (!loadDbc(dbcPath))
        return false;
    const QString details = findingsDetails(dbcPath, findings()).join(QLatin1Char('\n'));
    return writeHeader(msgTable, msgCnt, outputDir, details, DbcHeaderForm(), DbcByteOrders());
}

bool CDBC::loadDbc(QString dbcPath)
{
    const DebugLog::Batch batch;
    setFailure(QString(), QString());
    if (readDbc(&msgTable, &msgCnt, dbcPath) != 0) {
        DBC_DEBUG() << "Trans dbc false!";
        if (readError == ReadError::TooManyMessages)
            notify(QString::fromUtf8(DbcNotes::Title),
                   QString::fromUtf8(DbcNotes::TooManyMessages));
        else
            notify(QString::fromUtf8(DbcNotes::Title), QString::fromUtf8(DbcNotes::DbcNotRead));
        return false;
    }
    DBC_DEBUG() << "Trans dbc success!";

    for (int i = 0; i < msgCnt; ++i)
        std::memset(msgTable[i].msgData, 0, sizeof msgTable[i].msgData);
    flipStartBits(msgTable, msgCnt);
    return true;
}

// Every signal is treated alike, whatever its byte order: bit k of the start
// bit's byte becomes bit 7 - k, the byte index stays. The default form's walk
// lays signals out from these bits; the frame form mirrors them back.
void CDBC::flipStartBits(CanMsgInfo *table, int count)
{
    if (table == nullptr || count < 1)
        return;
    for (int i = 0; i < count; ++i) {
        CanMsgInfo &msg = table[i];
        const int slotsInUse = qMin<int>(msg.signalCnt, DbcLimits::MaxSignals);
        for (int s = 0; s < slotsInUse; ++s)
            msg.signalInfo[s].bitStart = static_cast<std::uint8_t>(msg.signalInfo[s].bitStart ^ 7);
    }
}

DbcByteOrders CDBC::byteOrders() const
{
    DbcByteOrders orders;
    orders.reserve(sourceMessages.size());
    for (const DbcSourceMessage &source : sourceMessages)
        orders.append(source.littleEndianSlots);
    return orders;
}

void CDBC::setFailure(const QString &path, const QString &reason)
{
    failurePath = path;
    failureText = reason;
}
