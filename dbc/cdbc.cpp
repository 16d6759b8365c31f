#include "cdbc.h"

#include <QDebug>

CDBC::CDBC() : QObject(nullptr), msgTable(nullptr), msgCnt(0) {}

// The table belongs to its engine object and goes with it.
CDBC::~CDBC()
{
    delete[] msgTable;
}

void CDBC::transDbc(QString dbcPath, QString outputDir)
{
    Q_UNUSED(dbcPath)
    Q_UNUSED(outputDir)
}

void CDBC::flipStartBits(CanMsgInfo *table, int count)
{
    Q_UNUSED(table)
    Q_UNUSED(count)
}
