#include "chattestutil.h"
#include "emptytooltip.h"
#include "kvspeakui.h"
#include "speakedit.h"

#include <QDateTime>
#include <QLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

QString editSheet(const QString &font, const QString &border)
{
    return QStringLiteral("QTextEdit#kvspeakui-edit{background:transparent;font-size:%1px;"
                          "border-top-width:%2px;border-top-style:solid;border-top-color:#E5E5E5;}")
        .arg(font, border);
}

QString tipSheet(const QString &border, const QString &radius)
{
    return QStringLiteral("QLabel#enptyToolTip{text-align:center;background-color:#fdfdfd;"
                          "color:black;border:%1px solit #2828FF;border-radius:%2px;}")
        .arg(border, radius);
}

// qDebug() writes the sheets quoted.
void expectSheetLogs(const QString &edit, const QString &tip)
{
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QLatin1Char('"') + edit + QLatin1Char('"')));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QLatin1Char('"') + tip + QLatin1Char('"')));
}

struct Input
{
    RoomPtr room;
    std::unique_ptr<KvSpeakUi> ui;
    speakEdit *edit = nullptr;
    QPushButton *send = nullptr;
    EmptyToolTip *tip = nullptr;

    explicit Input(double scale = 1.0) : room(makeRoom(QStringLiteral("1001"), scale))
    {
        ui.reset(new KvSpeakUi(room.get(), nullptr));
        edit = ui->findChild<speakEdit *>(QStringLiteral("kvspeakui-edit"));
        send = ui->findChild<QPushButton *>(QStringLiteral("kvspeakui-sendbtn"));
        tip = static_cast<EmptyToolTip *>(ui->findChild<QLabel *>(QStringLiteral("enptyToolTip")));
        ui->show();
    }
};

} // namespace

Q_DECLARE_METATYPE(QMargins)

class TestSpeakUi : public QObject
{
    Q_OBJECT

private slots:
    void returnAndEnterSend_data();
    void returnAndEnterSend();
    void emptySendShowsTip_data();
    void emptySendShowsTip();
    void tipHidesAfterFirstTimer();
    void sizesAndStyles_data();
    void sizesAndStyles();
};

