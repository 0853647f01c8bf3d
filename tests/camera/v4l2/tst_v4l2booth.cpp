// The booth on scripted V4L2 webcams: the lists, the format the booth chooses, the pictures its
// conversions make of the frames (MJPG without Huffman tables, YUY2, NV12 and I420 with padded
// rows, top-down BGR24), unplug and re-plug while running, the picture adjustments at the
// device, and the messages of a busy or locked camera.
#include "boothtestsupport.h"
#include "fakemachine.h"

#include <faultinjection.h>

#include <QtTest>

#include <linux/videodev2.h>

#include <memory>
#include <mutex>

namespace {

const char *kUvcLink = "pci-0000:00:14.0-usb-0:1:1.0-video-index0";
const quint32 kMjpg = 0x47504A4D;
const quint32 kYuy2 = 0x32595559;
const quint32 kNv12 = 0x3231564E;
const quint32 kI420 = 0x30323449;

// Converts every sample with the booth, as the camera module does, and keeps the last image.
class ConvertingSink : public IKvYUVDataCallBack
{
public:
    explicit ConvertingSink(KvBooth *booth) : m_booth(booth) {}

    int onYUVData(unsigned char *data, int len) override
    {
        QJsonObject format;
        if (m_booth->getVideoFormat(format) != 0)
            return 0;
        const int w = format.value("width").toInt(), h = format.value("height").toInt();
        std::vector<uchar> image(size_t(w) * h * 2);
        const int n = m_booth->convertFrame(data, &len, image.data(), int(image.size()));
        // The same-size path of convertFrameScaled must give the same picture.
        std::vector<uchar> straight(size_t(w) * h * 3 / 2, 0xEE);
        CamI420Image planes;
        planes.width = w;
        planes.height = h;
        planes.strideY = w;
        planes.strideU = planes.strideV = w / 2;
        planes.y = straight.data();
        planes.u = planes.y + size_t(w) * h;
        planes.v = planes.u + size_t(w / 2) * (h / 2);
        if (n > 0 && (m_booth->convertFrameScaled(data, &len, &planes) != 0 ||
                      !std::equal(straight.begin(), straight.end(), image.begin())))
            ++scaledDiffers;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (n == w * h * 3 / 2) {
            ++converted;
            m_image = image;
            m_width = w;
            m_height = h;
        } else {
            ++failed;
        }
        return 0;
    }

    // Luma at (x, y) and chroma at the same place of the last image.
    int y(int x, int row)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_image[size_t(row) * m_width + x];
    }
    int u(int x, int row)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_image[size_t(m_width) * m_height + size_t(row / 2) * (m_width / 2) + x / 2];
    }
    int v(int x, int row)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_image[size_t(m_width) * m_height * 5 / 4 + size_t(row / 2) * (m_width / 2) +
                       x / 2];
    }
    // The largest luma in a rectangle.
    int brightest(int x0, int y0, int x1, int y1)
    {
        int best = 0;
        for (int row = y0; row < y1; ++row)
            for (int x = x0; x < x1; ++x)
                best = std::max(best, y(x, row));
        return best;
    }

    std::atomic<int> converted{0};
    std::atomic<int> failed{0};
    std::atomic<int> scaledDiffers{0};

private:
    KvBooth *m_booth;
    std::mutex m_mutex;
    std::vector<uchar> m_image;
    int m_width = 0;
    int m_height = 0;
};

// BT.601 studio range of an RGB colour.
int lumaOf(int r, int g, int b)
{
    return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
}
int cbOf(int r, int g, int b)
{
    return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
}
int crOf(int r, int g, int b)
{
    return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

QJsonObject formatOf(IKvBooth *booth)
{
    QJsonObject f;
    booth->getVideoFormat(f);
    return f;
}

} // namespace

class TestV4l2Booth : public QObject
{
    Q_OBJECT

private slots:
    void init() { kvfault::clearFaults(); }
    void cleanup()
    {
        QTRY_COMPARE(kvfault::liveObjects(), 0L);
        QCOMPARE(kvfault::activeStreams(), 0);
    }

