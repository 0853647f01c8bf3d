// The camera window on a real X server (run both alone and with a compositing
// manager): the SDL-drawn video fills the window, the overlay's frame and
// brackets lie over it and the rest of the overlay lets the video through.
#include "dripin.h"
#include "kvcamerarenderwidget.h"
#include "kvcamerawidget.h"
#include "kvsdlrenderwidget.h"
#include "testframes.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTest>

namespace {
QImage screenImage()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

bool nearColour(QRgb a, QRgb e, int tolerance)
{
    return std::abs(qRed(a) - qRed(e)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(e)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(e)) <= tolerance;
}

// Hands over the frame again (as the camera would) and looks at the screen.
QString check(KvCameraWidget &w, std::vector<unsigned char> &f, int fw, int fh)
{
    w.slotReceiveVideoFrame(f.data(), fw, fh);
    const QImage img = screenImage();
    const QRect g = w.geometry();
    if (!showsQuadrants(img, g))
        return "video quadrants";
    const auto at = [&](int x, int y) { return img.pixel(g.left() + x, g.top() + y); };
    const QRgb bracket = 0xF8403D;
    const int W = g.width(), H = g.height();
    for (const QPoint &p : {QPoint(20, 1), QPoint(1, 20), QPoint(W - 21, 2), QPoint(W - 2, H - 21),
                            QPoint(2, H - 21), QPoint(W - 21, H - 2)})
        if (!nearColour(at(p.x(), p.y()), bracket, 12))
            return QString("bracket at %1,%2: %3")
                .arg(p.x())
                .arg(p.y())
                .arg(at(p.x(), p.y()), 0, 16);
    int red = 0;
    for (int x = 60; x < W - 60; ++x)
        red += nearColour(at(x, 1), 0xFF0000, 12);
    if (red < 20 || red > W - 140)
        return QString("dashed frame: %1 red pixels").arg(red);
    // Inside the frame and next to a bracket the video shows, not black.
    if (!looksLike(at(60, 10), kQuadrantRgb[0]) || !looksLike(at(10, 60), kQuadrantRgb[0]) ||
        !looksLike(at(W - 10, H - 60), kQuadrantRgb[3]))
        return "overlay hides the video";
    return QString();
}
} // namespace

class TestKvCameraWindowX11 : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { pinDriDrivers(); }

    void videoUnderOverlay()
    {
        KvCameraWidget w(1.0);
        w.setMoveEnabled(true);
        w.setResizeEnabled(true);
        w.setBoundRect(QGuiApplication::primaryScreen()->availableGeometry());
        w.moveToBottomLeft();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.videoWidget()->winId() != w.winId());

        std::vector<unsigned char> f = quadrantFrame(640, 360);
        QString error;
        QTRY_VERIFY2((error = check(w, f, 640, 360)).isEmpty(), qPrintable(error));

        // A bigger window: the picture is scaled to it, the overlay follows.
        w.setGeometry(200, 150, 800, 450);
        QTRY_VERIFY2((error = check(w, f, 640, 360)).isEmpty(), qPrintable(error));

        // A frame of another size.
        std::vector<unsigned char> g = quadrantFrame(1280, 720);
        QTRY_VERIFY2((error = check(w, g, 1280, 720)).isEmpty(), qPrintable(error));
    }

    // Qt's OpenGL and SDL's OpenGL in one thread: each draws into its own
    // window, whichever made its context current last.
    void besideOpenGLWidget()
    {
        KvCameraWidget w(1.0);
        w.setBoundRect(QGuiApplication::primaryScreen()->availableGeometry());
        w.move(600, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        KvCameraRenderWidget gl;
        gl.setGeometry(50, 500, 320, 180);
        gl.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gl));

        std::vector<unsigned char> f = quadrantFrame(640, 360);
        QString error;
        for (int round = 0; round < 3; ++round) {
            QTRY_VERIFY2((error = check(w, f, 640, 360)).isEmpty(), qPrintable(error));
            gl.slotReceiveVideoFrame(f.data(), 640, 360);
            QImage img = gl.grabFramebuffer();
            QVERIFY(showsQuadrants(img, img.rect()));
            // The camera window's draw must not land in the GL widget.
            w.slotReceiveVideoFrame(f.data(), 640, 360);
            gl.update();
            QTRY_VERIFY(showsQuadrants(screenImage(), gl.geometry()));
        }
    }

    // The pointer sits on the corner the aspect ratio allows, even when the
    // resize is refused at the bound.
    void pointerJumpsToCorner()
    {
        KvCameraWidget w(1.0);
        const QRect bnd(0, 0, 1000, 800);
        w.setBoundRect(bnd);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(100, 100);
        QTRY_COMPARE(w.geometry(), QRect(100, 100, 400, 225));
        const auto send = [&](QEvent::Type type, const QPoint &g, Qt::MouseButton b,
                              Qt::MouseButtons bs) {
            QMouseEvent e(type, w.mapFromGlobal(g), g, b, bs, Qt::NoModifier);
            QApplication::sendEvent(&w, &e);
        };
        const QPoint corner(499, 324);
        send(QEvent::MouseMove, corner, Qt::NoButton, Qt::NoButton);
        QCOMPARE(w.dragRegion(), KvCameraWidget::RegionBottomRight);
        send(QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(700, 330), Qt::NoButton, Qt::LeftButton);
        const double aspect = 400.0 / 225.0;
        QCOMPARE(w.geometry(), QRect(100, 100, 600, int(600 / aspect)));
        QTRY_COMPARE(QCursor::pos(), QPoint(700, int(100 + 600 / aspect)));

        send(QEvent::MouseMove, QPoint(bnd.right() + 1, 330), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(w.geometry().width(), 600);
        QTRY_COMPARE(QCursor::pos(), QPoint(bnd.right() + 1, int(100 + 900 / aspect)));
        send(QEvent::MouseButtonRelease, QCursor::pos(), Qt::LeftButton, Qt::NoButton);
    }
};

QTEST_MAIN(TestKvCameraWindowX11)
#include "tst_kvcamerawindow_x11.moc"
