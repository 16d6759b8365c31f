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
    void rawValue_data();
    void rawValue();
    void firstMatchWins();
    void unknownNameChangesNothing_data();
    void unknownNameChangesNothing();
    void emptyTable();
    void randomAgainstBitByBitReference();
    void invokeByName();
    void throughConnection();
};

namespace
{

void setSignal(CanMsgInfo &msg, int slot, const char *name, int startBit, int bitLength)
{
    CanSignalInfo &sig = msg.signalInfo[slot];
    qstrncpy(sig.signalName, name, sizeof(sig.signalName));
    sig.bitStart = quint8(startBit);
    sig.bitLength = quint8(bitLength);
    if (msg.signalCnt <= slot)
        msg.signalCnt = quint8(slot + 1);
}

void setData(CanMsgInfo &msg, const QByteArray &bytes)
{
    QCOMPARE(bytes.size(), 8);
    std::memcpy(msg.msgData, bytes.constData(), 8);
}

QByteArray dataOf(const CanMsgInfo &msg)
{
    return QByteArray(reinterpret_cast<const char *>(msg.msgData), 8);
}

// The raw bytes of the whole table, to check that nothing but the expected
// fields changed (and that nothing was written beside the data bytes).
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
// the start bit, each following bit one position lower, wrapping from bit 0 of a
// byte to bit 7 of the next.
void referencePack(quint8 *data, int startBit, int bitLength, quint32 value)
{
    int byte = startBit / 8;
    int bit = startBit % 8;
    for (int i = bitLength - 1; i >= 0; --i) {
        if ((value >> i) & 1u)
            data[byte] |= quint8(1u << bit);
        else
            data[byte] &= quint8(~(1u << bit));
        if (--bit < 0) {
            bit = 7;
            ++byte;
        }
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

    const QByteArray zeros = QByteArray::fromHex("00 00 00 00 00 00 00 00");
    const QByteArray ones = QByteArray::fromHex("FF FF FF FF FF FF FF FF");
    const QByteArray mixed = QByteArray::fromHex("01 23 45 67 89 AB CD EF");
    auto hex = [](const char *text) { return QByteArray::fromHex(text); };

    // In-frame signals.
    QTest::newRow("two bytes, partial last")
        << 13 << 12 << 0xABCu << zeros << hex("00 2A F0 00 00 00 00 00");
    QTest::newRow("whole middle byte")
        << 3 << 16 << 0x1234u << ones << hex("F1 23 4F FF FF FF FF FF");
    QTest::newRow("inside one byte") << 7 << 4 << 0xAu << ones << hex("AF FF FF FF FF FF FF FF");
    QTest::newRow("whole byte 0") << 7 << 8 << 0x5Au << mixed << hex("5A 23 45 67 89 AB CD EF");
    QTest::newRow("whole byte 7") << 63 << 8 << 0xC3u << mixed << hex("01 23 45 67 89 AB CD C3");
    QTest::newRow("bit 0 set") << 0 << 1 << 1u << hex("AA AA AA AA AA AA AA AA")
                               << hex("AB AA AA AA AA AA AA AA");
    QTest::newRow("bit 0 cleared") << 0 << 1 << 0u << ones << hex("FE FF FF FF FF FF FF FF");
    QTest::newRow("ends at byte end")
        << 13 << 14 << 0x3ABCu << ones << hex("FF FA BC FF FF FF FF FF");
    QTest::newRow("zero clears only the signal")
        << 13 << 12 << 0u << ones << hex("FF C0 03 FF FF FF FF FF");
    QTest::newRow("25 bits exact")
        << 7 << 25 << 16777217u << zeros << hex("80 00 00 80 00 00 00 00");
    QTest::newRow("32 bits aligned")
        << 7 << 32 << 0xDEADBEEFu << zeros << hex("DE AD BE EF 00 00 00 00");
    QTest::newRow("32 bits mid byte")
        << 4 << 32 << 0x12345678u << ones << hex("E2 46 8A CF 1F FF FF FF");

    // Values wider than the signal are not masked.
    QTest::newRow("wide value in one byte")
        << 3 << 4 << 0x1Fu << zeros << hex("1F 00 00 00 00 00 00 00");
    QTest::newRow("wide value across bytes")
        << 13 << 12 << 0xFABCu << zeros << hex("00 EA F0 00 00 00 00 00");
    QTest::newRow("length 0") << 5 << 0 << 0xFFu << hex("0F 00 00 00 00 00 00 00")
                              << hex("CF 00 00 00 00 00 00 00");

    // Signals that leave the frame: bytes 0..7 written as far as they reach.
    QTest::newRow("start bit 64") << 64 << 8 << 0xFFu << mixed << mixed;
    QTest::newRow("start bit 255") << 255 << 1 << 1u << mixed << mixed;
    QTest::newRow("partial byte past 7")
        << 60 << 12 << 0xABCu << ones << hex("FF FF FF FF FF FF FF F5");
    QTest::newRow("whole bytes past 7")
        << 63 << 32 << 0xDEADBEEFu << zeros << hex("00 00 00 00 00 00 00 DE");
    QTest::newRow("bit 56 onward")
        << 56 << 16 << 0x1234u << mixed << hex("01 23 45 67 89 AB CD EE");

    // Longer than 32 bits: the value sits right-aligned, zero-extended.
    QTest::newRow("40 bits") << 7 << 40 << 0xFFFFFFFFu << hex("AA AA AA AA AA AA AA AA")
                             << hex("00 FF FF FF FF AA AA AA");
    QTest::newRow("33 bits mid byte")
        << 3 << 33 << 0xFFFFFFFFu << zeros << hex("07 FF FF FF F8 00 00 00");
    QTest::newRow("64 bits") << 7 << 64 << 0x12345678u << ones << hex("00 00 00 00 12 34 56 78");
    QTest::newRow("255 bits") << 7 << 255 << 0xFFFFFFFFu << hex("5A 5A 5A 5A 5A 5A 5A 5A") << zeros;
}

// Packs into message 1 of three, with other signals and data around it, and
// checks the data bytes and that no other byte of the table moved.
void tst_Packing::packing()
{
    QFETCH(int, startBit);
    QFETCH(int, bitLength);
    QFETCH(quint32, value);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    CDBC engine;
    allocate(engine, 3);
    for (int i = 0; i < 3; ++i) {
        CanMsgInfo &msg = engine.msgTable[i];
        qstrncpy(msg.msgName, QByteArray("Msg" + QByteArray::number(i)).constData(), 40);
        msg.msgId = 0x100 + i;
        msg.cycleTime = 0x7A7A7A7A;
        setData(msg, QByteArray(8, char(0x11 * (i + 1))));
        setSignal(msg, 0, "Other", 7, 8);
        setSignal(msg, 1, "Another", 15, 16);
    }
    setSignal(engine.msgTable[1], 2, "Target", startBit, bitLength);
    setSignal(engine.msgTable[1], 3, "Trailing", 39, 8);
    setData(engine.msgTable[1], before);
    const QByteArray snapshot = tableBytes(engine);

    engine.canInfoTransferData(QStringLiteral("Target"), value);

    QCOMPARE(dataOf(engine.msgTable[1]).toHex(' '), after.toHex(' '));

    // Undo the two changes the call may make; the rest must be untouched.
    setData(engine.msgTable[1], before);
    engine.msgTable[1].signalInfo[2].rawValue = 0.0f;
    QVERIFY(tableBytes(engine) == snapshot);
}

void tst_Packing::rawValue_data()
{
    QTest::addColumn<int>("startBit");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("zero") << 7 << 0u << qint64(0);
    QTest::newRow("2^24+1 tie to even below") << 7 << 16777217u << qint64(16777216);
    QTest::newRow("2^24+2 exact") << 7 << 16777218u << qint64(16777218);
    QTest::newRow("2^24+3 tie to even above") << 7 << 16777219u << qint64(16777220);
    QTest::newRow("nearest above half") << 7 << 0x80000081u << qint64(0x80000100);
    QTest::newRow("all ones") << 7 << 0xFFFFFFFFu << qint64(4294967296LL);
    QTest::newRow("out-of-frame signal") << 100 << 12345u << qint64(12345);
}

// rawValue is the nearest float; compared as an integer because QCOMPARE on
// floats allows a relative error that would hide a rounding fault.
void tst_Packing::rawValue()
{
    QFETCH(int, startBit);
    QFETCH(quint32, value);
    QFETCH(qint64, expected);

    CDBC engine;
    allocate(engine, 1);
    setSignal(engine.msgTable[0], 0, "Raw", startBit, 25);
    engine.msgTable[0].signalInfo[0].rawValue = -1.0f;

    engine.canInfoTransferData(QStringLiteral("Raw"), value);

    QCOMPARE(qint64(engine.msgTable[0].signalInfo[0].rawValue), expected);
}

// The lowest message index wins, then the lowest slot; slots at and above
// signalCnt are not searched; names compare exactly.
void tst_Packing::firstMatchWins()
{
    CDBC engine;
    allocate(engine, 6);
    setSignal(engine.msgTable[0], 0, "speed", 7, 8);
    setSignal(engine.msgTable[0], 1, "Spee", 15, 8);
    setSignal(engine.msgTable[0], 2, "SpeedX", 23, 8);
    setSignal(engine.msgTable[1], 0, "Other", 7, 8);
    setSignal(engine.msgTable[1], 1, "Speed", 15, 8);
    engine.msgTable[1].signalCnt = 1; // slot 1 holds a name but is not in use
    setSignal(engine.msgTable[2], 0, "Other", 7, 8);
    setSignal(engine.msgTable[2], 3, "Speed", 23, 8);
    setSignal(engine.msgTable[2], 5, "Speed", 31, 8);
    setSignal(engine.msgTable[5], 0, "Speed", 7, 8);
    const QByteArray snapshot = tableBytes(engine);

    engine.canInfoTransferData(QStringLiteral("Speed"), 0xA5);

    QCOMPARE(dataOf(engine.msgTable[2]).toHex(' '), QByteArray("00 00 a5 00 00 00 00 00"));
    QCOMPARE(qint64(engine.msgTable[2].signalInfo[3].rawValue), qint64(0xA5));

    std::memset(engine.msgTable[2].msgData, 0, 8);
    engine.msgTable[2].signalInfo[3].rawValue = 0.0f;
    QVERIFY(tableBytes(engine) == snapshot);
}

void tst_Packing::unknownNameChangesNothing_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("unknown") << QStringLiteral("Missing");
    QTest::newRow("empty") << QString();
    QTest::newRow("other case") << QStringLiteral("speed");
    QTest::newRow("prefix") << QStringLiteral("Spee");
    QTest::newRow("longer") << QStringLiteral("SpeedX");
    QTest::newRow("embedded NUL") << (QStringLiteral("Speed") + QChar(0) + QStringLiteral("X"));
    QTest::newRow("slot not in use") << QStringLiteral("Hidden");
    QTest::newRow("message name") << QStringLiteral("Engine");
}

// The last message claims more slots than a record has; the search must stop
// at the record's 64 slots (the sanitizer build catches a read past them).
void tst_Packing::unknownNameChangesNothing()
{
    QFETCH(QString, name);

    CDBC engine;
    allocate(engine, 2);
    qstrncpy(engine.msgTable[0].msgName, "Engine", 40);
    setSignal(engine.msgTable[0], 0, "Speed", 7, 8);
    setSignal(engine.msgTable[0], 1, "Hidden", 15, 8);
    engine.msgTable[0].signalCnt = 1;
    for (int slot = 0; slot < DbcLimits::MaxSignals; ++slot)
        setSignal(engine.msgTable[1], slot, "Filler", 7, 8);
    engine.msgTable[1].signalCnt = 255;
    const QByteArray snapshot = tableBytes(engine);

    engine.canInfoTransferData(name, 0xFF);

    QVERIFY(tableBytes(engine) == snapshot);
}

void tst_Packing::emptyTable()
{
    CDBC engine;
    engine.canInfoTransferData(QStringLiteral("Speed"), 1);
    QVERIFY(engine.msgTable == nullptr);
    QCOMPARE(engine.msgCnt, 0);

    // A count without a table is not walked.
    engine.msgCnt = 3;
    engine.canInfoTransferData(QStringLiteral("Speed"), 1);
    QVERIFY(engine.msgTable == nullptr);
    engine.msgCnt = 0;

    // A table of no records.
    allocate(engine, 0);
    engine.canInfoTransferData(QStringLiteral("Speed"), 1);
    QCOMPARE(engine.msgCnt, 0);
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
        for (quint8 &byte : expected)
            byte = quint8(random.bounded(256));

        std::memcpy(msg.msgData, expected, 8);
        const QByteArray before = dataOf(msg);
        msg.signalInfo[0].bitStart = quint8(startBit);
        msg.signalInfo[0].bitLength = quint8(bitLength);
        referencePack(expected, startBit, bitLength, value);

        engine.canInfoTransferData(QStringLiteral("Random"), value);

        if (std::memcmp(msg.msgData, expected, 8) != 0) {
            const QByteArray want(reinterpret_cast<const char *>(expected), 8);
            QFAIL(qPrintable(QStringLiteral("seed %1 round %2: start %3 length %4 value 0x%5 "
                                            "before %6 got %7 want %8")
                                 .arg(seed)
                                 .arg(round)
                                 .arg(startBit)
                                 .arg(bitLength)
                                 .arg(value, 0, 16)
                                 .arg(QString::fromLatin1(before.toHex(' ')))
                                 .arg(QString::fromLatin1(dataOf(msg).toHex(' ')))
                                 .arg(QString::fromLatin1(want.toHex(' ')))));
        }
    }
}

