#include "cdbc.h"

bool CDBC::prepareOutputFile(QString dirPath, QString fileName)
{
    Q_UNUSED(dirPath)
    Q_UNUSED(fileName)
    return false;
}

QByteArray CDBC::buildStructHeader(const CanMsgInfo *table, int count)
{
    Q_UNUSED(table)
    Q_UNUSED(count)
    return QByteArray();
}

void CDBC::writeStructHeader(CanMsgInfo *table, int count, QString outputDir)
{
    Q_UNUSED(table)
    Q_UNUSED(count)
    Q_UNUSED(outputDir)
}
