#include "kvsdlrenderwidget.h"

#include "vidshow.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMouseEvent>

KvSDLRenderWidget::KvSDLRenderWidget(double scale, QWidget *parent)
    : QWidget(parent), m_scale(scale < 0 ? 1.0 : scale)
{
    setWindowFlag(Qt::FramelessWindowHint, true);
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    setUpdatesEnabled(false);
    setAttribute(Qt::WA_MouseTracking, true);
    InitDisplayDevEnv(0);
    createDevice();
}

KvSDLRenderWidget::~KvSDLRenderWidget()
{
    // The native window still exists here; QWidget destroys it afterwards.
    releaseDevice();
}

void KvSDLRenderWidget::createDevice()
{
    const WId window = winId();
    // The native window must exist on the X server before another connection
    // (vidshow's) looks at it.
    QGuiApplication::sync();
    m_device = CreateVideoDeivce(HWND(window), 0);
    if (m_device && SetVideoDeviceColorRange(m_device, m_fullRange ? 1 : 0) != 0)
        qDebug() << "KvSDLRenderWidget: vidshow refused the colour range of device" << m_device;
}

void KvSDLRenderWidget::releaseDevice()
{
    if (!m_device)
        return;
    ReleaseVideoDevice(m_device);
    m_device = nullptr;
}

void KvSDLRenderWidget::setColorRange(bool fullRange)
{
    m_fullRange = fullRange;
    if (m_device && SetVideoDeviceColorRange(m_device, fullRange ? 1 : 0) != 0)
        qDebug() << "KvSDLRenderWidget: vidshow refused the colour range of device" << m_device;
}

void KvSDLRenderWidget::slotReceiveVideoFrame(void *ptr, int width, int height)
{
    if (!ptr || width <= 0 || height <= 0) {
        m_frame = nullptr;
        m_frameWidth = 0;
        m_frameHeight = 0;
        return;
    }
    if (!m_device) {
        m_drawFailed = true;
        if (!m_reported)
            qWarning() << "KvSDLRenderWidget: cannot show frames: vidshow has no device for window"
                       << winId() << "on platform" << QGuiApplication::platformName();
        m_reported = true;
        return;
    }
    // Not on screen (hidden itself or with the camera window): neither drawn
    // nor remembered.
    if (!isVisible())
        return;
    m_frame = static_cast<unsigned char *>(ptr);
    m_frameWidth = width;
    m_frameHeight = height;
    m_drawFailed = !drawFrame();
    if (!m_drawFailed) {
        ++m_shown;
    } else if (!m_reported) {
        m_reported = true;
        qWarning() << "KvSDLRenderWidget: cannot show frames: vidshow device" << m_device
                   << "failed to draw a" << width << "x" << height << "frame";
    }
}

bool KvSDLRenderWidget::drawFrame()
{
    const unsigned w = unsigned(m_frameWidth);
    const unsigned h = unsigned(m_frameHeight);
    return DisplayI420Video(m_device, m_frame, m_frame + w * h, m_frame + w * h * 5 / 4,
                            m_frameWidth, m_frameHeight) == 0;
}

void KvSDLRenderWidget::mousePressEvent(QMouseEvent *event)
{
    event->ignore();
}

void KvSDLRenderWidget::mouseReleaseEvent(QMouseEvent *event)
{
    event->ignore();
}

void KvSDLRenderWidget::mouseMoveEvent(QMouseEvent *event)
{
    event->ignore();
}

void KvSDLRenderWidget::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    if (m_device && m_frame && isVisible())
        drawFrame();
}

void KvSDLRenderWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_device && m_frame && isVisible())
        drawFrame();
}
