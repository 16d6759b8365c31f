#include "cdbc.h"

#include <QMetaMethod>
#include <QtTest>

#include <type_traits>

// Plain data of fixed-width fields, so that a whole table is one contiguous block.
static_assert(std::is_trivial<CanMsgInfo>::value && std::is_standard_layout<CanMsgInfo>::value,
              "message record must be plain data");
static_assert(sizeof(CanMsgInfo::msgName) == 40 && sizeof(CanSignalInfo::signalName) == 40 &&
                  sizeof(CanMsgInfo::msgData) == 8 &&
                  std::extent<decltype(CanMsgInfo::signalInfo)>::value == 64,
              "record arrays");
static_assert(std::is_same<decltype(CanMsgInfo::msgId), qint32>::value &&
                  std::is_same<decltype(CanMsgInfo::cycleTime), qint32>::value &&
                  std::is_same<decltype(CanMsgInfo::msgDlc), quint8>::value &&
                  std::is_same<decltype(CanMsgInfo::signalCnt), quint8>::value &&
                  std::is_same<decltype(CanSignalInfo::bitStart), quint8>::value &&
                  std::is_same<decltype(CanSignalInfo::bitLength), quint8>::value &&
                  std::is_same<decltype(CanSignalInfo::factor), float>::value &&
                  std::is_same<decltype(CanSignalInfo::rawValue), float>::value &&
                  std::is_same<UINT32, quint32>::value,
              "record field types");

class tst_Model : public QObject
{
    Q_OBJECT

private slots:
    void engineLifecycle();
    void metaObject();
};

// A new engine has no table; destroying an engine releases its table (the
// sanitizer build reports a leak or a double release).
void tst_Model::engineLifecycle()
{
    CDBC engine;
    QCOMPARE(engine.msgCnt, 0);
    QVERIFY(engine.msgTable == nullptr);
    QVERIFY(engine.parent() == nullptr);
    QCOMPARE(engine.lastReadError(), CDBC::ReadError::None);

    auto *owner = new CDBC;
    owner->msgTable = new CanMsgInfo[3]();
    owner->msgCnt = 3;
    delete owner;
}

// The engine's one meta-object method is the public value-packing slot.
void tst_Model::metaObject()
{
    const QMetaObject &mo = CDBC::staticMetaObject;
    QCOMPARE(mo.className(), "CDBC");
    QVERIFY(mo.superClass() == &QObject::staticMetaObject);
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 1);
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);
    QCOMPARE(mo.enumeratorCount() - mo.enumeratorOffset(), 0);

    const QMetaMethod slot = mo.method(mo.methodOffset());
    QCOMPARE(slot.methodSignature(), QByteArray("canInfoTransferData(QString,UINT32)"));
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Public);
    QCOMPARE(slot.parameterNames(), (QList<QByteArray>{"canInfoName", "value"}));
    QCOMPARE(slot.typeName(), "void");

    CDBC engine;
    QVERIFY(engine.qt_metacast("CDBC") == &engine);
    QVERIFY(engine.qt_metacast("QObject") != nullptr);
    QVERIFY(engine.qt_metacast("MainWindow") == nullptr);
}

QTEST_GUILESS_MAIN(tst_Model)
#include "tst_model.moc"
