// The PipeWire provider at the device seam against a private daemon and session manager with
// test camera nodes: listing without a daemon, names, paths and formats, streams in the chosen
// format with the camera's colour, stop, the producer ending mid-stream and coming back, two
// cameras at once, the V4L2 twin of a node listed once, the daemon ending and coming back, and
// many starts leaving no descriptor, mapping or thread behind.
#include "boothtestsupport.h"
#include "fakemachine.h"
#include "pipewiredaemon.h"

#include <deviceprovider.h>
#include <faultinjection.h>
#include <pipewireprovider.h>

#include <QtTest>

#include <turbojpeg.h>

#include <array>
#include <atomic>
#include <mutex>

using kvplat::SampleFormat;
using kvplat::VideoFormat;

namespace {

std::shared_ptr<kvplat::IDevice> findByPath(const QString &path)
{
    for (auto &d : kvplat::enumerateVideoDevices()) {
        if (QString::fromStdWString(d->ident().path) == path)
            return d;
    }
    return nullptr;
}

// What a stream could leave behind in a long-running host: descriptors, shared memory mappings
// and threads.
std::array<int, 3> resourcesInUse()
{
    QFile maps("/proc/self/maps");
    const bool read = maps.open(QIODevice::ReadOnly);
    return {int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size()),
            read ? int(maps.readAll().count("/memfd:")) : -1,
            int(QDir("/proc/self/task").entryList(QDir::NoDotAndDotDot | QDir::Dirs).size())};
}

// Whether one snapshot of the counts shows no more than `limit` within 15 s. Descriptors come
// and go for a moment as the daemon's messages arrive, so each look is judged whole: two
// snapshots taken moments apart may disagree.
bool settlesAtMost(const std::array<int, 3> &limit, std::array<int, 3> *seen)
{
    for (int waited = 0;; waited += 50) {
        *seen = resourcesInUse();
        if ((*seen)[0] <= limit[0] && (*seen)[1] <= limit[1] && (*seen)[2] <= limit[2])
            return true;
        if (waited >= 15000)
            return false;
        QTest::qWait(50);
    }
}

QString describe(const std::array<int, 3> &r)
{
    return QString("%1 descriptors, %2 shared mappings, %3 threads").arg(r[0]).arg(r[1]).arg(r[2]);
}

QStringList listedPaths()
{
    QStringList paths;
    for (auto &d : kvplat::enumerateVideoDevices())
        paths << QString::fromStdWString(d->ident().path);
    return paths;
}

VideoFormat format(SampleFormat f, int w, int h)
{
    VideoFormat v;
    v.format = f;
    v.width = w;
    v.height = h;
    v.frameInterval = 333333;
    return v;
}

struct Collector
{
    std::mutex mutex;
    std::vector<uint8_t> last;
    std::atomic<int> count{0};
    std::atomic<int> lost{0};
    std::atomic<bool> afterStop{false};
    std::atomic<int> lateSamples{0};

    kvplat::StreamSinks sinks()
    {
        kvplat::StreamSinks s;
        s.sample = [this](const uint8_t *data, size_t length, REFERENCE_TIME, REFERENCE_TIME) {
            if (afterStop)
                ++lateSamples;
            std::lock_guard<std::mutex> lock(mutex);
            last.assign(data, data + length);
            ++count;
        };
        s.lost = [this] { ++lost; };
        return s;
    }
    std::vector<uint8_t> lastSample()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return last;
    }
};

// Studio-range YCbCr of an RGB colour, as YUY2 holds it.
void studioRange(int r, int g, int b, int *y, int *u, int *v)
{
    *y = 16 + (66 * r + 129 * g + 25 * b + 128) / 256;
    *u = 128 + (-38 * r - 74 * g + 112 * b + 128) / 256;
    *v = 128 + (112 * r - 94 * g - 18 * b + 128) / 256;
}

