// The V4L2 provider at the device seam, against scripted webcams: which nodes are cameras and
// what they are called, their capabilities, streams with the frame checks, unplug and re-plug,
// the picture controls, and the messages of refusals.
#include "boothtestsupport.h"
#include "fakemachine.h"

#include <deviceprovider.h>
#include <dshow.h>
#include <faultinjection.h>
#include <v4l2formats.h>
#include <v4l2stream.h>

#include <QtTest>

#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <atomic>
#include <mutex>

using kvplat::SampleFormat;
using kvplat::VideoFormat;

namespace {

const char *kUvcLink = "pci-0000:00:14.0-usb-0:1:1.0-video-index0";

std::shared_ptr<kvplat::IDevice> findDevice(const QString &name)
{
    for (auto &d : kvplat::enumerateVideoDevices()) {
        if (QString::fromStdWString(d->ident().name) == name)
            return d;
    }
    return nullptr;
}

VideoFormat format(SampleFormat f, int w, int h, REFERENCE_TIME interval, bool topDown = false)
{
    VideoFormat v;
    v.format = f;
    v.width = w;
    v.height = h;
    v.frameInterval = interval;
    v.topDown = topDown;
    return v;
}

QString describe(const std::vector<VideoFormat> &formats)
{
    QStringList items;
    for (const VideoFormat &f : formats)
        items << QString("%1:%2x%3@%4%5")
                     .arg(int(f.format))
                     .arg(f.width)
                     .arg(f.height)
                     .arg(f.frameInterval)
                     .arg(f.topDown ? "t" : "");
    return items.join(' ');
}

// Collects what a stream delivers.
struct Collector
{
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> samples;
    std::atomic<int> count{0};
    std::atomic<int> lost{0};

    kvplat::StreamSinks sinks()
    {
        kvplat::StreamSinks s;
        s.sample = [this](const uint8_t *data, size_t length, REFERENCE_TIME, REFERENCE_TIME) {
            std::lock_guard<std::mutex> lock(mutex);
            if (samples.size() < 64)
                samples.emplace_back(data, data + length);
            ++count;
        };
        s.lost = [this] { ++lost; };
        return s;
    }
};

bool decodes(const std::vector<uint8_t> &jpeg, int width, int height)
{
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    const bool ok =
        tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sub, &space) == 0 &&
        w == width && h == height &&
        tjDecompress2(tj, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0) == 0;
    tjDestroy(tj);
    return ok;
}

bool hasHuffmanTable(const std::vector<uint8_t> &jpeg)
{
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            return false;
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4)
            return true;
    }
    return false;
}

} // namespace

class TestV4l2Provider : public QObject
{
    Q_OBJECT

private slots:
    void init() { kvfault::clearFaults(); }

    void discoveryAndIdentity();
    void capabilities();
    void namesCutInACharacter();
    void commonSizesOfRanges();
    void sizesOrRatesNotEnumerable();
    void frameChecks();
    void streamsFromTheMapping();
    void damagedFramesAreDropped();
    void unplugAndReplug();
    void busyDevice();
    void twoCamerasAtOnce();
    void permissionDenied();
    void notEnoughBandwidth();
    void pictureControls();
    void backendThatDoesNotLoad();
    void stallIsLogged();
};

void TestV4l2Provider::discoveryAndIdentity()
{
    FakeMachine machine;
    QVERIFY(machine.valid());
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    // udev also makes a longer link for the same node: the shortest name is the path.
    machine.plug(0, "uvc", "HD Webcam C000", 0, "pci-0000:00:14.0-usbv2-0:1:1.0-video-index0");
    machine.plug(1, "uvc-meta", "HD Webcam C000", 1, "pci-0000:00:14.0-usb-0:1:1.0-video-index1");
    machine.plug(2, "cheap", "USB2.0 Camera", 0);
    machine.plug(3, "m2m", "codec", 0);
    machine.plug(10, "planar", "Planar Camera", 0, "platform-planar-video-index0");
    machine.plug(4, "uvc card Twin bus usb-1", "Twin", 0, "pci-a-video-index0");
    machine.plug(5, "uvc card Twin bus usb-2", "Twin", 0, "pci-b-video-index0");
    kvfault::setVirtualCameras(
        R"([{"name": "Virtual Camera", "path": "virtual:one",
             "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]}])");

    const auto devices = kvplat::enumerateVideoDevices();
    QStringList names, paths;
    for (const auto &d : devices) {
        names << QString::fromStdWString(d->ident().name);
        paths << QString::fromStdWString(d->ident().path);
    }
    // Ascending node numbers, metadata and codec nodes left out, virtual cameras last.
    QCOMPARE(names, QStringList({"HD Webcam C000", "USB2.0 Camera: USB2.0 Camera", "Twin", "Twin",
                                 "Planar Camera", "Virtual Camera"}));
    QCOMPARE(paths,
             QStringList({QString("v4l2:") + kUvcLink, "v4l2:usb-0000:00:14.0-2-video-index0",
                          "v4l2:pci-a-video-index0", "v4l2:pci-b-video-index0",
                          "v4l2:platform-planar-video-index0", "virtual:one"}));
    kvfault::setVirtualCameras("");

    // A node without a link is named by its bus and sysfs index.
    machine.unplug(0);
    machine.plug(0, "uvc", "HD Webcam C000", 0);
    QCOMPARE(QString::fromStdWString(kvplat::enumerateVideoDevices().front()->ident().path),
             QString("v4l2:usb-0000:00:14.0-1-video-index0"));
}

