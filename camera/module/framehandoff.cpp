#include "framehandoff.h"

#include <QDebug>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace {

constexpr std::chrono::seconds kReportInterval{1};

} // namespace

void CFrameHandOff::open(QObject *display, SlotCall call)
{
    m_display = display;
    m_displayThread = display ? display->thread() : nullptr;
    m_call = call;
    m_displayClass = display ? display->metaObject()->className() : "";
    m_generation.fetch_add(1, std::memory_order_relaxed);
    m_pending.store(false, std::memory_order_relaxed);
    m_lent.store(false, std::memory_order_relaxed);
    std::lock_guard<std::mutex> g(m_reportMutex);
    m_unreported.store(0, std::memory_order_relaxed);
    m_reported = false;
}

bool CFrameHandOff::close()
{
    m_generation.fetch_add(1, std::memory_order_relaxed);
    m_pending.store(false, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> g(m_reportMutex);
        if (m_unreported.load(std::memory_order_relaxed) > 0)
            logSkips(Clock::now());
    }
    return m_lent.exchange(false, std::memory_order_relaxed);
}

bool CFrameHandOff::acquire()
{
    bool idle = false;
    if (m_pending.compare_exchange_strong(idle, true, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
        // The display is back: say what was skipped, unless a report went
        // out less than a second ago.
        if (m_unreported.load(std::memory_order_relaxed) > 0) {
            std::lock_guard<std::mutex> g(m_reportMutex);
            const Clock::time_point now = Clock::now();
            if (m_unreported.load(std::memory_order_relaxed) > 0 &&
                (!m_reported || now - m_lastReport >= kReportInterval))
                logSkips(now);
        }
        return true;
    }

    m_skipped.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> g(m_reportMutex);
    const Clock::time_point now = Clock::now();
    if (m_unreported.fetch_add(1, std::memory_order_relaxed) == 0)
        m_firstUnreported = now;
    // While skipping goes on, one report a second.
    Clock::time_point since = m_firstUnreported;
    if (m_reported && m_lastReport > since)
        since = m_lastReport;
    if (now - since >= kReportInterval)
        logSkips(now);
    return false;
}

void CFrameHandOff::lend(void *frame, int width, int height)
{
    m_lent.store(true, std::memory_order_relaxed);
    QObject *display = m_display;
    const SlotCall call = m_call;
    if (QThread::currentThread() == m_displayThread) {
        call(display, frame, width, height);
        m_pending.store(false, std::memory_order_release);
        return;
    }
    const unsigned generation = m_generation.load(std::memory_order_relaxed);
    QMetaObject::invokeMethod(
        display,
        [this, generation, display, call, frame, width, height] {
            // Queued before a stop whose removal missed it: the frame may be
            // gone, and the flag belongs to a later start.
            if (m_generation.load(std::memory_order_relaxed) != generation)
                return;
            call(display, frame, width, height);
            // The display has the frame now: the next sample may take a
            // buffer. Its reads above happen before that sample's writes.
            m_pending.store(false, std::memory_order_release);
        },
        Qt::QueuedConnection);
}

void CFrameHandOff::cancel()
{
    m_pending.store(false, std::memory_order_release);
}

void CFrameHandOff::logSkips(Clock::time_point now)
{
    qDebug() << "cam_video: display" << m_displayClass << static_cast<const void *>(m_display)
             << "has not run the previous frame call (GUI thread busy), samples skipped:"
             << m_unreported.load(std::memory_order_relaxed);
    m_unreported.store(0, std::memory_order_relaxed);
    m_lastReport = now;
    m_reported = true;
}