// The RGB of the middle pixel of a JPEG of the given size; false when it is not one.
bool middleOfJpeg(const std::vector<uint8_t> &jpeg, int width, int height, int rgb[3])
{
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    std::vector<uint8_t> pixels(size_t(width) * height * 3);
    const bool ok =
        !jpeg.empty() &&
        tjDecompressHeader3(tj, jpeg.data(), int(jpeg.size()), &w, &h, &sub, &space) == 0 &&
        w == width && h == height &&
        tjDecompress2(tj, jpeg.data(), int(jpeg.size()), pixels.data(), width, 0, height, TJPF_RGB,
                      0) == 0;
    tjDestroy(tj);
    if (ok) {
        const size_t at = (size_t(height / 2) * width + width / 2) * 3;
        for (int i = 0; i < 3; ++i)
            rgb[i] = pixels[at + i];
    }
    return ok;
}

} // namespace

class TestPipeWireProvider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_daemon.reset(); }
    void cleanup();

    void listsNameAndPathAndFormats();
    void streamsTheChosenFormat();
    void damagedBuffersAreDropped();
    void producerEndsMidStream();
    void twoCamerasAtOnce();
    void v4l2TwinListedOnce();
    void daemonEndsAndComesBack();
    void startedAndStoppedManyTimes();

private:
    // Starts a test camera and waits until `path` is listed.
    bool camera(const QStringList &arguments, const QString &path);
    std::shared_ptr<kvplat::IDevice> deskCamera(const QString &colour = {});

    std::unique_ptr<PipeWireDaemon> m_daemon;
    QList<QProcess *> m_cameras;
};

void TestPipeWireProvider::initTestCase()
{
    // No daemon: nothing listed, at once, and the reason said once.
    {
        QTemporaryDir empty;
        qputenv("KV_PIPEWIRE", "1");
        qputenv("XDG_RUNTIME_DIR", empty.path().toUtf8());
        qputenv("PIPEWIRE_RUNTIME_DIR", empty.path().toUtf8());
        qunsetenv("PIPEWIRE_REMOTE");
        LogCapture log;
        // As a host's camera list refreshes: often, and never stuck in PipeWire's teardown.
        for (int i = 0; i < 300; ++i)
            QVERIFY(listedPaths().isEmpty());
        QCOMPARE(log.count("PipeWire: no cameras:"), 1);
    }
    m_daemon.reset(new PipeWireDaemon);
    QVERIFY(m_daemon->start());
}

void TestPipeWireProvider::cleanup()
{
    for (QProcess *c : m_cameras)
        PipeWireDaemon::endCamera(c);
    m_cameras.clear();
    kvfault::setVirtualCameras("");
    // Their nodes are gone before the next case lists.
    QTRY_VERIFY_WITH_TIMEOUT(!listedPaths().join(' ').contains("pipewire:"), 10000);
}

bool TestPipeWireProvider::camera(const QStringList &arguments, const QString &path)
{
    QProcess *p = m_daemon->startCamera(arguments);
    if (!p)
        return false;
    m_cameras << p;
    return QTest::qWaitFor([&] { return findByPath(path) != nullptr; }, 15000);
}

// The test camera most cases stream from, as the provider lists it; null if it never appears.
std::shared_ptr<kvplat::IDevice> TestPipeWireProvider::deskCamera(const QString &colour)
{
    QStringList arguments = {"--name", "kv-desk", "--description", "Desk Camera"};
    if (!colour.isEmpty())
        arguments << "--colour" << colour;
    return camera(arguments, "pipewire:kv-desk") ? findByPath("pipewire:kv-desk") : nullptr;
}

