#include "chatdemo.h"
#include "formatwatcher.h"
#include "framemeter.h"
#include "hostoptions.h"

#include <QtTest>

// Stands in for a display widget: the camera library calls this slot queued.
class FakeDisplay : public QObject
{
    Q_OBJECT
public slots:
    void slotReceiveVideoFrame(int width, int height) { last = width * height; }

public:
    int last = 0;
};

class TstHostParts : public QObject
{
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void optionDefaults();
    void language();
    void formatLine();
    void frameMeterCountsQueuedCalls();
    void replies();
};

void TstHostParts::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("scale") << QStringList{"--scale", "1.5"} << true << "";
    QTest::newRow("scale=") << QStringList{"--scale=2"} << true << "";
    QTest::newRow("scale text") << QStringList{"--scale", "abc"} << false << "--scale";
    QTest::newRow("scale zero") << QStringList{"--scale", "0"} << false << "--scale";
    QTest::newRow("scale missing") << QStringList{"--scale"} << false << "needs a value";
    QTest::newRow("lang") << QStringList{"--lang", "zh_CN"} << true << "";
    QTest::newRow("lang bad") << QStringList{"--lang", "fr"} << false << "--lang";
    QTest::newRow("frames 0") << QStringList{"--screenshot", "a.png", "--frames", "0"} << false
                              << "--frames";
    QTest::newRow("frames text") << QStringList{"--screenshot", "a.png", "--frames", "x"} << false
                                 << "--frames";
    QTest::newRow("frames alone") << QStringList{"--frames", "5"} << false << "--screenshot";
    QTest::newRow("screenshot") << QStringList{"--screenshot", "a.png", "--frames", "5"} << true
                                << "";
    QTest::newRow("unknown") << QStringList{"--bogus"} << false << "unknown option";
    QTest::newRow("positional") << QStringList{"camera"} << false << "unknown option";
}

void TstHostParts::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, errorPart);
    HostOptions o;
    QString error;
    args.prepend("kvhost");
    QCOMPARE(parseHostOptions(args, o, error), ok);
    if (!ok)
        QVERIFY2(error.contains(errorPart), qPrintable(error));
}

void TstHostParts::optionDefaults()
{
    HostOptions o;
    QString error;
    QVERIFY(parseHostOptions({"kvhost", "--scale", "1.25", "--screenshot", "s.png", "--frames",
                              "12", "--no-virtual", "--render-widget"},
                             o, error));
    QVERIFY(o.scaleGiven);
    QCOMPARE(o.scale, 1.25);
    QCOMPARE(o.screenshotFile, QString("s.png"));
    QCOMPARE(o.frames, 12);
    QVERIFY(o.noVirtual);
    QVERIFY(o.renderWidget);
    QCOMPARE(o.timeoutSeconds, 20);

    HostOptions help;
    QVERIFY(parseHostOptions({"kvhost", "--help"}, help, error));
    QVERIFY(help.showHelp);
    for (const char *opt : {"--scale", "--lang", "--no-virtual", "--render-widget", "--screenshot",
                            "--frames", "--timeout", "--help"})
        QVERIFY2(hostUsage().contains(opt), opt);
}

void TstHostParts::language()
{
    QCOMPARE(defaultLanguage("zh_CN"), QString("zh_CN"));
    QCOMPARE(defaultLanguage("zh_TW"), QString("zh_CN"));
    QCOMPARE(defaultLanguage("de_DE"), QString("en"));
    QCOMPARE(defaultLanguage("C"), QString("en"));
}

void TstHostParts::formatLine()
{
    QString f;
    QVERIFY(FormatWatcher::parseFormatLine("video_format changed detail:  \"MJPG\" 1280 720", f));
    QCOMPARE(f, QString("MJPG 1280x720"));
    QVERIFY(FormatWatcher::parseFormatLine("video_format changed detail:  YUY2 640 480", f));
    QCOMPARE(f, QString("YUY2 640x480"));
    QVERIFY(!FormatWatcher::parseFormatLine("select_cam_format mjpeg?  true", f));
}

void TstHostParts::frameMeterCountsQueuedCalls()
{
    FakeDisplay target;
    FrameMeter meter;
    meter.watch(&target);
    QSignalSpy spy(&meter, &FrameMeter::frameArrived);
    for (int i = 0; i < 3; ++i)
        QMetaObject::invokeMethod(&target, "slotReceiveVideoFrame", Qt::QueuedConnection,
                                  Q_ARG(int, 4), Q_ARG(int, 2));
    // Direct calls are not deliveries from another thread.
    target.slotReceiveVideoFrame(1, 1);
    QTRY_COMPARE(meter.frames(), 3);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(target.last, 8);
}

void TstHostParts::replies()
{
    QCOMPARE(ChatDemo::replyTo("hello there"), QString("Hello! Nice to meet you."));
    QCOMPARE(ChatDemo::replyTo("ok"), QString("You said: ok"));
    QVERIFY(ChatDemo::replyTo("why?").startsWith("Good question"));
    const QJsonObject r = ChatDemo::record("1", "n", "t", "2020-01-01 00:00:00");
    QCOMPARE(r.keys(), (QStringList{"data", "dateTime", "userId", "userName"}));
}

QTEST_GUILESS_MAIN(TstHostParts)
#include "tst_hostparts.moc"
