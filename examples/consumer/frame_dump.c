// SPDX-License-Identifier: MIT
/* Fills the EngineData frame through its generated struct and prints the
 * eight data bytes it occupies, once the frame check (dbc_2_struct_check.c,
 * compiled in by quarvel_add_dbc_header's LAYOUT_CHECK) has proved that this
 * compiler reads every signal of the header at the frame bits the DBC file
 * gives it. CoolantTemp (23|8@0+) is byte 2; EngineRunning (39|1@0+) is bit 7
 * of byte 4. */
#include "dbc_2_struct.h"

#include <stdio.h>
#include <string.h>

int dbc_2_struct_check(void);
const char *dbc_2_struct_check_type(int number);
const char *dbc_2_struct_check_signal(int number);

int main(void)
{
    EngineData_Type frame;
    unsigned char data[8];
    const int wrong = dbc_2_struct_check();

    if (wrong != 0) {
        fprintf(stderr, "frame_dump: %s.%s does not read its frame bits on this compiler\n",
                dbc_2_struct_check_type(wrong), dbc_2_struct_check_signal(wrong));
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
