#include "i420reference.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace i420ref {

namespace {

uint8_t clampByte(double v)
{
    return uint8_t(std::min(255.0, std::max(0.0, std::round(v))));
}

} // namespace

QByteArray fromYuy2(const std::vector<uint8_t> &sample, int width, int height)
{
    const int stride = int(sample.size()) / height;
    QByteArray out(width * height * 3 / 2, '\0');
    auto *y = reinterpret_cast<uint8_t *>(out.data());
    uint8_t *u = y + width * height;
    uint8_t *v = u + width * height / 4;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            y[row * width + col] = sample[std::size_t(row * stride + col * 2)];
    for (int row = 0; row < height / 2; ++row) {
        const uint8_t *r0 = sample.data() + 2 * row * stride;
        const uint8_t *r1 = r0 + stride;
        for (int col = 0; col < width / 2; ++col) {
            u[row * (width / 2) + col] = uint8_t((r0[col * 4 + 1] + r1[col * 4 + 1] + 1) / 2);
            v[row * (width / 2) + col] = uint8_t((r0[col * 4 + 3] + r1[col * 4 + 3] + 1) / 2);
        }
    }
    return out;
}

QByteArray fromRgb24(const std::vector<uint8_t> &sample, int width, int height)
{
    QByteArray out(width * height * 3 / 2, '\0');
    auto *y = reinterpret_cast<uint8_t *>(out.data());
    uint8_t *u = y + width * height;
    uint8_t *v = u + width * height / 4;
    // Row r of the picture is row height - 1 - r of the sample.
    auto pixel = [&](int row, int col, int channel) {
        return double(sample[std::size_t((height - 1 - row) * width * 3 + col * 3 + channel)]);
    };
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const double b = pixel(row, col, 0), g = pixel(row, col, 1), r = pixel(row, col, 2);
            y[row * width + col] = clampByte(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256);
        }
    for (int row = 0; row < height / 2; ++row)
        for (int col = 0; col < width / 2; ++col) {
            double r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    b += pixel(2 * row + dy, 2 * col + dx, 0) / 4;
                    g += pixel(2 * row + dy, 2 * col + dx, 1) / 4;
                    r += pixel(2 * row + dy, 2 * col + dx, 2) / 4;
                }
            u[row * (width / 2) + col] =
                clampByte(128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256);
            v[row * (width / 2) + col] =
                clampByte(128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256);
        }
    return out;
}

QByteArray fromMjpg(const std::vector<uint8_t> &sample, int width, int height)
{
    tjhandle tj = tjInitDecompress();
    if (!tj)
        return QByteArray();
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    QByteArray out;
    if (tjDecompressHeader3(tj, sample.data(), (unsigned long)sample.size(), &w, &h, &subsamp,
                            &colorspace) == 0 &&
        w == width && h == height) {
        const int cw = tjPlaneWidth(1, w, subsamp);
        const int ch = tjPlaneHeight(1, h, subsamp);
        std::vector<uint8_t> py(std::size_t(w) * h), pu(std::size_t(cw) * ch),
            pv(std::size_t(cw) * ch);
        unsigned char *planes[3] = {py.data(), pu.data(), pv.data()};
        int strides[3] = {w, cw, cw};
        if (tjDecompressToYUVPlanes(tj, sample.data(), (unsigned long)sample.size(), planes, w,
                                    strides, h, 0) == 0) {
            out = QByteArray(w * h * 3 / 2, '\0');
            auto *y = reinterpret_cast<uint8_t *>(out.data());
            std::copy(py.begin(), py.end(), y);
            uint8_t *u = y + w * h;
            uint8_t *v = u + w * h / 4;
            // Average whatever chroma samples cover each 2 x 2 block.
            const int sx = w / cw, sy = h / ch;
            for (int row = 0; row < h / 2; ++row)
                for (int col = 0; col < w / 2; ++col) {
                    int su = 0, sv = 0, n = 0;
                    for (int yy = 2 * row / sy; yy <= (2 * row + 1) / sy; ++yy)
                        for (int xx = 2 * col / sx; xx <= (2 * col + 1) / sx; ++xx) {
                            su += pu[std::size_t(yy * cw + xx)];
                            sv += pv[std::size_t(yy * cw + xx)];
                            ++n;
                        }
                    u[row * (w / 2) + col] = uint8_t((su + n / 2) / n);
                    v[row * (w / 2) + col] = uint8_t((sv + n / 2) / n);
                }
        }
    }
    tjDestroy(tj);
    return out;
}

int maxDifference(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 256;
    int worst = 0;
    for (int i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i]))));
    return worst;
}

} // namespace i420ref
