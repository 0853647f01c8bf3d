// What a person sees of a solid-colour camera: both displays on a real X
// server (run alone and with a compositing manager), and the camera window as
// a native Wayland client (Weston, read from the compositor's screenshot), fed
// the I420 frames the booth makes from MJPG (full range), YUY2 and RGB24
// (limited range) samples. Every channel stays within 6 levels.
#include "colourcheck.h"
#include "dripin.h"
#include "kvcamerarenderwidget.h"
#include "kvcamerawidget.h"
#include "samplegenerator.h"
#include "testframes.h"
#include "westonshot.h"

#include <QDebug>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <libyuv/convert.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kTolerance = 6;

const QRgb kColours[] = {0x000000, 0xFFFFFF, 0x808080, 0xFF0000, 0x00FF00,
                         0x0000FF, 0xFFFF00, 0xE0AC69, 0x202020, 0xE0E0E0};

// The sample a camera sends, turned into I420 the way the booth does it.
std::vector<unsigned char> cameraFrame(kvplat::SampleFormat format, QRgb colour)
{
    kvplat::SampleGenerator generator;
    kvplat::SamplePattern pattern;
    pattern.solid = true;
    pattern.red = uint8_t(qRed(colour));
    pattern.green = uint8_t(qGreen(colour));
    pattern.blue = uint8_t(qBlue(colour));
    std::vector<uint8_t> sample;
    if (!generator.render(format, kWidth, kHeight, pattern, 0, sample))
        return {};
    const int w = kWidth, h = kHeight;
    std::vector<unsigned char> f(size_t(w) * h * 3 / 2);
    uint8_t *y = f.data(), *u = y + w * h, *v = u + w * h / 4;
    int rc = -1;
    switch (format) {
    case kvplat::SampleFormat::Mjpg:
        rc = libyuv::MJPGToI420(sample.data(), sample.size(), y, w, u, w / 2, v, w / 2, w, h, w, h);
        break;
    case kvplat::SampleFormat::Yuy2:
        rc = libyuv::YUY2ToI420(sample.data(), w * 2, y, w, u, w / 2, v, w / 2, w, h);
        break;
    case kvplat::SampleFormat::Rgb24:
        rc = libyuv::RGB24ToI420(sample.data(), w * 3, y, w, u, w / 2, v, w / 2, w, -h);
        break;
    default: // the cameras of this test send only the three formats above
        break;
    }
    return rc == 0 ? f : std::vector<unsigned char>();
}

int distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

bool onWayland()
{
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

// What is on the screen now: the X server's root window, or the compositor's
// own screenshot (a Wayland client cannot read the screen).
QImage screenPicture()
{
    if (onWayland())
        return compositorScreenshot();
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// Where the window's centre is on the screen, away from the overlay's frame,
// brackets and button. The compositor places a Wayland client's windows
// itself: there a quadrant picture shown first tells where it went.
QPoint screenCentre(KvCameraWidget &w)
{
    if (!onWayland())
        return w.geometry().center();
    std::vector<unsigned char> f = quadrantFrame(kWidth, kHeight);
    w.slotReceiveVideoFrame(f.data(), kWidth, kHeight);
    QRect box;
    for (int i = 0; i < 100 && box.size() != w.size(); ++i) {
        box = cameraBox(screenPicture());
        if (box.size() != w.size())
            QTest::qWait(100);
    }
    w.slotReceiveVideoFrame(nullptr, 0, 0);
    return box.size() == w.size() ? box.center() : QPoint(-1, -1);
}
} // namespace

class TestDisplayColours : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { pinDriDrivers(); }

    void solidColours_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("MJPG") << int(kvplat::SampleFormat::Mjpg);
        QTest::newRow("YUY2") << int(kvplat::SampleFormat::Yuy2);
        QTest::newRow("RGB24") << int(kvplat::SampleFormat::Rgb24);
    }
    void solidColours()
    {
        QFETCH(int, format);
        const auto sampleFormat = kvplat::SampleFormat(format);
        const bool fullRange = sampleFormat == kvplat::SampleFormat::Mjpg;

        KvCameraWidget window(1.0);
        window.setBoundRect(QGuiApplication::primaryScreen()->availableGeometry());
        window.setGeometry(100, 100, 400, 225);
        window.setColorRange(fullRange);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The OpenGL widget on its own only on X11: on Wayland the camera
        // window's display is that widget already.
        std::unique_ptr<KvCameraRenderWidget> gl;
        if (!onWayland()) {
            gl = std::make_unique<KvCameraRenderWidget>();
            gl->setGeometry(700, 100, 320, 180);
            gl->setColorRange(fullRange);
            gl->show();
            QVERIFY(QTest::qWaitForWindowExposed(gl.get()));
        }
        const QPoint windowCentre = screenCentre(window);
        QVERIFY2(windowCentre.x() >= 0, "the camera window is not on the screen");

        for (QRgb colour : kColours) {
            std::vector<unsigned char> f = cameraFrame(sampleFormat, colour);
            QVERIFY(!f.empty());
            QRgb seen = 0;
            const auto shows = [&](const QPoint &at) {
                seen = screenPicture().pixel(at);
                return distance(seen, colour) <= kTolerance;
            };
            window.slotReceiveVideoFrame(f.data(), kWidth, kHeight);
            QTRY_VERIFY2(shows(windowCentre),
                         qPrintable(QString("camera window shows %1 for %2")
                                        .arg(describe(seen), describe(colour))));
            const QRgb windowSeen = seen;
            if (gl) {
                gl->slotReceiveVideoFrame(f.data(), kWidth, kHeight);
                QTRY_VERIFY2(shows(gl->geometry().center()),
                             qPrintable(QString("OpenGL widget shows %1 for %2")
                                            .arg(describe(seen), describe(colour))));
                // Both still right once the other has drawn.
                QVERIFY(shows(windowCentre));
                gl->slotReceiveVideoFrame(nullptr, 0, 0);
            }
            qDebug().noquote() << QTest::currentDataTag() << describe(colour) << "window"
                               << describe(windowSeen) << "OpenGL"
                               << (gl ? describe(seen) : QString("-"));
            window.slotReceiveVideoFrame(nullptr, 0, 0);
        }
    }
};

QTEST_MAIN(TestDisplayColours)
#include "tst_displaycolours.moc"
