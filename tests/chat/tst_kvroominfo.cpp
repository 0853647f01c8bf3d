#include "chattestutil.h"
#include "kvroominfo.h"

#include <QLibrary>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QStringList>
#include <QTranslator>
#include <QtTest>

#include <cmath>
#include <limits>

class TestRoomInfo : public QObject
{
    Q_OBJECT

private slots:
    void exportedUnderDecoratedName();
    void interfaceCastsBack();
    void metaObjectContract();
    void startValues();
    void plainWritesEmitNothing();
    void scaleRefusesNonsense();
    void curMessageEmitsEveryTime();
    void historyAndReset();
    void sendMessageShowsThenTellsHost();
    void translationsShipped_data();
    void translationsShipped();
};

void TestRoomInfo::exportedUnderDecoratedName()
{
    // The host binds to the C++ signature, not to an undecorated symbol.
    QLibrary lib(QStringLiteral(KV_KVIMUI_LIBRARY));
    QVERIFY2(lib.load(), qPrintable(lib.errorString()));
    using Factory = IRoomInfo *(*)();
    auto factory = reinterpret_cast<Factory>(lib.resolve("_Z14createRoomInfov"));
    QVERIFY(factory);
    QVERIFY(!lib.resolve("createRoomInfo"));
    IRoomInfo *info = factory();
    QVERIFY(info);
    QObject *obj = info->roomObject();
    QCOMPARE(obj->metaObject()->className(), "KvRoomInfo");
    QCOMPARE(obj->parent(), nullptr);
    delete obj;
}

void TestRoomInfo::interfaceCastsBack()
{
    IRoomInfo *info = createRoomInfo();
    QObject *obj = info->roomObject();
    QCOMPARE(static_cast<IRoomInfo *>(obj->qt_metacast("IRoomInfo")), info);
    QCOMPARE(obj->qt_metacast("KvRoomInfo"), static_cast<void *>(obj));
    QCOMPARE(obj->qt_metacast("Nothing"), nullptr);
    delete obj;
}

void TestRoomInfo::metaObjectContract()
{
    const QMetaObject *mo = &KvRoomInfo::staticMetaObject;
    QCOMPARE(mo->superClass(), &QObject::staticMetaObject);

    struct Prop
    {
        const char *name, *type, *notify;
    };
    const Prop props[] = {{"UserId", "QString", "UserIdChanged(QString)"},
                          {"CurMessage", "QJsonObject", "CurMessageChanged(QJsonObject)"},
                          {"UserName", "QString", "UserNameChanged(QString)"},
                          {"scale", "double", "scaleChanged(int)"}};
    QCOMPARE(mo->propertyCount() - mo->propertyOffset(), 4);
    for (int i = 0; i < 4; ++i) {
        const QMetaProperty p = mo->property(mo->propertyOffset() + i);
        QCOMPARE(p.name(), props[i].name);
        QCOMPARE(p.typeName(), props[i].type);
        QVERIFY(p.isReadable() && p.isWritable() && p.hasNotifySignal());
        QVERIFY(p.isDesignable() && p.isScriptable() && p.isStored());
        QCOMPARE(p.notifySignal().methodSignature(), QByteArray(props[i].notify));
    }

    const QStringList expected = {"UserIdChanged(QString)",   "CurMessageChanged(QJsonObject)",
                                  "UserNameChanged(QString)", "scaleChanged(int)",
                                  "sigClearHistory()",        "sigLoadHistory(QJsonArray)",
                                  "sigShutupClick(bool)",     "sigRestore()",
                                  "sigSendMsg(QJsonObject)"};
    QStringList methods;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        QCOMPARE(m.methodType(), QMetaMethod::Signal);
        methods << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(methods, expected);
    QCOMPARE(mo->method(mo->indexOfSignal("sigShutupClick(bool)")).parameterNames().value(0),
             QByteArray("isCanSendMsg"));
}

void TestRoomInfo::startValues()
{
    IRoomInfo *info = createRoomInfo();
    QObject *obj = info->roomObject();
    QCOMPARE(obj->property("UserId").toString(), QString());
    QCOMPARE(obj->property("UserName").toString(), QString());
    QVERIFY(obj->property("CurMessage").toJsonObject().isEmpty());
    QCOMPARE(obj->property("scale").toDouble(), 1.0);
    delete obj;
}

