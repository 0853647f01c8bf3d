#ifndef KVCAMERAWIDGET_H
#define KVCAMERAWIDGET_H

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

class KvBackWidget;
class KvSDLRenderWidget;

// Frameless, always-on-top camera window: the video drawn by a
// KvSDLRenderWidget filling it, a KvBackWidget overlay kept on its geometry.
// Dragging the inside moves it, dragging a corner resizes it with the aspect
// ratio of its minimum size; both stay inside the bound rect.
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
    KvSDLRenderWidget *videoWidget() const { return m_video; }

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

    int m_minWidth = 1;
    int m_minHeight = 1;
    bool m_pressed = false;
    QPoint m_pressPos;
    DragRegion m_region = RegionMove;
    KvBackWidget *m_overlay = nullptr;
    KvSDLRenderWidget *m_video = nullptr;
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