void TestSpeakUi::returnAndEnterSend_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("Enter") << int(Qt::Key_Enter) << int(Qt::NoModifier);
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
    QTest::newRow("Control+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void TestSpeakUi::returnAndEnterSend()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Input in;
    QSignalSpy sent(in.room.get(), &KvRoomInfo::sigSendMsg);

    QTest::keyClicks(in.edit, QStringLiteral("  "));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QTest::keyClick(in.edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    QCOMPARE(sent.count(), 1);
    const QJsonObject msg = sent.at(0).at(0).toJsonObject();
    QCOMPARE(msg.value("data").toString(), QStringLiteral("  ")); // spaces are sent unchanged
    QCOMPARE(msg.value("userId").toString(), QStringLiteral("1001"));
    QCOMPARE(msg.value("userName").toString(), QStringLiteral("name-1001"));
    const QDateTime when = QDateTime::fromString(msg.value("dateTime").toString(),
                                                 QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QVERIFY(when.isValid());
    QVERIFY(when >= before && when <= after);
    QCOMPARE(msg.size(), 4);
    QCOMPARE(in.edit->toPlainText(), QString()); // cleared, no line break inserted
    QVERIFY(!in.tip->isVisible());

    // A second line typed with a break pasted in keeps it.
    in.edit->setPlainText(QStringLiteral("a\nb"));
    QTest::keyClick(in.edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(sent.count(), 2);
    QCOMPARE(sent.at(1).at(0).toJsonObject().value("data").toString(), QStringLiteral("a\nb"));
}

void TestSpeakUi::emptySendShowsTip_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::addColumn<double>("scale");
    QTest::newRow("Return, 1") << false << 1.0;
    QTest::newRow("button, 1") << true << 1.0;
    QTest::newRow("Return, 1.25") << false << 1.25;
    QTest::newRow("button, 1.5") << true << 1.5;
}

void TestSpeakUi::emptySendShowsTip()
{
    QFETCH(bool, byButton);
    QFETCH(double, scale);
    Input in(scale);
    QVERIFY(QTest::qWaitForWindowExposed(in.ui.get()));
    QSignalSpy sent(in.room.get(), &KvRoomInfo::sigSendMsg);
    QSignalSpy empty(in.edit, &speakEdit::sigEmpty);
    QVERIFY(!in.tip->isVisible());

    if (byButton)
        QTest::mouseClick(in.send, Qt::LeftButton);
    else
        QTest::keyClick(in.edit, Qt::Key_Return);

    QCOMPARE(sent.count(), 0);
    QCOMPARE(empty.count(), byButton ? 0 : 1);
    QVERIFY(in.tip->isVisible());
    const QRect b = in.send->geometry();
    QCOMPARE(in.tip->geometry().right(), b.left() + b.width() - 1 - 1);
    QCOMPARE(in.tip->x(), b.left() + b.width() - 1 - in.tip->width());
    QCOMPARE(in.tip->y(), int(b.top() - in.tip->height() - 2 * scale));
    QCOMPARE(in.tip->height(), 15);
    QVERIFY(in.tip->y() >= 0 && in.tip->y() + in.tip->height() < b.top());

    QTRY_VERIFY_WITH_TIMEOUT(!in.tip->isVisible(), 10000);
}

void TestSpeakUi::tipHidesAfterFirstTimer()
{
    Input in;
    QTest::keyClick(in.edit, Qt::Key_Return);
    QVERIFY(in.tip->isVisible());
    QTest::qWait(600);
    QVERIFY(in.tip->isVisible());

    // The second empty send does not extend the first flash: the tip hides on
    // the first timer, before one started now with the same delay fires.
    QTest::keyClick(in.edit, Qt::Key_Enter);
    QVERIFY(in.tip->isVisible());
    bool hiddenBeforeMarker = false;
    bool marker = false;
    QTimer::singleShot(1000, this, [&] {
        hiddenBeforeMarker = !in.tip->isVisible();
        marker = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(marker, 10000);
    QVERIFY(hiddenBeforeMarker);
    QTest::qWait(700); // the second timer finds it hidden
    QVERIFY(!in.tip->isVisible());
}

void TestSpeakUi::sizesAndStyles_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("inputSize");
    QTest::addColumn<QSize>("editSize");
    QTest::addColumn<QSize>("btnSize");
    QTest::addColumn<QMargins>("row");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("btn");
    QTest::addColumn<QString>("tip");
    QTest::newRow("1") << 1.0 << QSize(320, 114) << QSize(323, 78) << QSize(55, 26)
                       << QMargins(253, 0, 15, 10) << editSheet("12", "1") << "2|12"
                       << tipSheet("2", "4");
    QTest::newRow("1.25") << 1.25 << QSize(400, 142) << QSize(403, 97) << QSize(68, 32)
                          << QMargins(316, 0, 18, 12) << editSheet("15", "1.25") << "2.5|15"
                          << tipSheet("2.5", "5");
    QTest::newRow("1.5") << 1.5 << QSize(480, 171) << QSize(484, 117) << QSize(82, 39)
                         << QMargins(379, 0, 22, 15) << editSheet("18", "1.5") << "3|18"
                         << tipSheet("3", "6");
}

void TestSpeakUi::sizesAndStyles()
{
    QFETCH(double, scale);
    QFETCH(QSize, inputSize);
    QFETCH(QSize, editSize);
    QFETCH(QSize, btnSize);
    QFETCH(QMargins, row);
    QFETCH(QString, edit);
    QFETCH(QString, btn);
    QFETCH(QString, tip);

    expectSheetLogs(edit, tip);
    Input in(scale);
    QCOMPARE(in.ui->objectName(), QStringLiteral("kvspeakui"));
    QCOMPARE(in.ui->size(), inputSize);
    QCOMPARE(in.edit->size(), editSize);
    QCOMPARE(in.send->size(), btnSize);
    QCOMPARE(in.ui->layout()->contentsMargins(), QMargins());
    QCOMPARE(in.ui->layout()->spacing(), 0);
    QCOMPARE(in.ui->layout()->itemAt(1)->layout()->contentsMargins(), row);
    QCOMPARE(in.edit->placeholderText(), QStringLiteral("ID_INPUT_WORD"));
    QCOMPARE(in.edit->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(in.send->text(), QStringLiteral("ID_SEND_MESSAGE"));
    QCOMPARE(in.ui->styleSheet(), QStringLiteral("QWidget#kvspeakui{background:transparent;}"));
    QCOMPARE(in.edit->styleSheet(), edit);
    const QStringList b = btn.split('|');
    QCOMPARE(in.send->styleSheet(),
             QStringLiteral("QPushButton#kvspeakui-sendbtn{background-color:#3C96FF;border:none;"
                            "border-radius:%1px;color:#ffffff;font-size:%2px;}")
                 .arg(b[0], b[1]));
    const QString bar = in.edit->verticalScrollBar()->styleSheet();
    QVERIFY(bar.startsWith(QStringLiteral("QScrollBar:vertical{width:%1px;").arg(int(10 * scale))));
    QVERIFY(bar.contains(QStringLiteral("padding-right:%1px;}").arg(2 * scale)));

    // The tip: same font and height at every scale, frame grows.
    QCOMPARE(in.tip->styleSheet(), tip);
    QCOMPARE(in.tip->text(), QStringLiteral("ID_NOT_ENPTY"));
    QCOMPARE(in.tip->font().pixelSize(), 13);
    QCOMPARE(in.tip->font().family(), QStringLiteral("黑体"));
    QCOMPARE(in.tip->height(), 15);
    QCOMPARE(in.tip->parentWidget(), in.ui.get());
    QVERIFY(in.tip->width() > 0);
    QVERIFY(!in.tip->isVisible());

    // The edit and the send button are laid out as built.
    QVERIFY(QTest::qWaitForWindowExposed(in.ui.get()));
    QCOMPARE(in.edit->pos(), QPoint(0, 0));
    QCOMPARE(in.send->x(), row.left());
    QCOMPARE(in.send->y(), editSize.height() + row.top());
}

QTEST_MAIN(TestSpeakUi)
#include "tst_kvspeakui.moc"
