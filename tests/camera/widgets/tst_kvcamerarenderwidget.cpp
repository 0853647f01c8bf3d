// The OpenGL YUV widget on Mesa's software OpenGL: the shader's colours, new
// frame sizes, no picture without a frame.
#include "dripin.h"
#include "kvcamerarenderwidget.h"

#include <QImage>
#include <QOpenGLFunctions>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
struct Yuv
{
    int y, u, v;
};
// Colours inside the RGB cube, so nothing is clamped.
const Yuv kQuadrants[4] = {{100, 110, 160}, {150, 160, 100}, {60, 150, 140}, {200, 120, 120}};
const Yuv kOtherQuadrants[4] = {{170, 100, 130}, {90, 140, 170}, {130, 130, 90}, {80, 100, 120}};

// What the widget's matrix gives for one sample.
QRgb shaderColour(const Yuv &c)
{
    const double y = c.y / 255.0, u = c.u / 255.0 - 0.5, v = c.v / 255.0 - 0.5;
    const auto byte = [](double x) { return int(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
    return qRgb(byte(y + 1.13983 * v), byte(y - 0.39465 * u - 0.58060 * v), byte(y + 2.03211 * u));
}

std::vector<unsigned char> frame(int w, int h, const Yuv (&q)[4])
{
    const size_t ySize = size_t(w) * h, cSize = size_t(w / 2) * (h / 2);
    std::vector<unsigned char> f(ySize + 2 * cSize);
    const auto quadrant = [](int x, int y, int qw, int qh) {
        return (y >= qh / 2 ? 2 : 0) + (x >= qw / 2 ? 1 : 0);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f[size_t(y) * w + x] = (unsigned char)q[quadrant(x, y, w, h)].y;
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            const int i = quadrant(x, y, w / 2, h / 2);
            f[ySize + size_t(y) * (w / 2) + x] = (unsigned char)q[i].u;
            f[ySize + cSize + size_t(y) * (w / 2) + x] = (unsigned char)q[i].v;
        }
    return f;
}

bool near(QRgb a, QRgb e, int tolerance = 3)
{
    return std::abs(qRed(a) - qRed(e)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(e)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(e)) <= tolerance;
}

// Checks the four quadrants at their centres and near the picture's corners.
QString checkQuadrants(const QImage &img, const Yuv (&q)[4])
{
    const int w = img.width(), h = img.height();
    const QPoint points[4][2] = {{{w / 4, h / 4}, {2, 2}},
                                 {{w * 3 / 4, h / 4}, {w - 3, 2}},
                                 {{w / 4, h * 3 / 4}, {2, h - 3}},
                                 {{w * 3 / 4, h * 3 / 4}, {w - 3, h - 3}}};
    for (int i = 0; i < 4; ++i)
        for (const QPoint &p : points[i]) {
            const QRgb a = img.pixel(p), e = shaderColour(q[i]);
            if (!near(a, e))
                return QString("quadrant %1 at (%2,%3): %4 instead of %5")
                    .arg(i)
                    .arg(p.x())
                    .arg(p.y())
                    .arg(a, 8, 16)
                    .arg(e, 8, 16);
        }
    return QString();
}

bool allBlack(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0x00FFFFFF) != 0)
                return false;
    return true;
}
} // namespace

class TestKvCameraRenderWidget : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { pinDriDrivers(); }

    void metaObject()
    {
        const QMetaObject &mo = KvCameraRenderWidget::staticMetaObject;
        const int o = mo.methodOffset();
        QCOMPARE(mo.methodCount() - o, 2);
        QCOMPARE(mo.method(o).methodSignature(), QByteArray("sigRecCamRepaint()"));
        QCOMPARE(mo.method(o + 1).methodSignature(),
                 QByteArray("slotReceiveVideoFrame(void*,int,int)"));
        KvCameraRenderWidget w;
        QVERIFY(w.qt_metacast("QOpenGLFunctions"));
        QVERIFY(w.qt_metacast("KvCameraRenderWidget"));
        QVERIFY(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    }

    void drawsFrames()
    {
        KvCameraRenderWidget w;
        w.resize(160, 120);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.frameData());
        QVERIFY(allBlack(w.grabFramebuffer()));

        std::vector<unsigned char> a = frame(64, 48, kQuadrants);
        w.slotReceiveVideoFrame(a.data(), 64, 48);
        QCOMPARE(w.frameData(), a.data());
        QCOMPARE(w.frameWidth(), 64);
        QCOMPARE(w.frameHeight(), 48);
        QString error = checkQuadrants(w.grabFramebuffer(), kQuadrants);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        // Stretched to a new widget size, without bars.
        w.resize(300, 100);
        error = checkQuadrants(w.grabFramebuffer(), kQuadrants);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        // Two frames before a paint, the second of another size with chroma
        // rows of 683 bytes: the very next paint shows it, unskewed.
        std::vector<unsigned char> b = frame(1280, 720, kQuadrants);
        std::vector<unsigned char> c = frame(1366, 768, kOtherQuadrants);
        w.slotReceiveVideoFrame(b.data(), 1280, 720);
        w.slotReceiveVideoFrame(c.data(), 1366, 768);
        error = checkQuadrants(w.grabFramebuffer(), kOtherQuadrants);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        // Back to the small frame, then a null frame: nothing is drawn from it.
        w.slotReceiveVideoFrame(a.data(), 64, 48);
        error = checkQuadrants(w.grabFramebuffer(), kQuadrants);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        w.slotReceiveVideoFrame(nullptr, 0, 0);
        QVERIFY(!w.frameData());
        QCOMPARE(w.frameWidth(), 0);
        a.assign(a.size(), 0xEE); // the memory is gone
        QVERIFY(allBlack(w.grabFramebuffer()));
    }

    void oddSizeAndChromaRows_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("1366x768") << 1366 << 768;
        QTest::newRow("1366x766 narrow") << 1366 << 766;
        QTest::newRow("202x100") << 202 << 100;
    }
    void oddSizeAndChromaRows()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        KvCameraRenderWidget w;
        w.resize(200, 120);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        std::vector<unsigned char> f = frame(width, height, kOtherQuadrants);
        w.slotReceiveVideoFrame(f.data(), width, height);
        const QString error = checkQuadrants(w.grabFramebuffer(), kOtherQuadrants);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
};

QTEST_MAIN(TestKvCameraRenderWidget)
#include "tst_kvcamerarenderwidget.moc"
