// Long use of the camera object through its public header, on a fast virtual
// camera: many start/stop cycles on one object and many objects made, started
// and deleted, in both display modes. Open descriptors and threads must come
// back to where they were, and the resident memory must stay flat after a warm-up.
#include "camvideo.h"
#include "dripin.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

// A small picture at the highest rate the virtual cameras have, so that a frame
// reaches the display within a millisecond or two of each start.
const char *const kCamera = R"([{"name": "Soak Camera", "path": "virtual:soak",
    "formats": [{"fourcc": "YUY2", "width": 64, "height": 48, "fps": 1000}]}])";

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's quarantine holds up to 256 MB of freed memory by design; only growth
// beyond it says something there.
const qint64 kMaxGrowth = (256 + 4) * 1024 * 1024;
#else
const qint64 kMaxGrowth = 4 * 1024 * 1024;
#endif

// The libraries' debug log of thousands of starts would drown the test's own lines.
QtMessageHandler g_previousHandler = nullptr;
void dropDebug(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg)
        g_previousHandler(type, context, text);
}

int entries(const char *folder)
{
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

qint64 residentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

struct Usage
{
    int descriptors;
    int threads;
    qint64 resident;
};

Usage usage()
{
    // Let the deletions the last cycle queued happen first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return {entries("/proc/self/fd"), entries("/proc/self/task"), residentBytes()};
}

// Counts the queued slot calls (the frames) that reach the display widget the
// host was given: a cycle goes on once its first frame is there.
class FrameCounter : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++frames;
        return QObject::eventFilter(watched, event);
    }
    int frames = 0;
};

// One camera object in the given mode; the host owns the render widget it asked for.
struct Camera
{
    explicit Camera(bool renderWidget) : cam(CamVideo::create())
    {
        cam->init(1.0);
        if (renderWidget) {
            cam->useRenderWidget();
            widget.reset(cam->getVideoWidget());
            widget->resize(64, 48);
            widget->show();
        }
    }
    ~Camera()
    {
        cam.reset();
        widget.reset();
    }
    // Starts and waits (without sleeping) until a frame has reached the display.
    bool startWithFrame()
    {
        if (cam->startCameraByPath("virtual:soak") != 0 || !cam->getVideoWidget())
            return false;
        cam->getVideoWidget()->installEventFilter(&counter);
        // The event loop blocks until the frame's queued call wakes it (QTest's waits
        // sleep in steps of 10 ms); the timer only bounds a wait for a frame that never comes.
        const int before = counter.frames;
        QTimer bound;
        bound.start(100);
        QElapsedTimer waited;
        waited.start();
        while (counter.frames == before && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return counter.frames > before;
    }
    FrameCounter counter;
    std::unique_ptr<CamVideo> cam;
    std::unique_ptr<QWidget> widget;
};

} // namespace

class TestCameraSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("KV_VIRTUAL_CAMERAS", kCamera);
        g_previousHandler = qInstallMessageHandler(dropDebug);
    }
    void cleanupTestCase() { pinDriDrivers(); }

    void startStopCycles_data();
    void startStopCycles();
    void createDeleteCycles_data();
    void createDeleteCycles();

private:
    void compare(const Usage &before, const Usage &after, int cycles, qint64 ms);
};

void TestCameraSoak::compare(const Usage &before, const Usage &after, int cycles, qint64 ms)
{
    qInfo("%d cycles in %lld ms; descriptors %d -> %d, threads %d -> %d, resident %.1f -> %.1f MB",
          cycles, ms, before.descriptors, after.descriptors, before.threads, after.threads,
          before.resident / 1048576.0, after.resident / 1048576.0);
    QCOMPARE(after.descriptors, before.descriptors);
    // Threads end when stopCamera or the destructor has joined them; nothing is left behind.
    // A worker of the system's libraries may end meanwhile (seen under Qt 6).
    QTRY_VERIFY2_WITH_TIMEOUT(
        usage().threads <= before.threads,
        qPrintable(QString("threads %1 -> %2").arg(before.threads).arg(usage().threads)), 5000);
    QVERIFY2(after.resident - before.resident < kMaxGrowth,
             qPrintable(QString("resident memory grew by %1 MB")
                            .arg((after.resident - before.resident) / 1048576.0)));
}

void TestCameraSoak::startStopCycles_data()
{
    QTest::addColumn<bool>("renderWidget");
    QTest::newRow("render widget") << true;
    QTest::newRow("camera window") << false;
}

void TestCameraSoak::startStopCycles()
{
    QFETCH(bool, renderWidget);
    const int cycles = 500;
    const int warmUp = 50;

    Camera camera(renderWidget);
    Usage before{};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < cycles; ++i) {
        if (i == warmUp)
            before = usage();
        QVERIFY(camera.startWithFrame());
        QCOMPARE(camera.cam->stopCamera(), 0);
        QCoreApplication::processEvents();
    }
    compare(before, usage(), cycles, timer.elapsed());
}

void TestCameraSoak::createDeleteCycles_data()
{
    startStopCycles_data();
}

void TestCameraSoak::createDeleteCycles()
{
    QFETCH(bool, renderWidget);
    const int cycles = 100;
    const int warmUp = 10;

    Usage before{};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < cycles; ++i) {
        if (i == warmUp)
            before = usage();
        Camera camera(renderWidget);
        QVERIFY(camera.startWithFrame());
        // Deleted while running: the destructor stops the camera.
    }
    compare(before, usage(), cycles, timer.elapsed());
}

QTEST_MAIN(TestCameraSoak)
#include "tst_camera_soak.moc"