void TestV4l2Provider::capabilities()
{
    FakeMachine machine;
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    machine.plug(1, "planar", "Planar Camera", 0);
    machine.plug(2, "stepwise", "Stepwise Camera", 0);
    machine.plug(3, "bayer", "Bayer Sensor", 0);

    // The driver's order; each size at its highest rate.
    auto uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    QCOMPARE(describe(uvc->formats()), describe({format(SampleFormat::Yuy2, 640, 480, 333333),
                                                 format(SampleFormat::Yuy2, 320, 240, 333333),
                                                 format(SampleFormat::Yuy2, 1280, 720, 1000000),
                                                 format(SampleFormat::Yuy2, 1920, 1080, 2000000),
                                                 format(SampleFormat::Mjpg, 640, 480, 333333),
                                                 format(SampleFormat::Mjpg, 320, 240, 333333),
                                                 format(SampleFormat::Mjpg, 1280, 720, 333333),
                                                 format(SampleFormat::Mjpg, 1920, 1080, 333333)}));

    // NV12 and YU12 with their own codes; H.264, GREY and libv4l2's emulated BGR24 are absent
    // while the camera has formats of its own.
    auto planar = findDevice("Planar Camera");
    QVERIFY(planar);
    QCOMPARE(describe(planar->formats()), describe({format(SampleFormat::Nv12, 640, 480, 333333),
                                                    format(SampleFormat::I420, 320, 240, 333333)}));

    // Stepwise sizes become the common sizes on the grid plus the maximum; BGR24 is top-down.
    auto stepwise = findDevice("Stepwise Camera");
    QVERIFY(stepwise);
    std::vector<VideoFormat> expected;
    for (auto s : std::vector<std::pair<int, int>>{{160, 120},
                                                   {176, 144},
                                                   {320, 240},
                                                   {352, 288},
                                                   {640, 360},
                                                   {640, 480},
                                                   {800, 448},
                                                   {800, 600},
                                                   {848, 480},
                                                   {1024, 576},
                                                   {1280, 720}})
        expected.push_back(format(SampleFormat::Yuy2, s.first, s.second, 666666));
    expected.push_back(format(SampleFormat::Rgb24, 320, 240, 333333, true));
    QCOMPARE(describe(stepwise->formats()), describe(expected));

    // A sensor without a convertible format of its own offers libv4l2's conversion.
    auto bayer = findDevice("Bayer Sensor");
    QVERIFY(bayer);
    QCOMPARE(describe(bayer->formats()),
             describe({format(SampleFormat::Rgb24, 640, 480, 333333, true)}));
}

void TestV4l2Provider::namesCutInACharacter()
{
    FakeMachine machine;
    // strscpy into the 32-byte card field keeps the first byte of the last "é".
    machine.plug(0, "cheap card USB2.0%20Camera:%20Cam%C3%A9ra%20int%C3%A9gr%C3%A9e", "USB2.0", 0);
    // Three bytes cut to two, and a whole character before the cut one.
    machine.plug(1, "uvc card USB%20%E6%91%84%E5%83%8F%E5%A4", "USB", 0);
    // A locked camera is listed under its sysfs name, cut the same way.
    machine.plug(2, "uvc deny 1", "", 0);
    machine.setName(2, "Cam\xC3\xA9ra int\xC3\xA9gr\xC3");
    QStringList names;
    for (const auto &d : kvplat::enumerateVideoDevices())
        names << QString::fromStdWString(d->ident().name);
    QCOMPARE(names,
             QStringList({QString::fromUtf8("USB2.0 Camera: Caméra intégr"),
                          QString::fromUtf8("USB 摄像"), QString::fromUtf8("Caméra intégr")}));
}

