#ifndef TESTFRAMES_H
#define TESTFRAMES_H

#include <QColor>
#include <QImage>
#include <QRgb>

#include <cstdlib>
#include <vector>

// I420 test pictures of four quadrants (top-left, top-right, bottom-left,
// bottom-right) in BT.601 studio-range red, green, blue and white.
struct Yuv
{
    unsigned char y, u, v;
};
const Yuv kQuadrantYuv[4] = {{81, 90, 240}, {145, 54, 34}, {41, 240, 110}, {235, 128, 128}};
const QRgb kQuadrantRgb[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};

inline std::vector<unsigned char> quadrantFrame(int w, int h)
{
    std::vector<unsigned char> f(size_t(w) * h + 2 * size_t(w / 2) * (h / 2));
    unsigned char *u = f.data() + size_t(w) * h;
    unsigned char *v = u + size_t(w / 2) * (h / 2);
    const auto quadrant = [&](int x, int y, int qw, int qh) {
        return (y >= qh / 2 ? 2 : 0) + (x >= qw / 2 ? 1 : 0);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f[size_t(y) * w + x] = kQuadrantYuv[quadrant(x, y, w, h)].y;
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            const Yuv &c = kQuadrantYuv[quadrant(x, y, w / 2, h / 2)];
            u[size_t(y) * (w / 2) + x] = c.u;
            v[size_t(y) * (w / 2) + x] = c.v;
        }
    return f;
}

// Saturated colours survive any of the usual YUV matrices: each channel is
// either high or low.
inline bool looksLike(QRgb actual, QRgb expected)
{
    const auto near = [](int a, int e) { return e > 128 ? a > 170 : a < 85; };
    return near(qRed(actual), qRed(expected)) && near(qGreen(actual), qGreen(expected)) &&
           near(qBlue(actual), qBlue(expected));
}

// The quadrant centres of rect r in image img show the four colours.
inline bool showsQuadrants(const QImage &img, const QRect &r)
{
    const int xs[2] = {r.left() + r.width() / 4, r.left() + r.width() * 3 / 4};
    const int ys[2] = {r.top() + r.height() / 4, r.top() + r.height() * 3 / 4};
    for (int q = 0; q < 4; ++q) {
        const QPoint p(xs[q & 1], ys[q >> 1]);
        if (!img.rect().contains(p) || !looksLike(img.pixel(p), kQuadrantRgb[q]))
            return false;
    }
    return true;
}

#endif