    void listsRealCamerasFirst();
    void formatChoice_data();
    void formatChoice();
    void picturesOfEachFormat_data();
    void picturesOfEachFormat();
    void topDownRgbIsUpright();
    void strideFromLength();
    void unplugWhileRunning();
    void pictureAdjustments();
    void busyCamera();
    void lockedCamera();
};

void TestV4l2Booth::listsRealCamerasFirst()
{
    FakeMachine machine;
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    machine.plug(1, "uvc-meta", "HD Webcam C000", 1);
    kvfault::setVirtualCameras(
        oneCamera(R"([{"fourcc":"YUY2","width":640,"height":480,"fps":30}])").constData());
    std::unique_ptr<IKvBooth> booth(createBooth());
    QVector<CamDevInfo> infos;
    QCOMPARE(booth->getCameraList(infos), 2);
    QCOMPARE(infos[0].name, QString("HD Webcam C000"));
    QCOMPARE(infos[0].path, QString("v4l2:") + kUvcLink);
    QCOMPARE(infos[0].index, 0);
    QCOMPARE(infos[1].name, QString("Virtual Camera"));
    QCOMPARE(infos[1].index, 1);
    kvfault::setVirtualCameras("");

    // By path as well as by name.
    QCOMPARE(booth->openCameraByPath(infos[0]), 0);
    QCOMPARE(formatOf(booth.get()).value("format").toInt(), int(kMjpg));
    QCOMPARE(booth->closeCamera(), 0);
}

void TestV4l2Booth::formatChoice_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<double>("fps");
    // 1080p at 30 fps only in MJPG: MJPG wins over YUYV's 5 fps of the same width.
    QTest::newRow("uvc default") << "uvc" << 1280 << 1280 << 720 << kMjpg << 30.0;
    QTest::newRow("uvc 1080p") << "uvc" << 1920 << 1920 << 1080 << kMjpg << 30.0;
    QTest::newRow("uvc 640") << "uvc" << 640 << 640 << 480 << kMjpg << 30.0;
    QTest::newRow("cheap default") << "cheap" << 1280 << 1280 << 720 << kMjpg << 30.0;
    QTest::newRow("cheap 1080p") << "cheap" << 1920 << 1280 << 720 << kMjpg << 30.0;
    QTest::newRow("stepwise") << "stepwise" << 1000 << 1024 << 576 << kYuy2 << 15.0;
    QTest::newRow("planar 640") << "planar" << 640 << 640 << 480 << kNv12 << 30.0;
    QTest::newRow("planar 320") << "planar" << 320 << 320 << 240 << kI420 << 30.0;
    // A driver that lists no sizes or rates: its current format at G_PARM's rate.
    QTest::newRow("grabber") << "grabber" << 1280 << 720 << 576 << kYuy2 << 25.0;
}

void TestV4l2Booth::formatChoice()
{
    QFETCH(QString, model);
    QFETCH(int, requested);
    FakeMachine machine;
    machine.plug(0, model, "Camera", 0, kUvcLink);
    std::unique_ptr<IKvBooth> booth(createBooth());
    booth->setResolution(requested, 0);
    CamDevInfo info;
    info.path = QString("v4l2:") + kUvcLink;
    QCOMPARE(booth->openCameraByPath(info), 0);
    const QJsonObject f = formatOf(booth.get());
    QTEST(f.value("width").toInt(), "width");
    QTEST(f.value("height").toInt(), "height");
    QTEST(quint32(f.value("format").toInt()), "fourcc");
    QFETCH(double, fps);
    QVERIFY(qAbs(f.value("fps").toDouble() - fps) < 0.01);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestV4l2Booth::picturesOfEachFormat_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("MJPG without Huffman tables") << "uvc" << 1280 << 3;
    QTest::newRow("YUY2 of a stepwise range") << "stepwise" << 1000 << 1;
    QTest::newRow("NV12 padded") << "planar" << 640 << 1;
    QTest::newRow("I420 padded") << "planar" << 320 << 1;
    QTest::newRow("YUY2 without size lists") << "grabber" << 1280 << 1;
}

