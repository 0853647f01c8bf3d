#include "camvideoimp.h"
#include "fakebooth.h"
#include "framewatcher.h"
#include "kvcamerarenderwidget.h"
#include "kvcamerawidget.h"

#include <QtTest>

#include <malloc.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

QStringList g_log;
std::mutex g_logMutex;
QtMessageHandler g_previousHandler = nullptr;

void collectLog(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (type == QtDebugMsg && msg.startsWith("cam_video frame")) {
        std::lock_guard<std::mutex> g(g_logMutex);
        g_log.append(msg);
    }
    if (g_previousHandler)
        g_previousHandler(type, ctx, msg);
}

QStringList frameLog()
{
    std::lock_guard<std::mutex> g(g_logMutex);
    return g_log;
}

// Calls the module's callback from a thread of its own, as a camera's
// streaming thread does; the frame call to the widget is then queued.
void deliverFromThread(FakeBooth *booth, unsigned char first, int len)
{
    std::vector<unsigned char> sample(std::size_t(len > 0 ? len : 1), first);
    std::thread t([&] { booth->deliver(sample.data(), len); });
    t.join();
}

// The same, and then lets the GUI thread run the queued frame call, so that
// the next sample finds the display ready.
void deliverShown(FakeBooth *booth, unsigned char first, int len)
{
    deliverFromThread(booth, first, len);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

CamDevInfo camera(const QString &name, const QString &path, int index)
{
    CamDevInfo i;
    i.name = name;
    i.path = path;
    i.index = index;
    return i;
}

} // namespace

class TestCamVideo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void frameLogOnlyFirstFourSamples();
    void initScale_data();
    void initScale();
    void secondInitKeepsScale();
    void startAndStopResults();
    void startByPath();
    void cameraListsAppend();
    void noBooth();
    void videoWidgetPerMode();
    void renderWidgetStaysHiddenOnRestart();
    void framesReachRenderWidget();
    void hostAccessors();
    void bufferGrowth();
    void badSizesDropFrame_data();
    void badSizesDropFrame();
    void failedConversionDropsFrame();
    void overlappingSamplesAreSkipped();
    void failedRunClosesCamera();
    void stopDropsQueuedFramesAndClearsWidget();
    void destroyWhileFramesQueued();
    void destroyWhileFramesQueuedWindowMode();
    void hostDeletesRenderWidgetWhileStarted();

private:
    FakeBooth *m_booth = nullptr;
};

void TestCamVideo::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(collectLog);
}

void TestCamVideo::cleanup()
{
    qApp->setProperty("scalefactor", QVariant());
    watchingApp()->watch(nullptr);
}

// Must run before any other test delivers a sample: the counter is shared by
// every camera object of the process and never reset.
void TestCamVideo::frameLogOnlyFirstFourSamples()
{
    auto *b1 = new FakeBooth;
    auto *b2 = new FakeBooth;
    CamVideoImp cam1(b1);
    CamVideoImp cam2(b2);
    QCOMPARE(cam1.useRenderWidget(), 0);
    QCOMPARE(cam2.useRenderWidget(), 0);
    b1->setFormat(64, 48);
    b2->setFormat(64, 48);
    QCOMPARE(cam1.startCamera("one"), 0);
    QCOMPARE(cam2.startCamera("two"), 0);

    // Two capture threads at once: the counter must hand out each number once.
    // Each feeds until 25 of its samples were converted (a sample that finds
    // the previous frame call not yet run is skipped) while this thread runs
    // the frame calls.
    std::vector<unsigned char> sample(100, 7);
    std::atomic<int> feeding{2};
    auto feed = [&](FakeBooth *b, int lenBase) {
        for (int i = 0; i < 1000000 && b->converts.load() < 25; ++i) {
            b->deliver(sample.data(), lenBase + i);
            std::this_thread::yield();
        }
        --feeding;
    };
    std::thread t1(feed, b1, 1000);
    std::thread t2(feed, b2, 2000);
    while (feeding.load() > 0)
        QCoreApplication::processEvents();
    t1.join();
    t2.join();
    QCOMPARE(b1->converts.load(), 25);
    QCOMPARE(b2->converts.load(), 25);

    const QStringList log = frameLog();
    QCOMPARE(log.size(), 4);
    for (int n = 1; n <= 4; ++n) {
        const QString prefix = QString("cam_video frame  %1  len :  ").arg(n);
        QCOMPARE(std::count_if(log.begin(), log.end(),
                               [&](const QString &m) { return m.startsWith(prefix); }),
                 1);
    }
    // Later objects log nothing either.
    auto *b3 = new FakeBooth;
    CamVideoImp cam3(b3);
    cam3.useRenderWidget();
    b3->setFormat(64, 48);
    QCOMPARE(cam3.startCamera("three"), 0);
    deliverFromThread(b3, 1, 10);
    QCOMPARE(b3->converts.load(), 1);
    QCOMPARE(frameLog().size(), 4);
    QTest::qWait(0);
    delete cam1.getVideoWidget();
    delete cam2.getVideoWidget();
    delete cam3.getVideoWidget();
}

