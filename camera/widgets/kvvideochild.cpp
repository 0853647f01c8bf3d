#include "kvvideochild.h"

#include "kvcamerarenderwidget.h"
#include "kvsdlrenderwidget.h"

#include <QDebug>
#include <QGuiApplication>
#include <QImage>
#include <QString>

KvVideoChild::KvVideoChild(double scale, QWidget *window) : m_scale(scale), m_window(window)
{
    const QByteArray forced = qgetenv("KV_CAMERA_DISPLAY").toLower();
    const bool sdl = forced == "sdl" || (forced != "opengl" && vidshowCanDraw());
    if (!sdl) {
        m_gl = new KvCameraRenderWidget(m_window);
        m_gl->setAttribute(Qt::WA_TransparentForMouseEvents);
        return;
    }
    m_sdl = new KvSDLRenderWidget(m_scale, m_window);
    m_sdl->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (!m_sdl->device())
        useOpenGL(QStringLiteral("vidshow refused a device for the window"));
}

bool KvVideoChild::vidshowCanDraw()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QWidget *KvVideoChild::widget() const
{
    if (m_gl)
        return m_gl;
    return m_sdl;
}

KvSDLRenderWidget *KvVideoChild::sdlWidget() const
{
    return m_sdl;
}

KvCameraRenderWidget *KvVideoChild::glWidget() const
{
    return m_gl;
}

void KvVideoChild::setColorRange(bool fullRange)
{
    m_fullRange = fullRange;
    if (m_sdl)
        m_sdl->setColorRange(fullRange);
    if (m_gl)
        m_gl->setColorRange(fullRange);
}

void KvVideoChild::setGeometry(const QRect &rect)
{
    if (QWidget *w = widget())
        w->setGeometry(rect);
}

void KvVideoChild::showFrame(void *ptr, int width, int height)
{
    if (m_sdl) {
        m_sdl->slotReceiveVideoFrame(ptr, width, height);
        if (!ptr || !m_sdl->drawFailed())
            return;
        useOpenGL(QStringLiteral("vidshow could not draw a %1x%2 frame").arg(width).arg(height));
    }
    if (m_gl) {
        m_gl->slotReceiveVideoFrame(ptr, width, height);
        if (ptr && !m_gl->cannotShowReason().isEmpty())
            reportUnshown(m_gl->cannotShowReason());
    }
}

qint64 KvVideoChild::shownFrames() const
{
    qint64 n = m_shownBefore;
    if (m_sdl)
        n += m_sdl->shownFrames();
    if (m_gl)
        n += m_gl->shownFrames();
    return n;
}

QImage KvVideoChild::grabPicture() const
{
    if (m_gl)
        return m_gl->grabFramebuffer();
    // SDL draws past Qt: only the X server has its picture.
    return QImage();
}

// vidshow's child goes for good: the OpenGL child takes its place with the
// same geometry, range and visibility.
void KvVideoChild::useOpenGL(const QString &why)
{
    qWarning().noquote() << QStringLiteral("KvCameraWidget: %1 on platform \"%2\"; showing frames "
                                           "with OpenGL instead")
                                .arg(why, QGuiApplication::platformName());
    QRect geometry = m_window->rect();
    if (m_sdl) {
        geometry = m_sdl->geometry();
        m_shownBefore += m_sdl->shownFrames();
        // Deleted now: its device must not outlive the decision.
        delete m_sdl.data();
    }
    m_gl = new KvCameraRenderWidget(m_window);
    m_gl->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_gl->setColorRange(m_fullRange);
    m_gl->setGeometry(geometry);
    // Below the overlay, when that is a child of the window too.
    m_gl->lower();
    if (m_window->isVisible())
        m_gl->show();
}

void KvVideoChild::reportUnshown(const QString &why)
{
    if (m_reported)
        return;
    m_reported = true;
    qWarning().noquote()
        << QStringLiteral("KvCameraWidget: cannot show the camera's frames: %1").arg(why);
}
