#include "cdbc.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

// Emits raw signal values the way other code would feed them to the engine.
class ValueSource : public QObject
{
    Q_OBJECT
signals:
    void valueReady(QString name, UINT32 value);
};

class tst_Packing : public QObject
{
    Q_OBJECT

private slots:
    void packing_data();
    void packing();
    void lookup_data();
    void lookup();
    void randomAgainstBitByBitReference();
    void invokeAndConnect();
};

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

// The raw bytes of the whole table, to see that nothing else changed.
QByteArray tableBytes(const CDBC &engine)
{
    return QByteArray(reinterpret_cast<const char *>(engine.msgTable),
                      int(sizeof(CanMsgInfo)) * engine.msgCnt);
}

void allocate(CDBC &engine, int count)
{
    engine.msgTable = new CanMsgInfo[count]();
    engine.msgCnt = count;
}

// Motorola layout, one bit at a time: the value's most significant bit goes to
// the start bit, each following bit one position lower, wrapping from bit 0 of
// a byte to bit 7 of the next.
void referencePack(quint8 *data, int startBit, int bitLength, quint32 value)
{
    for (int i = bitLength - 1, byte = startBit / 8, bit = startBit % 8; i >= 0; --i) {
        data[byte] = quint8((data[byte] & ~(1u << bit)) | (((value >> i) & 1u) << bit));
        if (--bit < 0)
            bit = 7, ++byte;
    }
}

} // namespace

void tst_Packing::packing_data()
{
    QTest::addColumn<int>("startBit");
    QTest::addColumn<int>("bitLength");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<qint64>("raw"); // the nearest float; -1: the value itself

    const QByteArray zeros = "00 00 00 00 00 00 00 00", ones = "ff ff ff ff ff ff ff ff";
    const QByteArray mixed = "01 23 45 67 89 ab cd ef";
    auto row = [](const char *name, int start, int length, quint32 value, const QByteArray &before,
                  const QByteArray &after, qint64 raw = -1) {
        QTest::newRow(name) << start << length << value << before << after << raw;
    };
    row("two bytes, partial last", 13, 12, 0xABC, zeros, "00 2a f0 00 00 00 00 00");
    row("whole middle byte", 3, 16, 0x1234, ones, "f1 23 4f ff ff ff ff ff");
    row("inside one byte", 7, 4, 0xA, ones, "af ff ff ff ff ff ff ff");
    row("whole byte 7", 63, 8, 0xC3, mixed, "01 23 45 67 89 ab cd c3");
    row("bit 0 cleared", 0, 1, 0, ones, "fe ff ff ff ff ff ff ff");
    row("ends at byte end", 13, 14, 0x3ABC, ones, "ff fa bc ff ff ff ff ff");
    row("2^24+1, raw ties to even below", 7, 25, 16777217, zeros, "80 00 00 80 00 00 00 00",
        16777216);
    row("2^24+3, raw ties to even above", 7, 25, 16777219, zeros, "80 00 01 80 00 00 00 00",
        16777220);
    // Values wider than the signal are not masked.
    row("wide value in one byte", 3, 4, 0x1F, zeros, "1f 00 00 00 00 00 00 00");
    row("wide value across bytes", 13, 12, 0xFABC, zeros, "00 ea f0 00 00 00 00 00");
    row("length 0", 5, 0, 0xFF, "0f 00 00 00 00 00 00 00", "cf 00 00 00 00 00 00 00");
    // Signals that leave the frame: bytes 0..7 written as far as they reach.
    row("start bit 64", 64, 8, 0xFF, mixed, mixed);
    row("partial byte past 7", 60, 12, 0xABC, ones, "ff ff ff ff ff ff ff f5");
    row("whole bytes past 7", 63, 32, 0xDEADBEEF, zeros, "00 00 00 00 00 00 00 de", 0xDEADBF00);
    // Longer than 32 bits: the value sits right-aligned, zero-extended.
    row("40 bits", 7, 40, 0xFFFFFFFF, "aa aa aa aa aa aa aa aa", "00 ff ff ff ff aa aa aa",
        4294967296LL);
    row("33 bits mid byte", 3, 33, 0xFFFFFFFF, zeros, "07 ff ff ff f8 00 00 00", 4294967296LL);
    row("255 bits", 7, 255, 0xFFFFFFFF, "5a 5a 5a 5a 5a 5a 5a 5a", zeros, 4294967296LL);
}

// Packs into the second of two messages, among other signals, and checks that no other byte
// moved. rawValue is compared as an integer: QCOMPARE on floats would hide a rounding fault.
void tst_Packing::packing()
{
    QFETCH(int, startBit);
    QFETCH(int, bitLength);
    QFETCH(quint32, value);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(qint64, raw);

    CDBC engine;
    allocate(engine, 2);
    for (CanMsgInfo *msg : {engine.msgTable, engine.msgTable + 1}) {
        msg->cycleTime = 0x7A7A7A7A;
        std::memset(msg->msgData, 0x11, 8);
        setSignal(*msg, 0, "Other", 7, 8);
        setSignal(*msg, 1, "Another", 15, 16);
    }
    CanMsgInfo &target = engine.msgTable[1];
    setSignal(target, 2, "Target", startBit, bitLength);
    setSignal(target, 3, "Trailing", 39, 8);
    std::memcpy(target.msgData, QByteArray::fromHex(before).constData(), 8);
    const QByteArray snapshot = tableBytes(engine);

    engine.canInfoTransferData(QStringLiteral("Target"), value);
    QCOMPARE(hex(target), after);
    QCOMPARE(qint64(target.signalInfo[2].rawValue), raw < 0 ? qint64(value) : raw);

    // Undo the two changes the call may make; the rest must be untouched.
    std::memcpy(target.msgData, QByteArray::fromHex(before).constData(), 8);
    target.signalInfo[2].rawValue = 0.0f;
    QVERIFY(tableBytes(engine) == snapshot);
}