void TestCamVideo::initScale_data()
{
    QTest::addColumn<QVariant>("property");
    QTest::addColumn<double>("argument");
    QTest::addColumn<int>("windowWidth");

    QTest::newRow("negative, no property") << QVariant() << -1.0 << 400;
    QTest::newRow("negative, property 2") << QVariant(2) << -1.0 << 800;
    QTest::newRow("negative, property text 1.5") << QVariant("1.5") << -1.0 << 600;
    QTest::newRow("negative, property not a number") << QVariant("wide") << -1.0 << 0;
    QTest::newRow("negative, property negative") << QVariant(-3) << -1.0 << 400;
    QTest::newRow("given 1.25 wins over the property") << QVariant(2) << 1.25 << 500;
    QTest::newRow("given 0") << QVariant() << 0.0 << 0;
}

// The scale shows in the camera window's size: 400 x scale.
void TestCamVideo::initScale()
{
    QFETCH(QVariant, property);
    QFETCH(double, argument);
    QFETCH(int, windowWidth);
    qApp->setProperty("scalefactor", property);

    auto *booth = new FakeBooth;
    CamVideoImp cam(booth);
    QCOMPARE(cam.init(argument), 0);
    QCOMPARE(cam.startCamera("cam"), 0);
    QWidget *w = cam.getVideoWidget();
    QVERIFY(w);
    QCOMPARE(w->width(), windowWidth);
}

void TestCamVideo::secondInitKeepsScale()
{
    auto *booth = new FakeBooth;
    CamVideoImp cam(booth);
    QCOMPARE(cam.init(2.0), 0);
    QCOMPARE(cam.init(1.0), 0);
    QCOMPARE(cam.init(-1.0), 0);
    QCOMPARE(cam.startCamera("cam"), 0);
    QCOMPARE(cam.getVideoWidget()->width(), 800);

    // A start without init takes the scale from the application.
    qApp->setProperty("scalefactor", 1.5);
    auto *booth2 = new FakeBooth;
    CamVideoImp cam2(booth2);
    QCOMPARE(cam2.startCamera("cam"), 0);
    QCOMPARE(cam2.getVideoWidget()->width(), 600);
}

