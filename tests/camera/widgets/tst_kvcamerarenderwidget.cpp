// The OpenGL YUV widget on Mesa's software OpenGL: the shader's colours, new
// frame sizes, no picture without a frame.
#include "dripin.h"
#include "kvcamerarenderwidget.h"

#include <QImage>
#include <QOpenGLFunctions>
#include <QOpenGLShader>
#include <QOpenGLShaderProgram>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {
struct Yuv
{
    int y, u, v;
};
// Colours inside the RGB cube, so nothing is clamped.
const Yuv kQuadrants[4] = {{100, 110, 160}, {150, 160, 100}, {60, 150, 140}, {200, 120, 120}};
const Yuv kOtherQuadrants[4] = {{170, 100, 130}, {90, 140, 170}, {130, 130, 90}, {80, 100, 120}};

// BT.601 YCbCr to RGB for one sample of limited (studio) or full range.
QRgb shaderColour(const Yuv &c, bool fullRange = false)
{
    const double y = fullRange ? c.y / 255.0 : (c.y - 16) / 219.0;
    const double u = (c.u - 128) / (fullRange ? 255.0 : 224.0);
    const double v = (c.v - 128) / (fullRange ? 255.0 : 224.0);
    const auto byte = [](double x) { return int(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
    return qRgb(byte(y + 1.402 * v), byte(y - 0.344136 * u - 0.714136 * v), byte(y + 1.772 * u));
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
QString checkQuadrants(const QImage &img, const Yuv (&q)[4], bool fullRange = false)
{
    const int w = img.width(), h = img.height();
    const QPoint points[4][2] = {{{w / 4, h / 4}, {2, 2}},
                                 {{w * 3 / 4, h / 4}, {w - 3, 2}},
                                 {{w / 4, h * 3 / 4}, {2, h - 3}},
                                 {{w * 3 / 4, h * 3 / 4}, {w - 3, h - 3}}};
    for (int i = 0; i < 4; ++i)
        for (const QPoint &p : points[i]) {
            const QRgb a = img.pixel(p), e = shaderColour(q[i], fullRange);
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

    // Limited range by default; full range after being told so, and back.
    void colourRange()
    {
        KvCameraRenderWidget w;
        w.resize(160, 120);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.isFullRange());
        // Studio black and white, and full-range levels outside 16..235.
        const Yuv q[4] = {{16, 128, 128}, {235, 128, 128}, {5, 128, 128}, {250, 128, 128}};
        std::vector<unsigned char> f = frame(64, 48, q);
        w.slotReceiveVideoFrame(f.data(), 64, 48);
        QString error = checkQuadrants(w.grabFramebuffer(), q, false);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(w.grabFramebuffer().pixel(8, 8) & 0xFFFFFF, 0u);
        w.setColorRange(true);
        QVERIFY(w.isFullRange());
        error = checkQuadrants(w.grabFramebuffer(), q, true);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(qRed(w.grabFramebuffer().pixel(8, 8)) >= 14);
        w.setColorRange(false);
        error = checkQuadrants(w.grabFramebuffer(), q, false);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    // Each new context (a new top-level window) gets a program of its own;
    // the old context's program and shaders go with it.
    void programsFollowTheContext()
    {
        QWidget first;
        first.resize(200, 150);
        auto *w = new KvCameraRenderWidget(&first);
        w->resize(160, 120);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        std::vector<unsigned char> f = frame(64, 48, kQuadrants);
        w->slotReceiveVideoFrame(f.data(), 64, 48);
        QVERIFY(checkQuadrants(w->grabFramebuffer(), kQuadrants).isEmpty());
        QCOMPARE(w->findChildren<QOpenGLShaderProgram *>().size(), 1);

        std::vector<std::unique_ptr<QWidget>> tops;
        for (int round = 0; round < 3; ++round) {
            tops.push_back(std::make_unique<QWidget>());
            QWidget *top = tops.back().get();
            top->resize(200, 150);
            w->setParent(top);
            w->show();
            top->show();
            QVERIFY(QTest::qWaitForWindowExposed(top));
            const QString error = checkQuadrants(w->grabFramebuffer(), kQuadrants);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(w->findChildren<QOpenGLShaderProgram *>().size(), 1);
            QCOMPARE(w->findChildren<QOpenGLShader *>().size(), 2);
        }
    }

    // The handler runs while the widget is still a KvCameraRenderWidget.
    void tellsBeforeItComesApart()
    {
        auto *w = new KvCameraRenderWidget;
        QString seen;
        w->setAboutToBeDestroyedHandler([&seen, w]() { seen = w->metaObject()->className(); });
        delete w;
        QCOMPARE(seen, QString("KvCameraRenderWidget"));
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
