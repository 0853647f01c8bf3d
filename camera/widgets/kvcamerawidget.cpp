#include "kvcamerawidget.h"

#include <QGuiApplication>
#include <QScreen>

KvCameraWidget::KvCameraWidget(double scale, QWidget *parent) : QWidget(parent), m_scale(scale)
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    resize(int(400 * scale), int(225 * scale));
}

void KvCameraWidget::setMoveEnabled(bool enabled) { m_moveEnabled = enabled; }

void KvCameraWidget::setResizeEnabled(bool enabled) { m_resizeEnabled = enabled; }

void KvCameraWidget::setBoundRect(const QRect &rect) { m_boundRect = rect; }

void KvCameraWidget::moveToBottomLeft()
{
    // The primary screen's area without task bars.
    const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
    move(int(2 * m_scale + a.left()), a.bottom() - height());
}

void KvCameraWidget::slotReceiveVideoFrame(void *ptr, int width, int height)
{
    Q_UNUSED(ptr);
    Q_UNUSED(width);
    Q_UNUSED(height);
}
