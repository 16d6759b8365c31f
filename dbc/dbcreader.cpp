#include "cdbc.h"

int CDBC::regexCaptureAll(QString pattern, QString text, QString *results, int *resultCnt)
{
    Q_UNUSED(pattern)
    Q_UNUSED(text)
    Q_UNUSED(results)
    Q_UNUSED(resultCnt)
    return -1;
}

int CDBC::readDbc(CanMsgInfo **table, int *count, QString dbcPath)
{
    Q_UNUSED(table)
    Q_UNUSED(count)
    Q_UNUSED(dbcPath)
    return -1;
}
