#ifndef KVCAMERARENDERWIDGET_H
#define KVCAMERARENDERWIDGET_H

#include <QMutex>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>

class QOpenGLShaderProgram;
class QOpenGLTexture;

// Embeddable OpenGL widget that draws I420 frames with a YUV shader,
// stretched over the whole widget.
class KvCameraRenderWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT
public:
    explicit KvCameraRenderWidget(QWidget *parent = nullptr);
    ~KvCameraRenderWidget() override;

    // The frame the next paint draws (null before the first frame).
    const unsigned char *frameData() const { return m_frame; }
    int frameWidth() const { return m_width; }
    int frameHeight() const { return m_height; }

signals:
    void sigRecCamRepaint();

public slots:
    // Keeps ptr (not copied) as the current frame and schedules a repaint. A
    // null ptr drops the current frame: its memory is going away.
    void slotReceiveVideoFrame(void *ptr, int width, int height);

protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void releaseTextures();

    QOpenGLShaderProgram *m_program = nullptr;
    QOpenGLBuffer m_vbo;
    int m_samplerY = 0;
    int m_samplerU = 0;
    int m_samplerV = 0;
    QOpenGLTexture *m_textureY = nullptr;
    QOpenGLTexture *m_textureU = nullptr;
    QOpenGLTexture *m_textureV = nullptr;
    unsigned int m_idY = 0;
    unsigned int m_idU = 0;
    unsigned int m_idV = 0;
    int m_width = 0;
    int m_height = 0;
    unsigned char *m_frame = nullptr;
    QMutex m_lock;
    bool m_redTextures = false;
};

#endif