void TestCamVideo::startAndStopResults()
{
    m_booth = new FakeBooth;
    auto owner = std::make_unique<CamVideoImp>(m_booth);
    CamVideoImp &cam = *owner;

    QCOMPARE(cam.setVideoVisible(true), -1);
    QCOMPARE(cam.stopCamera(), 1);
    QCOMPARE(cam.startCamera(""), -1);
    QVERIFY(m_booth->takeCalls().isEmpty());
    QVERIFY(!cam.isStarted());

    QCOMPARE(cam.startCamera("Front Cam"), 0);
    QVERIFY(cam.isStarted());
    QCOMPARE(m_booth->takeCalls(), QStringList({"setCb", "open:Front Cam", "run"}));
    QWidget *window = cam.getVideoWidget();
    QVERIFY(qobject_cast<KvCameraWidget *>(window));
    QVERIFY(window->isVisible());

    QCOMPARE(cam.startCamera("Other"), 1);
    QCOMPARE(cam.startCameraByPath("/dev/other"), 1);
    QVERIFY(m_booth->takeCalls().isEmpty());

    QCOMPARE(cam.setVideoVisible(false), 0);
    QVERIFY(!window->isVisible());
    QCOMPARE(cam.setVideoVisible(true), 0);
    QVERIFY(window->isVisible());
    QCOMPARE(cam.useRenderWidget(), -1);
    QCOMPARE(cam.getVideoWidget(), window);

    QCOMPARE(cam.stopCamera(), 0);
    QVERIFY(!cam.isStarted());
    QVERIFY(!window->isVisible());
    QCOMPARE(m_booth->takeCalls(), QStringList({"stop", "close"}));
    QCOMPARE(cam.stopCamera(), 1);
    QVERIFY(m_booth->takeCalls().isEmpty());

    // A restart shows the same window again with a new callback object.
    QCOMPARE(cam.startCamera("Front Cam"), 0);
    QCOMPARE(cam.getVideoWidget(), window);
    QVERIFY(window->isVisible());
    QCOMPARE(m_booth->callbacks.size(), 2);
    QVERIFY(m_booth->callbacks[0] != m_booth->callbacks[1]);

    // Destruction stops and closes a running camera, then frees the booth.
    bool destroyed = false;
    m_booth->destroyed = &destroyed;
    m_booth->takeCalls();
    QVERIFY(m_booth->isRunning());
    QPointer<QWidget> alive(window);
    // The booth records its last calls before it goes.
    QStringList lastCalls;
    m_booth->onDestroy = [&](FakeBooth *b) { lastCalls = b->takeCalls(); };
    owner.reset();
    QVERIFY(destroyed);
    QCOMPARE(lastCalls, QStringList({"stop", "close"}));
    QVERIFY(!alive);
}

void TestCamVideo::startByPath()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    QCOMPARE(cam.startCameraByPath(""), -1);
    QCOMPARE(cam.startCameraByPath("\\\\?\\usb#vid_1&pid_2"), 0);
    QCOMPARE(m_booth->takeCalls(),
             QStringList({"setCb", "openPath:\\\\?\\usb#vid_1&pid_2::0", "run"}));
}

void TestCamVideo::cameraListsAppend()
{
    m_booth = new FakeBooth;
    m_booth->cameras = {camera("A", "pa", 0), camera("B", "pb", 1), camera("C", "pc", 2)};
    CamVideoImp cam(m_booth);

    QVector<CamDevInfo> infos = {camera("x", "px", 7), camera("y", "py", 8)};
    QCOMPARE(cam.getCameraInfos(infos), 5);
    QCOMPARE(infos[0].name, QString("x"));
    QCOMPARE(infos[1].index, 8);
    QCOMPARE(infos[2].name, QString("A"));
    QCOMPARE(infos[4].path, QString("pc"));
    QCOMPARE(infos[4].index, 2);

    QStringList names = {"old1", "old2"};
    QCOMPARE(cam.getCameraNames(names), 3);
    QCOMPARE(names, QStringList({"A", "B", "C"}));
}

void TestCamVideo::noBooth()
{
    CamVideoImp cam(nullptr);
    QVector<CamDevInfo> infos;
    QStringList names;
    QCOMPARE(cam.getCameraInfos(infos), -1);
    QCOMPARE(cam.getCameraNames(names), -1);
    QVERIFY(cam.startCamera("cam") < 0);
    QVERIFY(!cam.isStarted());
}

void TestCamVideo::videoWidgetPerMode()
{
    {
        CamVideoImp cam(new FakeBooth);
        QVERIFY(cam.getVideoWidget() == nullptr);
        QCOMPARE(cam.init(1.0), 0);
        QVERIFY(cam.getVideoWidget() == nullptr);
        QCOMPARE(cam.startCamera("cam"), 0);
        QVERIFY(qobject_cast<KvCameraWidget *>(cam.getVideoWidget()));
        QCOMPARE(cam.stopCamera(), 0);
        // Switching after a window exists: the render widget from now on.
        QCOMPARE(cam.useRenderWidget(), 0);
        QWidget *render = cam.getVideoWidget();
        QVERIFY(qobject_cast<KvCameraRenderWidget *>(render));
        QCOMPARE(cam.useRenderWidget(), 0);
        QCOMPARE(cam.getVideoWidget(), render);
        delete render;
    }
    {
        auto owner = std::make_unique<CamVideoImp>(new FakeBooth);
        CamVideoImp &cam = *owner;
        QCOMPARE(cam.useRenderWidget(), 0);
        auto *render = qobject_cast<KvCameraRenderWidget *>(cam.getVideoWidget());
        QVERIFY(render);
        QVERIFY(render->parent() == nullptr);
        QVERIFY(!render->isVisible());
        QCOMPARE(cam.startCamera("cam"), 0);
        QCOMPARE(cam.getVideoWidget(), render);
        QVERIFY(!render->isVisible()); // the host shows it
        QCOMPARE(cam.setVideoVisible(true), 0);
        QVERIFY(render->isVisible());
        QCOMPARE(cam.stopCamera(), 0);
        // The host keeps the render widget after the module is gone.
        QPointer<KvCameraRenderWidget> alive(render);
        owner.reset();
        QVERIFY(alive);
        delete render;
    }
}

