#include <QtTest>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const char *const kNames[] = {"NVIDIA H264/AVC Codec", "INTEL H264/AVC Codec",
                              "NVIDIA H265/HEVC Codec", "INTEL H265/HEVC Codec"};

struct Run
{
    QByteArray out;
    int status = -1; // the exit status as the parent sees it: low 8 bits
    QStringList log; // the stand-in's record of calls
};

// The parameter block the probe must hand over: ten little-endian int32 and
// 1024 zero bytes.
QString expectedParamsHex()
{
    const qint32 fields[10] = {720, 1280, 15, 25, 2, 2, 1500, 1500, 1500, 1};
    QByteArray block(1064, '\0');
    for (int i = 0; i < 10; ++i)
        qToLittleEndian(fields[i], block.data() + 4 * i);
    return QString::fromLatin1(block.toHex());
}

QString summary(int mask)
{
    static const int bits[] = {0x1, 0x4, 0x2, 0x8};
    QString s = QString::asprintf("ret = 0x%08X\n\n", unsigned(mask));
    for (int i = 0; i < 4; ++i)
        s += QString(kNames[i]) + ((mask & bits[i]) ? " support\n" : " not support\n");
    return s;
}

} // namespace

class TestEncProbe : public QObject
{
    Q_OBJECT

private:
    Run runProbe(const QStringList &args, const QString &script, bool useDouble = true);
    QTemporaryDir m_dir;

private slots:
    void probesAllEncoders_data();
    void probesAllEncoders();
    void probesOneEncoder_data();
    void probesOneEncoder();
    void ignoresIdsOutsideTheTable_data();
    void ignoresIdsOutsideTheTable();
    void rejectsOtherArguments_data();
    void rejectsOtherArguments();
    void handsOverTheBlockAndEndsEachEncoderFirst();
    void realLibraryReportsNoHardware();
};

Run TestEncProbe::runProbe(const QStringList &args, const QString &script, bool useDouble)
{
    Run run;
    const QString logPath = m_dir.filePath("calls.log");
    QFile::remove(logPath);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_LIBRARY_PATH");
    if (useDouble) {
        env.insert("LD_LIBRARY_PATH", VENC_DOUBLE_DIR);
        env.insert("VENC_DOUBLE_SCRIPT", script);
        env.insert("VENC_DOUBLE_LOG", logPath);
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(ENCPROBE_PATH, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    const QByteArray err = p.readAllStandardError();
    if (!err.isEmpty())
        qInfo().noquote() << "encprobe stderr:" << err;
    if (p.exitStatus() != QProcess::NormalExit)
        return run;
    run.out = p.readAllStandardOutput();
    run.status = p.exitCode();
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly))
        run.log = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    return run;
}

void TestEncProbe::probesAllEncoders_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<int>("mask");

    const QString allSupported = QString(" -- [%1] support.\n -- [%2] support.\n"
                                         " -- [%3] support.\n -- [%4] support.\n")
                                     .arg(kNames[0], kNames[1], kNames[2], kNames[3]);
    QTest::newRow("all supported, no argument")
        << QStringList() << "1=ok;2=ok;3=ok;4=ok" << allSupported << 0xF;
    QTest::newRow("all supported, -all")
        << QStringList{"-all"} << "1=ok;2=ok;3=ok;4=ok" << allSupported << 0xF;
    QTest::newRow("both H.264 only")
        << QStringList() << "1=ok;2=ok;3=refuse:no CUDA device;4=fail:-3"
        << QString(" -- [%1] support.\n -- [%2] support.\n"
                   " -- [%3] not support parameters. err msg: no CUDA device\n"
                   " -- [%4] not support. ret = -3\n")
               .arg(kNames[0], kNames[1], kNames[2], kNames[3])
        << 0x5;
    QTest::newRow("failures do not stop the run")
        << QStringList{"-all"} << "1=null;2=fail:7;3=ok;4=refuse:"
        << QString(" -- [%1] not support. ret = 0\n -- [%2] not support. ret = 7\n"
                   " -- [%3] support.\n -- [%4] not support parameters. err msg: \n")
               .arg(kNames[0], kNames[1], kNames[2], kNames[3])
        << 0x2;
    QTest::newRow("only Intel H.265")
        << QStringList() << "4=ok"
        << QString(" -- [%1] not support. ret = -2\n -- [%2] not support. ret = -2\n"
                   " -- [%3] not support. ret = -2\n -- [%4] support.\n")
               .arg(kNames[0], kNames[1], kNames[2], kNames[3])
        << 0x8;
}

void TestEncProbe::probesAllEncoders()
{
    QFETCH(QStringList, args);
    QFETCH(QString, script);
    QFETCH(QString, lines);
    QFETCH(int, mask);
    const Run run = runProbe(args, script);
    QCOMPARE(QString::fromUtf8(run.out), lines + summary(mask));
    QCOMPARE(run.status, mask);
    if (mask == 0x5) {
        QVERIFY(
            run.out.endsWith("ret = 0x00000005\n\nNVIDIA H264/AVC Codec support\n"
                             "INTEL H264/AVC Codec support\nNVIDIA H265/HEVC Codec not support\n"
                             "INTEL H265/HEVC Codec not support\n"));
    }
}

