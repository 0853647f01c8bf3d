#include "xtestmouse.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

XTestMouse::XTestMouse(const char *displayName)
{
    Display *d = XOpenDisplay(displayName);
    int event = 0, error = 0, major = 0, minor = 0;
    if (d && !XTestQueryExtension(d, &event, &error, &major, &minor)) {
        XCloseDisplay(d);
        d = nullptr;
    }
    m_display = d;
}

XTestMouse::~XTestMouse()
{
    if (m_display)
        XCloseDisplay(m_display);
}

void XTestMouse::moveTo(const QPoint &global)
{
    if (!m_display)
        return;
    XTestFakeMotionEvent(m_display, DefaultScreen(m_display), global.x(), global.y(), CurrentTime);
    flush();
}

void XTestMouse::press()
{
    if (!m_display)
        return;
    XTestFakeButtonEvent(m_display, Button1, True, CurrentTime);
    flush();
}

void XTestMouse::release()
{
    if (!m_display)
        return;
    XTestFakeButtonEvent(m_display, Button1, False, CurrentTime);
    flush();
}

// The server has handled the request once the round trip returns.
void XTestMouse::flush()
{
    XSync(m_display, False);
}

QImage XTestMouse::grabScreen() const
{
    if (!m_display)
        return QImage();
    const Window root = DefaultRootWindow(m_display);
    XWindowAttributes a;
    if (!XGetWindowAttributes(m_display, root, &a))
        return QImage();
    XImage *x =
        XGetImage(m_display, root, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!x)
        return QImage();
    QImage image(a.width, a.height, QImage::Format_RGB32);
    for (int y = 0; y < a.height; ++y)
        for (int xx = 0; xx < a.width; ++xx)
            image.setPixel(xx, y, QRgb(XGetPixel(x, xx, y)) | 0xFF000000u);
    XDestroyImage(x);
    return image;
}
