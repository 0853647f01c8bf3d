// The camera object from the host's side, on virtual cameras: lists, starts
// by name pattern and by path, the frames at the display slot checked against
// an independent decode of the very samples, stop, restarts, and destruction
// while frames are still queued.
#include "camvideo.h"
#include "dripin.h"
#include "faultinjection.h"
#include "framewatcher.h"
#include "i420reference.h"
#include "kvcamerarenderwidget.h"
#include "samplegenerator.h"

#include <QtTest>

#include <map>
#include <memory>
#include <thread>

namespace {

const char *kCameras =
    R"([{"name": "Virtual MJPG Camera", "path": "virtual:mjpg",
         "formats": [{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30}]},
        {"name": "Virtual YUY2 Camera", "path": "virtual:yuy2",
         "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]},
        {"name": "Virtual RGB Camera", "path": "virtual:rgb",
         "formats": [{"fourcc": "RGB24", "width": 320, "height": 240, "fps": 30}]}])";

struct Expected
{
    kvplat::SampleFormat format;
    int width;
    int height;
    int tolerance; // largest byte difference accepted against the reference
};

// Finds which of the camera's frames a delivered image is, by comparing it
// with the reference decode of each frame the camera can have sent.
class FrameMatcher
{
public:
    explicit FrameMatcher(const Expected &e) : m_e(e) {}

    // The frame number, or -1; *difference gets the best match's difference.
    int match(const QByteArray &image, int maxFrame, int *difference)
    {
        int best = -1;
        int bestDiff = 256;
        for (int n = 0; n <= maxFrame; ++n) {
            const int d = i420ref::maxDifference(image, reference(n));
            if (d < bestDiff) {
                bestDiff = d;
                best = n;
            }
            if (d <= m_e.tolerance)
                break;
        }
        *difference = bestDiff;
        return bestDiff <= m_e.tolerance ? best : -1;
    }

private:
    const QByteArray &reference(int n)
    {
        auto it = m_cache.find(n);
        if (it != m_cache.end())
            return it->second;
        std::vector<uint8_t> sample;
        kvplat::SamplePattern bars;
        QByteArray ref;
        if (m_gen.render(m_e.format, m_e.width, m_e.height, bars, uint64_t(n), sample)) {
            switch (m_e.format) {
            case kvplat::SampleFormat::Mjpg:
                ref = i420ref::fromMjpg(sample, m_e.width, m_e.height);
                break;
            case kvplat::SampleFormat::Yuy2:
                ref = i420ref::fromYuy2(sample, m_e.width, m_e.height);
                break;
            case kvplat::SampleFormat::Rgb24:
                ref = i420ref::fromRgb24(sample, m_e.width, m_e.height);
                break;
            default: // no virtual camera here sends planar samples
                break;
            }
        }
        return m_cache.emplace(n, ref).first->second;
    }

    Expected m_e;
    kvplat::SampleGenerator m_gen;
    std::map<int, QByteArray> m_cache;
};

CamDevInfo record(const QString &name, const QString &path, int index)
{
    CamDevInfo i;
    i.name = name;
    i.path = path;
    i.index = index;
    return i;
}

} // namespace

class TestCameraEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { pinDriDrivers(); }
    void init();
    void cleanup();

    void listsAppendToWhatTheHostHas();
    void mjpgByNamePattern();
    void yuy2ByPath();
    void rgb24BottomUp();
    void windowModeShowsWindow();
    void unknownCameraFails();
    void stopAndRestart();
    void restartAfterFailedRun();
    void destroyWhileFramesQueued();
    void destroyWhileFramesQueuedWindowMode();

private:
    void checkFrames(const Expected &e, const QString &path, int count);

    std::unique_ptr<CamVideo> m_cam;
    KvCameraRenderWidget *m_render = nullptr;
    long m_objectsBefore = 0;
};

void TestCameraEndToEnd::initTestCase()
{
    kvfault::setVirtualCameras(kCameras);
    m_objectsBefore = kvfault::liveObjects();
}