void TestV4l2Booth::picturesOfEachFormat()
{
    QFETCH(QString, model);
    QFETCH(int, requested);
    QFETCH(int, tolerance);
    FakeMachine machine;
    machine.plug(0, model + " solid #C03040", "Camera", 0, kUvcLink);
    std::unique_ptr<KvBooth> booth(new KvBooth);
    ConvertingSink sink(booth.get());
    booth->setYUVDataCallBack(&sink);
    booth->setResolution(requested, 0);
    CamDevInfo info;
    info.path = QString("v4l2:") + kUvcLink;
    QCOMPARE(booth->openCameraByPath(info), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(sink.converted >= 3);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(sink.failed.load(), 0);
    QCOMPARE(sink.scaledDiffers.load(), 0);
    const QJsonObject f = formatOf(booth.get());
    const int w = f.value("width").toInt(), h = f.value("height").toInt();
    // MJPG (JFIF) carries full-range YCbCr, which the conversion keeps; the others studio range.
    const bool full = f.value("format").toInt() == int(kMjpg);
    int y = lumaOf(0xC0, 0x30, 0x40), u = cbOf(0xC0, 0x30, 0x40), v = crOf(0xC0, 0x30, 0x40);
    if (full) {
        y = (y - 16) * 255 / 219;
        u = 128 + (u - 128) * 255 / 224;
        v = 128 + (v - 128) * 255 / 224;
    }
    for (auto p :
         {std::make_pair(0, 0), std::make_pair(w / 2, h / 2), std::make_pair(w - 2, h - 2)}) {
        const QString at = QString("at %1,%2: %3 %4 %5")
                               .arg(p.first)
                               .arg(p.second)
                               .arg(sink.y(p.first, p.second))
                               .arg(sink.u(p.first, p.second))
                               .arg(sink.v(p.first, p.second));
        QVERIFY2(qAbs(sink.y(p.first, p.second) - y) <= tolerance, qPrintable(at));
        QVERIFY2(qAbs(sink.u(p.first, p.second) - u) <= tolerance, qPrintable(at));
        QVERIFY2(qAbs(sink.v(p.first, p.second) - v) <= tolerance, qPrintable(at));
    }
    QCOMPARE(booth->closeCamera(), 0);
}

void TestV4l2Booth::topDownRgbIsUpright()
{
    FakeMachine machine;
    // Only libv4l2's BGR24, rows top-down; colour bars with the frame counter at the top left.
    machine.plug(0, "bayer", "Bayer Sensor", 0);
    std::unique_ptr<KvBooth> booth(new KvBooth);
    ConvertingSink sink(booth.get());
    booth->setYUVDataCallBack(&sink);
    QCOMPARE(booth->openCamera("Bayer Sensor"), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(sink.converted >= 2);
    QCOMPARE(booth->stop(), 0);
    // The counter's white digits are at the top, not at the bottom (the bars stay below 200).
    QVERIFY(sink.brightest(16, 16, 120, 72) > 220);
    QVERIFY(sink.brightest(16, 480 - 72, 120, 480 - 16) < 200);
    QCOMPARE(sink.scaledDiffers.load(), 0);
    QCOMPARE(booth->closeCamera(), 0);
}

// Padded rows are found from the sample's length; lengths that fit no stride are refused
// without reading past the sample.
void TestV4l2Booth::strideFromLength()
{
    FakeMachine machine;
    machine.plug(0, "planar", "Planar Camera", 0);
    machine.plug(1, "bayer", "Bayer Sensor", 0);
    struct Case
    {
        const char *camera;
        int requested;
        int rows; // the sample's rows of the luma stride
        int width;
    };
    for (const Case &c : {Case{"Planar", 640, 720, 640}, Case{"Planar", 320, 360, 320},
                          Case{"Bayer", 640, 480, 640 * 3}}) {
        std::unique_ptr<KvBooth> booth(new KvBooth);
        booth->setResolution(c.requested, 0);
        QCOMPARE(booth->openCamera(c.camera), 0);
        const QJsonObject f = formatOf(booth.get());
        std::vector<uchar> dst(size_t(f.value("width").toInt()) * f.value("height").toInt() * 2);
        for (int stride : {c.width, c.width + 64, c.width - 2}) {
            std::vector<uchar> sample(size_t(stride) * c.rows, 0x80);
            int len = int(sample.size());
            const int n = booth->convertFrame(sample.data(), &len, dst.data(), int(dst.size()));
            QCOMPARE(n > 0, stride >= c.width);
        }
        std::vector<uchar> sample(size_t(c.width) * c.rows + 5, 0x80);
        int len = int(sample.size());
        const int n = booth->convertFrame(sample.data(), &len, dst.data(), int(dst.size()));
        // Extra bytes at the end: the planar formats round the stride down, RGB refuses.
        QCOMPARE(n > 0, QByteArray(c.camera) == "Planar");
        len = 1;
        QCOMPARE(booth->convertFrame(sample.data(), &len, dst.data(), int(dst.size())), -11);
        QCOMPARE(booth->closeCamera(), 0);
    }
}

void TestV4l2Booth::unplugWhileRunning()
{
    FakeMachine machine;
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    std::unique_ptr<CountingBooth> booth(new CountingBooth);
    SampleSink sink;
    booth->setYUVDataCallBack(&sink);
    QCOMPARE(booth->openCamera("HD Webcam"), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(sink.samples >= 2);
    machine.unplug(0);
    // EC_DEVICE_LOST reaches the graph's event queue and the event thread.
    QTRY_VERIFY(booth->events >= 1);
    QCOMPARE(booth->stop(), 0);
    QCOMPARE(booth->closeCamera(), 0);
    QVector<CamDevInfo> infos;
    QCOMPARE(booth->getCameraList(infos), -2);

    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    SampleSink again;
    booth->setYUVDataCallBack(&again);
    QCOMPARE(booth->openCamera("HD Webcam"), 0);
    QCOMPARE(booth->run(), 0);
    QTRY_VERIFY(again.samples >= 2);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestV4l2Booth::pictureAdjustments()
{
    FakeMachine machine;
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    machine.plug(1, "cheap", "USB2.0 Camera", 0);
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("HD Webcam"), 0);
    // Brightness -64..64, contrast 0..100 (default 32), saturation 0..128 (default 64).
    booth->setBrightness(75, false);
    QCOMPARE(machine.control(0, V4L2_CID_BRIGHTNESS), 32);
    QCOMPARE(machine.control(0, V4L2_CID_CONTRAST), 32);
    QCOMPARE(booth->getContrast(), 32);
    booth->setSaturation(25, false);
    QCOMPARE(machine.control(0, V4L2_CID_SATURATION), 32);
    booth->setBrightness(0, true);
    QCOMPARE(machine.control(0, V4L2_CID_BRIGHTNESS), 0);
    QCOMPARE(booth->getBrightness(), 50);
    QCOMPARE(booth->closeCamera(), 0);

    // The cheap camera's saturation is disabled: the other two are still set.
    QCOMPARE(booth->openCamera("USB2.0"), 0);
    booth->setSaturation(80, false);
    booth->setBrightness(100, false);
    QCOMPARE(machine.control(1, V4L2_CID_BRIGHTNESS), 255);
    QCOMPARE(booth->getSaturation(), 80);
    QCOMPARE(booth->closeCamera(), 0);
}

void TestV4l2Booth::busyCamera()
{
    FakeMachine machine;
    machine.plug(0, "uvc busy 1", "HD Webcam C000", 0, kUvcLink);
    LogCapture log;
    std::unique_ptr<IKvBooth> booth(createBooth());
    QCOMPARE(booth->openCamera("HD Webcam"), 0);
    QCOMPARE(booth->run(), -11);
    QVERIFY(log.contains("in use by another program"));
    QCOMPARE(booth->closeCamera(), 0);
}

void TestV4l2Booth::lockedCamera()
{
    FakeMachine machine;
    machine.plug(0, "uvc deny 1", "Locked Webcam", 0, kUvcLink);
    LogCapture log;
    std::unique_ptr<IKvBooth> booth(createBooth());
    QStringList names;
    QCOMPARE(booth->getCameraList(names), 1);
    QCOMPARE(names, QStringList({"Locked Webcam"}));
    const int opened = booth->openCamera("Locked Webcam");
    QVERIFY(opened < 0 || booth->run() < 0);
    const QStringList lines = log.messages().filter("Permission denied");
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines[0].contains("/dev/video0") && lines[0].contains("'video' group"));
    booth->closeCamera();
}

QTEST_GUILESS_MAIN(TestV4l2Booth)
#include "tst_v4l2booth.moc"
