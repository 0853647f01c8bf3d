#ifndef FRAMEHANDOFF_H
#define FRAMEHANDOFF_H

#include <atomic>
#include <chrono>
#include <mutex>

class QObject;
class QThread;

// Lends converted frames from the capture thread to a display widget on the
// GUI thread, one frame call at a time. While the display has not yet run the
// previous call, later samples are skipped before they take a buffer, so a
// pointer the display holds or is about to get is never rewritten: with four
// buffers used in turn, the one written next is three frames older than the
// one the display holds.
//
// Each frame call is one queued functor posted to the display itself, so that
// QCoreApplication::removePostedEvents(display, QEvent::MetaCall) drops it.
class CFrameHandOff
{
public:
    // Calls the display's slotReceiveVideoFrame without a lookup by name.
    using SlotCall = void (*)(QObject *display, void *frame, int width, int height);

    CFrameHandOff() = default;
    CFrameHandOff(const CFrameHandOff &) = delete;
    CFrameHandOff &operator=(const CFrameHandOff &) = delete;

    // GUI thread, while no sample is being delivered.
    void open(QObject *display, SlotCall call);
    // GUI thread, once the deliveries have stopped and the display's queued
    // calls are removed: calls still queued somewhere do nothing, skips not
    // yet logged are logged. Returns whether a frame was lent since open.
    bool close();

    // Capture thread. True when the display has taken every frame lent to
    // it, and the caller may take a buffer; then exactly one of lend() or
    // cancel() follows. False when the sample is to be skipped (counted).
    bool acquire();
    // Queues the frame call (or makes it at once on the display's thread).
    void lend(void *frame, int width, int height);
    // Nothing to lend after all (no buffer, conversion failed).
    void cancel();

    // Samples skipped because the display was busy, over the object's life.
    long long skipped() const { return m_skipped.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;

    // Under m_reportMutex.
    void logSkips(Clock::time_point now);

    // Fixed by open() while no sample is being delivered.
    QObject *m_display = nullptr;
    QThread *m_displayThread = nullptr;
    SlotCall m_call = nullptr;
    const char *m_displayClass = "";

    // A frame call is queued and has not run yet.
    std::atomic<bool> m_pending{false};
    // Changes with every open and close; a queued call of an earlier one
    // finds it changed and does nothing.
    std::atomic<unsigned> m_generation{0};
    std::atomic<bool> m_lent{false};
    std::atomic<long long> m_skipped{0};

    // Skips not logged yet. The capture thread is one thread with a real
    // camera, but a sample source may call from several, so the report is
    // kept under a lock; the delivered path only reads the count.
    std::mutex m_reportMutex;
    std::atomic<int> m_unreported{0};
    Clock::time_point m_firstUnreported;
    Clock::time_point m_lastReport;
    bool m_reported = false;
};

#endif
