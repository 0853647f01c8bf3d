// The camera object from the host's side on scripted V4L2 webcams: the list (real cameras
// before virtual ones), a start at the booth's format with the right picture at the display,
// unplug while started and a start after re-plugging, and the failed start of a locked camera.
#include "camvideo.h"
#include "camvideotestsupport.h"
#include "dripin.h"
#include "fakemachine.h"
#include "framewatcher.h"
#include "kvcamerarenderwidget.h"

#include <faultinjection.h>

#include <QtTest>

#include <memory>

namespace {

const char *kUvcLink = "pci-0000:00:14.0-usb-0:1:1.0-video-index0";

using camtest::fullRange;
using camtest::keepMessage;
using camtest::messagesWith;

} // namespace

class TestV4l2CamVideo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(keepMessage); }
    void cleanupTestCase()
    {
        qInstallMessageHandler(nullptr);
        pinDriDrivers();
    }
    void init();
    void cleanup();

    void listsRealCamerasFirst();
    void startShowsTheCamerasPicture();
    void unplugWhileStartedAndReplug();
    void lockedCameraFailsToStart();

private:
    KvCameraRenderWidget *renderWidget();

    std::unique_ptr<FakeMachine> m_machine;
    std::unique_ptr<CamVideo> m_cam;
    KvCameraRenderWidget *m_render = nullptr;
};

void TestV4l2CamVideo::init()
{
    m_machine.reset(new FakeMachine);
    QVERIFY(m_machine->valid());
    m_cam.reset(CamVideo::create());
    QCOMPARE(m_cam->init(1.0), 0);
}

void TestV4l2CamVideo::cleanup()
{
    watchingApp()->watch(nullptr);
    m_cam.reset();
    delete m_render;
    m_render = nullptr;
    m_machine.reset();
    kvfault::setVirtualCameras("");
}

KvCameraRenderWidget *TestV4l2CamVideo::renderWidget()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    return m_render;
}

void TestV4l2CamVideo::listsRealCamerasFirst()
{
    m_machine->plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    m_machine->plug(1, "uvc-meta", "HD Webcam C000", 1);
    m_machine->plug(2, "cheap", "USB2.0 Camera", 0);
    kvfault::setVirtualCameras(
        R"([{"name": "Virtual Camera", "path": "virtual:0",
             "formats": [{"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}]}])");
    QVector<CamDevInfo> infos;
    QCOMPARE(m_cam->getCameraInfos(infos), 3);
    QCOMPARE(infos[0].name, QString("HD Webcam C000"));
    QCOMPARE(infos[0].path, QString("v4l2:") + kUvcLink);
    QCOMPARE(infos[1].name, QString("USB2.0 Camera: USB2.0 Camera"));
    QCOMPARE(infos[1].path, QString("v4l2:usb-0000:00:14.0-2-video-index0"));
    QCOMPARE(infos[2].path, QString("virtual:0"));
    QCOMPARE(infos[2].index, 2);
}

void TestV4l2CamVideo::startShowsTheCamerasPicture()
{
    m_machine->plug(0, "uvc solid #3080C0", "HD Webcam C000", 0, kUvcLink);
    renderWidget();
    QCOMPARE(m_cam->startCamera("HD Webcam"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 3, 15000);
    // The booth's choice: MJPG 1280x720 at 30 fps.
    const SeenFrame f = watchingApp()->frames[2];
    QCOMPARE(f.width, 1280);
    QCOMPARE(f.height, 720);
    int y = 0, u = 0, v = 0;
    fullRange(0x30, 0x80, 0xC0, &y, &u, &v);
    QVERIFY(frameHasColour(f, y, u, v, 4));
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestV4l2CamVideo::unplugWhileStartedAndReplug()
{
    m_machine->plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    renderWidget();
    QCOMPARE(m_cam->startCameraByPath(QString("v4l2:") + kUvcLink), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 2, 15000);
    m_machine->unplug(0);
    QTRY_VERIFY_WITH_TIMEOUT(!messagesWith("the camera went away while streaming").isEmpty(),
                             10000);
    QCOMPARE(m_cam->stopCamera(), 0);
    QVector<CamDevInfo> infos;
    QVERIFY(m_cam->getCameraInfos(infos) <= 0);

    m_machine->plug(0, "uvc", "HD Webcam C000", 0, kUvcLink);
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCameraByPath(QString("v4l2:") + kUvcLink), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 2, 15000);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestV4l2CamVideo::lockedCameraFailsToStart()
{
    m_machine->plug(0, "uvc deny 1", "Locked Webcam", 0, kUvcLink);
    QStringList names;
    QCOMPARE(m_cam->getCameraNames(names), 1);
    QCOMPARE(names, QStringList({"Locked Webcam"}));
    renderWidget();
    QVERIFY(m_cam->startCamera("Locked Webcam") < 0);
    QVERIFY(!m_cam->isStarted());
    const QStringList lines = messagesWith("Permission denied");
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.last().contains("/dev/video0") && lines.last().contains("'video' group"));
}

int main(int argc, char **argv)
{
    WatchingApplication app(argc, argv);
    TestV4l2CamVideo test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_v4l2camvideo.moc"
