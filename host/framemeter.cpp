#include "framemeter.h"

#include <QEvent>

FrameMeter::FrameMeter(QObject *parent) : QObject(parent) { m_clock.start(); }

void FrameMeter::watch(QObject *widget)
{
    if (m_widget == widget) {
        reset();
        return;
    }
    if (m_widget)
        m_widget->removeEventFilter(this);
    m_widget = widget;
    if (m_widget)
        m_widget->installEventFilter(this);
    reset();
}

void FrameMeter::reset()
{
    m_frames = 0;
    m_firstMs = m_lastMs = 0;
}

double FrameMeter::fps() const
{
    if (m_frames < 2 || m_lastMs <= m_firstMs)
        return 0.0;
    return (m_frames - 1) * 1000.0 / double(m_lastMs - m_firstMs);
}

bool FrameMeter::eventFilter(QObject *watched, QEvent *event)
{
    // The frame slot is invoked queued from the capture thread, so every frame
    // reaches the widget as a meta-call event.
    if (watched == m_widget && event->type() == QEvent::MetaCall) {
        const qint64 now = m_clock.elapsed();
        if (m_frames == 0)
            m_firstMs = now;
        m_lastMs = now;
        ++m_frames;
        emit frameArrived(m_frames);
    }
    return QObject::eventFilter(watched, event);
}
