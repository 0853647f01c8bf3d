#ifndef KVCAMERAWIDGET_H
#define KVCAMERAWIDGET_H

#include <QRect>
#include <QWidget>

// Frameless, always-on-top camera window.
class KvCameraWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KvCameraWidget(double scale, QWidget *parent = nullptr);

    void setMoveEnabled(bool enabled);
    void setResizeEnabled(bool enabled);
    void setBoundRect(const QRect &rect);
    void moveToBottomLeft();

signals:
    void sigRecCamRepaint();
    void sigPressed();
    void sigReleased();
    void sigGeoChanged(QRect ngeo);

public slots:
    void slotReceiveVideoFrame(void *ptr, int width, int height);

private:
    double m_scale;
    bool m_moveEnabled = true;
    bool m_resizeEnabled = true;
    QRect m_boundRect;
};

#endif
