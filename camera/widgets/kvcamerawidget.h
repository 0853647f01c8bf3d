#ifndef KVCAMERAWIDGET_H
#define KVCAMERAWIDGET_H

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <memory>

class KvBackWidget;
class KvSDLRenderWidget;
class KvVideoChild;
class QImage;

// Frameless, always-on-top camera window: the video child filling it (drawn
// by vidshow on X11, by OpenGL elsewhere), a KvBackWidget overlay on top.
// Dragging the inside moves it, dragging a corner resizes it with the aspect
// ratio of its minimum size; both stay inside the bound rect.
//
// Where the platform places windows (X11) the overlay is a window of its own
// kept on the camera window's geometry and the window moves itself. Elsewhere
// (Wayland) the overlay is a child above the video, moves and corner resizes
// go through the compositor, the window keeps its aspect ratio by its own
// choice of size; placement and always-on-top are up to the compositor.
class KvCameraWidget : public QWidget
{
    Q_OBJECT
public:
    enum DragRegion {
        RegionTopLeft = 4,
        RegionBottomLeft = 5,
        RegionBottomRight = 6,
        RegionTopRight = 7,
        RegionMove = 8
    };

    explicit KvCameraWidget(double scale, QWidget *parent = nullptr);
    ~KvCameraWidget() override;

    // True where the client places its own windows (X11, offscreen).
    static bool platformPlacesWindows();

    void setMoveEnabled(bool enabled);
    void setResizeEnabled(bool enabled);
    void setBoundRect(const QRect &rect);
    void moveToBottomLeft();
    void setMinimumFromSize(const QSize &size);
    // The YCbCr range of the camera's frames (BT.601): full range for JPEG-
    // coded cameras, limited range otherwise (the default).
    void setColorRange(bool fullRange);

    // For the host: enables the full-screen toggle and shows the overlay's
    // button (off by default). Invokable, so a host that sees the window only
    // as a QWidget can call it by name; it follows the fixed methods in the
    // meta-object.
    Q_INVOKABLE void setFullScreenToggleEnabled(bool enabled);
    // For the host: a window shown and raised after every full-screen toggle.
    Q_INVOKABLE void setCompanionWindow(QWidget *window);

    DragRegion dragRegion() const { return m_region; }
    KvBackWidget *overlay() const { return m_overlay; }
    // The vidshow child; null when the window shows frames with OpenGL.
    KvSDLRenderWidget *videoWidget() const;
    // The video child in use, whichever it is.
    QWidget *displayWidget() const;
    bool isOverlayInside() const { return m_overlayInside; }

    // Frames the video child put on screen (frames handed over while hidden,
    // or that could not be drawn, are not counted).
    qint64 shownFrames() const;
    // What the user sees of the window, composed from its own widgets (the
    // OpenGL child's framebuffer included): for hosts that cannot read the
    // screen. The vidshow child's picture exists only on the X server.
    QImage grabPicture() const;

signals:
    void sigRecCamRepaint();
    void sigPressed();
    void sigReleased();
    void sigGeoChanged(QRect ngeo);

public slots:
    // A null ptr tells the window that the frame memory is going away.
    void slotReceiveVideoFrame(void *ptr, int width, int height);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateHoverRegion(const QPoint &globalPos);
    QRect resizedGeometry(const QPoint &globalPos);
    void toggleFullScreen();
    bool startSystemDrag(const QPoint &pos);
    void keepAspect();

    int m_minWidth = 1;
    int m_minHeight = 1;
    bool m_pressed = false;
    QPoint m_pressPos;
    DragRegion m_region = RegionMove;
    KvBackWidget *m_overlay = nullptr;
    std::unique_ptr<KvVideoChild> m_video;
    bool m_overlayInside = false;
    double m_scale;
    QRect m_lastGeometry;
    bool m_resizeEnabled = true;
    bool m_moveEnabled = true;
    QRect m_boundRect;
    QRect m_fullScreenRect;
    QRect m_normalGeometry;
    QPointer<QWidget> m_companion;
};

#endif
