// Tests of the value-packing slot canInfoTransferData.
#include "cdbc.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

namespace
{

void setSignal(CanMsgInfo &msg, int slot, const char *name, int startBit, int bitLength)
{
    CanSignalInfo &sig = msg.signalInfo[slot];
    qstrncpy(sig.signalName, name, sizeof(sig.signalName));
    sig.bitStart = quint8(startBit);
    sig.bitLength = quint8(bitLength);
    msg.signalCnt = qMax(msg.signalCnt, quint8(slot + 1));
}

// Motorola layout, one bit at a time: the value's most significant bit goes to
// the start bit, each following bit one position lower, wrapping from bit 0 of
// a byte to bit 7 of the next; bits past the frame are dropped.
void referencePack(quint8 *data, int startBit, int bitLength, quint32 value)
{
    for (int i = bitLength - 1, byte = startBit / 8, bit = startBit % 8; i >= 0 && byte < 8; --i) {
        const quint32 valueBit = i < 32 ? (value >> i) & 1u : 0u;
        data[byte] = quint8((data[byte] & ~(1u << bit)) | (valueBit << bit));
        if (--bit < 0)
            bit = 7, ++byte;
    }
}

} // namespace

class tst_Packing : public QObject
{
    Q_OBJECT

private slots:
    void pack_data();
    void pack();
    void randomAgainstBitByBitReference();
};

void tst_Packing::pack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("startBit");
    QTest::addColumn<int>("bitLength");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after"); // equal to `before`: nothing is packed

    const QByteArray zeros = "00 00 00 00 00 00 00 00", mixed = "01 23 45 67 89 ab cd ef";
    auto row = [&](const char *tag, int start, int length, quint32 value, const QByteArray &before,
                   const QByteArray &after, const QString &name = "Target") {
        QTest::newRow(tag) << name << start << length << value << before << after;
    };
    row("two bytes, partial last", 13, 12, 0xABC, zeros, "00 2a f0 00 00 00 00 00");
    row("bits above the length keep the neighbours", 3, 4, 0x1F, zeros, "0f 00 00 00 00 00 00 00");
    row("length 0 writes nothing", 5, 0, 0xFF, "0f 00 00 00 00 00 00 00",
        "0f 00 00 00 00 00 00 00");
    row("name of another case", 7, 8, 1, mixed, mixed, "TARGET");
    row("name cut short", 7, 8, 1, mixed, mixed, "Targ");
    row("name with a NUL after it", 7, 8, 1, mixed, mixed, QString::fromLatin1("Target\0", 7));
}

// The first signal of the name (lowest message, then lowest slot in use) is
// packed, and only its bits change.
void tst_Packing::pack()
{
    QFETCH(QString, name);
    QFETCH(int, startBit);
    QFETCH(int, bitLength);
    QFETCH(quint32, value);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    CDBC engine;
    engine.msgTable = new CanMsgInfo[3]();
    engine.msgCnt = 3;
    setSignal(engine.msgTable[0], 5, "Target", 7, 8);
    engine.msgTable[0].signalCnt = 1; // slot 5 holds the name but is not in use
    CanMsgInfo &target = engine.msgTable[1];
    setSignal(target, 0, "Targe", 7, 8);
    setSignal(target, 1, "target", 15, 8);
    setSignal(target, 2, "Target", startBit, bitLength);
    setSignal(target, 3, "Target", 7, 8);
    setSignal(engine.msgTable[2], 0, "Target", 7, 8);
    std::memcpy(target.msgData, QByteArray::fromHex(before).constData(), 8);

    engine.canInfoTransferData(name, value);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(target.msgData), 8).toHex(' '), after);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(engine.msgTable[2].msgData), 8), QByteArray(8, 0));
}

// Random signals of 1 to 40 bits anywhere in the frame and values of any
// width, through the slot's meta-object entry: the frame must equal the
// bit-by-bit layout of the value's low bits, and the raw
// value is the nearest float (compared as an integer: QCOMPARE on floats would
// hide a rounding fault).
void tst_Packing::randomAgainstBitByBitReference()
{
    const quint32 seed = 20240606;
    QRandomGenerator random(seed);
    CDBC engine;
    engine.msgTable = new CanMsgInfo[1]();
    engine.msgCnt = 1;
    CanMsgInfo &msg = engine.msgTable[0];
    setSignal(msg, 0, "Random", 0, 1);

    for (int round = 0; round < 20000; ++round) {
        const int startBit = int(random.bounded(64));
        const int bitLength = 1 + int(random.bounded(40));
        const quint32 value = random.generate() >> random.bounded(32);
        quint8 expected[8];
        const quint64 frame = random.generate64();
        std::memcpy(expected, &frame, 8);
        std::memcpy(msg.msgData, expected, 8);
        msg.signalInfo[0].bitStart = quint8(startBit);
        msg.signalInfo[0].bitLength = quint8(bitLength);
        referencePack(expected, startBit, bitLength, value);

        QVERIFY(QMetaObject::invokeMethod(&engine, "canInfoTransferData", Q_ARG(QString, "Random"),
                                          Q_ARG(UINT32, value)));
        if (std::memcmp(msg.msgData, expected, 8) != 0 ||
            qint64(msg.signalInfo[0].rawValue) != qint64(float(value)))
            QFAIL(qPrintable(QString::asprintf("seed %u round %d: start %d length %d value 0x%x",
                                               seed, round, startBit, bitLength, value)));
    }
}

QTEST_GUILESS_MAIN(tst_Packing)
#include "tst_packing.moc"