void TestPipeWireProvider::listsNameAndPathAndFormats()
{
    QVERIFY(camera({"--name", "kv-desk", "--description", "Desk Camera"}, "pipewire:kv-desk"));
    kvfault::setVirtualCameras(
        R"([{"name": "Virtual Camera", "path": "virtual:0",
             "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]}])");
    QCOMPARE(listedPaths(), QStringList({"pipewire:kv-desk", "virtual:0"}));
    auto desk = findByPath("pipewire:kv-desk");
    QCOMPARE(QString::fromStdWString(desk->ident().name), QString("Desk Camera"));
    // Each format and size once, at its highest rate (the YUY2 size offers 15 and 30 fps).
    const std::vector<VideoFormat> expected = {format(SampleFormat::Mjpg, 1280, 720),
                                               format(SampleFormat::Mjpg, 640, 480),
                                               format(SampleFormat::Yuy2, 640, 480)};
    QVERIFY(desk->formats() == expected);
    // Nothing offered by no node: a format it does not have opens nothing.
    Collector c;
    QVERIFY(!desk->openStream(format(SampleFormat::Nv12, 640, 480), c.sinks()));
}

void TestPipeWireProvider::streamsTheChosenFormat()
{
    auto desk = deskCamera("3080C0");
    QVERIFY(desk);

    // MJPG: whole JPEG pictures of the size asked for, in the camera's colour.
    Collector mjpg;
    auto stream = desk->openStream(format(SampleFormat::Mjpg, 1280, 720), mjpg.sinks());
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(mjpg.count >= 3, 15000);
    int rgb[3] = {0, 0, 0};
    QVERIFY(middleOfJpeg(mjpg.lastSample(), 1280, 720, rgb));
    QVERIFY(qAbs(rgb[0] - 0x30) <= 6 && qAbs(rgb[1] - 0x80) <= 6 && qAbs(rgb[2] - 0xC0) <= 6);
    stream->stop();
    mjpg.afterStop = true;
    QTest::qWait(200);
    QCOMPARE(mjpg.lateSamples.load(), 0);
    stream.reset();

    // YUY2 right after: the stop released the node. Rows of exactly 640 * 2 bytes.
    Collector yuy2;
    stream = desk->openStream(format(SampleFormat::Yuy2, 640, 480), yuy2.sinks());
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(yuy2.count >= 3, 15000);
    const std::vector<uint8_t> s = yuy2.lastSample();
    QCOMPARE(int(s.size()), 640 * 2 * 480);
    int y = 0, u = 0, v = 0;
    studioRange(0x30, 0x80, 0xC0, &y, &u, &v);
    const size_t mid = size_t(240) * 1280 + 640;
    QVERIFY(qAbs(s[mid] - y) <= 6 && qAbs(s[mid + 1] - u) <= 6 && qAbs(s[mid + 3] - v) <= 6);
    QCOMPARE(yuy2.lost.load(), 0);
    stream->stop();
}

void TestPipeWireProvider::damagedBuffersAreDropped()
{
    // Three of every four buffers are flagged corrupted, empty or cut short.
    QVERIFY(camera({"--name", "kv-flaky", "--description", "Flaky Camera", "--damage"},
                   "pipewire:kv-flaky"));
    auto device = findByPath("pipewire:kv-flaky");
    QVERIFY(device);
    std::atomic<int> whole{0}, broken{0};
    kvplat::StreamSinks sinks;
    sinks.sample = [&](const uint8_t *data, size_t length, REFERENCE_TIME, REFERENCE_TIME) {
        const bool ok = length > 4 && data[0] == 0xFF && data[1] == 0xD8 &&
                        data[length - 2] == 0xFF && data[length - 1] == 0xD9;
        ++(ok ? whole : broken);
    };
    auto stream = device->openStream(format(SampleFormat::Mjpg, 640, 480), sinks);
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(whole >= 5, 15000);
    stream->stop();
    QCOMPARE(broken.load(), 0);
}

