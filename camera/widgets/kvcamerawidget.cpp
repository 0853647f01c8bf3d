#include "kvcamerawidget.h"

#include "kvbackwidget.h"
#include "kvqtcompat.h"
#include "kvsdlrenderwidget.h"
#include "kvvideochild.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

namespace {
// The primary screen's area without task bars.
QRect availableDesktop()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}
} // namespace

KvCameraWidget::KvCameraWidget(double scale, QWidget *parent)
    : QWidget(parent), m_scale(kvqt::logicalScale(scale, nullptr))
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    m_fullScreenRect = availableDesktop();
    setAttribute(Qt::WA_MouseTracking);

    m_video = std::make_unique<KvVideoChild>(m_scale, this);

    m_overlayInside = !platformPlacesWindows();
    m_overlay = new KvBackWidget(m_scale, this);
    if (!m_overlayInside) {
        // The overlay is a top-level window of its own: only the window flag
        // makes the X server pass the pointer through it to the camera window
        // below (the attribute alone keeps Qt's own delivery off it, not the
        // server's).
        m_overlay->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint |
                                  Qt::WindowTransparentForInput);
    }
    m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_overlay->setAttribute(Qt::WA_TranslucentBackground);

    setMinimumFromSize(QSize(1280, 720));
}

KvCameraWidget::~KvCameraWidget() = default;

bool KvCameraWidget::platformPlacesWindows()
{
    const QString p = QGuiApplication::platformName();
    return p == QLatin1String("xcb") || p == QLatin1String("offscreen");
}

KvSDLRenderWidget *KvCameraWidget::videoWidget() const
{
    return m_video->sdlWidget();
}

QWidget *KvCameraWidget::displayWidget() const
{
    return m_video->widget();
}

qint64 KvCameraWidget::shownFrames() const
{
    return m_video->shownFrames();
}