void TestCameraEndToEnd::init()
{
    kvfault::clearFaults();
    m_cam.reset(CamVideo::create());
    QVERIFY(m_cam);
    QCOMPARE(m_cam->init(1.0), 0);
}

void TestCameraEndToEnd::cleanup()
{
    watchingApp()->watch(nullptr);
    m_cam.reset();
    delete m_render;
    m_render = nullptr;
    // Every platform object the camera used has been released.
    QCOMPARE(kvfault::liveObjects(), m_objectsBefore);
    kvfault::clearFaults();
}

void TestCameraEndToEnd::listsAppendToWhatTheHostHas()
{
    QVector<CamDevInfo> infos = {record("Host A", "host:a", 0), record("Host B", "host:b", 1)};
    QCOMPARE(m_cam->getCameraInfos(infos), 5);
    QCOMPARE(infos[0].path, QString("host:a"));
    QCOMPARE(infos[1].path, QString("host:b"));
    QCOMPARE(infos[2].name, QString("Virtual MJPG Camera"));
    QCOMPARE(infos[2].path, QString("virtual:mjpg"));
    QCOMPARE(infos[2].index, 0);
    QCOMPARE(infos[3].name, QString("Virtual YUY2 Camera"));
    QCOMPARE(infos[3].index, 1);
    QCOMPARE(infos[4].path, QString("virtual:rgb"));
    QCOMPARE(infos[4].index, 2);

    QStringList names = {"stale 1", "stale 2"};
    QCOMPARE(m_cam->getCameraNames(names), 3);
    QCOMPARE(names,
             QStringList({"Virtual MJPG Camera", "Virtual YUY2 Camera", "Virtual RGB Camera"}));
}

// Starts in render-widget mode and checks `count` delivered frames.
void TestCameraEndToEnd::checkFrames(const Expected &e, const QString &path, int count)
{
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= count, 15000);
    FrameMatcher matcher(e);
    int previous = -1;
    for (int k = 0; k < count; ++k) {
        const SeenFrame &f = watchingApp()->frames[k];
        QCOMPARE(f.width, e.width);
        QCOMPARE(f.height, e.height);
        const int sent = int(kvfault::samplesDelivered(path.toStdWString()));
        int diff = 0;
        const int n = matcher.match(f.bytes, sent + 2, &diff);
        if (n < 0)
            QFAIL(qPrintable(
                QString("frame %1 matches no sample (best difference %2)").arg(k).arg(diff)));
        QVERIFY2(n > previous, "frames arrive in order");
        previous = n;
    }
}

void TestCameraEndToEnd::mjpgByNamePattern()
{
    QCOMPARE(m_cam->useRenderWidget(), 0);
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    // The name is a pattern searched anywhere in the friendly name.
    QCOMPARE(m_cam->startCamera("MJ[P]G"), 0);
    QVERIFY(m_cam->isStarted());
    checkFrames({kvplat::SampleFormat::Mjpg, 1280, 720, 8}, "virtual:mjpg", 4);
    QCOMPARE(m_cam->stopCamera(), 0);
    QVERIFY(m_render->frameData() == nullptr);
}