void TestCamVideo::renderWidgetStaysHiddenOnRestart()
{
    CamVideoImp cam(new FakeBooth);
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    render->show();
    QCOMPARE(cam.startCamera("cam"), 0);
    QVERIFY(render->isVisible());
    QCOMPARE(cam.stopCamera(), 0);
    QVERIFY(!render->isVisible());
    QCOMPARE(cam.startCamera("cam"), 0);
    QVERIFY(!render->isVisible());
    QCOMPARE(cam.setVideoVisible(true), 0);
    QVERIFY(render->isVisible());
    cam.stopCamera();
    render.release();
    delete cam.getVideoWidget();
}

// A host's own implementation of the interface: the accessors, which only
// know the library's, answer empty.
class ForeignCamVideo : public CamVideo
{
public:
    int init(double) override { return 0; }
    int startCamera(const QString &) override { return 0; }
    int startCameraByPath(const QString &) override { return 0; }
    bool isStarted() override { return true; }
    int setVideoVisible(bool) override { return 0; }
    int stopCamera() override { return 0; }
    int getCameraInfos(QVector<CamDevInfo> &list) override { return list.size(); }
    int getCameraNames(QStringList &names) override { return names.size(); }
    int useRenderWidget() override { return 0; }
    QWidget *getVideoWidget() override { return nullptr; }
};

void TestCamVideo::hostAccessors()
{
    m_booth = new FakeBooth;
    CamVideoImp imp(m_booth);
    CamVideo &cam = imp; // the host's view
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    watchingApp()->watch(static_cast<KvCameraRenderWidget *>(render.get()));
    m_booth->setFormat(64, 48);
    QVERIFY(cam.currentFormat().isEmpty()); // not started
    QCOMPARE(cam.frameCount(), qint64(0));

    QCOMPARE(cam.startCamera("cam"), 0);
    const QJsonObject expected{
        {"width", 64}, {"height", 48}, {"fps", 30.0}, {"format", 0x32595559}};
    QCOMPARE(cam.currentFormat(), expected);
    // Each sample waits for the display's previous frame call, as a camera's
    // frame period does; one arriving earlier would be skipped.
    deliverFromThread(m_booth, 1, 10);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    // A sample whose conversion fails reaches no widget and is not counted.
    m_booth->convertResult = -11;
    deliverFromThread(m_booth, 2, 10);
    m_booth->convertResult = 0;
    deliverFromThread(m_booth, 3, 10);
    QTRY_COMPARE(watchingApp()->frames.size(), 2);
    QCOMPARE(cam.frameCount(), qint64(2));

    cam.stopCamera();
    QVERIFY(cam.currentFormat().isEmpty());
    QCOMPARE(cam.frameCount(), qint64(2)); // kept until the next start
    QCOMPARE(cam.startCamera("cam"), 0);
    QCOMPARE(cam.frameCount(), qint64(0));
    cam.stopCamera();
    watchingApp()->watch(nullptr);

    ForeignCamVideo foreign;
    QVERIFY(foreign.currentFormat().isEmpty());
    QCOMPARE(foreign.frameCount(), qint64(0));
}