void TestV4l2Provider::sizesOrRatesNotEnumerable()
{
    FakeMachine machine;
    // Only ENUM_FMT, G_FMT/S_FMT and a read-only G_PARM: the current format at G_PARM's rate;
    // GREY, not convertible, stays out. A driver's own EINVAL stubs mean the same.
    machine.plug(0, "grabber paced 0", "Frame Grabber", 0);
    machine.plug(1, "grabber card Stub%20Grabber sizes einval intervals einval", "Stub", 0);
    // Without G_PARM, the nominal 30 fps.
    machine.plug(2, "grabber card Silent%20Grabber parm none", "Silent", 0);
    // Sizes listed but no intervals: every size at the current rate (15 fps), not 30.
    machine.plug(3, "stepwise intervals 0", "Stepwise Camera", 0);
    for (const char *name : {"Frame Grabber", "Stub Grabber", "Silent Grabber"}) {
        auto device = findDevice(name);
        QVERIFY2(device, name);
        const REFERENCE_TIME interval = QByteArray(name) == "Silent Grabber" ? 333333 : 400000;
        QCOMPARE(describe(device->formats()),
                 describe({format(SampleFormat::Yuy2, 720, 576, interval)}));
    }
    auto stepwise = findDevice("Stepwise Camera");
    QVERIFY(stepwise);
    const std::vector<VideoFormat> formats = stepwise->formats();
    QCOMPARE(int(formats.size()), 12);
    for (const VideoFormat &f : formats)
        QCOMPARE(f.frameInterval, REFERENCE_TIME(666666));

    // It starts like any camera.
    auto grabber = findDevice("Frame Grabber");
    Collector c;
    auto stream = grabber->openStream(grabber->formats().front(), c.sinks());
    QVERIFY(stream);
    QTRY_VERIFY(c.count >= 3);
    stream->stop();
    QCOMPARE(c.samples.back().size(), size_t(720 * 576 * 2));
    QCOMPARE(c.lost.load(), 0);
}

void TestV4l2Provider::commonSizesOfRanges()
{
    v4l2_frmsize_stepwise continuous = {100, 700, 1, 100, 500, 1};
    auto sizes = kvplat::sizesInRange(continuous);
    QCOMPARE(int(sizes.size()), 9);
    QCOMPARE(sizes.front(), std::make_pair(160u, 120u));
    QCOMPARE(sizes.back(), std::make_pair(700u, 500u));
    // A range of one size and nonsense ranges.
    v4l2_frmsize_stepwise one = {640, 640, 0, 480, 480, 0};
    QCOMPARE(int(kvplat::sizesInRange(one).size()), 1);
    v4l2_frmsize_stepwise backwards = {640, 320, 16, 480, 240, 8};
    QVERIFY(kvplat::sizesInRange(backwards).empty());
    v4l2_frmsize_stepwise zero = {0, 0, 0, 0, 0, 0};
    QVERIFY(kvplat::sizesInRange(zero).empty());
}

void TestV4l2Provider::frameChecks()
{
    using kvplat::V4l2Stream;
    const uint8_t jpeg[] = {0xFF, 0xD8, 0x11, 0x22, 0xFF, 0xD9, 0, 0, 0};
    size_t length = 0;
    QVERIFY(V4l2Stream::usableFrame(V4L2_PIX_FMT_MJPEG, 0, jpeg, sizeof jpeg, 0, &length));
    QCOMPARE(length, size_t(6)); // the padding after the end marker is not handed on
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_MJPEG, 0, jpeg, 4, 0, &length));
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_MJPEG, 0, jpeg + 1, 5, 0, &length));
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_MJPEG, 0, jpeg, sizeof jpeg, V4L2_BUF_FLAG_ERROR,
                                     &length));
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_MJPEG, 0, jpeg, 0, 0, &length));
    const uint8_t zeros[16] = {};
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_MJPEG, 0, zeros, sizeof zeros, 0, &length));

    std::vector<uint8_t> raw(1000, 0x80);
    QVERIFY(V4l2Stream::usableFrame(V4L2_PIX_FMT_YUYV, 960, raw.data(), 1000, 0, &length));
    QCOMPARE(length, size_t(960));
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_YUYV, 960, raw.data(), 959, 0, &length));
    QVERIFY(!V4l2Stream::usableFrame(V4L2_PIX_FMT_YUYV, 0, raw.data(), 1000, 0, &length));
    QCOMPARE(kvplat::rawFrameBytes(V4L2_PIX_FMT_NV12, 704, 480), size_t(704 * 720));
    QCOMPARE(kvplat::rawFrameBytes(V4L2_PIX_FMT_YUV420, 352, 240), size_t(352 * 360));
    QCOMPARE(kvplat::rawFrameBytes(V4L2_PIX_FMT_H264, 0, 480), size_t(0));
}

