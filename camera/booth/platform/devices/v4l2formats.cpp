#include "v4l2formats.h"

#include "v4l2system.h"

#include <algorithm>
#include <cstring>

namespace kvplat {

namespace {

const std::pair<uint32_t, uint32_t> kCommonSizes[] = {
    {160, 120},  {176, 144},  {320, 180},  {320, 240},   {352, 288},   {424, 240},   {640, 360},
    {640, 480},  {800, 448},  {800, 600},  {848, 480},   {960, 540},   {1024, 576},  {1024, 768},
    {1280, 720}, {1280, 960}, {1600, 896}, {1600, 1200}, {1920, 1080}, {2560, 1440}, {3840, 2160}};

// Seconds per frame as 100 ns units.
REFERENCE_TIME intervalUnits(const v4l2_fract &f)
{
    if (f.denominator == 0)
        return 0;
    return REFERENCE_TIME(uint64_t(f.numerator) * 10000000ULL / f.denominator);
}

bool shorter(const v4l2_fract &a, const v4l2_fract &b)
{
    return uint64_t(a.numerator) * b.denominator < uint64_t(b.numerator) * a.denominator;
}

bool validInterval(const v4l2_fract &f)
{
    return f.numerator > 0 && f.denominator > 0;
}

// The frame interval of the current format (G_PARM), or {0, 0} when the driver does not say.
v4l2_fract currentInterval(const V4l2System &system, int fd)
{
    v4l2_streamparm parm;
    std::memset(&parm, 0, sizeof parm);
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (system.ioctl(fd, VIDIOC_G_PARM, &parm) == 0 &&
        validInterval(parm.parm.capture.timeperframe))
        return parm.parm.capture.timeperframe;
    return {0, 0};
}

// The current format (G_FMT), or a zero pixel format when the driver does not say.
v4l2_pix_format currentFormat(const V4l2System &system, int fd)
{
    v4l2_format format;
    std::memset(&format, 0, sizeof format);
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (system.ioctl(fd, VIDIOC_G_FMT, &format) != 0)
        std::memset(&format.fmt.pix, 0, sizeof format.fmt.pix);
    return format.fmt.pix;
}

// The shortest frame interval of a size; `fallback` (the current rate, else 1/30 s) when the
// driver does not enumerate intervals.
v4l2_fract shortestInterval(const V4l2System &system, int fd, uint32_t pixelFormat, uint32_t width,
                            uint32_t height, const v4l2_fract &fallback)
{
    v4l2_fract best = {0, 0};
    for (uint32_t i = 0; i < 256; ++i) {
        v4l2_frmivalenum e;
        std::memset(&e, 0, sizeof e);
        e.index = i;
        e.pixel_format = pixelFormat;
        e.width = width;
        e.height = height;
        if (system.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &e) != 0)
            break;
        const v4l2_fract f = e.type == V4L2_FRMIVAL_TYPE_DISCRETE ? e.discrete : e.stepwise.min;
        if (validInterval(f) && (best.denominator == 0 || shorter(f, best)))
            best = f;
        if (e.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
    if (best.denominator == 0)
        best = validInterval(fallback) ? fallback : v4l2_fract{1, 30};
    return best;
}

struct PixelFormat
{
    uint32_t code;
    bool emulated;
};

} // namespace

bool sampleFormatOfPixel(uint32_t pixelFormat, SampleFormat *format)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        *format = SampleFormat::Mjpg;
        return true;
    case V4L2_PIX_FMT_YUYV:
        *format = SampleFormat::Yuy2;
        return true;
    case V4L2_PIX_FMT_BGR24:
        *format = SampleFormat::Rgb24;
        return true;
    case V4L2_PIX_FMT_NV12:
        *format = SampleFormat::Nv12;
        return true;
    case V4L2_PIX_FMT_YUV420:
        *format = SampleFormat::I420;
        return true;
    default:
        return false;
    }
}

