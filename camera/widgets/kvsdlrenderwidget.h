#ifndef KVSDLRENDERWIDGET_H
#define KVSDLRENDERWIDGET_H

#include <QWidget>

// Native child window into which vidshow draws the camera's I420 frames. Qt
// never paints it; mouse input passes through to the camera window.
class KvSDLRenderWidget : public QWidget
{
    Q_OBJECT
public:
    KvSDLRenderWidget(double scale, QWidget *parent);
    // Releases the vidshow device with the widget.
    ~KvSDLRenderWidget() override;

    // The YCbCr range of the frames to come (BT.601 either way): full range
    // for JPEG-coded cameras, limited (studio) range otherwise, the default.
    void setColorRange(bool fullRange);
    bool isFullRange() const { return m_fullRange; }

    // The vidshow device (null when the platform offers none).
    void *device() const { return m_device; }
    // The frame redrawn by moves and resizes (null when there is none).
    const unsigned char *frameData() const { return m_frame; }
    int frameWidth() const { return m_frameWidth; }
    int frameHeight() const { return m_frameHeight; }
    // Frames vidshow drew so far.
    qint64 shownFrames() const { return m_shown; }
    // True when the latest frame handed over could not be drawn: no device,
    // or vidshow failed on it.
    bool drawFailed() const { return m_drawFailed; }

public slots:
    // A null ptr drops the remembered frame: its memory is going away.
    void slotReceiveVideoFrame(void *ptr, int width, int height);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool drawFrame();
    void createDevice();
    void releaseDevice();

    void *m_device = nullptr;
    unsigned char *m_frame = nullptr;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    double m_scale;
    bool m_fullRange = false;
    bool m_drawFailed = false;
    bool m_reported = false;
    qint64 m_shown = 0;
};

#endif
