// The virtual cameras' picture source: renders frame N of a pattern as an MJPG, YUY2, RGB24,
// NV12 or I420 sample, exactly the bytes a virtual camera delivers. Benchmarks and tests use it to
// produce the same samples without a graph.
#ifndef KV_PLATFORM_SAMPLEGENERATOR_H
#define KV_PLATFORM_SAMPLEGENERATOR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvplat {

enum class SampleFormat { Mjpg, Yuy2, Rgb24, Nv12, I420 };

struct SamplePattern
{
    // Moving colour bars with the frame number in the top-left corner, or one solid colour.
    bool solid = false;
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// "bars" or "solid:#RRGGBB" (hex digits in either case). False for anything else.
bool parseSamplePattern(const std::string &text, SamplePattern *pattern);

struct SampleAdjust
{
    int lumaShift = 0;       // added to every luma value
    int chromaNumerator = 1; // chroma distance from 128 is scaled by numerator / denominator
    int chromaDenominator = 1;
};

class SampleGenerator
{
public:
    SampleGenerator();
    ~SampleGenerator();
    SampleGenerator(const SampleGenerator &) = delete;
    SampleGenerator &operator=(const SampleGenerator &) = delete;

    // Renders frame `frame` into `out` (resized to the sample's length; its capacity is reused).
    // MJPG: baseline JPEG with 4:2:2 chroma in JFIF's full range, as webcams send it;
    // YUY2: packed Y0 U Y1 V rows of width * 2 bytes (studio range);
    // RGB24: blue, green, red triplets, rows of width * 3 bytes stored bottom-up;
    // NV12 and I420: 4:2:0 planes of rows width bytes (chroma: (height + 1) / 2 rows, studio
    // range), NV12 with interleaved U V, I420 with U then V rows of width / 2 bytes.
    // False for sizes out of range (width and height 2..8192, width even) or an encoder failure.
    bool render(SampleFormat format, int width, int height, const SamplePattern &pattern,
                uint64_t frame, std::vector<uint8_t> &out,
                const SampleAdjust &adjust = SampleAdjust());

    // The 4:2:2 planes (BT.601 studio range) of the last render: YUY2 packs them, MJPG encodes
    // them after expanding to full range, RGB24 is the same picture in RGB. Y is width x height,
    // U and V are width / 2 x height.
    const std::vector<uint8_t> &planeY() const { return m_y; }
    const std::vector<uint8_t> &planeU() const { return m_u; }
    const std::vector<uint8_t> &planeV() const { return m_v; }

    static bool validSize(int width, int height);

private:
    void renderPlanes(int width, int height, const SamplePattern &pattern, uint64_t frame,
                      const SampleAdjust &adjust);

    void *m_jpeg = nullptr;
    std::vector<uint8_t> m_y;
    std::vector<uint8_t> m_u;
    std::vector<uint8_t> m_v;
    std::vector<uint8_t> m_rgbRow;
    std::vector<uint8_t> m_jpegPlanes;
    bool m_counterActive = false;
    uint64_t m_frame = 0;
};

} // namespace kvplat

#endif // KV_PLATFORM_SAMPLEGENERATOR_H
