#include "cdbc.h"

#include <QMetaMethod>
#include <QtTest>

#include <type_traits>

class tst_Model : public QObject
{
    Q_OBJECT

private slots:
    void recordLayout();
    void newEngineIsEmpty();
    void engineMetaObject();
    void slotSignature();
    void tableReleasedWithEngine();
};

// The facts other code relies on: fixed arrays, fixed-width fields, plain data
// that a table can hold as one contiguous block.
void tst_Model::recordLayout()
{
    static_assert(std::is_trivial<CanSignalInfo>::value, "signal record must be plain data");
    static_assert(std::is_trivial<CanMsgInfo>::value, "message record must be plain data");
    static_assert(std::is_standard_layout<CanMsgInfo>::value, "message record must be plain data");

    QCOMPARE(sizeof(CanMsgInfo::msgName), size_t(40));
    QCOMPARE(sizeof(CanSignalInfo::signalName), size_t(40));
    QCOMPARE(sizeof(CanMsgInfo::msgData), size_t(8));
    QCOMPARE(std::extent<decltype(CanMsgInfo::signalInfo)>::value, size_t(64));

    QVERIFY((std::is_same<decltype(CanMsgInfo::msgId), qint32>::value));
    QVERIFY((std::is_same<decltype(CanMsgInfo::cycleTime), qint32>::value));
    QVERIFY((std::is_same<decltype(CanMsgInfo::msgDlc), quint8>::value));
    QVERIFY((std::is_same<decltype(CanMsgInfo::signalCnt), quint8>::value));
    QVERIFY((std::is_same<std::remove_extent<decltype(CanMsgInfo::msgData)>::type, quint8>::value));
    QVERIFY((std::is_same<decltype(CanSignalInfo::bitStart), quint8>::value));
    QVERIFY((std::is_same<decltype(CanSignalInfo::bitLength), quint8>::value));
    for (size_t size : {sizeof(CanSignalInfo::factor), sizeof(CanSignalInfo::offset),
                        sizeof(CanSignalInfo::minimum), sizeof(CanSignalInfo::maximum),
                        sizeof(CanSignalInfo::rawValue)})
        QCOMPARE(size, size_t(4));
    QVERIFY((std::is_same<decltype(CanSignalInfo::rawValue), float>::value));
    QVERIFY((std::is_same<UINT32, quint32>::value));

    // The limits that both the records and the window's path buffers follow.
    QCOMPARE(DbcLimits::MaxMessages, 300);
    QCOMPARE(DbcLimits::MaxSignals, 64);
    QCOMPARE(DbcLimits::MaxPathBytes, 200);
    QCOMPARE(DbcLimits::MaxNameLength + 1, DbcLimits::NameSize);
}

void tst_Model::newEngineIsEmpty()
{
    CDBC engine;
    QCOMPARE(engine.msgCnt, 0);
    QVERIFY(engine.msgTable == nullptr);
    QVERIFY(engine.parent() == nullptr);
    QCOMPARE(engine.lastReadError(), CDBC::ReadError::None);
}

void tst_Model::engineMetaObject()
{
    const QMetaObject &mo = CDBC::staticMetaObject;
    QCOMPARE(mo.className(), "CDBC");
    QVERIFY(mo.superClass() == &QObject::staticMetaObject);
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 1);
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);
    QCOMPARE(mo.enumeratorCount() - mo.enumeratorOffset(), 0);

    CDBC engine;
    QVERIFY(engine.qt_metacast("CDBC") == &engine);
    QVERIFY(engine.qt_metacast("QObject") != nullptr);
    QVERIFY(engine.qt_metacast("MainWindow") == nullptr);
}

void tst_Model::slotSignature()
{
    const QMetaObject &mo = CDBC::staticMetaObject;
    const QMetaMethod slot = mo.method(mo.methodOffset());
    QCOMPARE(slot.methodSignature(), QByteArray("canInfoTransferData(QString,UINT32)"));
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Public);
    QCOMPARE(slot.parameterNames(), (QList<QByteArray>{"canInfoName", "value"}));
    QCOMPARE(slot.typeName(), "void");
    QCOMPARE(mo.indexOfSlot("canInfoTransferData(QString,UINT32)"), mo.methodOffset());
}

// The engine owns its table: destroying the engine releases it (checked for
// leaks by the sanitizer build) and a moved-in table is not freed twice.
void tst_Model::tableReleasedWithEngine()
{
    auto *engine = new CDBC;
    engine->msgTable = new CanMsgInfo[3]();
    engine->msgCnt = 3;
    delete engine;
    QVERIFY(true);
}

QTEST_GUILESS_MAIN(tst_Model)
#include "tst_model.moc"
