// The camera object's displays on a real X server, as a host uses them: solid
// virtual cameras in MJPG (full-range JPEG), YUY2 and RGB24 (limited range)
// show their colour on the screen in the camera window and in the OpenGL
// widget, because the camera object tells each display the range of the
// format it negotiated. A host may delete the OpenGL widget while frames come.
#include "camvideo.h"
#include "colourcheck.h"
#include "dripin.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <memory>

namespace {
const QRgb kSkin = 0xE0AC69; // off all range ends in every channel

const char *kCameras =
    R"([{"name": "Skin MJPG", "path": "virtual:skin-mjpg", "pattern": "solid:#E0AC69",
         "formats": [{"fourcc": "MJPG", "width": 640, "height": 360, "fps": 30}]},
        {"name": "Skin YUY2", "path": "virtual:skin-yuy2", "pattern": "solid:#E0AC69",
         "formats": [{"fourcc": "YUY2", "width": 640, "height": 360, "fps": 30}]},
        {"name": "Skin RGB24", "path": "virtual:skin-rgb24", "pattern": "solid:#E0AC69",
         "formats": [{"fourcc": "RGB24", "width": 640, "height": 360, "fps": 30}]}])";

QRgb screenColourAt(const QPoint &p)
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixel(p);
}

} // namespace

class TestCameraDisplay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("KV_VIRTUAL_CAMERAS", kCameras); }
    void cleanupTestCase() { pinDriDrivers(); }

    void trueColours_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<bool>("renderWidget");
        for (const char *name : {"Skin MJPG", "Skin YUY2", "Skin RGB24"}) {
            QTest::newRow(qPrintable(QString("%1 window").arg(name))) << name << false;
            QTest::newRow(qPrintable(QString("%1 OpenGL").arg(name))) << name << true;
        }
    }
    void trueColours()
    {
        QFETCH(QString, camera);
        QFETCH(bool, renderWidget);
        std::unique_ptr<CamVideo> cam(CamVideo::create());
        QCOMPARE(cam->init(1.0), 0);
        std::unique_ptr<QWidget> gl;
        if (renderWidget) {
            QCOMPARE(cam->useRenderWidget(), 0);
            gl.reset(cam->getVideoWidget()); // the host owns it
            QVERIFY(gl);
            gl->setGeometry(300, 200, 320, 180);
            gl->show();
            QVERIFY(QTest::qWaitForWindowExposed(gl.get()));
        }
        QCOMPARE(cam->startCamera(camera + "$"), 0);
        QWidget *display = cam->getVideoWidget();
        QVERIFY(display);
        QRgb seen = 0;
        QTRY_VERIFY2(
            within(seen = screenColourAt(display->geometry().center()), kSkin, 6),
            qPrintable(QString("%1 shows %2 for %3").arg(camera, describe(seen), describe(kSkin))));
        if (renderWidget) {
            // Deleted by the host while the camera runs: frames stop reaching
            // it before any of it is torn down (ASan watches).
            gl.reset();
            QTest::qWait(100);
        }
        QCOMPARE(cam->stopCamera(), 0);
    }
};

QTEST_MAIN(TestCameraDisplay)
#include "tst_cameradisplay.moc"