void TestEncProbe::probesOneEncoder_data()
{
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("probedId");

    const QString all = "1=ok;2=ok;3=ok;4=ok";
    QTest::newRow("2 supported") << "2" << all << QString(" -- [%1] support.\n").arg(kNames[1]) << 0
                                 << 2;
    QTest::newRow("leading zeros")
        << "04" << all << QString(" -- [%1] support.\n").arg(kNames[3]) << 0 << 4;
    QTest::newRow("digits then text")
        << "3x" << all << QString(" -- [%1] support.\n").arg(kNames[2]) << 0 << 3;
    // 0x100002 leaves 2 in the exit status.
    QTest::newRow("parameters refused")
        << "3"
        << "3=refuse:rate control; mode 1 unsupported"
        << QString(" -- [%1] not support parameters. err msg: rate control\n").arg(kNames[2]) << 2
        << 3;
    QTest::newRow("refused with long text")
        << "1"
        << "1=refuse:" + QString(3000, 'e')
        << QString(" -- [%1] not support parameters. err msg: %2\n")
               .arg(kNames[0], QString(3000, 'e'))
        << 2 << 1;
    QTest::newRow("created without object")
        << "1"
        << "1=null" << QString(" -- [%1] not support. ret = 0\n").arg(kNames[0]) << 0 << 1;
    // Creation results pass through; the parent sees their low 8 bits.
    QTest::newRow("creation failed -3")
        << "4"
        << "4=fail:-3" << QString(" -- [%1] not support. ret = -3\n").arg(kNames[3]) << 253 << 4;
    QTest::newRow("creation failed 0x100104")
        << "2"
        << "2=fail:1048836" << QString(" -- [%1] not support. ret = 1048836\n").arg(kNames[1]) << 4
        << 2;
}

void TestEncProbe::probesOneEncoder()
{
    QFETCH(QString, arg);
    QFETCH(QString, script);
    QFETCH(QString, out);
    QFETCH(int, status);
    QFETCH(int, probedId);
    const Run run = runProbe({arg}, script);
    QCOMPARE(QString::fromUtf8(run.out), out);
    QCOMPARE(run.status, status);
    QVERIFY(!run.log.isEmpty());
    QCOMPARE(run.log.first().section(' ', 0, 1), QString("create %1").arg(probedId));
    QCOMPARE(run.log.filter(QRegularExpression("^create ")).size(), 1);
}

void TestEncProbe::ignoresIdsOutsideTheTable_data()
{
    QTest::addColumn<QString>("arg");
    QTest::newRow("0") << "0";
    QTest::newRow("5") << "5";
    QTest::newRow("9") << "9";
    QTest::newRow("12abc") << "12abc";
    // Would wrap to 1 in 32-bit arithmetic.
    QTest::newRow("2^32 + 1") << "4294967297";
    QTest::newRow("40 digits") << "1234567890123456789012345678901234567890";
    QTest::newRow("INT_MAX") << "2147483647";
}

void TestEncProbe::ignoresIdsOutsideTheTable()
{
    QFETCH(QString, arg);
    const Run run = runProbe({arg}, "1=ok;2=ok;3=ok;4=ok");
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.status, 0x100004 & 0xFF);
    QCOMPARE(run.log, QStringList()); // libvenc is not called
}

void TestEncProbe::rejectsOtherArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("-1") << QStringList{"-1"};
    QTest::newRow("all") << QStringList{"all"};
    QTest::newRow("-ALL") << QStringList{"-ALL"};
    QTest::newRow("-all with suffix") << QStringList{"-all2"};
    QTest::newRow("empty") << QStringList{""};
    QTest::newRow("leading space") << QStringList{" 1"};
}

void TestEncProbe::rejectsOtherArguments()
{
    QFETCH(QStringList, args);
    const Run run = runProbe(args, "1=ok;2=ok;3=ok;4=ok");
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.status, 255); // -1
    QCOMPARE(run.log, QStringList());
}

void TestEncProbe::handsOverTheBlockAndEndsEachEncoderFirst()
{
    const Run run = runProbe({}, "1=ok;2=refuse:busy;3=null;4=ok");
    const QString block = expectedParamsHex();
    const QStringList expected = {
        "create 1 0 object",
        "setParams 1 " + block,
        "init 1 1",
        "close 1",
        "release 1",
        "create 2 0 object",
        "setParams 2 " + block,
        "init 2 0",
        "errorMessage 2",
        "close 2",
        "release 2",
        "create 3 0 null",
        "create 4 0 object",
        "setParams 4 " + block,
        "init 4 1",
        "close 4",
        "release 4",
    };
    QCOMPARE(run.log, expected);
    QCOMPARE(run.status, 0x9);
}

void TestEncProbe::realLibraryReportsNoHardware()
{
    const Run run = runProbe({}, QString(), false);
    const QStringList lines = QString::fromUtf8(run.out).split('\n');
    // Four probe lines, the mask, a blank line, four summary lines, and the
    // empty rest after the last newline: nothing from FFmpeg's logger.
    QCOMPARE(lines.size(), 11);
    for (int i = 0; i < 4; ++i) {
        const QString name = QRegularExpression::escape(kNames[i]);
        const QRegularExpression notSupported(
            "^ -- \\[" + name + "\\] not support(\\. ret = -?\\d+| parameters\\. err msg: .+)$");
        QVERIFY2(notSupported.match(lines[i]).hasMatch(), qPrintable(lines[i]));
    }
    QCOMPARE(lines.mid(4).join('\n'), QString("ret = 0x00000000\n\n"
                                              "NVIDIA H264/AVC Codec not support\n"
                                              "INTEL H264/AVC Codec not support\n"
                                              "NVIDIA H265/HEVC Codec not support\n"
                                              "INTEL H265/HEVC Codec not support\n"));
    QCOMPARE(run.status, 0);
}

QTEST_GUILESS_MAIN(TestEncProbe)
#include "tst_encprobe.moc"
