#include "chatdemo.h"
#include "formattext.h"
#include "framemeter.h"
#include "hostoptions.h"

#include <QtTest>

class TstHostParts : public QObject
{
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void optionDefaults();
    void language();
    void formatReportText();
    void frameMeterFollowsCounter();
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

void TstHostParts::formatReportText()
{
    // The camera library's report: the four-character code's first character
    // in the low byte.
    const auto report = [](const char *code, int w, int h) {
        const qint64 fourcc = quint8(code[0]) | quint8(code[1]) << 8 | quint8(code[2]) << 16 |
                              qint64(quint8(code[3])) << 24;
        return QJsonObject{{"width", w}, {"height", h}, {"fps", 30.0}, {"format", fourcc}};
    };
    QCOMPARE(formatText(report("MJPG", 1280, 720)), QString("MJPG 1280x720"));
    QCOMPARE(formatText(report("YUY2", 640, 480)), QString("YUY2 640x480"));
    // 24-bit RGB has no printable code.
    QCOMPARE(formatText(report("\xe4\x36\x73\x00", 320, 240)), QString("0x007336e4 320x240"));
    QCOMPARE(formatText(QJsonObject()), QString());
}

void TstHostParts::frameMeterFollowsCounter()
{
    qint64 counter = 7; // frames of an earlier run
    FrameMeter meter;
    QSignalSpy spy(&meter, &FrameMeter::frameArrived);
    meter.watch([&counter] { return counter; });
    meter.poll();
    QCOMPARE(meter.frames(), qint64(0));
    QCOMPARE(spy.count(), 0);

    counter = 9;
    meter.poll();
    meter.poll(); // no growth, no signal
    QCOMPARE(meter.frames(), qint64(2));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.last().at(0).toLongLong(), qint64(2));

    // A new start resets the library's count: the meter starts over.
    counter = 3;
    meter.poll();
    QCOMPARE(meter.frames(), qint64(3));

    // The timer polls on the event loop once watching.
    counter = 10;
    QTRY_COMPARE(meter.frames(), qint64(10));

    meter.stop();
    counter = 50;
    meter.poll();
    QCOMPARE(meter.frames(), qint64(10));
    QVERIFY(meter.fps() >= 0.0);
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
