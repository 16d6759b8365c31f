// SPDX-License-Identifier: MIT
/* Fills the EngineData frame through its generated struct and prints the
 * eight data bytes it occupies. */
#include "dbc_2_struct.h"

#include <stdio.h>
#include <string.h>

int main(void)
{
    EngineData_Type frame;
    unsigned char data[8];

    memset(&frame, 0, sizeof frame);
    frame.CoolantTemp = 130; /* 90 degC: factor 1, offset -40 */
    frame.EngineRunning = 1;
    memcpy(data, &frame, sizeof data);
    for (int i = 0; i < 8; ++i)
        printf(i ? " %02X" : "%02X", data[i]);
    printf("\n");
    return 0;
}
