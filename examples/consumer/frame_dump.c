// SPDX-License-Identifier: MIT
/* Fills the EngineData frame through its generated struct and prints the
 * eight data bytes it occupies, once the layout check (dbc_2_struct_check.c,
 * compiled in by quarvel_add_dbc_header's LAYOUT_CHECK) has proved that this
 * compiler lays out the header as meant. */
#include "dbc_2_struct.h"

#include <stdio.h>
#include <string.h>

int dbc_2_struct_check(void);
const char *dbc_2_struct_check_type(int number);
const char *dbc_2_struct_check_member(int number);

int main(void)
{
    EngineData_Type frame;
    unsigned char data[8];
    const int misplaced = dbc_2_struct_check();

    if (misplaced != 0) {
        fprintf(stderr, "frame_dump: %s.%s is not where dbc_2_struct.h means it\n",
                dbc_2_struct_check_type(misplaced), dbc_2_struct_check_member(misplaced));
        return 1;
    }
    memset(&frame, 0, sizeof frame);
    frame.CoolantTemp = 130; /* 90 degC: factor 1, offset -40 */
    frame.EngineRunning = 1;
    memcpy(data, &frame, sizeof data);
    for (int i = 0; i < 8; ++i)
        printf(i ? " %02X" : "%02X", data[i]);
    printf("\n");
    return 0;
}