void TestCamVideo::framesReachRenderWidget()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    auto *render = static_cast<KvCameraRenderWidget *>(cam.getVideoWidget());
    watchingApp()->watch(render);
    m_booth->setFormat(64, 48);
    QCOMPARE(cam.startCamera("cam"), 0);

    // A frame delivered on the GUI thread itself arrives at once.
    std::vector<unsigned char> sample(10, 40);
    m_booth->deliver(sample.data(), 10);
    QCOMPARE(render->frameWidth(), 64);
    QCOMPARE(render->frameHeight(), 48);
    QCOMPARE(render->frameData()[0], uchar(40));

    // From the capture thread the call is queued and runs on the GUI thread.
    // Until it has run, the next sample is skipped without a conversion.
    QCOMPARE(m_booth->converts.load(), 1);
    deliverFromThread(m_booth, 50, 10);
    deliverFromThread(m_booth, 55, 10);
    QCOMPARE(m_booth->converts.load(), 2);
    QCOMPARE(cam.skippedSamples(), 1LL);
    QVERIFY(watchingApp()->frames.isEmpty());
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    deliverFromThread(m_booth, 60, 10);
    QTRY_COMPARE(watchingApp()->frames.size(), 2);
    QCOMPARE(cam.skippedSamples(), 1LL);
    const int y = 64 * 48;
    int expect = 50;
    for (const SeenFrame &f : qAsConst(watchingApp()->frames)) {
        QCOMPARE(f.width, 64);
        QCOMPARE(f.height, 48);
        QCOMPARE(f.bytes.size(), y * 3 / 2);
        QCOMPARE(uchar(f.bytes[0]), uchar(expect));
        QCOMPARE(uchar(f.bytes[y - 1]), uchar(expect));
        QCOMPARE(uchar(f.bytes[y]), uchar(expect + 1));             // U
        QCOMPARE(uchar(f.bytes[y * 5 / 4]), uchar(expect + 2));     // V
        QCOMPARE(uchar(f.bytes[y * 3 / 2 - 1]), uchar(expect + 2)); // end of V
        expect += 10;
    }
    QCOMPARE(m_booth->lastDstSize.load(), 64 * 48 * 2);
    QVERIFY(watchingApp()->frames[0].data != watchingApp()->frames[1].data);
    cam.stopCamera();
    watchingApp()->watch(nullptr);
    delete render;
}

void TestCamVideo::bufferGrowth()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    QCOMPARE(cam.startCamera("cam"), 0);

    auto runFrames = [&](int w, int h) {
        m_booth->destinations.clear();
        m_booth->setFormat(w, h);
        for (int i = 0; i < 4; ++i)
            deliverShown(m_booth, uchar(i), 16);
        return m_booth->destinations;
    };

    const QVector<uchar *> small = runFrames(640, 480);
    QCOMPARE(m_booth->lastDstSize.load(), 614400);
    QCOMPARE(small.size(), 4);
    for (uchar *p : small)
        QVERIFY(malloc_usable_size(p) >= 614400);

    const QVector<uchar *> large = runFrames(1280, 720);
    QCOMPARE(m_booth->lastDstSize.load(), 1843200);
    QCOMPARE(large.size(), 4);
    for (uchar *p : large)
        QVERIFY(malloc_usable_size(p) >= 1843200);
    // Four distinct blocks, used in turn.
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            QVERIFY(large[i] != large[j]);

    // Back to the small size: the large blocks stay, in the same rotation.
    const QVector<uchar *> again = runFrames(640, 480);
    QCOMPARE(again, large);
    QTest::qWait(0);
    cam.stopCamera();
}

void TestCamVideo::badSizesDropFrame_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("zero width") << 0 << 480;
    QTest::newRow("zero height") << 640 << 0;
    QTest::newRow("negative") << -640 << -480;
    QTest::newRow("buffer just above an int") << 46341 << 23171;
    QTest::newRow("product overflows") << 65536 << 32768;
    QTest::newRow("huge") << 2147483647 << 2147483647;
}

void TestCamVideo::badSizesDropFrame()
{
    QFETCH(int, width);
    QFETCH(int, height);
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    watchingApp()->watch(static_cast<KvCameraRenderWidget *>(render.get()));
    QCOMPARE(cam.startCamera("cam"), 0);

    m_booth->setFormat(width, height);
    deliverFromThread(m_booth, 1, 16);
    QCOMPARE(m_booth->converts.load(), 0);

    // No format at all drops the sample the same way; a sane size works again.
    m_booth->setFormat(32, 16);
    deliverFromThread(m_booth, 1, 16);
    QCOMPARE(m_booth->converts.load(), 1);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    QCOMPARE(watchingApp()->frames[0].width, 32);
    cam.stopCamera();
}