void TestCameraEndToEnd::yuy2ByPath()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCameraByPath("virtual:yuy2"), 0);
    checkFrames({kvplat::SampleFormat::Yuy2, 640, 480, 0}, "virtual:yuy2", 6);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestCameraEndToEnd::rgb24BottomUp()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCamera("RGB"), 0);
    checkFrames({kvplat::SampleFormat::Rgb24, 320, 240, 2}, "virtual:rgb", 6);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestCameraEndToEnd::windowModeShowsWindow()
{
    QVERIFY(m_cam->getVideoWidget() == nullptr);
    QCOMPARE(m_cam->startCamera("YUY2"), 0);
    QWidget *window = m_cam->getVideoWidget();
    QVERIFY(window && window->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(kvfault::samplesDelivered(L"virtual:yuy2") >= 3, 10000);
    QCOMPARE(m_cam->setVideoVisible(false), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(m_cam->stopCamera(), 0);
    QCOMPARE(kvfault::activeStreams(), 0);
}

void TestCameraEndToEnd::unknownCameraFails()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    QVERIFY(m_cam->startCamera("No Such Camera") < 0);
    QVERIFY(m_cam->startCamera("(unbalanced") < 0);
    QVERIFY(m_cam->startCameraByPath("virtual:none") < 0);
    QVERIFY(!m_cam->isStarted());
    QCOMPARE(kvfault::activeStreams(), 0);
    // A good name still works afterwards.
    QCOMPARE(m_cam->startCamera("RGB"), 0);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestCameraEndToEnd::stopAndRestart()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCameraByPath("virtual:yuy2"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 2, 10000);
    QCOMPARE(m_cam->stopCamera(), 0);
    QCOMPARE(kvfault::activeStreams(), 0);
    QVERIFY(m_render->frameData() == nullptr);
    const int before = watchingApp()->frames.size();
    QTest::qWait(100);
    QCOMPARE(watchingApp()->frames.size(), before); // nothing lands after the stop

    // The same camera again, then another one with another size.
    QCOMPARE(m_cam->startCameraByPath("virtual:yuy2"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= before + 2, 10000);
    QCOMPARE(m_cam->stopCamera(), 0);

    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCamera("MJPG"), 0);
    checkFrames({kvplat::SampleFormat::Mjpg, 1280, 720, 8}, "virtual:mjpg", 2);
    QCOMPARE(m_cam->stopCamera(), 0);
}

// A start whose run fails must leave nothing behind that the next start
// would trip over: the next one opens afresh and its frames flow.
void TestCameraEndToEnd::restartAfterFailedRun()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    kvfault::failOnce(kvfault::Op::Run, E_FAIL);
    QCOMPARE(m_cam->startCameraByPath("virtual:yuy2"), -11);
    QVERIFY(!m_cam->isStarted());
    QCOMPARE(kvfault::activeStreams(), 0);

    QCOMPARE(m_cam->startCameraByPath("virtual:yuy2"), 0);
    checkFrames({kvplat::SampleFormat::Yuy2, 640, 480, 0}, "virtual:yuy2", 3);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestCameraEndToEnd::destroyWhileFramesQueued()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    m_render->resize(320, 180);
    m_render->show();
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCamera("MJPG"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 1, 10000);

    // Keep the GUI thread busy while the camera goes on, so that frame calls
    // pile up in its queue, then destroy the camera object.
    const long long sent = kvfault::samplesDelivered(L"virtual:mjpg");
    while (kvfault::samplesDelivered(L"virtual:mjpg") < sent + 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int seen = watchingApp()->frames.size();
    m_cam.reset();

    // The render widget stays with the host and holds no frame of the gone
    // buffers; no queued call lands, and repaints draw nothing from them.
    QVERIFY(m_render->frameData() == nullptr);
    m_render->update();
    QTest::qWait(100);
    QCOMPARE(watchingApp()->frames.size(), seen);
    QVERIFY(m_render->frameData() == nullptr);
}

void TestCameraEndToEnd::destroyWhileFramesQueuedWindowMode()
{
    QCOMPARE(m_cam->startCamera("YUY2"), 0);
    const long long sent = kvfault::samplesDelivered(L"virtual:yuy2");
    QTRY_VERIFY_WITH_TIMEOUT(kvfault::samplesDelivered(L"virtual:yuy2") >= sent + 2, 10000);
    while (kvfault::samplesDelivered(L"virtual:yuy2") < sent + 6)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_cam.reset();
    QTest::qWait(100); // nothing queued may run now (checked by the sanitizers)
}

int main(int argc, char **argv)
{
    WatchingApplication app(argc, argv);
    TestCameraEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_camera_e2e.moc"
