// The camera window as a native Wayland client under a person's mouse: Weston
// runs on its X11 backend inside a private X server, the pointer is driven
// there (XTest), so the compositor sees real input with real serials. Where
// the window lies is read from the outer server's pixels, as a person sees it.
#include "kvbackwidget.h"
#include "kvcamerawidget.h"
#include "testframes.h"
#include "westonshot.h"
#include "xtestmouse.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {
using Region = KvCameraWidget::DragRegion;

// Weston's output window lies at the outer server's origin, so output and
// outer screen coordinates are the same.
std::unique_ptr<XTestMouse> outerMouse()
{
    const QByteArray name = qgetenv("KV_WESTON_X11_DISPLAY");
    return std::make_unique<XTestMouse>(name.isEmpty() ? nullptr : name.constData());
}

struct Window
{
    explicit Window(bool toggle = false)
    {
        w.setMoveEnabled(true);
        w.setResizeEnabled(true);
        w.setFullScreenToggleEnabled(toggle);
        w.show();
    }
    bool showFrame()
    {
        w.slotReceiveVideoFrame(frame.data(), 640, 360);
        return QTest::qWaitForWindowExposed(&w);
    }
    KvCameraWidget w{1.0};
    std::vector<unsigned char> frame = quadrantFrame(640, 360);
};

// The pointer travels in steps, as a hand moves it.
void glide(XTestMouse &mouse, const QPoint &from, const QPoint &to)
{
    for (int i = 1; i <= 8; ++i) {
        mouse.moveTo(from + (to - from) * i / 8);
        QTest::qWait(15);
    }
}

QString describe(const QRect &r)
{
    return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}
} // namespace

class TestKvCameraWindowWaylandInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QString("wayland"));
        QVERIFY2(outerMouse()->isValid(), "no X server with XTest around the compositor");
    }

    void dragTheInsideMovesTheWindow()
    {
        auto mouse = outerMouse();
        Window win;
        QVERIFY(win.showFrame());
        QRect before;
        QTRY_VERIFY((before = cameraBox(mouse->grabScreen())).size() == win.w.size());
        // Room to move right and down on the 1280x800 output.
        const QPoint step =
            QPoint(before.right() < 900 ? 120 : -120, before.bottom() < 500 ? 70 : -70);
        const QPoint start = before.center() + QPoint(-40, 0);
        mouse->moveTo(start - QPoint(5, 5));
        mouse->moveTo(start);
        QTRY_COMPARE(win.w.dragRegion(), KvCameraWidget::RegionMove);
        mouse->press();
        glide(*mouse, start, start + step);
        mouse->release();
        QRect after;
        QTRY_VERIFY2((after = cameraBox(mouse->grabScreen())) == before.translated(step),
                     qPrintable(describe(before) + " -> " + describe(after)));
        // Released: the pointer no longer carries the window.
        glide(*mouse, start + step, start);
        QTest::qWait(200);
        QCOMPARE(cameraBox(mouse->grabScreen()), after);
    }

    void dragACornerResizesWithTheAspectRatio_data()
    {
        QTest::addColumn<int>("corner");
        QTest::addColumn<QPoint>("drag");
        QTest::newRow("bottom-right larger")
            << int(KvCameraWidget::RegionBottomRight) << QPoint(160, 30);
        QTest::newRow("top-left larger") << int(KvCameraWidget::RegionTopLeft) << QPoint(-120, -10);
    }
    void dragACornerResizesWithTheAspectRatio()
    {
        QFETCH(int, corner);
        QFETCH(QPoint, drag);
        auto mouse = outerMouse();
        Window win;
        QVERIFY(win.showFrame());
        QRect before;
        QTRY_VERIFY((before = cameraBox(mouse->grabScreen())).size() == win.w.size());
        const bool bottomRight = corner == KvCameraWidget::RegionBottomRight;
        const QPoint start =
            bottomRight ? before.bottomRight() - QPoint(3, 3) : before.topLeft() + QPoint(3, 3);
        mouse->moveTo(start + (bottomRight ? QPoint(-20, -20) : QPoint(20, 20)));
        mouse->moveTo(start);
        QTRY_COMPARE(int(win.w.dragRegion()), corner);
        mouse->press();
        glide(*mouse, start, start + drag);

        // The dragged corner followed the pointer's x, the height follows
        // from the aspect ratio. The hand rests until the window has drawn its
        // last size: Weston keeps the opposite corner in place only for sizes
        // drawn before the release.
        const int width = before.width() + (bottomRight ? drag.x() : -drag.x());
        const QSize expected(width, qRound(width * 225.0 / 400.0));
        QTRY_COMPARE(win.w.size(), expected);
        QRect after;
        QTRY_VERIFY2((after = cameraBox(mouse->grabScreen())).size() == expected,
                     qPrintable(describe(after)));
        mouse->release();
        QTest::qWait(200);
        QCOMPARE(cameraBox(mouse->grabScreen()), after);
        if (bottomRight)
            QCOMPARE(after.topLeft(), before.topLeft());
        else
            QCOMPARE(after.bottomRight(), before.bottomRight());
        QVERIFY(showsQuadrants(mouse->grabScreen(), after.adjusted(8, 8, -8, -8)));
    }

    void clickTheFullScreenButton()
    {
        auto mouse = outerMouse();
        Window win(true);
        QVERIFY(win.showFrame());
        QTRY_VERIFY(win.w.overlay()->isVisible());
        QRect normal;
        QTRY_VERIFY((normal = cameraBox(mouse->grabScreen())).size() == win.w.size());
        auto *button = win.w.overlay()->findChild<QPushButton *>("fullbtn");
        QVERIFY(button && button->isVisible());

        const auto click = [&](const QPoint &at) {
            mouse->moveTo(at - QPoint(4, 4));
            mouse->moveTo(at);
            QTRY_COMPARE(win.w.dragRegion(), KvCameraWidget::RegionMove);
            mouse->press();
            QTest::qWait(30);
            mouse->release();
        };
        click(normal.topLeft() + button->mapTo(&win.w, button->rect().center()));
        QTRY_VERIFY(win.w.isFullScreen());
        QRect full;
        QTRY_VERIFY2((full = cameraBox(mouse->grabScreen())) == QRect(0, 0, 1280, 800),
                     qPrintable(describe(full)));

        click(button->mapTo(&win.w, button->rect().center()));
        QTRY_VERIFY(!win.w.isFullScreen());
        QRect back;
        QTRY_VERIFY2((back = cameraBox(mouse->grabScreen())).size() == normal.size(),
                     qPrintable(describe(back)));
    }
};

QTEST_MAIN(TestKvCameraWindowWaylandInput)
#include "tst_kvcamerawindow_wayland_input.moc"
