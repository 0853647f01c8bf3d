#ifndef XTESTMOUSE_H
#define XTESTMOUSE_H

#include <QImage>
#include <QPoint>

// The mouse of the X server, driven through the XTest extension on a
// connection of its own: what the server does with the input (which window
// gets it, grabs, input shapes) is the same as for a person's mouse.
class XTestMouse
{
public:
    // displayName: null for $DISPLAY.
    explicit XTestMouse(const char *displayName = nullptr);
    ~XTestMouse();
    XTestMouse(const XTestMouse &) = delete;
    XTestMouse &operator=(const XTestMouse &) = delete;

    bool isValid() const { return m_display != nullptr; }
    void moveTo(const QPoint &global);
    void press();
    void release();
    // The server's root window as it is now (what a person sees).
    QImage grabScreen() const;

private:
    void flush();

    struct _XDisplay *m_display = nullptr;
};

#endif
