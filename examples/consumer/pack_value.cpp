// SPDX-License-Identifier: MIT
// Packs a raw signal value into its message's eight data bytes with the
// Quarvel engine and prints them:
//
//   pack_value FILE.dbc SIGNAL VALUE
#include <quarvel/cdbc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: pack_value FILE.dbc SIGNAL VALUE\n");
        return 2;
    }
    // The engine logs every step of the read on the debug stream; a program
    // of its own switches those lines off, and keeps its own.
    CDBC::setDebugLines(false);
    CDBC dbc;
    if (!dbc.loadDbc(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "pack_value: %s: %s\n", qPrintable(dbc.failedPath()),
                     qPrintable(dbc.failureReason()));
        return 1;
    }
    const UINT32 value = UINT32(std::strtoul(argv[3], nullptr, 0));
    dbc.canInfoTransferData(QString::fromLocal8Bit(argv[2]), value);

    // The packing took the first signal of that name, in table order.
    for (int m = 0; m < dbc.msgCnt; ++m) {
        const CanMsgInfo &msg = dbc.msgTable[m];
        for (int s = 0; s < msg.signalCnt; ++s) {
            if (std::strcmp(msg.signalInfo[s].signalName, argv[2]) != 0)
                continue;
            std::printf("%s", msg.msgName);
            for (const std::uint8_t byte : msg.msgData)
                std::printf(" %02X", byte);
            std::printf("\n");
            return 0;
        }
    }
    std::fprintf(stderr, "pack_value: no signal %s in %s\n", argv[2], argv[1]);
    return 1;
}
