// A camera only PipeWire offers, from the host's side: listed by the camera object, started at
// the booth's format with its true picture at the OpenGL render widget (on a private X server),
// lost when its program ends while started, and started again when it is back.
#include "camvideo.h"
#include "camvideotestsupport.h"
#include "dripin.h"
#include "framewatcher.h"
#include "kvcamerarenderwidget.h"
#include "pipewiredaemon.h"

#include <QtTest>

#include <memory>

using camtest::fullRange;
using camtest::keepMessage;
using camtest::messagesWith;

class TestPipeWireCamVideo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void showsTheCamerasPicture();
    void producerEndsWhileStartedAndComesBack();
    void hostHearsOfCamerasComingAndGoing();

private:
    bool startProducer(const QStringList &arguments);
    KvCameraRenderWidget *renderWidget();

    std::unique_ptr<PipeWireDaemon> m_daemon;
    QProcess *m_producer = nullptr;
    std::unique_ptr<CamVideo> m_cam;
    KvCameraRenderWidget *m_render = nullptr;
};

void TestPipeWireCamVideo::initTestCase()
{
    qInstallMessageHandler(keepMessage);
    m_daemon.reset(new PipeWireDaemon);
    QVERIFY(m_daemon->start());
}

void TestPipeWireCamVideo::cleanupTestCase()
{
    m_daemon.reset();
    qInstallMessageHandler(nullptr);
    pinDriDrivers();
}

void TestPipeWireCamVideo::init()
{
    m_cam.reset(CamVideo::create());
    QCOMPARE(m_cam->init(1.0), 0);
}

void TestPipeWireCamVideo::cleanup()
{
    watchingApp()->watch(nullptr);
    m_cam.reset();
    delete m_render;
    m_render = nullptr;
    PipeWireDaemon::endCamera(m_producer);
    m_producer = nullptr;
}

bool TestPipeWireCamVideo::startProducer(const QStringList &arguments)
{
    m_producer = m_daemon->startCamera(arguments);
    return m_producer && QTest::qWaitFor(
                             [&] {
                                 QStringList names;
                                 return m_cam->getCameraNames(names) > 0;
                             },
                             15000);
}

KvCameraRenderWidget *TestPipeWireCamVideo::renderWidget()
{
    m_cam->useRenderWidget();
    m_render = static_cast<KvCameraRenderWidget *>(m_cam->getVideoWidget());
    watchingApp()->watch(m_render);
    return m_render;
}

void TestPipeWireCamVideo::showsTheCamerasPicture()
{
    QVERIFY(startProducer(
        {"--name", "libcamera.ipu6", "--description", "Built-in Camera", "--colour", "3080C0"}));
    QVector<CamDevInfo> infos;
    QCOMPARE(m_cam->getCameraInfos(infos), 1);
    QCOMPARE(infos[0].name, QString("Built-in Camera"));
    QCOMPARE(infos[0].path, QString("pipewire:libcamera.ipu6"));

    renderWidget();
    QCOMPARE(m_cam->startCamera("Built-in Camera"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 3, 15000);
    // The booth's choice: MJPG 1280x720.
    const SeenFrame f = watchingApp()->frames[2];
    QCOMPARE(f.width, 1280);
    QCOMPARE(f.height, 720);
    int y = 0, u = 0, v = 0;
    fullRange(0x30, 0x80, 0xC0, &y, &u, &v);
    QVERIFY(frameHasColour(f, y, u, v, 6));
    QCOMPARE(m_cam->stopCamera(), 0);
    // Stopped means released: the camera starts again at once.
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCameraByPath("pipewire:libcamera.ipu6"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 2, 15000);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestPipeWireCamVideo::producerEndsWhileStartedAndComesBack()
{
    const QStringList arguments = {"--name", "v4l2_input.usb-cam", "--description", "USB Camera"};
    QVERIFY(startProducer(arguments));
    renderWidget();
    QCOMPARE(m_cam->startCameraByPath("pipewire:v4l2_input.usb-cam"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 2, 15000);
    PipeWireDaemon::endCamera(m_producer);
    QTRY_VERIFY_WITH_TIMEOUT(!messagesWith("the camera went away while streaming").isEmpty(),
                             10000);
    QCOMPARE(m_cam->stopCamera(), 0);
    QStringList names;
    QVERIFY(m_cam->getCameraNames(names) <= 0);

    QVERIFY(startProducer(arguments));
    watchingApp()->watch(m_render);
    QCOMPARE(m_cam->startCameraByPath("pipewire:v4l2_input.usb-cam"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(watchingApp()->frames.size() >= 2, 15000);
    QCOMPARE(m_cam->stopCamera(), 0);
}

void TestPipeWireCamVideo::hostHearsOfCamerasComingAndGoing()
{
    QStringList names;
    m_cam->getCameraNames(names); // the first listing connects
    int changes = 0;
    auto context = std::make_unique<QObject>();
    CamVideo::watchCameras(context.get(), [&] { ++changes; });
    m_producer = m_daemon->startCamera({"--name", "kv-hotplug", "--description", "Hotplug"});
    QTRY_VERIFY_WITH_TIMEOUT(changes >= 1, 15000);
    QCOMPARE(m_cam->getCameraNames(names), 1);
    QCOMPARE(names, QStringList({"Hotplug"}));
    const int seen = changes;
    PipeWireDaemon::endCamera(m_producer);
    QTRY_VERIFY_WITH_TIMEOUT(changes > seen, 15000);
    QVERIFY(m_cam->getCameraNames(names) <= 0);
    // A context that is gone hears nothing more.
    context.reset();
    QVERIFY(startProducer({"--name", "kv-hotplug", "--description", "Hotplug"}));
}

int main(int argc, char **argv)
{
    WatchingApplication app(argc, argv);
    TestPipeWireCamVideo test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pipewirecamvideo.moc"