std::vector<std::pair<uint32_t, uint32_t>> sizesInRange(const v4l2_frmsize_stepwise &r)
{
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    if (r.min_width == 0 || r.min_height == 0 || r.max_width < r.min_width ||
        r.max_height < r.min_height)
        return sizes;
    const uint32_t stepW = r.step_width ? r.step_width : 1;
    const uint32_t stepH = r.step_height ? r.step_height : 1;
    for (const auto &s : kCommonSizes) {
        if (s.first >= r.min_width && s.first <= r.max_width && s.second >= r.min_height &&
            s.second <= r.max_height && (s.first - r.min_width) % stepW == 0 &&
            (s.second - r.min_height) % stepH == 0)
            sizes.push_back(s);
    }
    const std::pair<uint32_t, uint32_t> largest(r.max_width, r.max_height);
    if (std::find(sizes.begin(), sizes.end(), largest) == sizes.end())
        sizes.push_back(largest);
    return sizes;
}

std::vector<V4l2Mode> readV4l2Modes(const V4l2System &system, int fd)
{
    std::vector<PixelFormat> formats;
    for (uint32_t i = 0; i < 256; ++i) {
        v4l2_fmtdesc d;
        std::memset(&d, 0, sizeof d);
        d.index = i;
        d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (system.ioctl(fd, VIDIOC_ENUM_FMT, &d) != 0)
            break;
        SampleFormat sample;
        if (sampleFormatOfPixel(d.pixelformat, &sample))
            formats.push_back({d.pixelformat, (d.flags & V4L2_FMT_FLAG_EMULATED) != 0});
    }
    const bool hasOwn = std::any_of(formats.begin(), formats.end(),
                                    [](const PixelFormat &f) { return !f.emulated; });

    // ENUM_FRAMESIZES and ENUM_FRAMEINTERVALS are optional; the current format and rate are
    // what such a driver offers.
    const v4l2_pix_format current = currentFormat(system, fd);
    const v4l2_fract currentRate = currentInterval(system, fd);

    std::vector<V4l2Mode> modes;
    for (const PixelFormat &pixel : formats) {
        if (pixel.emulated && hasOwn)
            continue;
        std::vector<std::pair<uint32_t, uint32_t>> sizes;
        for (uint32_t i = 0; i < 1024; ++i) {
            v4l2_frmsizeenum e;
            std::memset(&e, 0, sizeof e);
            e.index = i;
            e.pixel_format = pixel.code;
            if (system.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &e) != 0)
                break;
            if (e.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(e.discrete.width, e.discrete.height);
            } else {
                sizes = sizesInRange(e.stepwise);
                break;
            }
        }
        if (sizes.empty() && current.pixelformat == pixel.code)
            sizes.emplace_back(current.width, current.height);
        for (const auto &size : sizes) {
            V4l2Mode mode;
            mode.pixelFormat = pixel.code;
            mode.width = size.first;
            mode.height = size.second;
            // Sizes the booth's conversions and the media types cannot hold are left out.
            if (mode.width < 2 || mode.height < 2 || mode.width > 8192 || mode.height > 8192 ||
                (mode.width & 1))
                continue;
            mode.interval =
                shortestInterval(system, fd, pixel.code, mode.width, mode.height, currentRate);
            sampleFormatOfPixel(pixel.code, &mode.format.format);
            mode.format.width = int(mode.width);
            mode.format.height = int(mode.height);
            mode.format.frameInterval = intervalUnits(mode.interval);
            // V4L2's BGR24 rows run top-down, as DirectShow says with a negative height.
            mode.format.topDown = pixel.code == V4L2_PIX_FMT_BGR24;
            modes.push_back(mode);
        }
    }
    return modes;
}

size_t rawFrameBytes(uint32_t pixelFormat, uint32_t bytesPerLine, uint32_t height)
{
    const size_t stride = bytesPerLine, h = height;
    switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_BGR24:
        return stride * h;
    case V4L2_PIX_FMT_NV12:
        return stride * h + stride * ((h + 1) / 2);
    case V4L2_PIX_FMT_YUV420:
        return stride * h + 2 * (stride / 2) * ((h + 1) / 2);
    default:
        return 0;
    }
}

} // namespace kvplat
