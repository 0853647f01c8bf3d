// The camera window on a real X server where vidshow refuses the window (SDL
// made to pick its dummy video driver): it says why once, shows the picture
// with OpenGL under the same overlay window, and counts what reached the
// screen.
#include "dripin.h"
#include "kvbackwidget.h"
#include "kvcamerarenderwidget.h"
#include "kvcamerawidget.h"
#include "testframes.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

class TestKvCameraWindowFallback : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { pinDriDrivers(); }

    void openGLWhenVidshowRefuses()
    {
        QVERIFY(qEnvironmentVariableIsSet("SDL_VIDEODRIVER"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("KvCameraWidget: vidshow refused a device .* "
                                                "platform \"xcb\"; showing frames with OpenGL"));
        KvCameraWidget w(1.0);
        QVERIFY(!w.videoWidget());
        auto *gl = qobject_cast<KvCameraRenderWidget *>(w.displayWidget());
        QVERIFY(gl);
        QVERIFY(!w.isOverlayInside());
        w.setColorRange(true);
        QVERIFY(gl->isFullRange());
        w.setGeometry(300, 200, 640, 360);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(gl->geometry(), w.rect());

        std::vector<unsigned char> f = quadrantFrame(640, 360);
        w.setColorRange(false);
        // Handed over, then painted: only painted frames count as shown.
        w.slotReceiveVideoFrame(f.data(), 640, 360);
        QTRY_VERIFY(w.shownFrames() >= 1);
        QTRY_VERIFY(showsQuadrants(QGuiApplication::primaryScreen()->grabWindow(0).toImage(),
                                   w.geometry().adjusted(4, 4, -4, -4)));
        // The overlay window lies on it.
        QTRY_VERIFY(w.overlay()->isVisible());
        QCOMPARE(w.overlay()->geometry(), w.geometry());
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        QVERIFY(looksLike(screen.pixel(w.geometry().topLeft() + QPoint(20, 1)), 0xFFF8403D));

        // A hidden window shows nothing and counts nothing.
        w.hide();
        const qint64 shown = w.shownFrames();
        for (int i = 0; i < 3; ++i)
            w.slotReceiveVideoFrame(f.data(), 640, 360);
        QCoreApplication::processEvents();
        QCOMPARE(w.shownFrames(), shown);

        // The composed picture (for hosts that cannot read the screen).
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.slotReceiveVideoFrame(f.data(), 640, 360);
        QTRY_VERIFY(showsQuadrants(w.grabPicture(), QRect(QPoint(4, 4), w.size() - QSize(8, 8))));
    }
};

QTEST_MAIN(TestKvCameraWindowFallback)
#include "tst_kvcamerawindow_fallback.moc"
