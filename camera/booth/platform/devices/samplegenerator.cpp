#include "samplegenerator.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>

namespace kvplat {

namespace {

struct Rgb
{
    int r, g, b;
};

// 75 % colour bars.
const Rgb kBars[8] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                      {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};

// 3 x 5 digit glyphs, one row per 3 bits, top row first.
const uint16_t kDigits[10] = {0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9,
                              0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

int clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// BT.601, studio range.
int lumaOf(const Rgb &c)
{
    return ((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8) + 16;
}
int cbOf(const Rgb &c)
{
    return ((-38 * c.r - 74 * c.g + 112 * c.b + 128) >> 8) + 128;
}
int crOf(const Rgb &c)
{
    return ((112 * c.r - 94 * c.g - 18 * c.b + 128) >> 8) + 128;
}

Rgb rgbOf(int y, int u, int v)
{
    const int c = y - 16, d = u - 128, e = v - 128;
    return {clamp255((298 * c + 409 * e + 128) >> 8),
            clamp255((298 * c - 100 * d - 208 * e + 128) >> 8),
            clamp255((298 * c + 516 * d + 128) >> 8)};
}

bool neutral(const SampleAdjust &a)
{
    return a.lumaShift == 0 && a.chromaDenominator != 0 && a.chromaNumerator == a.chromaDenominator;
}

Rgb adjusted(const Rgb &c, const SampleAdjust &a)
{
    if (neutral(a))
        return c;
    const int den = a.chromaDenominator > 0 ? a.chromaDenominator : 1;
    const int num = a.chromaNumerator > 0 ? a.chromaNumerator : 0;
    const int y = clamp255(lumaOf(c) + a.lumaShift);
    const int u = clamp255(128 + (cbOf(c) - 128) * num / den);
    const int v = clamp255(128 + (crOf(c) - 128) * num / den);
    return rgbOf(y, u, v);
}

// The frame counter: a black box in the top-left corner with the frame number in white.
struct Counter
{
    int scale = 1;
    int left = 0, top = 0, width = 0, height = 0;
    char digits[24] = {};
    int count = 0;

    Counter(int pictureWidth, int pictureHeight, uint64_t frame)
    {
        scale = std::max(1, std::min(pictureWidth, pictureHeight) / 60);
        char reversed[24];
        do {
            reversed[count++] = char('0' + frame % 10);
            frame /= 10;
        } while (frame && count < 20);
        for (int i = 0; i < count; ++i)
            digits[i] = reversed[count - 1 - i];
        left = top = scale * 2;
        width = std::min(pictureWidth - left, (count * 4 + 1) * scale);
        height = std::min(pictureHeight - top, 7 * scale);
        if (width < 0)
            width = 0;
        if (height < 0)
            height = 0;
    }
    bool inside(int x, int y) const
    {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
    // Call only inside the box.
    bool glyph(int x, int y) const
    {
        const int gx = (x - left) / scale - 1, gy = (y - top) / scale - 1;
        if (gx < 0 || gy < 0 || gy >= 5)
            return false;
        const int digit = gx / 4, column = gx % 4;
        if (digit >= count || column == 3)
            return false;
        return (kDigits[digits[digit] - '0'] >> ((4 - gy) * 3 + (2 - column))) & 1;
    }
};

struct FullRange
{
    uint8_t luma[256];
    uint8_t chroma[256];
    FullRange()
    {
        for (int i = 0; i < 256; ++i) {
            luma[i] = uint8_t(clamp255(((i - 16) * 255 + 109) / 219));
            const int c = (i - 128) * 255;
            chroma[i] = uint8_t(clamp255(128 + (c >= 0 ? (c + 112) / 224 : -((-c + 112) / 224))));
        }
    }
};

const Rgb kWhite = {255, 255, 255};
const Rgb kBlack = {0, 0, 0};

} // namespace

bool parseSamplePattern(const std::string &text, SamplePattern *pattern)
{
    SamplePattern p;
    if (text == "bars") {
        if (pattern)
            *pattern = p;
        return true;
    }
    const std::string prefix = "solid:#";
    if (text.size() != prefix.size() + 6 || text.compare(0, prefix.size(), prefix) != 0)
        return false;
    int value[6];
    for (int i = 0; i < 6; ++i) {
        const char c = text[prefix.size() + i];
        if (c >= '0' && c <= '9')
            value[i] = c - '0';
        else if (c >= 'a' && c <= 'f')
            value[i] = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value[i] = c - 'A' + 10;
        else
            return false;
    }
    p.solid = true;
    p.red = uint8_t(value[0] * 16 + value[1]);
    p.green = uint8_t(value[2] * 16 + value[3]);
    p.blue = uint8_t(value[4] * 16 + value[5]);
    if (pattern)
        *pattern = p;
    return true;
}

SampleGenerator::SampleGenerator() : m_jpeg(tjInitCompress()) {}

SampleGenerator::~SampleGenerator()
{
    if (m_jpeg)
        tjDestroy(static_cast<tjhandle>(m_jpeg));
}

bool SampleGenerator::validSize(int width, int height)
{
    return width >= 2 && height >= 2 && width <= 8192 && height <= 8192 && width % 2 == 0;
}

void SampleGenerator::renderPlanes(int width, int height, const SamplePattern &pattern,
                                   uint64_t frame, const SampleAdjust &adjust)
{
    const size_t lumaSize = size_t(width) * height;
    const size_t chromaSize = lumaSize / 2;
    m_y.resize(lumaSize);
    m_u.resize(chromaSize);
    m_v.resize(chromaSize);
    m_rgbRow.resize(size_t(width) * 3);

    // Every row is the same apart from the counter box: build one row, then copy it.
    const int offset = pattern.solid ? 0 : int((frame * 4) % uint64_t(width));
    for (int x = 0; x < width; ++x) {
        Rgb c = pattern.solid ? Rgb{pattern.red, pattern.green, pattern.blue}
                              : kBars[((x + offset) % width) * 8 / width];
        c = adjusted(c, adjust);
        m_rgbRow[size_t(x) * 3] = uint8_t(c.r);
        m_rgbRow[size_t(x) * 3 + 1] = uint8_t(c.g);
        m_rgbRow[size_t(x) * 3 + 2] = uint8_t(c.b);
    }
    auto rowColour = [this](int x) {
        return Rgb{m_rgbRow[size_t(x) * 3], m_rgbRow[size_t(x) * 3 + 1],
                   m_rgbRow[size_t(x) * 3 + 2]};
    };
    uint8_t *y0 = m_y.data();
    uint8_t *u0 = m_u.data();
    uint8_t *v0 = m_v.data();
    for (int x = 0; x < width; x += 2) {
        const Rgb a = rowColour(x), b = rowColour(x + 1);
        y0[x] = uint8_t(lumaOf(a));
        y0[x + 1] = uint8_t(lumaOf(b));
        u0[x / 2] = uint8_t((cbOf(a) + cbOf(b) + 1) / 2);
        v0[x / 2] = uint8_t((crOf(a) + crOf(b) + 1) / 2);
    }
    for (int y = 1; y < height; ++y) {
        std::memcpy(y0 + size_t(y) * width, y0, size_t(width));
        std::memcpy(u0 + size_t(y) * (width / 2), u0, size_t(width / 2));
        std::memcpy(v0 + size_t(y) * (width / 2), v0, size_t(width / 2));
    }
    m_frame = frame;
    m_counterActive = !pattern.solid;
    if (!m_counterActive)
        return;
    const Counter counter(width, height, frame);
    for (int y = counter.top; y < counter.top + counter.height; ++y) {
        const int first = counter.left & ~1;
        for (int x = first; x < counter.left + counter.width && x < width; x += 2) {
            Rgb px[2];
            for (int k = 0; k < 2; ++k) {
                const int xx = x + k;
                px[k] = !counter.inside(xx, y) ? rowColour(xx)
                                               : (counter.glyph(xx, y) ? kWhite : kBlack);
                m_y[size_t(y) * width + xx] = uint8_t(lumaOf(px[k]));
            }
            m_u[size_t(y) * (width / 2) + x / 2] = uint8_t((cbOf(px[0]) + cbOf(px[1]) + 1) / 2);
            m_v[size_t(y) * (width / 2) + x / 2] = uint8_t((crOf(px[0]) + crOf(px[1]) + 1) / 2);
        }
    }
}

bool SampleGenerator::render(SampleFormat format, int width, int height,
                             const SamplePattern &pattern, uint64_t frame,
                             std::vector<uint8_t> &out, const SampleAdjust &adjust)
{
    if (!validSize(width, height))
        return false;
    renderPlanes(width, height, pattern, frame, adjust);
    const size_t w = size_t(width), h = size_t(height);
    switch (format) {
    case SampleFormat::Yuy2: {
        out.resize(w * h * 2);
        for (size_t y = 0; y < h; ++y) {
            const uint8_t *ys = m_y.data() + y * w;
            const uint8_t *us = m_u.data() + y * (w / 2);
            const uint8_t *vs = m_v.data() + y * (w / 2);
            uint8_t *d = out.data() + y * w * 2;
            for (size_t x = 0; x < w / 2; ++x) {
                d[4 * x] = ys[2 * x];
                d[4 * x + 1] = us[x];
                d[4 * x + 2] = ys[2 * x + 1];
                d[4 * x + 3] = vs[x];
            }
        }
        return true;
    }
    case SampleFormat::Nv12:
    case SampleFormat::I420: {
        const size_t cw = w / 2, ch = (h + 1) / 2;
        out.resize(w * h + 2 * cw * ch);
        std::copy(m_y.begin(), m_y.end(), out.begin());
        uint8_t *chroma = out.data() + w * h;
        for (size_t y = 0; y < ch; ++y) {
            // Two rows of 4:2:2 chroma make one of 4:2:0.
            const size_t r0 = 2 * y, r1 = std::min(2 * y + 1, h - 1);
            for (size_t x = 0; x < cw; ++x) {
                const uint8_t u = uint8_t((m_u[r0 * cw + x] + m_u[r1 * cw + x] + 1) / 2);
                const uint8_t v = uint8_t((m_v[r0 * cw + x] + m_v[r1 * cw + x] + 1) / 2);
                if (format == SampleFormat::Nv12) {
                    chroma[y * w + 2 * x] = u;
                    chroma[y * w + 2 * x + 1] = v;
                } else {
                    chroma[y * cw + x] = u;
                    chroma[cw * ch + y * cw + x] = v;
                }
            }
        }
        return true;
    }
    case SampleFormat::Rgb24: {
        // Bottom-up BGR rows; the picture is defined in RGB, so solid colours stay exact.
        out.resize(w * h * 3);
        Counter counter(width, height, m_frame);
        for (size_t y = 0; y < h; ++y) {
            uint8_t *d = out.data() + (h - 1 - y) * w * 3;
            for (size_t x = 0; x < w; ++x) {
                d[3 * x] = m_rgbRow[3 * x + 2];
                d[3 * x + 1] = m_rgbRow[3 * x + 1];
                d[3 * x + 2] = m_rgbRow[3 * x];
            }
            if (m_counterActive && int(y) >= counter.top && int(y) < counter.top + counter.height) {
                for (int x = counter.left; x < counter.left + counter.width; ++x) {
                    const uint8_t v = counter.glyph(x, int(y)) ? 255 : 0;
                    d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v;
                }
            }
        }
        return true;
    }
    case SampleFormat::Mjpg: {
        if (!m_jpeg)
            return false;
        const unsigned long capacity = tjBufSize(width, height, TJSAMP_422);
        if (capacity == static_cast<unsigned long>(-1))
            return false;
        out.resize(capacity);
        // JPEG (JFIF) carries full-range YCbCr, as webcams' MJPG does.
        static const FullRange range;
        m_jpegPlanes.resize(m_y.size() + m_u.size() + m_v.size());
        uint8_t *jy = m_jpegPlanes.data(), *ju = jy + m_y.size(), *jv = ju + m_u.size();
        for (size_t i = 0; i < m_y.size(); ++i)
            jy[i] = range.luma[m_y[i]];
        for (size_t i = 0; i < m_u.size(); ++i) {
            ju[i] = range.chroma[m_u[i]];
            jv[i] = range.chroma[m_v[i]];
        }
        const unsigned char *planes[3] = {jy, ju, jv};
        const int strides[3] = {width, width / 2, width / 2};
        unsigned char *buffer = out.data();
        unsigned long size = capacity;
        if (tjCompressFromYUVPlanes(static_cast<tjhandle>(m_jpeg), planes, width, strides, height,
                                    TJSAMP_422, &buffer, &size, 90, TJFLAG_NOREALLOC) != 0 ||
            buffer != out.data()) {
            out.clear();
            return false;
        }
        out.resize(size);
        return true;
    }
    }
    return false;
}

} // namespace kvplat
