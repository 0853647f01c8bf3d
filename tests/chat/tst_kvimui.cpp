#include "chattestutil.h"
#include "emptytooltip.h"
#include "kvimui.h"
#include "kvroomui.h"
#include "kvspeakui.h"
#include "speakedit.h"

#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMetaMethod>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

QPushButton *muteButton(QWidget *panel)
{
    return panel->findChild<QPushButton *>(QStringLiteral("shurupBtn"));
}

} // namespace

Q_DECLARE_METATYPE(const QMetaObject *)

class TestPanel : public QObject
{
    Q_OBJECT

private slots:
    void metaObjectOrder_data();
    void metaObjectOrder();
    void builtAsPanel_data();
    void builtAsPanel();
    void backgroundShowsThrough();
    void muteChainAndReset();
    void twoPanelsOneRoom();
    void ownSendShownBeforeHostHears();
    void hostMayDeletePanelWhileHearing();
};

void TestPanel::metaObjectOrder_data()
{
    QTest::addColumn<const QMetaObject *>("meta");
    QTest::addColumn<const QMetaObject *>("base");
    QTest::addColumn<QStringList>("methods");
    QTest::newRow("KVIMUI") << &KVIMUI::staticMetaObject << &QWidget::staticMetaObject
                            << QStringList{"signal sigShutupRestore()", "signal sigShutup(bool)"};
    QTest::newRow("KvRoomUi") << &KvRoomUi::staticMetaObject << &QTextBrowser::staticMetaObject
                              << QStringList{"signal signalShutupBtnClick(bool)",
                                             "slot slotShowMessage(QJsonObject)",
                                             "slot slotLoadHistory(QJsonArray)",
                                             "slot slotClearHistory()",
                                             "slot slotOnbtnClick(bool)",
                                             "slot slotRestore()"};
    QTest::newRow("KvSpeakUi") << &KvSpeakUi::staticMetaObject << &QWidget::staticMetaObject
                               << QStringList{"private slot slotSendMessage()",
                                              "private slot slotEmptyMsg()"};
    QTest::newRow("speakEdit") << &speakEdit::staticMetaObject << &QTextEdit::staticMetaObject
                               << QStringList{"signal sigEmpty()", "signal sigSend()"};
}

void TestPanel::metaObjectOrder()
{
    QFETCH(const QMetaObject *, meta);
    QFETCH(const QMetaObject *, base);
    QFETCH(QStringList, methods);
    QCOMPARE(meta->superClass(), base);
    QCOMPARE(meta->propertyCount(), base->propertyCount());
    QStringList got;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        QString kind = m.methodType() == QMetaMethod::Signal ? "signal"
                       : m.methodType() == QMetaMethod::Slot ? "slot"
                                                             : "other";
        if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Private)
            kind.prepend("private ");
        got << kind + " " + QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(got, methods);

    // The tip has no meta-object of its own.
    RoomPtr room = makeRoom(QString());
    EmptyToolTip tip(room.get(), nullptr);
    QCOMPARE(tip.metaObject(), &QLabel::staticMetaObject);
}

void TestPanel::builtAsPanel_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1") << 1.0 << QSize(320, 527);
    QTest::newRow("1.25") << 1.25 << QSize(400, 658);
    QTest::newRow("1.5") << 1.5 << QSize(480, 790);
}

void TestPanel::builtAsPanel()
{
    QFETCH(double, scale);
    QFETCH(QSize, size);
    RoomPtr room = makeRoom(QStringLiteral("1001"), scale);
    QWidget host;
    QWidget *panel = room->createRoomWidget(&host);
    QCOMPARE(panel->parentWidget(), &host);
    QCOMPARE(panel->metaObject()->className(), "KVIMUI");
    QCOMPARE(panel->objectName(), QStringLiteral("kvimui"));
    QCOMPARE(panel->size(), size);
    QCOMPARE(panel->minimumSize(), panel->maximumSize());
    QVERIFY(panel->autoFillBackground());
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(panel->palette().color(group, QPalette::Window),
                 QColor(QStringLiteral("#FDFDFD")));

    auto *view = panel->findChild<KvRoomUi *>(QStringLiteral("kvroomui"));
    auto *input = panel->findChild<KvSpeakUi *>(QStringLiteral("kvspeakui"));
    QVERIFY(view && input);
    QCOMPARE(panel->layout()->contentsMargins(), QMargins());
    QCOMPARE(panel->layout()->spacing(), 0);
    QCOMPARE(panel->layout()->indexOf(view), 0);
    QCOMPARE(panel->layout()->indexOf(input), 1);

    // Built sizes stay when the room's scale changes later.
    room->setScale(2.0);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(panel->size(), size);
    QCOMPARE(view->y(), 0);
    QVERIFY(input->y() >= view->height());
}

void TestPanel::backgroundShowsThrough()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QWidget *panel = room->createRoomWidget(nullptr);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    const QImage img = panel->grab().toImage();
    // Empty areas of the view and of the input edit.
    QCOMPARE(QColor(img.pixel(40, 40)), QColor(QStringLiteral("#FDFDFD")));
    QCOMPARE(QColor(img.pixel(100, 412 + 40)), QColor(QStringLiteral("#FDFDFD")));
    delete panel;
}

