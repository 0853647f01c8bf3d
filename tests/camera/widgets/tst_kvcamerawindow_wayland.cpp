// The camera window as a native Wayland client of a real compositor (Weston):
// OpenGL draws the picture, SDL's video never starts, the overlay lies inside
// the window, the compositor's own screenshot shows both, the window keeps its
// aspect ratio and the full-screen button toggles through the compositor.
#include "kvbackwidget.h"
#include "kvcamerarenderwidget.h"
#include "kvcamerawidget.h"
#include "testframes.h"
#include "westonshot.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

#include <SDL.h>

// How long the compositor may take over a configure round on a loaded machine.
constexpr int kSlowCompositor = 20000;

class TestKvCameraWindowWayland : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QString("wayland")); }

    void pictureAndOverlayOnScreen()
    {
        KvCameraWidget w(1.0);
        QVERIFY(!w.videoWidget());
        QVERIFY(qobject_cast<KvCameraRenderWidget *>(w.displayWidget()));
        QVERIFY(w.isOverlayInside());
        QVERIFY(!w.overlay()->isWindow());
        w.setFullScreenToggleEnabled(true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.size(), QSize(400, 225));

        std::vector<unsigned char> f = quadrantFrame(640, 360);
        w.slotReceiveVideoFrame(f.data(), 640, 360);
        QTRY_VERIFY(w.shownFrames() >= 1);
        QTRY_VERIFY(w.overlay()->isVisible());
        QCOMPARE(w.overlay()->geometry(), w.rect());
        // Never SDL's video on a Wayland session.
        QCOMPARE(SDL_WasInit(SDL_INIT_VIDEO), Uint32(0));

        // The window's own composed picture.
        const QImage own = w.grabPicture();
        QVERIFY(showsQuadrants(own, own.rect().adjusted(8, 8, -8, -8)));
        QVERIFY(looksLike(own.pixel(20, 1), 0xFFF8403D));

        // The compositor's: the camera's colours in a box of the window's size
        // with the brackets on its corners and the red frame on its edge.
        QImage shot;
        QRect box;
        QTRY_VERIFY_WITH_TIMEOUT(
            (shot = compositorScreenshot(), box = cameraBox(shot), box.size() == w.size()), 20000);
        QVERIFY(showsQuadrants(shot, box.adjusted(8, 8, -8, -8)));
        const auto at = [&](int x, int y) { return shot.pixel(box.left() + x, box.top() + y); };
        for (const QPoint &p : {QPoint(20, 1), QPoint(1, 20), QPoint(box.width() - 21, 2),
                                QPoint(2, box.height() - 21)})
            QVERIFY2(looksLike(at(p.x(), p.y()), 0xFFF8403D), qPrintable(QString::number(p.x())));
        int red = 0;
        for (int x = 60; x < box.width() - 60; ++x)
            red += looksLike(at(x, 1), 0xFFFF0000) && qGreen(at(x, 1)) < 60;
        QVERIFY2(red > 20 && red < box.width() - 140, qPrintable(QString::number(red)));
        shot.save(qEnvironmentVariable("KV_WAYLAND_SHOT", QDir::temp().filePath("kv-wayland.png")));
    }

    // The compositor proposes sizes; the window answers with its aspect ratio.
    void keepsAspectRatio()
    {
        KvCameraWidget w(1.0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(800, 300);
        QTRY_COMPARE(w.size(), QSize(800, 450));
        w.resize(640, 600);
        QTRY_COMPARE(w.size(), QSize(640, 360));
    }

    void fullScreenToggle()
    {
        KvCameraWidget w(1.0);
        w.setFullScreenToggleEnabled(true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        std::vector<unsigned char> f = quadrantFrame(640, 360);
        w.slotReceiveVideoFrame(f.data(), 640, 360);
        QTRY_VERIFY(w.overlay()->isVisible());
        const QSize normal = w.size();
        auto *button = w.overlay()->findChild<QPushButton *>("fullbtn");
        QVERIFY(button && button->isVisible());
        const QPoint at = button->mapTo(&w, button->rect().center());
        QTest::mouseMove(&w, at);
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, at);
        QVERIFY(w.overlay()->isFullScreen());
        QTRY_VERIFY_WITH_TIMEOUT(w.isFullScreen(), kSlowCompositor);
        QTRY_COMPARE_WITH_TIMEOUT(w.size(), QSize(1280, 800), kSlowCompositor);
        QTRY_COMPARE_WITH_TIMEOUT(w.overlay()->geometry(), w.rect(), kSlowCompositor);

        const QPoint back = button->mapTo(&w, button->rect().center());
        QTest::mouseMove(&w, back);
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, back);
        QVERIFY(!w.overlay()->isFullScreen());
        QTRY_VERIFY_WITH_TIMEOUT(!w.isFullScreen(), kSlowCompositor);
        QTRY_COMPARE_WITH_TIMEOUT(w.size(), normal, kSlowCompositor);
    }
};

QTEST_MAIN(TestKvCameraWindowWayland)
#include "tst_kvcamerawindow_wayland.moc"
