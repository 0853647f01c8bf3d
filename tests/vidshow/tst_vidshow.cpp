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

namespace {
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
    }
};

QTEST_MAIN(TestVidshow)
#include "tst_vidshow.moc"
