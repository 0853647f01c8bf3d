// The capabilities of a V4L2 camera: one mode per pixel format and frame size, at that size's
// highest frame rate, in the driver's order.
#ifndef KV_PLATFORM_V4L2FORMATS_H
#define KV_PLATFORM_V4L2FORMATS_H

#include "deviceprovider.h"

#include <linux/videodev2.h>

#include <cstdint>
#include <vector>

namespace kvplat {

class V4l2System;

struct V4l2Mode
{
    uint32_t pixelFormat = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    v4l2_fract interval = {1, 30}; // seconds per frame
    VideoFormat format;            // how the capture pin offers it
};

// The sample format the booth converts for a V4L2 pixel format; false for the others.
bool sampleFormatOfPixel(uint32_t pixelFormat, SampleFormat *format);

// The common sizes (4:3 and 16:9, 160x120 up to 3840x2160) inside a stepwise or continuous
// range and on its step grid, then the range's maximum, ascending.
std::vector<std::pair<uint32_t, uint32_t>> sizesInRange(const v4l2_frmsize_stepwise &range);

// The modes of an open capture node. Emulated formats (libv4l2's conversions) only when the
// device has no convertible format of its own. A format whose sizes are not enumerable offers
// the current size if it is the current format; sizes whose intervals are not enumerable get
// the current rate (G_PARM), or 1/30 s when the driver gives none.
std::vector<V4l2Mode> readV4l2Modes(const V4l2System &system, int fd);

// Bytes of a raw frame with this row stride (bytesperline), or 0 for compressed formats.
size_t rawFrameBytes(uint32_t pixelFormat, uint32_t bytesPerLine, uint32_t height);

} // namespace kvplat

#endif // KV_PLATFORM_V4L2FORMATS_H
