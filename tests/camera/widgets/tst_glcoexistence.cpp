// A host keeps OpenGL views of its own (a GL widget, the render widget another
// camera object handed over) while camera objects in window mode come and go:
// each one the host deletes releases its SDL display, and the host's views must
// still paint their pictures afterwards.
#include "camvideo.h"
#include "colourcheck.h"
#include "dripin.h"

#include <QGuiApplication>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace {
const QRgb kHostColour = 0xC828A0;   // what the host's own GL widget clears to
const QRgb kRenderColour = 0x30A050; // the camera behind the handed-over render widget
const QRgb kWindowColour = 0xE0AC69; // the cameras shown in camera windows

const char *kCameras =
    R"([{"name": "Render Solid", "path": "virtual:render-solid", "pattern": "solid:#30A050",
         "formats": [{"fourcc": "YUY2", "width": 160, "height": 120, "fps": 30}]},
        {"name": "Window Solid", "path": "virtual:window-solid", "pattern": "solid:#E0AC69",
         "formats": [{"fourcc": "YUY2", "width": 160, "height": 120, "fps": 30}]}])";

QRgb screenColourAt(const QPoint &p)
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixel(p);
}

QRgb centreOf(const QImage &image)
{
    return image.pixel(image.width() / 2, image.height() / 2);
}

// The host's own OpenGL view.
class HostGLWidget : public QOpenGLWidget, protected QOpenGLFunctions
{
public:
    int paints = 0;

protected:
    void initializeGL() override { initializeOpenGLFunctions(); }
    void paintGL() override
    {
        glClearColor(qRed(kHostColour) / 255.0f, qGreen(kHostColour) / 255.0f,
                     qBlue(kHostColour) / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ++paints;
    }
};

class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};
} // namespace

class TestGLCoexistence : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("KV_VIRTUAL_CAMERAS", kCameras); }
    void cleanupTestCase() { pinDriDrivers(); }

    void hostViewsSurviveCameraWindows()
    {
        HostGLWidget host;
        host.setGeometry(100, 100, 240, 160);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        std::unique_ptr<CamVideo> renderCam(CamVideo::create());
        QCOMPARE(renderCam->init(1.0), 0);
        QCOMPARE(renderCam->useRenderWidget(), 0);
        std::unique_ptr<QOpenGLWidget> render(
            qobject_cast<QOpenGLWidget *>(renderCam->getVideoWidget())); // the host owns it
        QVERIFY(render);
        render->setGeometry(400, 100, 240, 160);
        render->show();
        QVERIFY(QTest::qWaitForWindowExposed(render.get()));
        QCOMPARE(renderCam->startCameraByPath("virtual:render-solid"), 0);
        PaintCounter renderPaints;
        render->installEventFilter(&renderPaints);

        const auto checkHostViews = [&](int cycle) {
            const int hostBefore = host.paints;
            const int renderBefore = renderPaints.paints;
            host.update();
            render->update();
            QTRY_VERIFY(host.paints > hostBefore && renderPaints.paints > renderBefore);
            QRgb seen = 0;
            QVERIFY2(
                within(seen = centreOf(host.grabFramebuffer()), kHostColour, 1),
                qPrintable(QString("cycle %1: host view shows %2").arg(cycle).arg(describe(seen))));
            QTRY_VERIFY2(
                within(seen = centreOf(render->grabFramebuffer()), kRenderColour, 6),
                qPrintable(
                    QString("cycle %1: render widget shows %2").arg(cycle).arg(describe(seen))));
        };
        checkHostViews(-1);

        for (int cycle = 0; cycle < 20; ++cycle) {
            std::unique_ptr<CamVideo> cam(CamVideo::create());
            QCOMPARE(cam->init(1.0), 0);
            QCOMPARE(cam->startCameraByPath("virtual:window-solid"), 0);
            QWidget *window = cam->getVideoWidget();
            QVERIFY(window);
            // The camera window's SDL display has drawn before it goes.
            QRgb seen = 0;
            QTRY_VERIFY2(
                within(seen = screenColourAt(window->geometry().center()), kWindowColour, 6),
                qPrintable(
                    QString("cycle %1: camera window shows %2").arg(cycle).arg(describe(seen))));
            // Every other camera is deleted while it runs: the destructor stops it.
            if (cycle % 2 == 0)
                QCOMPARE(cam->stopCamera(), 0);
            cam.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            checkHostViews(cycle);
        }

        QCOMPARE(renderCam->stopCamera(), 0);
    }
};

QTEST_MAIN(TestGLCoexistence)
#include "tst_glcoexistence.moc"
