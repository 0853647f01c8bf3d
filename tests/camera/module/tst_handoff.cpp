// The frame hand-off from the capture thread to the display: a display never
// reads a buffer that is being rewritten, also while the GUI thread is
// blocked, and a stop or a new start leaves nothing behind.
#include "camvideoimp.h"
#include "framehandoff.h"
#include "kvcamerarenderwidget.h"
#include "stampingbooth.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

QStringList g_skipLog;
std::mutex g_logMutex;
QtMessageHandler g_previousHandler = nullptr;

void collectLog(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (type == QtDebugMsg && msg.startsWith("cam_video: display")) {
        std::lock_guard<std::mutex> g(g_logMutex);
        g_skipLog.append(msg);
    }
    if (g_previousHandler)
        g_previousHandler(type, ctx, msg);
}

QStringList takeSkipLog()
{
    std::lock_guard<std::mutex> g(g_logMutex);
    QStringList l = g_skipLog;
    g_skipLog.clear();
    return l;
}

// The counts the skip messages report, added up.
long long skipsLogged(const QStringList &log)
{
    long long sum = 0;
    for (const QString &m : log)
        sum += m.section(' ', -1).toLongLong();
    return sum;
}

// The display double: sees every frame call to the render widget, and checks
// in each of them that the frame the widget held until then is still whole,
// that the frame it gets now is the one converted into that buffer and
// still whole, that it is the newest converted, and that the numbers grow.
class CheckingApplication : public QApplication
{
public:
    CheckingApplication(int &argc, char **argv) : QApplication(argc, argv) {}

    void watch(KvCameraRenderWidget *widget, StampingBooth *booth)
    {
        m_widget = widget;
        m_booth = booth;
        m_heldSeq = 0;
        m_lastSeq = 0;
        m_first = true;
        calls = 0;
        faults.clear();
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (event->type() != QEvent::MetaCall || !m_widget || receiver != m_widget)
            return QApplication::notify(receiver, event);

        KvCameraRenderWidget *w = m_widget;
        if (const uchar *held = w->frameData()) {
            const QString fault =
                StampingBooth::check(held, w->frameWidth(), w->frameHeight(), m_heldSeq);
            if (!fault.isEmpty())
                faults.append("held " + fault);
        }
        // No newer frame can be converted before this call has run.
        const std::uint32_t newest = m_booth->newest.load();
        const bool r = QApplication::notify(receiver, event);

        const uchar *data = w->frameData();
        const uchar *dst = nullptr;
        std::uint32_t seq = 0;
        if (!data) {
            faults.append("a frame call without a frame");
        } else if (!m_booth->takeConverted(&dst, &seq)) {
            faults.append("a frame call for no conversion");
        } else {
            if (dst != data)
                faults.append(QString("frame %1 lent from another buffer").arg(seq));
            const QString fault =
                StampingBooth::check(data, w->frameWidth(), w->frameHeight(), seq);
            if (!fault.isEmpty())
                faults.append(fault);
            if (!m_first && seq <= m_lastSeq)
                faults.append(QString("frame %1 after frame %2").arg(seq).arg(m_lastSeq));
            if (seq != newest)
                faults.append(QString("frame %1 shown, %2 is newer").arg(seq).arg(newest));
            m_first = false;
            m_lastSeq = seq;
            m_heldSeq = seq;
        }
        calls.fetch_add(1);
        return r;
    }

    std::atomic<int> calls{0};
    QStringList faults; // GUI thread only

private:
    QPointer<KvCameraRenderWidget> m_widget;
    StampingBooth *m_booth = nullptr;
    std::uint32_t m_heldSeq = 0;
    std::uint32_t m_lastSeq = 0;
    bool m_first = true;
};

CheckingApplication *checkingApp()
{
    return static_cast<CheckingApplication *>(QCoreApplication::instance());
}

// Stands in for a display widget in the tests of the hand-off alone.
class DisplayDouble : public QObject
{
public:
    static void receive(QObject *display, void *frame, int width, int height)
    {
        auto *d = static_cast<DisplayDouble *>(display);
        ++d->calls;
        d->frame = frame;
        d->width = width;
        d->height = height;
    }

    int calls = 0;
    void *frame = nullptr;
    int width = 0;
    int height = 0;
};

void onOtherThread(const std::function<void()> &f)
{
    std::thread t(f);
    t.join();
}

} // namespace

