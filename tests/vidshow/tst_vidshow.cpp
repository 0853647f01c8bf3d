// vidshow on a real X server: drawing a frame scaled into a window, following
// the window's size, refusing what it cannot draw.
#include "dripin.h"
#include "testframes.h"
#include "vidshow.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <SDL.h>
#include <xcb/xcb.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's quarantine holds up to 256 MB of freed memory by design; only growth
// beyond it says something there (30 kept HD devices, about 9 MB each, still exceed it).
const long kMaxGrowthKiB = (256 + 8) * 1024;
#else
const long kMaxGrowthKiB = 8 * 1024;
#endif

QImage screenImage()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// Draws the frame again on every try: Qt or the X server may expose the
// window after the first draw.
bool drawAndCheck(void *dev, std::vector<unsigned char> &f, int w, int h, const QRect &where)
{
    unsigned char *y = f.data();
    if (DisplayI420Video(dev, y, y + w * h, y + w * h * 5 / 4, w, h) != 0)
        return false;
    return showsQuadrants(screenImage(), where);
}

// A solid I420 frame of one Y, U, V value.
std::vector<unsigned char> solidFrame(int w, int h, unsigned char y, unsigned char u,
                                      unsigned char v)
{
    std::vector<unsigned char> f(size_t(w) * h * 3 / 2, y);
    std::fill(f.begin() + w * h, f.begin() + w * h * 5 / 4, u);
    std::fill(f.begin() + w * h * 5 / 4, f.end(), v);
    return f;
}

bool drawSolid(void *dev, std::vector<unsigned char> &f, int w, int h)
{
    unsigned char *y = f.data();
    return DisplayI420Video(dev, y, y + w * h, y + w * h * 5 / 4, w, h) == 0;
}

int sdlWindowCount()
{
    int n = 0;
    for (Uint32 id = 1; id < 256; ++id)
        n += SDL_GetWindowFromID(id) != nullptr;
    return n;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct Window : QWidget
{
    explicit Window(const QRect &g)
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setUpdatesEnabled(false);
        setGeometry(g);
    }
};
} // namespace

class TestVidshow : public QObject
{
    Q_OBJECT
    // The renderer vidshow chose for its windows: OpenGL, or the software
    // fallback where no OpenGL library can be loaded (SDL_OPENGL_LIBRARY
    // pointing nowhere).
    void checkRenderer()
    {
        const bool software = qEnvironmentVariableIsSet("SDL_OPENGL_LIBRARY");
        int windows = 0;
        for (Uint32 id = 1; id < 64; ++id) {
            SDL_Window *w = SDL_GetWindowFromID(id);
            SDL_Renderer *r = w ? SDL_GetRenderer(w) : nullptr;
            SDL_RendererInfo info;
            if (!r || SDL_GetRendererInfo(r, &info) != 0)
                continue;
            ++windows;
            QCOMPARE(QByteArray(info.name), QByteArray(software ? "software" : "opengl"));
        }
        QVERIFY(windows > 0);
    }

private slots:
    void initTestCase() { QCOMPARE(InitDisplayDevEnv(0), 0); }
    void cleanupTestCase() { pinDriDrivers(); }

    void refusesWhatIsNoWindow()
    {
        QVERIFY(!CreateVideoDeivce(0, 0));
        QVERIFY(!CreateVideoDeivce(0x7ffffff0UL, 0));
        QVERIFY(!CreateVideoDeivce(~0UL, 0));
        xcb_connection_t *c = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_disconnect(c);
        QVERIFY(!CreateVideoDeivce(root, 0));
    }