void TestCamVideo::failedConversionDropsFrame()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    watchingApp()->watch(static_cast<KvCameraRenderWidget *>(render.get()));
    QCOMPARE(cam.startCamera("cam"), 0);

    // Before a format is known nothing is converted.
    deliverFromThread(m_booth, 1, 16);
    QCOMPARE(m_booth->converts.load(), 0);

    m_booth->setFormat(32, 16);
    m_booth->convertResult = -11;
    for (int i = 0; i < 6; ++i)
        deliverFromThread(m_booth, 1, 16);
    QCOMPARE(m_booth->converts.load(), 6);
    QTest::qWait(20);
    QCOMPARE(watchingApp()->frames.size(), 0);

    // Every buffer went back to the pool and no frame call is awaited: four
    // more frames still get one each.
    QCOMPARE(cam.skippedSamples(), 0LL);
    m_booth->convertResult = 0;
    for (int i = 0; i < 4; ++i)
        deliverShown(m_booth, 1, 16);
    QTRY_COMPARE(watchingApp()->frames.size(), 4);
    cam.stopCamera();
}

void TestCamVideo::overlappingSamplesAreSkipped()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    watchingApp()->watch(static_cast<KvCameraRenderWidget *>(render.get()));
    m_booth->setFormat(32, 16);
    QCOMPARE(cam.startCamera("cam"), 0);

    // One delivery is inside its conversion; samples arriving meanwhile from
    // other threads are skipped without a buffer or a conversion (one would
    // block here until the holder is released).
    m_booth->holdConversions(true);
    std::vector<unsigned char> sample(16, 9);
    std::thread holder([&] { m_booth->deliver(sample.data(), 16); });
    m_booth->waitForHeldConversions(1);
    for (int i = 0; i < 3; ++i)
        deliverFromThread(m_booth, 9, 16);
    QCOMPARE(cam.skippedSamples(), 3LL);

    m_booth->holdConversions(false);
    holder.join();
    QCOMPARE(m_booth->converts.load(), 1);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    // The call has run: the next sample is converted at once.
    deliverFromThread(m_booth, 9, 16);
    QCOMPARE(m_booth->converts.load(), 2);
    QTRY_COMPARE(watchingApp()->frames.size(), 2);
    cam.stopCamera();
}

void TestCamVideo::failedRunClosesCamera()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    m_booth->runResult = -11;
    QCOMPARE(cam.startCamera("cam"), -11);
    QVERIFY(!cam.isStarted());
    // The graph built for this start is torn down again, so that it does not
    // keep a callback object the next start deletes.
    QCOMPARE(m_booth->takeCalls(), QStringList({"setCb", "open:cam", "run", "stop", "close"}));
    QVERIFY(!m_booth->graphBuilt);
    // The camera window of the failed start stays shown.
    QVERIFY(cam.getVideoWidget() && cam.getVideoWidget()->isVisible());
    QCOMPARE(cam.setVideoVisible(true), -1);

    // The next start opens afresh, with its own callback object.
    m_booth->runResult = 0;
    QCOMPARE(cam.startCamera("cam"), 0);
    QCOMPARE(m_booth->takeCalls(), QStringList({"setCb", "open:cam", "run"}));
    QCOMPARE(m_booth->callbacks.size(), 2);
    QVERIFY(m_booth->callbacks[0] != m_booth->callbacks[1]);
    QVERIFY(m_booth->isRunning());

    // Frames flow through the new callback.
    cam.stopCamera();
    cam.useRenderWidget();
    std::unique_ptr<QWidget> render(cam.getVideoWidget());
    watchingApp()->watch(static_cast<KvCameraRenderWidget *>(render.get()));
    m_booth->setFormat(32, 16);
    QCOMPARE(cam.startCamera("cam"), 0);
    deliverFromThread(m_booth, 3, 16);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    cam.stopCamera();
}

