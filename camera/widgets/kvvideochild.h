#ifndef KVVIDEOCHILD_H
#define KVVIDEOCHILD_H

#include <QPointer>
#include <QRect>

class KvCameraRenderWidget;
class KvSDLRenderWidget;
class QImage;
class QString;
class QWidget;

// The camera window's video child, chosen by what the platform can do:
// vidshow (SDL) drawing into a native child where the window is an X11 window,
// Qt's OpenGL widget everywhere else and wherever vidshow gives up. The window
// sees only this class.
class KvVideoChild
{
public:
    // KV_CAMERA_DISPLAY=opengl or =sdl overrides the platform's choice.
    KvVideoChild(double scale, QWidget *window);

    // True when vidshow can draw into this platform's windows (X11 only: SDL's
    // video is never started elsewhere).
    static bool vidshowCanDraw();

    QWidget *widget() const;
    KvSDLRenderWidget *sdlWidget() const;
    KvCameraRenderWidget *glWidget() const;

    void setColorRange(bool fullRange);
    void setGeometry(const QRect &rect);
    // Hands the frame over (null: its memory is going away). A frame vidshow
    // cannot draw moves the window to the OpenGL child, which shows it.
    void showFrame(void *ptr, int width, int height);
    // Frames put on screen by the children so far.
    qint64 shownFrames() const;
    // The child's picture as the user sees it (the OpenGL child's framebuffer
    // included, which a widget grab leaves out).
    QImage grabPicture() const;

private:
    void useOpenGL(const QString &why);
    void reportUnshown(const QString &why);

    double m_scale;
    QWidget *m_window;
    bool m_fullRange = false;
    bool m_reported = false;
    qint64 m_shownBefore = 0; // by children that were replaced
    QPointer<KvSDLRenderWidget> m_sdl;
    QPointer<KvCameraRenderWidget> m_gl;
};

#endif