QImage KvCameraWidget::grabPicture() const
{
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    if (QWidget *video = m_video->widget()) {
        const QImage picture = m_video->grabPicture();
        if (!picture.isNull())
            painter.drawImage(video->geometry(), picture);
    }
    // Only what the overlay paints: its background is see-through.
    if (m_overlay && m_overlay->isVisible())
        m_overlay->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

void KvCameraWidget::setMoveEnabled(bool enabled)
{
    m_moveEnabled = enabled;
}

void KvCameraWidget::setResizeEnabled(bool enabled)
{
    m_resizeEnabled = enabled;
}

void KvCameraWidget::setBoundRect(const QRect &rect)
{
    m_boundRect = rect;
}

void KvCameraWidget::setFullScreenToggleEnabled(bool enabled)
{
    m_overlay->setFullScreenToggleEnabled(enabled);
}

void KvCameraWidget::setColorRange(bool fullRange)
{
    m_video->setColorRange(fullRange);
}

void KvCameraWidget::setCompanionWindow(QWidget *window)
{
    m_companion = window;
}

void KvCameraWidget::setMinimumFromSize(const QSize &size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return;
    const float ratio = float(size.width()) / float(size.height());
    m_minWidth = int(400 * m_scale);
    m_minHeight = double(ratio) > 1.7 ? int(225 * m_scale) : int(300 * m_scale);
    setMinimumWidth(m_minWidth);
    setMinimumHeight(m_minHeight);
    resize(m_minWidth, m_minHeight);
    update();
}

void KvCameraWidget::moveToBottomLeft()
{
    const QRect a = availableDesktop();
    move(int(2 * m_scale + a.left()), a.bottom() - height());
    m_lastGeometry = geometry();
}

void KvCameraWidget::updateHoverRegion(const QPoint &g)
{
    const QPoint t = mapToGlobal(rect().topLeft());
    const QPoint b = mapToGlobal(rect().bottomRight());
    const double m = 10 * m_scale;
    const auto within = [](int v, double from, double to) { return v >= from && v <= to; };
    const bool left = within(g.x(), t.x(), t.x() + m);
    const bool right = within(g.x(), b.x() - m, b.x());
    const bool top = within(g.y(), t.y(), t.y() + m);
    const bool bottom = within(g.y(), b.y() - m, b.y());

    if (left && top) {
        m_region = RegionTopLeft;
        setCursor(Qt::SizeFDiagCursor);
    } else if (right && bottom) {
        m_region = RegionBottomRight;
        setCursor(Qt::SizeFDiagCursor);
    } else if (left && bottom) {
        m_region = RegionBottomLeft;
        setCursor(Qt::SizeBDiagCursor);
    } else if (right && top) {
        m_region = RegionTopRight;
        setCursor(Qt::SizeBDiagCursor);
    } else {
        m_region = RegionMove;
        setCursor(Qt::ArrowCursor);
    }
}

// The new geometry for a corner drag to the global mouse x; the height follows
// from the aspect ratio. Too small or touching the bound: the current geometry.
QRect KvCameraWidget::resizedGeometry(const QPoint &g)
{
    const QPoint t = mapToGlobal(rect().topLeft());
    const QPoint b = mapToGlobal(rect().bottomRight());
    const QRect current(t, b);
    const double aspect = double(m_minWidth) / double(m_minHeight);
    const QRect bnd = m_boundRect.isNull() ? m_fullScreenRect : m_boundRect;
    const int gx = g.x();
    QRect r = current;
    bool accepted = false;

    switch (m_region) {
    case RegionTopLeft:
        if (b.x() - gx <= m_minWidth)
            return current;
        r.setX(gx);
        r.setY(int(b.y() - r.width() / aspect));
        QCursor::setPos(gx, r.top());
        accepted = r.top() > bnd.top() && r.left() > bnd.left();
        break;
    case RegionTopRight:
        if (gx - t.x() <= m_minWidth)
            return current;
        r.setWidth(gx - t.x());
        r.setY(int(b.y() - r.width() / aspect));
        QCursor::setPos(gx, r.top());
        accepted = r.top() > bnd.top() && r.right() < bnd.right();
        break;
    case RegionBottomLeft:
        if (b.x() - gx <= m_minWidth)
            return current;
        r.setX(gx);
        r.setHeight(int(r.width() / aspect));
        QCursor::setPos(gx, int(t.y() + r.width() / aspect));
        accepted = r.bottom() < bnd.bottom() && r.left() > bnd.left();
        break;
    case RegionBottomRight:
        if (gx - t.x() <= m_minWidth)
            return current;
        r.setWidth(gx - t.x());
        r.setHeight(int(r.width() / aspect));
        QCursor::setPos(gx, int(t.y() + r.width() / aspect));
        accepted = r.bottom() < bnd.bottom() && r.right() < bnd.right();
        break;
    case RegionMove:
        break;
    }
    return accepted ? r : current;
}

// Where the compositor places windows it also moves and resizes them: the
// drag is handed over, and the release goes to the compositor, not here.
bool KvCameraWidget::startSystemDrag(const QPoint &pos)
{
    QWindow *window = windowHandle();
    if (platformPlacesWindows() || !window || isFullScreen())
        return false;
    if (m_region == RegionMove) {
        // The button's click needs the release.
        if (!m_moveEnabled || m_overlay->isOnFullScreenButton(pos))
            return false;
        return window->startSystemMove();
    }
    if (!m_resizeEnabled)
        return false;
    Qt::Edges edges;
    switch (m_region) {
    case RegionTopLeft:
        edges = Qt::TopEdge | Qt::LeftEdge;
        break;
    case RegionTopRight:
        edges = Qt::TopEdge | Qt::RightEdge;
        break;
    case RegionBottomLeft:
        edges = Qt::BottomEdge | Qt::LeftEdge;
        break;
    default:
        edges = Qt::BottomEdge | Qt::RightEdge;
        break;
    }
    return window->startSystemResize(edges);
}

void KvCameraWidget::mousePressEvent(QMouseEvent *event)
{
    // Only the left button drags: a drag started by another button could not
    // be ended, since only a left release ends one.
    if (event->button() == Qt::LeftButton) {
        if (m_region == RegionMove)
            m_pressPos = event->pos();
        emit sigPressed();
        if (startSystemDrag(event->pos())) {
            emit sigReleased();
            event->accept();
            return;
        }
        m_pressed = true;
    }
    QWidget::mousePressEvent(event);
}

void KvCameraWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed) {
        if (m_resizeEnabled)
            updateHoverRegion(kvqt::globalPos(event));
        QWidget::mouseMoveEvent(event);
        return;
    }

    if (m_region != RegionMove) {
        if (m_resizeEnabled)
            setGeometry(resizedGeometry(kvqt::globalPos(event)));
    } else if (m_moveEnabled) {
        const QRect b = m_boundRect.isNull() ? m_fullScreenRect : m_boundRect;
        const QPoint g = kvqt::globalPos(event);
        const int x = std::min(std::max(b.left(), g.x() - m_pressPos.x()), b.right() - width());
        const int y = std::min(std::max(b.top(), g.y() - m_pressPos.y()), b.bottom() - height());
        move(x, y);
        event->accept();
    }
    m_lastGeometry = geometry();
    emit sigGeoChanged(m_lastGeometry);
    QWidget::mouseMoveEvent(event);
}

void KvCameraWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    if (m_region != RegionMove) {
        releaseMouse();
        setCursor(Qt::ArrowCursor);
    }
    emit sigReleased();
    toggleFullScreen();
}

void KvCameraWidget::toggleFullScreen()
{
    bool isFull = false;
    if (!m_overlay->toggleFullScreenAt(isFull, m_pressPos))
        return;
    if (!platformPlacesWindows()) {
        // The compositor places and sizes a full-screen window.
        if (isFull)
            showFullScreen();
        else
            showNormal();
    } else {
        hide();
        if (isFull) {
            m_normalGeometry = geometry();
            setGeometry(m_fullScreenRect);
        } else {
            setGeometry(m_normalGeometry);
        }
        show();
    }
    if (m_companion) {
        // Stands in for raising it above all windows: show it and put it on
        // top of its siblings.
        m_companion->show();
        m_companion->raise();
    }
}

void KvCameraWidget::moveEvent(QMoveEvent *event)
{
    if (m_overlay && !m_overlayInside)
        m_overlay->setGeometry(geometry());
    QWidget::moveEvent(event);
}

void KvCameraWidget::resizeEvent(QResizeEvent *event)
{
    if (m_overlay)
        m_overlay->setGeometry(m_overlayInside ? rect() : geometry());
    if (m_video)
        m_video->setGeometry(rect());
    QWidget::resizeEvent(event);
    keepAspect();
}

// The compositor proposes sizes during a corner drag; the window answers
// with the size of its aspect ratio for the proposed width.
void KvCameraWidget::keepAspect()
{
    if (platformPlacesWindows() || isFullScreen() || !isWindow() || m_minHeight <= 0)
        return;
    const double aspect = double(m_minWidth) / double(m_minHeight);
    const int wanted = qRound(width() / aspect);
    if (std::abs(height() - wanted) > 1)
        resize(width(), wanted);
}

void KvCameraWidget::hideEvent(QHideEvent *event)
{
    if (m_overlay && !m_overlayInside)
        m_overlay->hide();
    QWidget::hideEvent(event);
}

void KvCameraWidget::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
}

void KvCameraWidget::slotReceiveVideoFrame(void *ptr, int width, int height)
{
    m_video->showFrame(ptr, width, height);
    if (!ptr)
        return;
    if (m_overlay && !isHidden() && !m_overlay->isVisible()) {
        // Geometry changes made while the window was hidden may not have
        // reached the hidden overlay.
        m_overlay->setGeometry(m_overlayInside ? rect() : geometry());
        m_overlay->show();
    }
}
