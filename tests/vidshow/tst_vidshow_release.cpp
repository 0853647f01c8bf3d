// vidshow in a host without a toolkit: plain X11 windows and Xlib's default
// error handler, which ends the process at the first X error. Releasing a
// device whose GL context is the current one must not touch that context
// again; a context of the host's own that was current stays current.
#include "vidshow.h"

#include <QTest>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

namespace {

const int kWidth = 96;
const int kHeight = 64;

// A solid limited-range BT.601 red.
std::vector<unsigned char> redFrame()
{
    std::vector<unsigned char> f(size_t(kWidth) * kHeight * 3 / 2, 81);
    std::fill(f.begin() + kWidth * kHeight, f.begin() + kWidth * kHeight * 5 / 4, 90);
    std::fill(f.begin() + kWidth * kHeight * 5 / 4, f.end(), 240);
    return f;
}

bool draw(void *device, std::vector<unsigned char> &f)
{
    unsigned char *y = f.data();
    return DisplayI420Video(device, y, y + kWidth * kHeight, y + kWidth * kHeight * 5 / 4, kWidth,
                            kHeight) == 0;
}

// A mapped top-level window of the test's own connection, black until drawn.
class PlainWindow
{
public:
    PlainWindow(Display *display, int x, int y) : m_display(display)
    {
        const int screen = DefaultScreen(display);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True; // no window manager placement
        attributes.background_pixel = BlackPixel(display, screen);
        m_window = XCreateWindow(display, RootWindow(display, screen), x, y, 200, 150, 0,
                                 CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWBackPixel, &attributes);
        XSelectInput(display, m_window, ExposureMask);
        XMapWindow(display, m_window);
        XEvent event;
        XWindowEvent(display, m_window, ExposureMask, &event);
        XSync(display, False);
    }
    ~PlainWindow() { XDestroyWindow(m_display, m_window); }
    PlainWindow(const PlainWindow &) = delete;
    PlainWindow &operator=(const PlainWindow &) = delete;

    Window id() const { return m_window; }

    // The window's centre pixel is the red vidshow draws.
    bool showsRed() const
    {
        XImage *image = XGetImage(m_display, m_window, 100, 75, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return false;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        const unsigned long red = (pixel >> 16) & 0xff;
        const unsigned long green = (pixel >> 8) & 0xff;
        const unsigned long blue = pixel & 0xff;
        return red > 230 && green < 30 && blue < 30;
    }

private:
    Display *m_display;
    Window m_window;
};

} // namespace

class TestVidshowRelease : public QObject
{
    Q_OBJECT
    Display *m_display = nullptr;

private slots:
    void initTestCase()
    {
        // Xlib's own handler: any X error vidshow causes ends the test.
        XSetErrorHandler(nullptr);
        m_display = XOpenDisplay(nullptr);
        QVERIFY(m_display);
        QCOMPARE(InitDisplayDevEnv(0), 0);
    }
    void cleanupTestCase()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }

    // After a frame drawn while no context was current, the device's own
    // context stays current; its release deletes it.
    void releaseWithItsContextCurrent_data()
    {
        QTest::addColumn<bool>("secondDevice");
        QTest::newRow("alone") << false;
        QTest::newRow("beside another device") << true;
    }
    void releaseWithItsContextCurrent()
    {
        QFETCH(bool, secondDevice);
        QVERIFY(!glXGetCurrentContext());
        PlainWindow a(m_display, 100, 100), b(m_display, 400, 100);
        std::vector<unsigned char> f = redFrame();
        void *device = CreateVideoDeivce(a.id(), 0);
        QVERIFY(device);
        void *other = secondDevice ? CreateVideoDeivce(b.id(), 0) : nullptr;
        QCOMPARE(other != nullptr, secondDevice);
        QTRY_VERIFY(draw(device, f) && a.showsRed());
        // The other device's frame puts the first device's context back as current.
        if (other)
            QTRY_VERIFY(draw(other, f) && b.showsRed());
        ReleaseVideoDevice(device);

        // Still here, and vidshow still draws: the other device and a new one.
        if (other) {
            QTRY_VERIFY(draw(other, f) && b.showsRed());
            ReleaseVideoDevice(other);
        }
        PlainWindow c(m_display, 700, 100);
        device = CreateVideoDeivce(c.id(), 0);
        QVERIFY(device);
        QTRY_VERIFY(draw(device, f) && c.showsRed());
        ReleaseVideoDevice(device);
        glXMakeCurrent(m_display, None, nullptr); // the next case starts with none
    }

    // The host's context, current before a frame and a release, is current after them.
    void hostContextStaysCurrent()
    {
        int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
        XVisualInfo *visual = glXChooseVisual(m_display, DefaultScreen(m_display), attributes);
        QVERIFY(visual);
        GLXContext host = glXCreateContext(m_display, visual, nullptr, True);
        XFree(visual);
        QVERIFY(host);
        PlainWindow a(m_display, 100, 300), hostWindow(m_display, 400, 300);
        QVERIFY(glXMakeCurrent(m_display, hostWindow.id(), host));

        std::vector<unsigned char> f = redFrame();
        void *device = CreateVideoDeivce(a.id(), 0);
        QVERIFY(device);
        QTRY_VERIFY(draw(device, f) && a.showsRed());
        QCOMPARE(glXGetCurrentContext(), host);
        ReleaseVideoDevice(device);
        QCOMPARE(glXGetCurrentContext(), host);

        glXMakeCurrent(m_display, None, nullptr);
        glXDestroyContext(m_display, host);
    }
};

QTEST_GUILESS_MAIN(TestVidshowRelease)
#include "tst_vidshow_release.moc"