void TestV4l2Provider::streamsFromTheMapping()
{
    FakeMachine machine;
    machine.plug(0, "uvc paced 0", "HD Webcam C000", 0, kUvcLink);
    auto uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    Collector c;
    auto stream = uvc->openStream(format(SampleFormat::Mjpg, 640, 480, 333333), c.sinks());
    QVERIFY(stream);
    QTRY_VERIFY(c.count >= 5);
    stream->stop();
    const int after = c.count;
    QTest::qWait(50);
    QCOMPARE(c.count.load(), after); // nothing after stop
    stream.reset();
    // As UVC cameras send them: no Huffman tables, and they decode all the same.
    for (const auto &s : c.samples) {
        QVERIFY(!hasHuffmanTable(s));
        QVERIFY(decodes(s, 640, 480));
    }
    QCOMPARE(c.lost.load(), 0);
    QCOMPARE(int(kvfault::samplesDelivered(L"v4l2:pci-0000:00:14.0-usb-0:1:1.0-video-index0")),
             after);

    // A format the device does not list opens nothing.
    QVERIFY(!uvc->openStream(format(SampleFormat::Mjpg, 800, 600, 333333), c.sinks()));
    // The stream let go of the device: the next one starts.
    stream = uvc->openStream(format(SampleFormat::Yuy2, 320, 240, 333333), c.sinks());
    QVERIFY(stream);
    QTRY_VERIFY(c.count >= after + 2);
    stream->stop();
    QCOMPARE(c.samples.back().size(), size_t(320 * 240 * 2));
}

void TestV4l2Provider::damagedFramesAreDropped()
{
    FakeMachine machine;
    machine.plug(0, "uvc paced 0 damage 1", "HD Webcam C000", 0);
    machine.plug(1, "planar paced 0 damage 1", "Planar Camera", 0);
    for (int n : {0, 1}) {
        auto device = findDevice(n == 0 ? "HD Webcam C000" : "Planar Camera");
        QVERIFY(device);
        const VideoFormat f = n == 0 ? format(SampleFormat::Mjpg, 320, 240, 333333)
                                     : format(SampleFormat::Nv12, 640, 480, 333333);
        Collector c;
        auto stream = device->openStream(f, c.sinks());
        QVERIFY(stream);
        QTRY_VERIFY(machine.produced(n) >= 20);
        stream->stop();
        // Exactly the whole frames arrived; flagged, empty, cut and unmarked ones did not,
        // and none of them ended the stream.
        QCOMPARE(c.count.load(), machine.whole(n));
        QVERIFY(machine.whole(n) < machine.produced(n));
        QCOMPARE(c.lost.load(), 0);
        for (const auto &s : c.samples) {
            if (n == 0)
                QVERIFY(decodes(s, 320, 240));
            else
                QCOMPARE(s.size(), size_t((640 + 64) * 720)); // padded rows, nothing more
        }
    }
}