void TestPipeWireProvider::producerEndsMidStream()
{
    // The camera program quits after 40 frames: its node leaves while we stream.
    QVERIFY(camera({"--name", "kv-short", "--description", "Short Camera", "--frames", "40"},
                   "pipewire:kv-short"));
    auto device = findByPath("pipewire:kv-short");
    QVERIFY(device);
    LogCapture log;
    Collector c;
    auto stream = device->openStream(format(SampleFormat::Mjpg, 640, 480), c.sinks());
    QVERIFY(stream);
    QTRY_COMPARE_WITH_TIMEOUT(c.lost.load(), 1, 15000);
    QVERIFY(log.contains("the camera went away while streaming"));
    QVERIFY(log.messages().filter("the camera went away").first().contains("pipewire:kv-short"));
    // No other camera takes its place, and the stream stays lost.
    QVERIFY(!listedPaths().contains("pipewire:kv-short"));
    const int delivered = c.count;
    QTest::qWait(300);
    QCOMPARE(c.count.load(), delivered);
    QCOMPARE(c.lost.load(), 1);
    stream->stop();
    stream.reset();
    // A start of the vanished camera is refused, not hung.
    Collector none;
    QVERIFY(!device->openStream(format(SampleFormat::Mjpg, 640, 480), none.sinks()));

    // It comes back (a new node under the same name): a new start works.
    QVERIFY(camera({"--name", "kv-short", "--description", "Short Camera"}, "pipewire:kv-short"));
    Collector again;
    stream = device->openStream(format(SampleFormat::Mjpg, 640, 480), again.sinks());
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(again.count >= 3, 15000);
    stream->stop();
}

void TestPipeWireProvider::twoCamerasAtOnce()
{
    QVERIFY(camera({"--name", "kv-red", "--description", "Red Camera", "--colour", "C02020"},
                   "pipewire:kv-red"));
    QVERIFY(camera(
        {"--name", "kv-blue", "--description", "Blue Camera", "--colour", "2020C0", "--yuy2-only"},
        "pipewire:kv-blue"));
    auto red = findByPath("pipewire:kv-red");
    auto blue = findByPath("pipewire:kv-blue");
    QVERIFY(red && blue);
    QCOMPARE(int(blue->formats().size()), 1);
    Collector r, b;
    auto redStream = red->openStream(format(SampleFormat::Mjpg, 640, 480), r.sinks());
    auto blueStream = blue->openStream(format(SampleFormat::Yuy2, 640, 480), b.sinks());
    QVERIFY(redStream && blueStream);
    QTRY_VERIFY_WITH_TIMEOUT(r.count >= 5 && b.count >= 5, 15000);
    // Each stream has its own camera's picture.
    int rgb[3];
    QVERIFY(middleOfJpeg(r.lastSample(), 640, 480, rgb));
    QVERIFY(qAbs(rgb[0] - 0xC0) <= 6 && qAbs(rgb[2] - 0x20) <= 6);
    int y = 0, u = 0, v = 0;
    studioRange(0x20, 0x20, 0xC0, &y, &u, &v);
    const std::vector<uint8_t> s = b.lastSample();
    QCOMPARE(int(s.size()), 640 * 2 * 480);
    QVERIFY(qAbs(s[1] - u) <= 6 && qAbs(s[3] - v) <= 6);
    redStream->stop();
    blueStream->stop();
}

void TestPipeWireProvider::v4l2TwinListedOnce()
{
    FakeMachine machine;
    QVERIFY(machine.valid());
    machine.plug(0, "uvc", "HD Webcam C000", 0, "pci-0000:00:14.0-usb-0:1:1.0-video-index0");
    machine.plug(1, "uvc deny 1", "Locked Webcam", 0, "pci-0000:00:14.0-usb-0:2:1.0-video-index0");
    QVERIFY(camera({"--name", "v4l2_input.usb-webcam", "--description", "HD Webcam C000 (V4L2)",
                    "--v4l2", "/dev/video0"},
                   "v4l2:pci-0000:00:14.0-usb-0:1:1.0-video-index0"));
    QVERIFY(camera({"--name", "v4l2_input.locked", "--description", "Locked Webcam (V4L2)",
                    "--v4l2", "/dev/video1"},
                   "pipewire:v4l2_input.locked"));
    QVERIFY(camera({"--name", "kv-ipu", "--description", "Built-in Camera"}, "pipewire:kv-ipu"));
    // The node V4L2 opens is its own entry only; the one it may not open comes through
    // PipeWire in its place; V4L2 cameras before PipeWire's.
    QCOMPARE(listedPaths(), QStringList({"v4l2:pci-0000:00:14.0-usb-0:1:1.0-video-index0",
                                         "pipewire:kv-ipu", "pipewire:v4l2_input.locked"}));
}

