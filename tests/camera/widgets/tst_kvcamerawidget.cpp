// The camera window and its SDL child on the offscreen platform, with vidshow
// replaced by a recorder: geometry, hot zones, drags, frame hand-off.
#include "fakevidshow.h"
#include "kvbackwidget.h"
#include "kvcamerawidget.h"
#include "kvsdlrenderwidget.h"

#include <QApplication>
#include <QCursor>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

QRect desktop()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

void sendMouse(QWidget *w, QEvent::Type type, const QPoint &global,
               Qt::MouseButton button = Qt::NoButton, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent e(type, w->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void hover(QWidget *w, const QPoint &g)
{
    sendMouse(w, QEvent::MouseMove, g);
}
void press(QWidget *w, const QPoint &g, Qt::MouseButton b = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonPress, g, b, b);
}
void drag(QWidget *w, const QPoint &g, Qt::MouseButtons b = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseMove, g, Qt::NoButton, b);
}
void release(QWidget *w, const QPoint &g, Qt::MouseButton b = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonRelease, g, b, Qt::NoButton);
}

// A window set up the way the camera module sets it up.
std::unique_ptr<KvCameraWidget> makeWindow(double scale)
{
    auto w = std::make_unique<KvCameraWidget>(scale);
    w->setMoveEnabled(true);
    w->setResizeEnabled(true);
    w->setBoundRect(desktop());
    w->moveToBottomLeft();
    return w;
}

} // namespace