void TestRoomInfo::plainWritesEmitNothing()
{
    RoomPtr room = makeRoom(QString());
    QSignalSpy id(room.get(), &KvRoomInfo::UserIdChanged);
    QSignalSpy name(room.get(), &KvRoomInfo::UserNameChanged);
    QSignalSpy scale(room.get(), &KvRoomInfo::scaleChanged);
    QSignalSpy cur(room.get(), &KvRoomInfo::CurMessageChanged);

    QVERIFY(room->setProperty("UserId", QStringLiteral("1001")));
    QVERIFY(room->setProperty("UserName", QStringLiteral("Alice")));
    QVERIFY(room->setProperty("scale", 1.25));
    room->setUserId(QStringLiteral("1002"));
    QCOMPARE(room->userId(), QStringLiteral("1002"));
    QCOMPARE(room->userName(), QStringLiteral("Alice"));
    QCOMPARE(room->scale(), 1.25);
    QCOMPARE(id.count() + name.count() + scale.count() + cur.count(), 0);
}

void TestRoomInfo::scaleRefusesNonsense()
{
    RoomPtr room = makeRoom(QString(), 1.5);
    for (double bad :
         {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        room->setScale(bad);
        QCOMPARE(room->scale(), 1.5);
    }
    room->setScale(0.5);
    QCOMPARE(room->scale(), 0.5);
}

void TestRoomInfo::curMessageEmitsEveryTime()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QSignalSpy cur(room.get(), &KvRoomInfo::CurMessageChanged);
    const QJsonObject msg = record(QStringLiteral("7"), QStringLiteral("hi"));
    room->setCurMessage(msg);
    room->setCurMessage(msg);
    QVERIFY(room->setProperty("CurMessage", msg));
    QCOMPARE(cur.count(), 3);
    QCOMPARE(cur.at(2).at(0).toJsonObject(), msg);
    QCOMPARE(room->curMessage(), msg);
}

void TestRoomInfo::historyAndReset()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    IRoomInfo *info = room.get();
    QSignalSpy load(room.get(), &KvRoomInfo::sigLoadHistory);
    const QJsonArray his{record(QStringLiteral("1"), QStringLiteral("a")), 42};
    info->loadHistory(his);
    info->loadHistory(QJsonArray());
    QCOMPARE(load.count(), 2);
    QCOMPARE(load.at(0).at(0).toJsonArray(), his);
    QVERIFY(load.at(1).at(0).toJsonArray().isEmpty());

    QStringList order;
    connect(room.get(), &KvRoomInfo::sigClearHistory, this, [&] { order << "clear"; });
    connect(room.get(), &KvRoomInfo::sigRestore, this, [&] { order << "restore"; });
    info->resetRoom();
    QCOMPARE(order, QStringList({"clear", "restore"}));
}

void TestRoomInfo::sendMessageShowsThenTellsHost()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QStringList order;
    connect(room.get(), &KvRoomInfo::CurMessageChanged, this, [&] { order << "shown"; });
    connect(room.get(), &KvRoomInfo::sigSendMsg, this,
            [&](const QJsonObject &m) { order << "host:" + m.value("data").toString(); });
    room->sendMessage(record(QStringLiteral("1001"), QStringLiteral("x")));
    QCOMPARE(order, QStringList({"shown", "host:x"}));
    QCOMPARE(room->curMessage().value("data").toString(), QStringLiteral("x"));
}

void TestRoomInfo::translationsShipped_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("mute");
    QTest::addColumn<QString>("empty");
    QTest::newRow("en") << "kvimui_en.qm"
                        << "Mute all"
                        << "Message cannot be empty";
    QTest::newRow("zh_CN") << "kvimui_zh_CN.qm" << QString::fromUtf8("全员禁言")
                           << QString::fromUtf8("发送内容不能为空");
}

void TestRoomInfo::translationsShipped()
{
    QFETCH(QString, file);
    QFETCH(QString, mute);
    QFETCH(QString, empty);
    QCOMPARE(QObject::tr("ID_SHUTUP"), QStringLiteral("ID_SHUTUP"));
    QTranslator tr;
    QVERIFY(tr.load(QStringLiteral(KV_TRANSLATIONS_DIR "/") + file));
    QCoreApplication::installTranslator(&tr);
    QCOMPARE(QObject::tr("ID_SHUTUP"), mute);
    QCOMPARE(QObject::tr("ID_NOT_ENPTY"), empty);
    for (const char *key : {"ID_CANCLE_SHUTUP", "ID_INPUT_WORD", "ID_SEND_MESSAGE"})
        QVERIFY(QObject::tr(key) != QLatin1String(key));
    QCoreApplication::removeTranslator(&tr);
}

QTEST_MAIN(TestRoomInfo)
#include "tst_kvroominfo.moc"