    void refusesBadFrames()
    {
        Window win(QRect(0, 0, 64, 48));
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        void *dev = CreateVideoDeivce(win.winId(), 0);
        QVERIFY(dev);
        std::vector<unsigned char> f = quadrantFrame(16, 16);
        unsigned char *y = f.data();
        QCOMPARE(DisplayI420Video(nullptr, y, y + 256, y + 320, 16, 16), -1);
        QCOMPARE(DisplayI420Video(dev, nullptr, y + 256, y + 320, 16, 16), -1);
        QCOMPARE(DisplayI420Video(dev, y, nullptr, y + 320, 16, 16), -1);
        QCOMPARE(DisplayI420Video(dev, y, y + 256, nullptr, 16, 16), -1);
        QCOMPARE(DisplayI420Video(dev, y, y, y, 1, 16), -1);
        QCOMPARE(DisplayI420Video(dev, y, y, y, 16, 0), -1);
        QCOMPARE(DisplayI420Video(dev, y, y, y, -16, 16), -1);
        QCOMPARE(DisplayI420Video(dev, y, y + 256, y + 320, 16, 16), 0);
        // Odd sizes draw without reading past the planes (ASan watches).
        std::vector<unsigned char> odd(33 * 17 + 2 * 16 * 8);
        QCOMPARE(DisplayI420Video(dev, odd.data(), odd.data() + 33 * 17,
                                  odd.data() + 33 * 17 + 16 * 8, 33, 17),
                 0);
        ReleaseVideoDevice(dev);
    }

    void drawsScaledAndFollowsSize()
    {
        Window win(QRect(100, 80, 320, 240));
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        void *dev = CreateVideoDeivce(win.winId(), 0);
        QVERIFY(dev);
        std::vector<unsigned char> small = quadrantFrame(64, 48);
        QTRY_VERIFY(drawAndCheck(dev, small, 64, 48, win.geometry()));
        checkRenderer();
        // Just inside the window's corners too: the picture fills it.
        const QImage img = screenImage();
        QVERIFY(looksLike(img.pixel(102, 82), kQuadrantRgb[0]));
        QVERIFY(looksLike(img.pixel(417, 317), kQuadrantRgb[3]));

        // A bigger window: the picture follows its size.
        win.resize(640, 400);
        QTRY_VERIFY(drawAndCheck(dev, small, 64, 48, win.geometry()));
        QVERIFY(looksLike(screenImage().pixel(100 + 630, 80 + 390), kQuadrantRgb[3]));

        // A frame of another size re-creates the texture; 1366 has an odd
        // chroma row length.
        std::vector<unsigned char> wide = quadrantFrame(1366, 768);
        QTRY_VERIFY(drawAndCheck(dev, wide, 1366, 768, win.geometry()));
        QTRY_VERIFY(drawAndCheck(dev, small, 64, 48, win.geometry()));
        ReleaseVideoDevice(dev);
    }

    void twoWindows()
    {
        Window a(QRect(0, 0, 200, 150)), b(QRect(300, 0, 160, 120));
        a.show();
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        void *da = CreateVideoDeivce(a.winId(), 0);
        void *db = CreateVideoDeivce(b.winId(), 0);
        QVERIFY(da && db && da != db);
        std::vector<unsigned char> f = quadrantFrame(96, 64);
        QTRY_VERIFY(drawAndCheck(da, f, 96, 64, a.geometry()) &&
                    drawAndCheck(db, f, 96, 64, b.geometry()));
        ReleaseVideoDevice(da);
        ReleaseVideoDevice(db);
    }

    // BT.601 either way; limited range by default, full range (JPEG) on
    // request. Studio black and white are 16 and 235 in limited range.
    void colourRange()
    {
        Window win(QRect(40, 300, 160, 120));
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        void *dev = CreateVideoDeivce(win.winId(), 0);
        QVERIFY(dev);
        const QPoint centre = win.geometry().center();
        const auto near = [](QRgb a, QRgb e) {
            return std::abs(qRed(a) - qRed(e)) <= 3 && std::abs(qGreen(a) - qGreen(e)) <= 3 &&
                   std::abs(qBlue(a) - qBlue(e)) <= 3;
        };
        // HD sizes too: SDL's own choice there would be BT.709.
        for (const QSize &size : {QSize(64, 48), QSize(1280, 720)}) {
            const int w = size.width(), h = size.height();
            std::vector<unsigned char> black = solidFrame(w, h, 16, 128, 128);
            std::vector<unsigned char> red = solidFrame(w, h, 81, 90, 240); // BT.601 studio red
            QTRY_VERIFY(drawSolid(dev, black, w, h) &&
                        near(screenImage().pixel(centre), qRgb(0, 0, 0)));
            QTRY_VERIFY(drawSolid(dev, red, w, h) &&
                        near(screenImage().pixel(centre), qRgb(255, 0, 0)));
            QCOMPARE(SetVideoDeviceColorRange(dev, 1), 0);
            QTRY_VERIFY(drawSolid(dev, black, w, h) &&
                        near(screenImage().pixel(centre), qRgb(16, 16, 16)));
            // Full-range red of JPEG's BT.601: Y 76, Cb 85, Cr 255.
            std::vector<unsigned char> jpegRed = solidFrame(w, h, 76, 85, 255);
            QTRY_VERIFY(drawSolid(dev, jpegRed, w, h) &&
                        near(screenImage().pixel(centre), qRgb(254, 0, 0)));
            QCOMPARE(SetVideoDeviceColorRange(dev, 0), 0);
        }
        QCOMPARE(SetVideoDeviceColorRange(nullptr, 1), -1);
        int notADevice = 0;
        QCOMPARE(SetVideoDeviceColorRange(&notADevice, 1), -1);
        ReleaseVideoDevice(dev);
    }

