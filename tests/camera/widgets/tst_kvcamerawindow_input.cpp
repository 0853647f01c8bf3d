// The camera window under a person's mouse: pointer input sent through the X
// server (XTest), not to the widgets, with and without a compositing manager.
// The overlay lies over the whole window; the server must pass everything
// through it to the camera window.
#include "dripin.h"
#include "kvbackwidget.h"
#include "kvcamerawidget.h"
#include "testframes.h"
#include "xtestmouse.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {
using Region = KvCameraWidget::DragRegion;

struct Window
{
    explicit Window(const QRect &geometry, bool toggle = false)
    {
        w.setMoveEnabled(true);
        w.setResizeEnabled(true);
        w.setBoundRect(QGuiApplication::primaryScreen()->availableGeometry());
        w.setFullScreenToggleEnabled(toggle);
        w.setGeometry(geometry);
        w.show();
    }
    // A frame shows the overlay over the video, as a running camera does.
    bool showFrame()
    {
        w.slotReceiveVideoFrame(frame.data(), 640, 360);
        return QTest::qWaitForWindowExposed(&w) && QTest::qWaitForWindowExposed(w.overlay());
    }
    KvCameraWidget w{1.0};
    std::vector<unsigned char> frame = quadrantFrame(640, 360);
};

// Where the pointer goes for a corner: `inset` pixels inside the window from
// both of the corner's edges.
QPoint cornerPoint(const QRect &g, Region corner, int inset)
{
    switch (corner) {
    case KvCameraWidget::RegionTopLeft:
        return g.topLeft() + QPoint(inset, inset);
    case KvCameraWidget::RegionTopRight:
        return g.topRight() + QPoint(-inset, inset);
    case KvCameraWidget::RegionBottomLeft:
        return g.bottomLeft() + QPoint(inset, -inset);
    case KvCameraWidget::RegionBottomRight:
        return g.bottomRight() + QPoint(-inset, -inset);
    default:
        return g.center();
    }
}

// The window's rule for a corner drag to global x: the dragged corner follows
// x, the opposite corner stays, the height keeps the aspect ratio.
QRect expectedResize(const QRect &g, Region corner, int x, double aspect)
{
    QRect r = g;
    const bool left =
        corner == KvCameraWidget::RegionTopLeft || corner == KvCameraWidget::RegionBottomLeft;
    const bool top =
        corner == KvCameraWidget::RegionTopLeft || corner == KvCameraWidget::RegionTopRight;
    if (left)
        r.setX(x);
    else
        r.setWidth(x - g.left());
    if (top)
        r.setY(int(g.bottom() - r.width() / aspect));
    else
        r.setHeight(int(r.width() / aspect));
    return r;
}
} // namespace

class TestKvCameraWindowInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(XTestMouse().isValid(), "no XTest on this X server"); }
    void cleanupTestCase() { pinDriDrivers(); }

    void dragByTheMiddle()
    {
        XTestMouse mouse;
        Window win(QRect(300, 300, 400, 225));
        QVERIFY(win.showFrame());
        QSignalSpy pressed(&win.w, &KvCameraWidget::sigPressed);
        QSignalSpy released(&win.w, &KvCameraWidget::sigReleased);
        const QPoint start = win.w.geometry().center();
        mouse.moveTo(start - QPoint(5, 5));
        mouse.moveTo(start);
        QTRY_COMPARE(win.w.dragRegion(), KvCameraWidget::RegionMove);
        mouse.press();
        QTRY_COMPARE(pressed.count(), 1);
        mouse.moveTo(start + QPoint(60, 30));
        mouse.moveTo(start + QPoint(120, 70));
        QTRY_COMPARE(win.w.geometry(), QRect(420, 370, 400, 225));
        mouse.release();
        QTRY_COMPARE(released.count(), 1);
        // The overlay went along.
        QTRY_COMPARE(win.w.overlay()->geometry(), win.w.geometry());
        // Released: moving the pointer no longer moves the window.
        mouse.moveTo(start);
        QTRY_COMPARE(win.w.dragRegion(), KvCameraWidget::RegionMove);
        QCOMPARE(win.w.geometry(), QRect(420, 370, 400, 225));
    }

    void resizeByCorner_data()
    {
        QTest::addColumn<int>("corner");
        QTest::addColumn<int>("inset");
        QTest::addColumn<int>("shape");
        const struct
        {
            const char *name;
            Region corner;
            Qt::CursorShape shape;
        } corners[] = {{"top-left", KvCameraWidget::RegionTopLeft, Qt::SizeFDiagCursor},
                       {"top-right", KvCameraWidget::RegionTopRight, Qt::SizeBDiagCursor},
                       {"bottom-left", KvCameraWidget::RegionBottomLeft, Qt::SizeBDiagCursor},
                       {"bottom-right", KvCameraWidget::RegionBottomRight, Qt::SizeFDiagCursor}};
        // Inset 2 lies on the bracket (4 pixels thick at the edges), inset 7
        // inside it, 10 on the zone's inner bound.
        for (const auto &c : corners)
            for (int inset : {2, 7, 10})
                QTest::newRow(qPrintable(QString("%1 inset %2").arg(c.name).arg(inset)))
                    << int(c.corner) << inset << int(c.shape);
    }
    void resizeByCorner()
    {
        QFETCH(int, corner);
        QFETCH(int, inset);
        QFETCH(int, shape);
        const Region region = Region(corner);
        XTestMouse mouse;
        Window win(QRect(600, 400, 400, 225));
        QVERIFY(win.showFrame());
        const QRect g = win.w.geometry();
        const QPoint p = cornerPoint(g, region, inset);
        mouse.moveTo(g.center());
        QTRY_COMPARE(win.w.dragRegion(), KvCameraWidget::RegionMove);
        mouse.moveTo(p);
        QTRY_COMPARE(win.w.dragRegion(), region);
        QCOMPARE(int(win.w.cursor().shape()), shape);

        mouse.press();
        const bool left =
            region == KvCameraWidget::RegionTopLeft || region == KvCameraWidget::RegionBottomLeft;
        const int x = p.x() + (left ? -100 : 100);
        mouse.moveTo(QPoint(x, p.y() + 5));
        const QRect expected = expectedResize(g, region, x, 400.0 / 225.0);
        QTRY_COMPARE(win.w.geometry(), expected);
        mouse.release();
        QTRY_COMPARE(win.w.cursor().shape(), Qt::ArrowCursor);
        QTRY_COMPARE(win.w.overlay()->geometry(), expected);
    }

    void fullScreenButton()
    {
        XTestMouse mouse;
        const QRect normal(500, 300, 400, 225);
        Window win(normal, true);
        QVERIFY(win.showFrame());
        auto *button = win.w.overlay()->findChild<QPushButton *>("fullbtn");
        QVERIFY(button && button->isVisible());
        const auto clickButton = [&]() {
            const QPoint at = button->mapToGlobal(button->rect().center());
            mouse.moveTo(at - QPoint(3, 3));
            mouse.moveTo(at);
            QTRY_COMPARE(win.w.dragRegion(), KvCameraWidget::RegionMove);
            mouse.press();
            mouse.release();
        };

        clickButton();
        const QRect full = QGuiApplication::primaryScreen()->availableGeometry();
        QTRY_COMPARE(win.w.geometry(), full);
        QVERIFY(win.w.overlay()->isFullScreen());
        // The click went to the camera window, never to the button itself.
        QVERIFY(!button->isChecked());

        // The window was shown anew: the next frame brings the overlay back.
        QVERIFY(win.showFrame());
        QTRY_COMPARE(win.w.overlay()->geometry(), full);
        clickButton();
        QTRY_COMPARE(win.w.geometry(), normal);
        QVERIFY(!win.w.overlay()->isFullScreen());
        QVERIFY(!button->isChecked());
    }
};

QTEST_MAIN(TestKvCameraWindowInput)
#include "tst_kvcamerawindow_input.moc"