void TestCamVideo::stopDropsQueuedFramesAndClearsWidget()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    std::unique_ptr<KvCameraRenderWidget> render(
        static_cast<KvCameraRenderWidget *>(cam.getVideoWidget()));
    watchingApp()->watch(render.get());
    m_booth->setFormat(32, 16);
    QCOMPARE(cam.startCamera("cam"), 0);

    deliverFromThread(m_booth, 1, 16);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    QVERIFY(render->frameData());

    deliverFromThread(m_booth, 2, 16);
    deliverFromThread(m_booth, 3, 16);
    QCOMPARE(cam.stopCamera(), 0);
    // The widget holds no frame at once, and the queued ones never land.
    QVERIFY(render->frameData() == nullptr);
    QCOMPARE(render->frameWidth(), 0);
    QTest::qWait(20);
    QCOMPARE(watchingApp()->frames.size(), 1);
    QVERIFY(render->frameData() == nullptr);

    // A sample that still comes after the stop (a booth whose stop failed)
    // is not handed on.
    m_booth->running = true;
    deliverFromThread(m_booth, 4, 16);
    QTest::qWait(20);
    QCOMPARE(watchingApp()->frames.size(), 1);
    QVERIFY(render->frameData() == nullptr);

    // A restart delivers again.
    m_booth->running = false;
    QCOMPARE(cam.startCamera("cam"), 0);
    deliverFromThread(m_booth, 5, 16);
    QTRY_COMPARE(watchingApp()->frames.size(), 2);
    QCOMPARE(uchar(watchingApp()->frames[1].bytes[0]), uchar(5));
    cam.stopCamera();
}

void TestCamVideo::destroyWhileFramesQueued()
{
    m_booth = new FakeBooth;
    auto *cam = new CamVideoImp(m_booth);
    cam->useRenderWidget();
    std::unique_ptr<KvCameraRenderWidget> render(
        static_cast<KvCameraRenderWidget *>(cam->getVideoWidget()));
    watchingApp()->watch(render.get());
    m_booth->setFormat(32, 16);
    QCOMPARE(cam->startCamera("cam"), 0);

    deliverFromThread(m_booth, 1, 16);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    for (int i = 0; i < 3; ++i)
        deliverFromThread(m_booth, uchar(10 + i), 16);
    delete cam; // three frame calls still queued

    QVERIFY(render->frameData() == nullptr);
    QTest::qWait(20);
    QCOMPARE(watchingApp()->frames.size(), 1);
    QVERIFY(render->frameData() == nullptr);
}

void TestCamVideo::destroyWhileFramesQueuedWindowMode()
{
    m_booth = new FakeBooth;
    auto *cam = new CamVideoImp(m_booth);
    m_booth->setFormat(32, 16);
    QCOMPARE(cam->startCamera("cam"), 0);
    QPointer<QWidget> window(cam->getVideoWidget());
    for (int i = 0; i < 3; ++i)
        deliverFromThread(m_booth, uchar(i), 16);
    delete cam;
    QVERIFY(!window); // the module owns its camera window
    QTest::qWait(20); // nothing queued may run now (checked by the sanitizers)
}

void TestCamVideo::hostDeletesRenderWidgetWhileStarted()
{
    m_booth = new FakeBooth;
    CamVideoImp cam(m_booth);
    cam.useRenderWidget();
    m_booth->setFormat(32, 16);
    QCOMPARE(cam.startCamera("cam"), 0);
    deliverFromThread(m_booth, 1, 16);
    delete cam.getVideoWidget();
    QVERIFY(cam.getVideoWidget() == nullptr);
    QCOMPARE(cam.setVideoVisible(true), -2);
    deliverFromThread(m_booth, 2, 16); // dropped: no target any more
    QTest::qWait(20);
    QCOMPARE(cam.stopCamera(), 0);
    // useRenderWidget makes a new one for the next start, and the frame call
    // that died with the old widget does not hold the new start back.
    QCOMPARE(cam.useRenderWidget(), 0);
    QVERIFY(cam.getVideoWidget());
    auto *render = static_cast<KvCameraRenderWidget *>(cam.getVideoWidget());
    watchingApp()->watch(render);
    QCOMPARE(cam.startCamera("cam"), 0);
    const int converted = m_booth->converts.load();
    deliverFromThread(m_booth, 3, 16);
    QCOMPARE(m_booth->converts.load(), converted + 1);
    QTRY_COMPARE(watchingApp()->frames.size(), 1);
    QCOMPARE(uchar(watchingApp()->frames[0].bytes[0]), uchar(3));
    QCOMPARE(cam.stopCamera(), 0);
    watchingApp()->watch(nullptr);
    delete render;
}

int main(int argc, char **argv)
{
    WatchingApplication app(argc, argv);
    TestCamVideo test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_camvideo.moc"