void TestPanel::muteChainAndReset()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QWidget *panel = room->createRoomWidget(nullptr);
    QSignalSpy host(room.get(), &KvRoomInfo::sigShutupClick);
    QPushButton *btn = muteButton(panel);

    QTest::mouseClick(btn, Qt::LeftButton);
    QCOMPARE(host.count(), 1);
    QCOMPARE(host.at(0).at(0).toBool(), false);
    QCOMPARE(btn->text(), QStringLiteral("ID_CANCLE_SHUTUP"));

    room->setCurMessage(record("2", "x"));
    QStringList order;
    connect(room.get(), &KvRoomInfo::sigRestore, this, [&] {
        order << (panel->findChild<KvRoomUi *>()->document()->isEmpty() ? "cleared" : "full");
    });
    room->resetRoom();
    QCOMPARE(order, QStringList{"cleared"});
    QCOMPARE(btn->text(), QStringLiteral("ID_SHUTUP"));
    QCOMPARE(host.count(), 1); // restoring reports nothing

    QTest::mouseClick(btn, Qt::LeftButton);
    QTest::mouseClick(btn, Qt::LeftButton);
    QCOMPARE(host.count(), 3);
    QCOMPARE(host.at(1).at(0).toBool(), false);
    QCOMPARE(host.at(2).at(0).toBool(), true);
    delete panel;
}

void TestPanel::twoPanelsOneRoom()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QWidget *a = room->createRoomWidget(nullptr);
    QWidget *b = room->createRoomWidget(nullptr);
    QSignalSpy host(room.get(), &KvRoomInfo::sigShutupClick);

    room->setCurMessage(record("2", "one"));
    room->loadHistory(QJsonArray{record("3", "two")});
    for (QWidget *p : {a, b}) {
        const QVector<Paragraph> ps = paragraphs(p->findChild<KvRoomUi *>()->document());
        QCOMPARE(ps.size(), 4);
        QCOMPARE(ps[1].text, QStringLiteral("one"));
        QCOMPARE(ps[3].text, QStringLiteral("two"));
    }

    QTest::mouseClick(muteButton(a), Qt::LeftButton);
    QCOMPARE(muteButton(b)->text(), QStringLiteral("ID_SHUTUP")); // each has its own state
    QTest::mouseClick(muteButton(b), Qt::LeftButton);
    QCOMPARE(host.count(), 2);
    QCOMPARE(host.at(0).at(0).toBool(), false);
    QCOMPARE(host.at(1).at(0).toBool(), false);

    // A message sent from one panel shows in both.
    auto *edit = a->findChild<speakEdit *>();
    edit->setPlainText(QStringLiteral("from a"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(b->findChild<KvRoomUi *>()->document()->lastBlock().text(), QStringLiteral("from a"));

    room->resetRoom();
    QCOMPARE(muteButton(a)->text(), QStringLiteral("ID_SHUTUP"));
    QCOMPARE(muteButton(b)->text(), QStringLiteral("ID_SHUTUP"));
    delete a;
    // The room keeps working for the remaining panel.
    room->setCurMessage(record("2", "after"));
    QCOMPARE(b->findChild<KvRoomUi *>()->document()->lastBlock().text(), QStringLiteral("after"));
    delete b;
}

void TestPanel::ownSendShownBeforeHostHears()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QWidget *panel = room->createRoomWidget(nullptr);
    auto *view = panel->findChild<KvRoomUi *>();
    QString shownWhenHeard;
    QColor colorWhenHeard;
    connect(room.get(), &KvRoomInfo::sigSendMsg, this, [&] {
        const QVector<Paragraph> p = paragraphs(view->document());
        shownWhenHeard = p.size() == 2 ? p[1].text : QString();
        colorWhenHeard = p.value(0).color;
    });
    auto *edit = panel->findChild<speakEdit *>();
    QTest::keyClicks(edit, QStringLiteral("<b>hello</b>"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(shownWhenHeard, QStringLiteral("<b>hello</b>"));
    QCOMPARE(edit->toPlainText(), QString());
    QCOMPARE(colorWhenHeard, QColor(QStringLiteral("#2828FF")));
    delete panel;
}

void TestPanel::hostMayDeletePanelWhileHearing()
{
    RoomPtr room = makeRoom(QStringLiteral("1001"));
    QPointer<QWidget> panel = room->createRoomWidget(nullptr);
    connect(room.get(), &KvRoomInfo::sigSendMsg, this, [&] { delete panel.data(); });
    auto *edit = panel->findChild<speakEdit *>();
    edit->setPlainText(QStringLiteral("bye"));
    panel->findChild<QPushButton *>(QStringLiteral("kvspeakui-sendbtn"))->click();
    QVERIFY(panel.isNull());
    room->setCurMessage(record("2", "nobody listens"));
}

QTEST_MAIN(TestPanel)
#include "tst_kvimui.moc"
