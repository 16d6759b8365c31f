// libFuzzer target: arbitrary bytes as a DBC file, through the whole engine.
// Reads the file, clears and flips (the driver), writes the header into a
// temporary directory with the notes silenced, then packs values into a few
// signals found in the table.
#include "cdbc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

struct FuzzEnvironment
{
    FuzzEnvironment()
    {
        qInstallMessageHandler(dropMessage);
        CDBC::setNotifier([](const QString &, const QString &) {});
    }
    QTemporaryDir dir;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static FuzzEnvironment environment;
    if (!environment.dir.isValid())
        return 0;

    const QString dbcPath = environment.dir.filePath(QStringLiteral("input.dbc"));
    {
        QFile file(dbcPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    CDBC engine;
    engine.transDbc(dbcPath, environment.dir.filePath(QStringLiteral("out")));

    // Pack into the first signals of the first messages, with values derived
    // from the input so the packing sees wide and narrow values alike.
    std::uint32_t value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
    int packed = 0;
    for (int m = 0; m < engine.msgCnt && packed < 4; ++m) {
        const CanMsgInfo &msg = engine.msgTable[m];
        for (int s = 0; s < msg.signalCnt && s < DbcLimits::MaxSignals && packed < 4; ++s, ++packed)
            engine.canInfoTransferData(QString::fromLocal8Bit(msg.signalInfo[s].signalName),
                                       value ^ std::uint32_t(packed * 0x9E3779B9u));
    }
    engine.canInfoTransferData(QStringLiteral("no such signal"), value);
    return 0;
}