void tst_Packing::invokeByName()
{
    CDBC engine;
    allocate(engine, 1);
    setSignal(engine.msgTable[0], 0, "Speed", 13, 12);

    QVERIFY(QMetaObject::invokeMethod(&engine, "canInfoTransferData",
                                      Q_ARG(QString, QStringLiteral("Speed")),
                                      Q_ARG(UINT32, 0xABCu)));

    QCOMPARE(dataOf(engine.msgTable[0]).toHex(' '), QByteArray("00 2a f0 00 00 00 00 00"));
    QCOMPARE(qint64(engine.msgTable[0].signalInfo[0].rawValue), qint64(2748));
}

// Two signals of one message fed through a connection build up its payload.
void tst_Packing::throughConnection()
{
    CDBC engine;
    allocate(engine, 1);
    setSignal(engine.msgTable[0], 0, "Speed", 13, 12);
    setSignal(engine.msgTable[0], 1, "Gear", 7, 4);
    ValueSource source;
    QVERIFY(connect(&source, SIGNAL(valueReady(QString, UINT32)), &engine,
                    SLOT(canInfoTransferData(QString, UINT32))));

    emit source.valueReady(QStringLiteral("Speed"), 0xABC);
    emit source.valueReady(QStringLiteral("Gear"), 0x5);

    QCOMPARE(dataOf(engine.msgTable[0]).toHex(' '), QByteArray("50 2a f0 00 00 00 00 00"));
}

QTEST_GUILESS_MAIN(tst_Packing)
#include "tst_packing.moc"
