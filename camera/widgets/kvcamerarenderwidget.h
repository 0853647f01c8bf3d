#ifndef KVCAMERARENDERWIDGET_H
#define KVCAMERARENDERWIDGET_H

#include <QOpenGLFunctions>
#include <QOpenGLWidget>

// Embeddable OpenGL widget that draws I420 frames with a YUV shader.
class KvCameraRenderWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT
public:
    explicit KvCameraRenderWidget(QWidget *parent = nullptr);

    // The frame the next paint draws (null before the first frame).
    const unsigned char *frameData() const { return m_frame; }
    int frameWidth() const { return m_width; }
    int frameHeight() const { return m_height; }

signals:
    void sigRecCamRepaint();

public slots:
    void slotReceiveVideoFrame(void *ptr, int width, int height);

private:
    int m_width = 0;
    int m_height = 0;
    unsigned char *m_frame = nullptr;
};

#endif