class TestKvCameraWidget : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FakeVidshow::calls.clear();
        FakeVidshow::giveDevice = true;
        FakeVidshow::released.clear();
        FakeVidshow::lastFullRange = -1;
    }
    void cleanup() { QCoreApplication::processEvents(); }

    void metaObject()
    {
        const QMetaObject &mo = KvCameraWidget::staticMetaObject;
        const int o = mo.methodOffset();
        // The five fixed methods, then the two invokable operations for hosts.
        QCOMPARE(mo.methodCount() - o, 7);
        QCOMPARE(mo.method(o + 0).methodSignature(), QByteArray("sigRecCamRepaint()"));
        QCOMPARE(mo.method(o + 1).methodSignature(), QByteArray("sigPressed()"));
        QCOMPARE(mo.method(o + 2).methodSignature(), QByteArray("sigReleased()"));
        QCOMPARE(mo.method(o + 3).methodSignature(), QByteArray("sigGeoChanged(QRect)"));
        QCOMPARE(mo.method(o + 4).methodSignature(),
                 QByteArray("slotReceiveVideoFrame(void*,int,int)"));
        QCOMPARE(mo.method(o + 4).methodType(), QMetaMethod::Slot);
        QCOMPARE(mo.method(o + 5).methodSignature(),
                 QByteArray("setFullScreenToggleEnabled(bool)"));
        QCOMPARE(mo.method(o + 6).methodSignature(), QByteArray("setCompanionWindow(QWidget*)"));
        {
            // A host that sees the window only as a QWidget enables the toggle by name.
            KvCameraWidget w(1.0);
            QWidget *asWidget = &w;
            QVERIFY(QMetaObject::invokeMethod(asWidget, "setFullScreenToggleEnabled",
                                              Q_ARG(bool, true)));
            QVERIFY(w.overlay()->isFullScreenToggleEnabled());
        }
        QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);

        const QMetaObject &sdl = KvSDLRenderWidget::staticMetaObject;
        QCOMPARE(QByteArray(sdl.className()), QByteArray("KvSDLRenderWidget"));
        QCOMPARE(sdl.methodCount() - sdl.methodOffset(), 1);
        QCOMPARE(sdl.method(sdl.methodOffset()).parameterNames(),
                 (QList<QByteArray>{"ptr", "width", "height"}));
    }

    void startGeometry_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("dx");
        QTest::newRow("1") << 1.0 << QSize(400, 225) << 2;
        QTest::newRow("1.5") << 1.5 << QSize(600, 337) << 3;
    }
    void startGeometry()
    {
        QFETCH(double, scale);
        QFETCH(QSize, size);
        QFETCH(int, dx);
        auto w = makeWindow(scale);
        const QRect a = desktop();
        QCOMPARE(w->size(), size);
        QCOMPARE(w->minimumSize(), size);
        QCOMPARE(w->pos(), QPoint(a.left() + dx, a.bottom() - size.height()));
        const Qt::WindowFlags f = w->windowFlags();
        QVERIFY(f.testFlag(Qt::FramelessWindowHint));
        QVERIFY(f.testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(f & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(w->videoWidget()->testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(w->overlay()->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(w->overlay()->testAttribute(Qt::WA_TransparentForMouseEvents));

        // A 4:3 video asks for the taller minimum; a nonsense size is refused.
        w->setMinimumFromSize(QSize(640, 480));
        QCOMPARE(w->size(), QSize(int(400 * scale), int(300 * scale)));
        w->setMinimumFromSize(QSize(640, 0));
        QCOMPARE(w->size(), QSize(int(400 * scale), int(300 * scale)));
    }

    void hotZones_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("offset"); // from the top-left (+) or bottom-right (-) pixel
        QTest::addColumn<bool>("fromBottomRight");
        QTest::addColumn<int>("region");
        QTest::addColumn<int>("cursor");
        const int fd = Qt::SizeFDiagCursor, ar = Qt::ArrowCursor;
        using K = KvCameraWidget;
        QTest::newRow("tl corner") << 1.0 << QPoint(0, 0) << false << int(K::RegionTopLeft) << fd;
        QTest::newRow("tl edge of zone")
            << 1.0 << QPoint(10, 10) << false << int(K::RegionTopLeft) << fd;
        QTest::newRow("tl outside") << 1.0 << QPoint(11, 3) << false << int(K::RegionMove) << ar;
        QTest::newRow("br corner")
            << 1.0 << QPoint(0, 0) << true << int(K::RegionBottomRight) << fd;
        QTest::newRow("br edge of zone")
            << 1.0 << QPoint(-10, -10) << true << int(K::RegionBottomRight) << fd;
        QTest::newRow("br outside") << 1.0 << QPoint(-3, -11) << true << int(K::RegionMove) << ar;
        QTest::newRow("inside") << 1.0 << QPoint(200, 100) << false << int(K::RegionMove) << ar;
        QTest::newRow("1.5 tl zone 15")
            << 1.5 << QPoint(15, 15) << false << int(K::RegionTopLeft) << fd;
        QTest::newRow("1.5 tl outside")
            << 1.5 << QPoint(16, 0) << false << int(K::RegionMove) << ar;
    }
    void hotZones()
    {
        QFETCH(double, scale);
        QFETCH(QPoint, offset);
        QFETCH(bool, fromBottomRight);
        QFETCH(int, region);
        QFETCH(int, cursor);
        auto w = makeWindow(scale);
        const QPoint t = w->geometry().topLeft();
        const QPoint b = w->geometry().bottomRight();
        hover(w.get(), (fromBottomRight ? b : t) + offset);
        QCOMPARE(int(w->dragRegion()), region);
        QCOMPARE(int(w->cursor().shape()), cursor);

        // The other two corners.
        hover(w.get(), QPoint(t.x() + 2, b.y() - 2));
        QCOMPARE(w->dragRegion(), KvCameraWidget::RegionBottomLeft);
        QCOMPARE(w->cursor().shape(), Qt::SizeBDiagCursor);
        hover(w.get(), QPoint(b.x() - 2, t.y() + 2));
        QCOMPARE(w->dragRegion(), KvCameraWidget::RegionTopRight);
        QCOMPARE(w->cursor().shape(), Qt::SizeBDiagCursor);
    }

    void cornerResizeKeepsAspect()
    {
        auto w = makeWindow(1.0);
        w->move(100, 100); // T = (100, 100), B = (499, 324)
        QSignalSpy geo(w.get(), &KvCameraWidget::sigGeoChanged);
        const double aspect = 400.0 / 225.0;

        // Bottom-right, straight down: the width stays at the minimum, no change.
        hover(w.get(), QPoint(499, 324));
        press(w.get(), QPoint(499, 324));
        drag(w.get(), QPoint(499, 380));
        QCOMPARE(w->geometry(), QRect(100, 100, 400, 225));
        QCOMPARE(geo.count(), 1);

        // Horizontally: width and height together, pointer onto the new corner.
        drag(w.get(), QPoint(600, 330));
        const int h = int(500 / aspect);
        QCOMPARE(w->geometry(), QRect(100, 100, 500, h));
        QCOMPARE(geo.count(), 2);
        QCOMPARE(geo.last().at(0).toRect(), w->geometry());
        QCOMPARE(QCursor::pos(), QPoint(600, int(100 + 500 / aspect)));
        release(w.get(), QPoint(600, 330));
        QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
        QCoreApplication::processEvents();

        // Top-left: the bottom edge stays.
        w->setGeometry(100, 100, 400, 225);
        hover(w.get(), QPoint(101, 101));
        QCOMPARE(w->dragRegion(), KvCameraWidget::RegionTopLeft);
        press(w.get(), QPoint(101, 101));
        drag(w.get(), QPoint(50, 90));
        QCOMPARE(w->geometry(), QRect(QPoint(50, int(324 - 450 / aspect)), QPoint(499, 324)));
        QCOMPARE(QCursor::pos(), QPoint(50, int(324 - 450 / aspect)));
        release(w.get(), QPoint(50, 90));
        QCoreApplication::processEvents();
    }

    void cornerResizeRefusals()
    {
        auto w = makeWindow(1.0);
        const QRect bnd = desktop();
        w->move(bnd.left() + 100, bnd.top() + 100);
        const QRect start = w->geometry();
        const QPoint b = start.bottomRight();
        hover(w.get(), b);
        press(w.get(), b);

        // Not wider than the minimum width: kept, and the pointer stays put.
        QCursor::setPos(1, 1);
        drag(w.get(), QPoint(start.left() + 400, b.y()));
        QCOMPARE(w->geometry(), start);
        QCOMPARE(QCursor::pos(), QPoint(1, 1));

        // Right edge onto the bound's right edge: refused, but the pointer jumps.
        const int gx = bnd.right() + 1;
        drag(w.get(), QPoint(gx, b.y()));
        QCOMPARE(w->geometry(), start);
        const int width = gx - start.left();
        QCOMPARE(QCursor::pos(), QPoint(gx, int(start.top() + width / (400.0 / 225.0))));

        // One pixel less is accepted.
        drag(w.get(), QPoint(gx - 1, b.y()));
        QCOMPARE(w->geometry().right(), bnd.right() - 1);
        release(w.get(), QPoint(gx - 1, b.y()));
        QCoreApplication::processEvents();

        // Top-left across the bound's top: refused.
        w->setGeometry(bnd.left() + 100, bnd.top() + 10, 400, 225);
        const QRect top = w->geometry();
        hover(w.get(), top.topLeft());
        press(w.get(), top.topLeft());
        drag(w.get(), QPoint(top.left() - 50, top.top()));
        QCOMPARE(w->geometry(), top);
        release(w.get(), top.topLeft());
    }

    void moveClampedToBound()
    {
        auto w = makeWindow(1.0);
        const QRect bnd(50, 40, 700, 500);
        w->setBoundRect(bnd);
        w->move(200, 200);
        QSignalSpy geo(w.get(), &KvCameraWidget::sigGeoChanged);
        QSignalSpy pressed(w.get(), &KvCameraWidget::sigPressed);
        QSignalSpy released(w.get(), &KvCameraWidget::sigReleased);
        const QPoint grip(300, 300); // window position (100, 100)
        hover(w.get(), grip);
        press(w.get(), grip);
        QCOMPARE(pressed.count(), 1);

        drag(w.get(), QPoint(320, 310));
        QCOMPARE(w->pos(), QPoint(220, 210));
        QCOMPARE(geo.count(), 1);
        drag(w.get(), QPoint(-1000, -1000));
        QCOMPARE(w->pos(), QPoint(bnd.left(), bnd.top()));
        drag(w.get(), QPoint(5000, 5000));
        QCOMPARE(w->pos(), QPoint(bnd.right() - 400, bnd.bottom() - 225));
        QCOMPARE(geo.count(), 3);
        QCOMPARE(geo.last().at(0).toRect(), w->geometry());

        // Moves disabled: no change, still one signal per mouse move.
        w->setMoveEnabled(false);
        const QRect kept = w->geometry();
        drag(w.get(), QPoint(400, 400));
        QCOMPARE(w->geometry(), kept);
        QCOMPARE(geo.count(), 4);
        QCOMPARE(geo.last().at(0).toRect(), kept);

        release(w.get(), QPoint(400, 400));
        QCOMPARE(released.count(), 1);
        // Not pressed any more: moves only hover.
        hover(w.get(), QPoint(420, 420));
        QCOMPARE(geo.count(), 4);
    }

    void resizeDisabledBeforeHover()
    {
        auto w = std::make_unique<KvCameraWidget>(1.0);
        w->setResizeEnabled(false);
        w->setBoundRect(desktop());
        w->moveToBottomLeft();
        w->move(100, 100);
        const QPoint corner = w->geometry().bottomRight();
        hover(w.get(), corner);
        QCOMPARE(w->dragRegion(), KvCameraWidget::RegionMove);
        QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
        press(w.get(), corner);
        drag(w.get(), corner + QPoint(30, 20));
        QCOMPARE(w->geometry(), QRect(130, 120, 400, 225));
        release(w.get(), corner + QPoint(30, 20));
    }

    void onlyLeftButtonDrags()
    {
        auto w = makeWindow(1.0);
        w->move(100, 100);
        QSignalSpy pressed(w.get(), &KvCameraWidget::sigPressed);
        QSignalSpy released(w.get(), &KvCameraWidget::sigReleased);
        QSignalSpy geo(w.get(), &KvCameraWidget::sigGeoChanged);
        const QPoint grip(300, 200);
        hover(w.get(), grip);
        for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
            press(w.get(), grip, b);
            drag(w.get(), grip + QPoint(50, 50), b);
            QCOMPARE(w->pos(), QPoint(100, 100));
            release(w.get(), grip + QPoint(50, 50), b);
        }
        QCOMPARE(pressed.count(), 0);
        QCOMPARE(released.count(), 0);
        QCOMPARE(geo.count(), 0);

        // A right click during a left drag neither ends nor restarts it.
        press(w.get(), grip);
        press(w.get(), grip + QPoint(5, 5), Qt::RightButton);
        release(w.get(), grip + QPoint(5, 5), Qt::RightButton);
        drag(w.get(), grip + QPoint(10, 0));
        QCOMPARE(w->pos(), QPoint(110, 100));
        release(w.get(), grip + QPoint(10, 0));
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(released.count(), 1);
    }

    void overlayFollowsWindow()
    {
        auto w = makeWindow(1.0);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        int frame[8] = {};
        w->slotReceiveVideoFrame(frame, 4, 2);
        QVERIFY(w->overlay()->isVisible());
        w->move(150, 120);
        QCOMPARE(w->overlay()->geometry(), w->geometry());
        w->resize(480, 270);
        QCOMPARE(w->overlay()->geometry(), w->geometry());
        QCOMPARE(w->videoWidget()->geometry(), w->rect());
        w->hide();
        QVERIFY(w->overlay()->isHidden());
    }

    void overlayShownByFrameAfterShow()
    {
        auto w = makeWindow(1.0);
        std::vector<unsigned char> frame(640 * 480 * 3 / 2);
        // Hidden window: no overlay.
        w->slotReceiveVideoFrame(frame.data(), 640, 480);
        QVERIFY(!w->overlay()->isVisible());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(!w->overlay()->isVisible());
        // A null frame is no picture: it does not bring the overlay.
        w->slotReceiveVideoFrame(nullptr, 0, 0);
        QVERIFY(!w->overlay()->isVisible());
        w->slotReceiveVideoFrame(frame.data(), 640, 480);
        QVERIFY(w->overlay()->isVisible());
        w->hide();
        w->slotReceiveVideoFrame(frame.data(), 640, 480);
        QVERIFY(!w->overlay()->isVisible());
        w->show();
        QVERIFY(!w->overlay()->isVisible());
        w->slotReceiveVideoFrame(frame.data(), 640, 480);
        QVERIFY(w->overlay()->isVisible());
    }

    void sdlWidgetCalls()
    {
        auto w = makeWindow(1.0);
        KvSDLRenderWidget *video = w->videoWidget();
        QCOMPARE(video->device(), FakeVidshow::device());
        QCOMPARE(FakeVidshow::lastWindow, static_cast<unsigned long>(video->winId()));
        QVERIFY(FakeVidshow::initCalls > 0);
        std::vector<unsigned char> a(640 * 480 * 3 / 2), b(a.size());

        // Hidden: neither drawn nor remembered; a resize while hidden draws nothing.
        w->slotReceiveVideoFrame(a.data(), 640, 480);
        w->resize(500, 281);
        QVERIFY(FakeVidshow::calls.empty());
        QVERIFY(!video->frameData());

        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // A move or resize before the first frame draws nothing.
        w->resize(420, 236);
        QVERIFY(FakeVidshow::calls.empty());

        w->slotReceiveVideoFrame(a.data(), 640, 480);
        QCOMPARE(FakeVidshow::calls.size(), size_t(1));
        const FakeDisplayCall c = FakeVidshow::calls.back();
        QCOMPARE(c.device, FakeVidshow::device());
        QCOMPARE(c.y, a.data());
        QCOMPARE(c.u, a.data() + 307200);
        QCOMPARE(c.v, a.data() + 384000);
        QCOMPARE(c.width, 640);
        QCOMPARE(c.height, 480);

        // Resizing the window resizes the child, which redraws the last frame.
        w->resize(480, 270);
        QVERIFY(FakeVidshow::calls.size() > 1);
        QCOMPARE(FakeVidshow::calls.back().y, a.data());
        QCOMPARE(FakeVidshow::calls.back().width, 640);
        size_t count = FakeVidshow::calls.size();
        video->move(1, 0);
        QCOMPARE(FakeVidshow::calls.size(), count + 1);
        QCOMPARE(FakeVidshow::calls.back().v, a.data() + 384000);
        video->move(0, 0);

        // Hidden again: the next frame is not remembered; after the show a
        // resize redraws the last frame drawn before the hide.
        w->hide();
        w->slotReceiveVideoFrame(b.data(), 640, 480);
        w->show();
        QVERIFY(video->isVisible());
        count = FakeVidshow::calls.size();
        w->resize(400, 225);
        QVERIFY(FakeVidshow::calls.size() > count);
        QCOMPARE(FakeVidshow::calls.back().y, a.data());

        // A null frame: the memory goes away, nothing may draw from it.
        w->slotReceiveVideoFrame(nullptr, 0, 0);
        QVERIFY(!video->frameData());
        const size_t afterDrop = FakeVidshow::calls.size();
        w->resize(500, 281);
        video->move(2, 0);
        QCOMPARE(FakeVidshow::calls.size(), afterDrop);
    }

    // The camera module calls the slot by name, queued from its capture thread.
    void queuedCallByName()
    {
        auto w = makeWindow(1.0);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        std::vector<unsigned char> frame(320 * 240 * 3 / 2);
        void *ptr = frame.data();
        QVERIFY(QMetaObject::invokeMethod(w.get(), "slotReceiveVideoFrame", Qt::QueuedConnection,
                                          Q_ARG(void *, ptr), Q_ARG(int, 320), Q_ARG(int, 240)));
        QVERIFY(FakeVidshow::calls.empty());
        QTRY_COMPARE(FakeVidshow::calls.size(), size_t(1));
        QCOMPARE(FakeVidshow::calls.back().u, frame.data() + 320 * 240);
        QVERIFY(w->overlay()->isVisible());
    }

    void noDeviceStaysBlank()
    {
        FakeVidshow::giveDevice = false;
        KvSDLRenderWidget video(-2.0, nullptr);
        QVERIFY(!video.device());
        video.show();
        std::vector<unsigned char> frame(64 * 48 * 3 / 2);
        video.slotReceiveVideoFrame(frame.data(), 64, 48);
        video.resize(100, 80);
        QVERIFY(FakeVidshow::calls.empty());
        QVERIFY(!video.frameData());
    }

    // The device goes with the window (a camera object per meeting must not
    // pile them up); the frames' range reaches it, before and after it exists.
    void deviceReleasedWithWindow()
    {
        const int live = FakeVidshow::liveDevices;
        auto *w = new KvCameraWidget(1.0);
        QCOMPARE(FakeVidshow::liveDevices, live + 1);
        QVERIFY(!w->videoWidget()->isFullRange());
        w->setColorRange(true);
        QCOMPARE(FakeVidshow::lastFullRange, 1);
        QVERIFY(w->videoWidget()->isFullRange());
        w->setColorRange(false);
        QCOMPARE(FakeVidshow::lastFullRange, 0);
        delete w;
        QCOMPARE(FakeVidshow::liveDevices, live);
        QCOMPARE(FakeVidshow::released.size(), size_t(1));
        QCOMPARE(FakeVidshow::released.front(), FakeVidshow::device());

        // No device: nothing to release.
        FakeVidshow::giveDevice = false;
        delete new KvCameraWidget(1.0);
        QCOMPARE(FakeVidshow::released.size(), size_t(1));
    }

    void pressesReachWindow()
    {
        auto w = makeWindow(1.0);
        w->move(100, 100);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QSignalSpy pressed(w.get(), &KvCameraWidget::sigPressed);
        // A press delivered to the child (as the window system would) goes on
        // to the window.
        QMouseEvent e(QEvent::MouseButtonPress, QPoint(50, 50),
                      w->videoWidget()->mapToGlobal(QPoint(50, 50)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(w->videoWidget(), &e);
        QCOMPARE(pressed.count(), 1);
        // And the window system sends clicks on the child's area to the window.
        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 100));
        QCOMPARE(pressed.count(), 2);
    }

    void fullScreenToggle()
    {
        auto w = makeWindow(1.0);
        QWidget companion;
        w->setCompanionWindow(&companion);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        unsigned char frame[6] = {};
        w->slotReceiveVideoFrame(frame, 2, 2);
        QVERIFY(w->overlay()->isVisible());
        const QRect normal = w->geometry();
        auto *button = w->overlay()->findChild<QPushButton *>("fullbtn");
        QVERIFY(button);
        QVERIFY(button->isHidden());
        // Bottom-right corner, 16 from both edges, in window coordinates.
        const QPoint onButton(400 - 16 - 20, 225 - 16 - 20);
        const auto click = [&](const QPoint &local) {
            hover(w.get(), w->mapToGlobal(local));
            press(w.get(), w->mapToGlobal(local));
            release(w.get(), w->mapToGlobal(local));
        };

        // Disabled by default: a click there changes nothing.
        click(onButton);
        QCOMPARE(w->geometry(), normal);
        QVERIFY(!companion.isVisible());

        w->setFullScreenToggleEnabled(true);
        QVERIFY(!button->isHidden());
        QVERIFY(w->overlay()->isFullScreenToggleEnabled());
        click(QPoint(200, 100)); // off the button
        QCOMPARE(w->geometry(), normal);

        click(onButton);
        QCOMPARE(w->geometry(), desktop());
        QVERIFY(w->overlay()->isFullScreen());
        QVERIFY(w->isVisible());
        QVERIFY(companion.isVisible());

        // Back: the button now sits in the full-screen window's corner.
        w->slotReceiveVideoFrame(frame, 2, 2);
        QCOMPARE(w->overlay()->geometry(), w->geometry());
        QTRY_COMPARE(button->geometry().bottomRight(), QPoint(w->width() - 17, w->height() - 17));
        click(button->geometry().center());
        QCOMPARE(w->geometry(), normal);
        QVERIFY(!w->overlay()->isFullScreen());

        w->setFullScreenToggleEnabled(false);
        QVERIFY(button->isHidden());
    }
};

QTEST_MAIN(TestKvCameraWidget)
#include "tst_kvcamerawidget.moc"