void TestPipeWireProvider::daemonEndsAndComesBack()
{
    auto desk = deskCamera();
    QVERIFY(desk);
    Collector c;
    auto stream = desk->openStream(format(SampleFormat::Mjpg, 640, 480), c.sinks());
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(c.count >= 3, 15000);

    std::atomic<int> changes{0};
    kvplat::pipeWireProvider().setChangeListener([&] { ++changes; });

    // The session ends under a streaming camera: the stream is lost, a listener hears of it,
    // nothing is listed.
    LogCapture log;
    m_daemon->endDaemon();
    QTRY_COMPARE_WITH_TIMEOUT(c.lost.load(), 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(changes > 0, 15000);
    QVERIFY(!listedPaths().join(' ').contains("pipewire:"));
    QVERIFY(log.contains("PipeWire: no cameras:"));
    stream->stop();
    stream.reset();

    // A new session: the listener hears of it without anyone listing; the same camera is
    // listed and streams again.
    for (QProcess *p : m_cameras)
        PipeWireDaemon::endCamera(p);
    m_cameras.clear();
    const int seen = changes;
    QVERIFY(m_daemon->startDaemon());
    QTRY_VERIFY_WITH_TIMEOUT(changes > seen, 15000);
    desk = deskCamera("C02020");
    QVERIFY(desk);
    Collector again;
    stream = desk->openStream(format(SampleFormat::Mjpg, 640, 480), again.sinks());
    QVERIFY(stream);
    QTRY_VERIFY_WITH_TIMEOUT(again.count >= 3, 15000);
    int rgb[3];
    QVERIFY(middleOfJpeg(again.lastSample(), 640, 480, rgb));
    QVERIFY(qAbs(rgb[0] - 0xC0) <= 6 && qAbs(rgb[2] - 0x20) <= 6);
    stream->stop();
    kvplat::pipeWireProvider().setChangeListener(nullptr);
}

void TestPipeWireProvider::startedAndStoppedManyTimes()
{
    auto desk = deskCamera();
    QVERIFY(desk);
    std::array<int, 3> before = {};
    for (int cycle = 0; cycle < 30; ++cycle) {
        Collector c;
        auto stream = desk->openStream(format(SampleFormat::Mjpg, 640, 480), c.sinks());
        QVERIFY(stream);
        QTRY_VERIFY_WITH_TIMEOUT(c.count >= 2, 15000);
        // The count sees a stream's shared buffers.
        if (cycle == 1)
            QVERIFY(resourcesInUse()[1] > before[1]);
        stream->stop();
        stream.reset();
        if (cycle == 0) {
            // After the first round, once the counts hold still: what the connection keeps.
            std::array<int, 3> last = resourcesInUse();
            for (int look = 0; look < 20 && (look == 0 || last != before); ++look) {
                before = last;
                QTest::qWait(300);
                last = resourcesInUse();
            }
        }
    }
    // The daemon takes back the buffers of the last stream a moment after it ends; twenty-nine
    // more rounds leave nothing more behind than the first one did.
    std::array<int, 3> after = {};
    QVERIFY2(settlesAtMost(before, &after),
             qPrintable("before: " + describe(before) + "; after: " + describe(after)));
}

QTEST_GUILESS_MAIN(TestPipeWireProvider)
#include "tst_pipewireprovider.moc"