    // Released devices give their SDL window wrapper, renderer and texture
    // back, while SDL's video subsystem stays for the process (other OpenGL
    // users share its X and driver state); a window can be wrapped again.
    void releaseGivesEverythingBack()
    {
        Window a(QRect(500, 300, 200, 150)), b(QRect(750, 300, 160, 120));
        a.show();
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        std::vector<unsigned char> f = quadrantFrame(96, 64);

        // The tests before released all their devices.
        QCOMPARE(sdlWindowCount(), 0);
        void *da = CreateVideoDeivce(a.winId(), 0);
        QVERIFY(da);
        QTRY_VERIFY(drawAndCheck(da, f, 96, 64, a.geometry()));
        QCOMPARE(sdlWindowCount(), 1);
        ReleaseVideoDevice(da);
        QCOMPARE(sdlWindowCount(), 0);
        QVERIFY(SDL_WasInit(SDL_INIT_VIDEO) != 0);
        // A released device is unknown from then on.
        unsigned char *y = f.data();
        QCOMPARE(DisplayI420Video(da, y, y + 96 * 64, y + 96 * 64 * 5 / 4, 96, 64), -1);
        QCOMPARE(SetVideoDeviceColorRange(da, 1), -1);
        ReleaseVideoDevice(da);
        ReleaseVideoDevice(nullptr);

        // Wrapped again; two devices, each released on its own.
        da = CreateVideoDeivce(a.winId(), 0);
        void *db = CreateVideoDeivce(b.winId(), 0);
        QVERIFY(da && db);
        QTRY_VERIFY(drawAndCheck(da, f, 96, 64, a.geometry()) &&
                    drawAndCheck(db, f, 96, 64, b.geometry()));
        QCOMPARE(sdlWindowCount(), 2);
        ReleaseVideoDevice(da);
        QCOMPARE(sdlWindowCount(), 1);
        QVERIFY(SDL_WasInit(SDL_INIT_VIDEO) != 0);
        QTRY_VERIFY(drawAndCheck(db, f, 96, 64, b.geometry()));
        ReleaseVideoDevice(db);
        QCOMPARE(sdlWindowCount(), 0);
        QVERIFY(SDL_WasInit(SDL_INIT_VIDEO) != 0);

        // A host that makes a device per meeting stays flat: HD frames, where
        // every device kept would hold several MB.
        std::vector<unsigned char> hd = quadrantFrame(1280, 720);
        const auto cycle = [&]() {
            void *d = CreateVideoDeivce(a.winId(), 0);
            const bool drawn = d && drawSolid(d, hd, 1280, 720);
            ReleaseVideoDevice(d);
            return drawn;
        };
        for (int i = 0; i < 5; ++i)
            QVERIFY(cycle());
        const long before = residentKiB();
        for (int i = 0; i < 30; ++i)
            QVERIFY(cycle());
        const long growth = residentKiB() - before;
        qDebug() << "resident memory growth over 30 device cycles:" << growth << "KiB";
        QVERIFY2(growth < kMaxGrowthKiB, qPrintable(QString("grew by %1 KiB").arg(growth)));
        QCOMPARE(sdlWindowCount(), 0);
        QVERIFY(SDL_WasInit(SDL_INIT_VIDEO) != 0);
    }
};

QTEST_MAIN(TestVidshow)
#include "tst_vidshow.moc"