void TestV4l2Provider::unplugAndReplug()
{
    FakeMachine machine;
    machine.plug(0, "uvc paced 0 vanish 6", "HD Webcam C000", 0, kUvcLink);
    LogCapture log;
    auto uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    Collector c;
    auto stream = uvc->openStream(format(SampleFormat::Mjpg, 320, 240, 333333), c.sinks());
    QVERIFY(stream);
    // The node goes away after six frames: the stream ends by itself and says so once.
    QTRY_COMPARE(c.lost.load(), 1);
    QVERIFY(c.count <= 6);
    QVERIFY(log.contains("the camera went away while streaming"));
    stream->stop();
    stream.reset();
    QVERIFY(!findDevice("HD Webcam C000"));

    // Plugged in again into the same port: same path, and a new start works.
    machine.unplug(0);
    machine.plug(0, "uvc paced 0", "HD Webcam C000", 0, kUvcLink);
    uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    QCOMPARE(QString::fromStdWString(uvc->ident().path), QString("v4l2:") + kUvcLink);
    Collector again;
    stream = uvc->openStream(format(SampleFormat::Mjpg, 320, 240, 333333), again.sinks());
    QVERIFY(stream);
    QTRY_VERIFY(again.count >= 3);

    // Pulled out by hand while streaming.
    machine.unplug(0);
    QTRY_COMPARE(again.lost.load(), 1);
    stream->stop();
    // A device object of the old enumeration opens nothing now.
    QVERIFY(!uvc->openStream(format(SampleFormat::Mjpg, 320, 240, 333333), again.sinks()));
}

void TestV4l2Provider::busyDevice()
{
    FakeMachine machine;
    machine.plug(0, "uvc busy 1", "HD Webcam C000", 0, kUvcLink);
    machine.plug(1, "cheap paced 0", "USB2.0 Camera", 0, "pci-cheap-video-index0");
    LogCapture log;
    auto uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    Collector c;
    QVERIFY(!uvc->openStream(format(SampleFormat::Mjpg, 640, 480, 333333), c.sinks()));
    const QStringList lines = log.messages().filter("VIDIOC_S_FMT");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].contains(QString("v4l2:") + kUvcLink) && lines[0].contains("/dev/video0") &&
                 lines[0].contains("Device or resource busy") &&
                 lines[0].contains("in use by another program"),
             qPrintable(lines[0]));

    // Our own second stream of one camera meets the same rule.
    auto cheap = findDevice("USB2.0 Camera: USB2.0 Camera");
    QVERIFY(cheap);
    auto first = cheap->openStream(format(SampleFormat::Mjpg, 640, 480, 333333), c.sinks());
    QVERIFY(first);
    log.clear();
    QVERIFY(!cheap->openStream(format(SampleFormat::Yuy2, 640, 480, 333333), c.sinks()));
    QVERIFY(log.contains("in use by another program"));
    first->stop();
}

void TestV4l2Provider::twoCamerasAtOnce()
{
    FakeMachine machine;
    machine.plug(0, "uvc paced 0", "HD Webcam C000", 0, kUvcLink);
    machine.plug(1, "cheap paced 0", "USB2.0 Camera", 0, "pci-cheap-video-index0");
    auto a = findDevice("HD Webcam C000");
    auto b = findDevice("USB2.0 Camera: USB2.0 Camera");
    QVERIFY(a && b);
    Collector ca, cb;
    auto sa = a->openStream(format(SampleFormat::Yuy2, 320, 240, 333333), ca.sinks());
    auto sb = b->openStream(format(SampleFormat::Mjpg, 320, 240, 333333), cb.sinks());
    QVERIFY(sa && sb);
    QTRY_VERIFY(ca.count >= 3 && cb.count >= 3);
    sa->stop();
    sb->stop();
}

void TestV4l2Provider::permissionDenied()
{
    FakeMachine machine;
    machine.plug(0, "uvc deny 1", "Locked Webcam", 0, kUvcLink);
    machine.plug(1, "uvc-meta deny 1", "Locked Webcam", 1);
    const auto devices = kvplat::enumerateVideoDevices();
    // Listed once, under its sysfs name, so that the person sees it.
    QCOMPARE(int(devices.size()), 1);
    QCOMPARE(QString::fromStdWString(devices[0]->ident().name), QString("Locked Webcam"));
    QCOMPARE(QString::fromStdWString(devices[0]->ident().path), QString("v4l2:") + kUvcLink);
    LogCapture log;
    QVERIFY(devices[0]->formats().empty());
    const QStringList lines = log.messages().filter("/dev/video0");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].contains("Permission denied") && lines[0].contains("'video' group"),
             qPrintable(lines[0]));
}

