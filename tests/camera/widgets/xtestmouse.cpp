#include "xtestmouse.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

XTestMouse::XTestMouse()
{
    Display *d = XOpenDisplay(nullptr);
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
