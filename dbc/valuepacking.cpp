#include "cdbc.h"

void CDBC::canInfoTransferData(QString canInfoName, UINT32 value)
{
    Q_UNUSED(canInfoName)
    Q_UNUSED(value)
}