void TestV4l2Provider::notEnoughBandwidth()
{
    FakeMachine machine;
    machine.plug(0, "uvc nobandwidth 1", "HD Webcam C000", 0, kUvcLink);
    LogCapture log;
    auto uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    Collector c;
    QVERIFY(!uvc->openStream(format(SampleFormat::Yuy2, 1920, 1080, 2000000), c.sinks()));
    const QStringList lines = log.messages().filter("VIDIOC_STREAMON");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].contains("No space left on device") &&
                 lines[0].contains("lower size or MJPG"),
             qPrintable(lines[0]));
    // The failed start gave the device back.
    machine.unplug(0);
    machine.plug(0, "uvc paced 0", "HD Webcam C000", 0, kUvcLink);
    uvc = findDevice("HD Webcam C000");
    auto stream = uvc->openStream(format(SampleFormat::Yuy2, 320, 240, 333333), c.sinks());
    QVERIFY(stream);
    stream->stop();
}

void TestV4l2Provider::pictureControls()
{
    FakeMachine machine;
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    machine.plug(1, "cheap", "USB2.0 Camera", 0);
    auto uvc = findDevice("HD Webcam C000");
    QVERIFY(uvc);
    kvplat::ProcAmpRange r;
    QVERIFY(uvc->procAmpRange(VideoProcAmp_Brightness, &r));
    QCOMPARE(r.min, -64L);
    QCOMPARE(r.max, 64L);
    QCOMPARE(r.defaultValue, 0L);
    QCOMPARE(r.capsFlags, long(VideoProcAmp_Flags_Manual));
    QVERIFY(uvc->procAmpRange(VideoProcAmp_Contrast, &r));
    QCOMPARE(r.defaultValue, 32L);
    QVERIFY(uvc->procAmpRange(VideoProcAmp_Saturation, &r));
    QCOMPARE(r.max, 128L);
    // Only the three properties map to controls.
    QVERIFY(!uvc->procAmpRange(VideoProcAmp_Hue, &r));

    long value = 0, flags = 0;
    QVERIFY(uvc->setProcAmp(VideoProcAmp_Brightness, 32, VideoProcAmp_Flags_Manual));
    QVERIFY(uvc->getProcAmp(VideoProcAmp_Brightness, &value, &flags));
    QCOMPARE(value, 32L);
    QCOMPARE(flags, long(VideoProcAmp_Flags_Manual));
    QVERIFY(!uvc->setProcAmp(VideoProcAmp_Brightness, 65, VideoProcAmp_Flags_Manual));
    // The value stays with the device, not with the object that set it.
    QVERIFY(findDevice("HD Webcam C000")->getProcAmp(VideoProcAmp_Brightness, &value, &flags));
    QCOMPARE(value, 32L);

    // A disabled control is absent.
    auto cheap = findDevice("USB2.0 Camera: USB2.0 Camera");
    QVERIFY(cheap);
    QVERIFY(cheap->procAmpRange(VideoProcAmp_Brightness, &r));
    QCOMPARE(r.defaultValue, 128L);
    QVERIFY(!cheap->procAmpRange(VideoProcAmp_Saturation, &r));
    QVERIFY(!cheap->getProcAmp(VideoProcAmp_Saturation, &value, &flags));
}

void TestV4l2Provider::backendThatDoesNotLoad()
{
    FakeMachine machine;
    machine.plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    qputenv("KV_V4L2_BACKEND", "/nonexistent/libnothing.so");
    LogCapture log;
    QVERIFY(kvplat::enumerateVideoDevices().empty());
    QVERIFY(log.contains("/nonexistent/libnothing.so"));
    QVERIFY(log.contains("no V4L2 camera is listed"));
    // Logged once per value, not at every enumeration.
    QVERIFY(kvplat::enumerateVideoDevices().empty());
    QCOMPARE(log.count("no V4L2 camera is listed"), 1);
}

void TestV4l2Provider::stallIsLogged()
{
    FakeMachine machine;
    // Frames at 30 fps; after the fourth none for 1.4 s, then frames again.
    machine.plug(0, "cheap stall 4 1400", "USB2.0 Camera", 0, "pci-cheap-video-index0");
    LogCapture log;
    auto cheap = findDevice("USB2.0 Camera: USB2.0 Camera");
    QVERIFY(cheap);
    Collector c;
    auto stream = cheap->openStream(format(SampleFormat::Mjpg, 320, 240, 333333), c.sinks());
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("sends frames again"), 10000);
    stream->stop();
    QCOMPARE(log.count("sends no frames"), 1);
    QVERIFY(log.messages().filter("sends no frames").front().contains("v4l2:pci-cheap"));
    QVERIFY(c.count > 4);
    QCOMPARE(c.lost.load(), 0);
}

QTEST_GUILESS_MAIN(TestV4l2Provider)
#include "tst_v4l2provider.moc"
