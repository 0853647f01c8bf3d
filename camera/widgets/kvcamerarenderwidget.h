#ifndef KVCAMERARENDERWIDGET_H
#define KVCAMERARENDERWIDGET_H

#include <QMutex>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QString>

#include <functional>

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

    // The YCbCr range of the frames to come (BT.601 either way): full range
    // for JPEG-coded cameras, limited (studio) range otherwise, the default.
    void setColorRange(bool fullRange);
    bool isFullRange() const { return m_fullRange; }

    // Called first thing in the destructor, while the widget is still whole:
    // whoever feeds it frames from another thread stops before it comes apart.
    // Frames painted so far (a frame repainted counts once).
    qint64 shownFrames() const { return m_shown; }
    // Why frames handed over cannot reach the screen; empty while they can.
    QString cannotShowReason() const { return m_cannotShow; }

    void setAboutToBeDestroyedHandler(std::function<void()> handler);

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
    void releaseGLResources();

    QOpenGLShaderProgram *m_program = nullptr;
    QOpenGLBuffer m_vbo;
    int m_samplerY = 0;
    int m_samplerU = 0;
    int m_samplerV = 0;
    int m_offsetLocation = -1;
    int m_scaleLocation = -1;
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
    bool m_fullRange = false;
    std::function<void()> m_aboutToBeDestroyed;
    qint64 m_shown = 0;
    quint64 m_serial = 0;       // of the frame handed over last
    quint64 m_shownSerial = 0;  // of the frame painted last
    int m_unpaintedVisible = 0; // frames handed over while visible, none painted yet
    bool m_everPainted = false;
    QString m_cannotShow;
};

#endif