void tst_Packing::lookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::newRow("first match") << QStringLiteral("Speed") << true;
    QTest::newRow("unknown") << QStringLiteral("Missing") << false;
    QTest::newRow("embedded NUL") << QString::fromLatin1("Spee\0d", 6) << false;
    QTest::newRow("message name") << QStringLiteral("Engine") << false;
}

// The lowest message index wins, then the lowest slot; slots at and above signalCnt are not
// searched; names compare exactly. The last message claims more slots than a record has: the
// search must stop at its 64 slots (the sanitizer build catches a read past them).
void tst_Packing::lookup()
{
    QFETCH(QString, name);
    QFETCH(bool, found);
    CDBC engine;
    allocate(engine, 6);
    qstrncpy(engine.msgTable[0].msgName, "Engine", 40);
    setSignal(engine.msgTable[0], 0, "speed", 7, 8);
    setSignal(engine.msgTable[0], 1, "Spee", 15, 8);
    setSignal(engine.msgTable[0], 2, "SpeedX", 23, 8);
    setSignal(engine.msgTable[1], 1, "Speed", 15, 8);
    engine.msgTable[1].signalCnt = 1; // slot 1 holds a name but is not in use
    setSignal(engine.msgTable[2], 3, "Speed", 23, 8);
    setSignal(engine.msgTable[2], 5, "Speed", 31, 8);
    for (int slot = 0; slot < DbcLimits::MaxSignals; ++slot)
        setSignal(engine.msgTable[5], slot, "Speed", 7, 8);
    engine.msgTable[5].signalCnt = 255;
    const QByteArray snapshot = tableBytes(engine);

    engine.canInfoTransferData(name, 0xA5);
    if (found) {
        QCOMPARE(hex(engine.msgTable[2]), QByteArray("00 00 a5 00 00 00 00 00"));
        QCOMPARE(qint64(engine.msgTable[2].signalInfo[3].rawValue), qint64(0xA5));
        std::memset(engine.msgTable[2].msgData, 0, 8);
        engine.msgTable[2].signalInfo[3].rawValue = 0.0f;
    }
    QVERIFY(tableBytes(engine) == snapshot);
}

// Every in-frame signal of 1 to 32 bits, with a value that fits, must match the
// bit-by-bit layout exactly and keep all other bits of the frame.
void tst_Packing::randomAgainstBitByBitReference()
{
    const quint32 seed = 20240606;
    qInfo("random seed %u", seed);
    QRandomGenerator random(seed);
    CDBC engine;
    allocate(engine, 1);
    CanMsgInfo &msg = engine.msgTable[0];
    setSignal(msg, 0, "Random", 0, 1);

    for (int round = 0; round < 20000; ++round) {
        const int startBit = int(random.bounded(64));
        const int room = 8 * (7 - startBit / 8) + startBit % 8 + 1;
        const int bitLength = 1 + int(random.bounded(quint32(qMin(32, room))));
        const quint32 value =
            bitLength == 32 ? random.generate() : random.generate() & ((1u << bitLength) - 1);
        quint8 expected[8];
        const quint64 frame = random.generate64();
        std::memcpy(expected, &frame, 8);
        std::memcpy(msg.msgData, expected, 8);
        msg.signalInfo[0].bitStart = quint8(startBit);
        msg.signalInfo[0].bitLength = quint8(bitLength);
        referencePack(expected, startBit, bitLength, value);

        engine.canInfoTransferData(QStringLiteral("Random"), value);
        if (std::memcmp(msg.msgData, expected, 8) != 0)
            QFAIL(qPrintable(QString::asprintf("seed %u round %d: start %d length %d value 0x%x",
                                               seed, round, startBit, bitLength, value)));
    }
}

// The slot reached through the meta-object by name and through a connection:
// two signals of one message build up its payload. A count without a table is not walked.
void tst_Packing::invokeAndConnect()
{
    CDBC engine;
    engine.msgCnt = 1;
    QVERIFY(QMetaObject::invokeMethod(&engine, "canInfoTransferData",
                                      Q_ARG(QString, QStringLiteral("Speed")), Q_ARG(UINT32, 1)));
    allocate(engine, 1);
    setSignal(engine.msgTable[0], 0, "Speed", 13, 12);
    setSignal(engine.msgTable[0], 1, "Gear", 7, 4);
    QVERIFY(QMetaObject::invokeMethod(&engine, "canInfoTransferData",
                                      Q_ARG(QString, QStringLiteral("Speed")),
                                      Q_ARG(UINT32, 0xABCu)));
    QCOMPARE(qint64(engine.msgTable[0].signalInfo[0].rawValue), qint64(2748));

    ValueSource source;
    QVERIFY(connect(&source, SIGNAL(valueReady(QString, UINT32)), &engine,
                    SLOT(canInfoTransferData(QString, UINT32))));
    emit source.valueReady(QStringLiteral("Gear"), 0x5);
    QCOMPARE(hex(engine.msgTable[0]), QByteArray("50 2a f0 00 00 00 00 00"));
}

QTEST_GUILESS_MAIN(tst_Packing)
#include "tst_packing.moc"
