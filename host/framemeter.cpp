#include "framemeter.h"

namespace {
// Often enough for a 60 fps camera to be followed closely.
constexpr int kPollMs = 15;
} // namespace

FrameMeter::FrameMeter(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &FrameMeter::poll);
}

void FrameMeter::watch(Counter counter)
{
    m_counter = std::move(counter);
    m_base = m_counter ? m_counter() : 0;
    m_frames = 0;
    m_firstFrames = 0;
    m_firstMs = m_lastMs = -1;
    if (m_counter)
        m_timer.start();
    else
        m_timer.stop();
}

void FrameMeter::stop()
{
    m_timer.stop();
    m_counter = nullptr;
}

void FrameMeter::poll()
{
    if (!m_counter)
        return;
    // The camera resets its count at each start; a smaller value starts over.
    const qint64 value = m_counter();
    if (value < m_base)
        m_base = 0;
    const qint64 frames = value - m_base;
    if (frames == m_frames)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_firstMs < 0) {
        m_firstMs = now;
        m_firstFrames = frames;
    }
    m_lastMs = now;
    m_frames = frames;
    emit frameArrived(m_frames);
}

double FrameMeter::fps() const
{
    if (m_firstMs < 0 || m_lastMs <= m_firstMs || m_frames <= m_firstFrames)
        return 0.0;
    return double(m_frames - m_firstFrames) * 1000.0 / double(m_lastMs - m_firstMs);
}
