// SPDX-License-Identifier: MIT
// Tests of the value-packing slot canInfoTransferData.
#include "testsupport.h"

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

QByteArray hex(const CanMsgInfo &msg)
{
    return QByteArray(reinterpret_cast<const char *>(msg.msgData), 8).toHex(' ');
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
    void lookup_data();
    void lookup();
    void numbersBeyondTheRecord_data();
    void numbersBeyondTheRecord();
    void randomAgainstBitByBitReference();
};

void tst_Packing::lookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("packed"); // the target message's bytes after packing 0x1F
    const QByteArray untouched = "00 00 00 00 00 00 00 00";
    QTest::newRow("first in use, bits above the length masked")
        << "Target" << QByteArray("0f 00 00 00 00 00 00 00");
    QTest::newRow("name of another case") << "TARGET" << untouched;
    QTest::newRow("name cut short") << "Targ" << untouched;
    QTest::newRow("name with a NUL after it") << QString::fromLatin1("Target\0", 7) << untouched;
    QTest::newRow("only in a record past the count") << "Ghost" << untouched;
}

// The first signal of the name (lowest message, then lowest slot in use) is
// packed; no other byte of the table changes.
void tst_Packing::lookup()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, packed);
    CDBC engine;
    engine.msgTable = new CanMsgInfo[4]();
    engine.msgCnt = 3;
    setSignal(engine.msgTable[3], 0, "Ghost", 7, 8);
    setSignal(engine.msgTable[0], 5, "Target", 7, 8);
    engine.msgTable[0].signalCnt = 1; // slot 5 holds the name but is not in use
    CanMsgInfo &target = engine.msgTable[1];
    setSignal(target, 0, "Targe", 23, 8);
    setSignal(target, 1, "target", 15, 8);
    setSignal(target, 2, "Target", 3, 4);
    setSignal(target, 3, "Target", 31, 8);
    setSignal(engine.msgTable[2], 0, "Target", 7, 8);
    const QByteArray untouched = hex(engine.msgTable[0]);

    engine.canInfoTransferData(name, 0x1F);
    QCOMPARE(hex(target), packed);
    QCOMPARE(hex(engine.msgTable[0]) + hex(engine.msgTable[2]) + hex(engine.msgTable[3]),
             untouched + untouched + untouched);
}

void tst_Packing::numbersBeyondTheRecord_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("start bit 295") << "Crc";
    QTest::newRow("length 264") << "Wide";
    QTest::newRow("start bit 511") << "Tail";
}

// A signal whose start bit or length its record cannot hold (a CAN FD frame)
// is still found by name, and changes no data byte.
void tst_Packing::numbersBeyondTheRecord()
{
    QFETCH(QString, name);
    CDBC::setDebugLines(false);
    CDBC engine;
    QVERIFY(engine.loadDbc(testData("converter/can_fd.dbc")));
    engine.canInfoTransferData(name, 0xFFFFFFFF);
    const CanMsgInfo &msg = engine.msgTable[0];
    QCOMPARE(hex(msg), QByteArray("00 00 00 00 00 00 00 00"));
    const auto sig = std::find_if(msg.signalInfo, msg.signalInfo + msg.signalCnt,
                                  [&](const CanSignalInfo &s) { return name == s.signalName; });
    QCOMPARE(sig->rawValue, 4294967296.0f);
}

// Random signals of 0 to 40 bits anywhere in the frame and values of any
// width, through the slot's meta-object entry: the frame must equal the
// bit-by-bit layout of the value's low bits, the raw value is the nearest
// float, and no other byte of the record changes (all compared byte for byte:
// QCOMPARE on floats would hide a rounding fault).
void tst_Packing::randomAgainstBitByBitReference()
{
    const quint32 seed = 20240606;
    QRandomGenerator random(seed);
    CDBC engine;
    engine.msgCnt = 1;
    engine.canInfoTransferData("Random", 1); // a count without a table is not walked
    engine.msgTable = new CanMsgInfo[1]();
    CanMsgInfo &msg = engine.msgTable[0];
    setSignal(msg, 0, "Random", 0, 1);

    for (int round = 0; round < 20000; ++round) {
        const int startBit = int(random.bounded(64));
        const int bitLength = int(random.bounded(41));
        const quint32 value = random.generate() >> random.bounded(32);
        quint8 expected[8];
        const quint64 frame = random.generate64();
        std::memcpy(expected, &frame, 8);
        std::memcpy(msg.msgData, expected, 8);
        msg.signalInfo[0].bitStart = quint8(startBit);
        msg.signalInfo[0].bitLength = quint8(bitLength);
        referencePack(expected, startBit, bitLength, value);
        // Nothing of the record but its data bytes and the raw value may change.
        CanMsgInfo after;
        std::memcpy(&after, &msg, sizeof msg);
        std::memcpy(after.msgData, expected, 8);
        after.signalInfo[0].rawValue = float(value);

        QVERIFY(QMetaObject::invokeMethod(&engine, "canInfoTransferData", Q_ARG(QString, "Random"),
                                          Q_ARG(UINT32, value)));
        if (std::memcmp(&msg, &after, sizeof msg) != 0)
            QFAIL(qPrintable(QString::asprintf("seed %u round %d: start %d length %d value 0x%x",
                                               seed, round, startBit, bitLength, value)));
    }
}

QTEST_GUILESS_MAIN(tst_Packing)
#include "tst_packing.moc"