class TestFrameHandOff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void blockedGuiKeepsFramesIntact_data();
    void blockedGuiKeepsFramesIntact();
    void skipsAreCountedAndLogged();
    void queuedCallAfterCloseDoesNothing();
    void callOnDisplayThreadIsDirect();
};

void TestFrameHandOff::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(collectLog);
}

void TestFrameHandOff::blockedGuiKeepsFramesIntact_data()
{
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("blockMs");
    QTest::addColumn<int>("frames");
    QTest::newRow("30 fps, GUI blocked 200 ms") << 30 << 200 << 24;
    QTest::newRow("60 fps, GUI blocked 300 ms") << 60 << 300 << 48;
}

// Samples arrive at the camera's rate from a thread of their own; from the
// sixth on, the GUI thread is blocked for blockMs and until at least four
// samples came during the block.
void TestFrameHandOff::blockedGuiKeepsFramesIntact()
{
    QFETCH(int, fps);
    QFETCH(int, blockMs);
    QFETCH(int, frames);

    auto *booth = new StampingBooth;
    CamVideoImp cam(booth);
    cam.useRenderWidget();
    std::unique_ptr<KvCameraRenderWidget> render(
        static_cast<KvCameraRenderWidget *>(cam.getVideoWidget()));
    booth->setFormat(64, 48);
    QCOMPARE(cam.startCamera("cam"), 0);
    checkingApp()->watch(render.get(), booth);
    takeSkipLog();

    std::mutex m;
    std::condition_variable cv;
    bool inBlock = false;
    bool blockOver = false;
    int duringBlock = 0;
    auto block = [&] {
        std::unique_lock<std::mutex> g(m);
        inBlock = true;
        cv.notify_all();
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(blockMs);
        cv.wait_until(g, until, [] { return false; });
        cv.wait(g, [&] { return duringBlock >= 4; });
        inBlock = false;
        blockOver = true;
    };

    QStringList feederFaults;
    QEventLoop loop;
    std::thread feeder([&] {
        const auto period = std::chrono::microseconds(1000000 / fps);
        Clock::time_point next = Clock::now();
        for (int f = 1; f <= frames; ++f) {
            std::this_thread::sleep_until(next);
            next += period;
            if (f == 6) {
                QMetaObject::invokeMethod(qApp, block, Qt::QueuedConnection);
                std::unique_lock<std::mutex> g(m);
                cv.wait(g, [&] { return inBlock; });
            }
            // With every converted frame shown, the display is ready: the
            // sample must be converted at once.
            const int converted = booth->converts.load();
            const bool ready = checkingApp()->calls.load() == converted;
            const std::vector<unsigned char> s = StampingBooth::sample(std::uint32_t(f));
            booth->deliver(const_cast<unsigned char *>(s.data()), int(s.size()));
            if (ready && booth->converts.load() != converted + 1)
                feederFaults.append(QString("sample %1 skipped by a ready display").arg(f));
            std::lock_guard<std::mutex> g(m);
            if (inBlock) {
                ++duringBlock;
                cv.notify_all();
            }
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    feeder.join();
    QTRY_COMPARE(checkingApp()->calls.load(), booth->converts.load());

    QVERIFY(blockOver);
    QVERIFY2(checkingApp()->faults.isEmpty(), qPrintable(checkingApp()->faults.join("; ")));
    QVERIFY2(feederFaults.isEmpty(), qPrintable(feederFaults.join("; ")));
    // During the block at most one sample was converted, the others skipped.
    QVERIFY(cam.skippedSamples() >= duringBlock - 1);
    QCOMPARE(cam.skippedSamples() + booth->converts.load(), (long long)frames);
    qDebug() << fps << "fps, GUI thread blocked" << blockMs << "ms:" << booth->converts.load()
             << "frames shown," << cam.skippedSamples() << "skipped";

    QCOMPARE(cam.stopCamera(), 0);
    QVERIFY(render->frameData() == nullptr);
    // Every skip is reported, the rest at the stop.
    QCOMPARE(skipsLogged(takeSkipLog()), cam.skippedSamples());
    checkingApp()->watch(nullptr, nullptr);
}

// A skip is logged when the display is back (at most once a second while
// skipping goes on), and what is left at a stop is logged then.
void TestFrameHandOff::skipsAreCountedAndLogged()
{
    auto *booth = new StampingBooth;
    CamVideoImp cam(booth);
    cam.useRenderWidget();
    std::unique_ptr<KvCameraRenderWidget> render(
        static_cast<KvCameraRenderWidget *>(cam.getVideoWidget()));
    booth->setFormat(32, 16);
    QCOMPARE(cam.startCamera("cam"), 0);
    checkingApp()->watch(render.get(), booth);
    takeSkipLog();

    auto deliver = [&](std::uint32_t seq) {
        onOtherThread([&] {
            std::vector<unsigned char> s = StampingBooth::sample(seq);
            booth->deliver(s.data(), int(s.size()));
        });
    };
    deliver(1);
    for (std::uint32_t seq = 2; seq <= 6; ++seq)
        deliver(seq);
    QCOMPARE(booth->converts.load(), 1);
    QCOMPARE(cam.skippedSamples(), 5LL);
    QTRY_COMPARE(checkingApp()->calls.load(), 1);
    deliver(7); // the display is back: converted, and the five are reported
    QCOMPARE(booth->converts.load(), 2);
    QTRY_COMPARE(checkingApp()->calls.load(), 2);
    QStringList log = takeSkipLog();
    QCOMPARE(skipsLogged(log), 5LL);
    QVERIFY2(log.first().contains("KvCameraRenderWidget") && log.first().contains("busy"),
             qPrintable(log.first()));

    deliver(8);
    deliver(9);
    deliver(10);
    QCOMPARE(cam.stopCamera(), 0);
    QCOMPARE(skipsLogged(takeSkipLog()), 2LL);
    QCOMPARE(cam.skippedSamples(), 7LL);
    QVERIFY2(checkingApp()->faults.isEmpty(), qPrintable(checkingApp()->faults.join("; ")));
    // The call of frame 8 was dropped by the stop: the restart is not held
    // back by it.
    QCOMPARE(cam.startCamera("cam"), 0);
    checkingApp()->watch(render.get(), booth);
    const uchar *dst = nullptr;
    std::uint32_t seq = 0;
    while (booth->takeConverted(&dst, &seq)) {
    }
    deliver(11);
    QCOMPARE(booth->converts.load(), 4);
    QTRY_COMPARE(checkingApp()->calls.load(), 1);
    QCOMPARE(cam.stopCamera(), 0);
    QVERIFY(takeSkipLog().isEmpty());
    QVERIFY2(checkingApp()->faults.isEmpty(), qPrintable(checkingApp()->faults.join("; ")));
    checkingApp()->watch(nullptr, nullptr);
}

// A call still queued when the hand-off is closed (its removal missed)
// does not reach the display and does not free the next start's flag.
void TestFrameHandOff::queuedCallAfterCloseDoesNothing()
{
    DisplayDouble display;
    CFrameHandOff handOff;
    int frame = 0;
    handOff.open(&display, &DisplayDouble::receive);
    bool first = false;
    onOtherThread([&] {
        first = handOff.acquire();
        handOff.lend(&frame, 4, 2);
    });
    QVERIFY(first);
    QVERIFY(handOff.close());
    handOff.open(&display, &DisplayDouble::receive);
    bool second = false;
    bool whilePending = true;
    onOtherThread([&] {
        second = handOff.acquire();
        handOff.lend(&frame, 8, 6);
        whilePending = handOff.acquire(); // the new call has not run yet
    });
    QVERIFY(second);
    QVERIFY(!whilePending);
    QCoreApplication::sendPostedEvents(&display, QEvent::MetaCall);
    QCOMPARE(display.calls, 1);
    QCOMPARE(display.width, 8);
    QVERIFY(display.frame == &frame);
    bool afterCall = false;
    onOtherThread([&] { afterCall = handOff.acquire(); });
    QVERIFY(afterCall);
    handOff.cancel();
    QCOMPARE(handOff.skipped(), 1LL);
    QVERIFY(handOff.close());
    QVERIFY(!handOff.close()); // nothing lent since the last close
    takeSkipLog();
}

// On the display's own thread the slot is called at once, as a direct call.
void TestFrameHandOff::callOnDisplayThreadIsDirect()
{
    DisplayDouble display;
    CFrameHandOff handOff;
    int frame = 0;
    handOff.open(&display, &DisplayDouble::receive);
    QVERIFY(handOff.acquire());
    handOff.lend(&frame, 2, 2);
    QCOMPARE(display.calls, 1);
    QVERIFY(handOff.acquire());
    handOff.cancel();
    QVERIFY(handOff.close());
    QCOMPARE(handOff.skipped(), 0LL);
}

int main(int argc, char **argv)
{
    CheckingApplication app(argc, argv);
    TestFrameHandOff test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_handoff.moc"
