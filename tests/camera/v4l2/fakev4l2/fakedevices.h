// The devices the scripted V4L2 backend plays, as the kernel and uvcvideo describe them.
#ifndef FAKEDEVICES_H
#define FAKEDEVICES_H

#include <linux/videodev2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fakev4l2 {

struct FakeSize
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<v4l2_fract> intervals; // discrete intervals, shortest first
};

struct FakeFormat
{
    uint32_t pixelFormat = 0;
    uint32_t flags = 0; // V4L2_FMT_FLAG_*
    std::vector<FakeSize> sizes;
    bool stepwise = false;
    v4l2_frmsize_stepwise range = {};
    v4l2_fract minInterval = {1, 30}; // for stepwise sizes (continuous intervals)
    uint32_t rowPadding = 0;          // extra bytes per row (raw formats)
};

struct FakeControl
{
    uint32_t id = 0;
    const char *name = "";
    int32_t min = 0, max = 0, step = 1, def = 0;
    uint32_t flags = 0;
};

// A device model plus the behaviour the node file asks for.
struct FakeModel
{
    std::string card;
    std::string bus;
    uint32_t deviceCaps = 0;
    std::vector<FakeFormat> formats;
    std::vector<FakeControl> controls;

    // Optional calls the driver leaves out: ENUM_FRAMESIZES and ENUM_FRAMEINTERVALS answer
    // with this error (ENOTTY from the V4L2 core, EINVAL from a driver's own stub); 0 = listed.
    int sizesError = 0;
    int intervalsError = 0;
    enum class Parm { ReadWrite, ReadOnly, None };
    Parm parm = Parm::ReadWrite; // G_PARM/S_PARM: rate settable, only readable, or ENOTTY

    bool deny = false;        // open fails with EACCES
    bool busy = false;        // another program owns the buffers: S_FMT, REQBUFS give EBUSY
    bool noBandwidth = false; // STREAMON gives ENOSPC
    bool damage = false;      // some frames are flagged, empty, cut or without markers
    bool keepHuffman = false; // MJPG frames keep their Huffman tables (UVC cameras drop them)
    int vanishAfter = -1;     // the node disappears after this many frames
    bool paced = true;        // frames come at the frame interval; otherwise at once
    // Each buffer is drawn once and then reused, costing no CPU as a device's DMA does
    // (for benchmarks).
    bool prerender = false;
    int stallAfter = -1; // after this many frames, no frame for stallMs
    int stallMs = 0;
    bool solid = false;
    uint8_t red = 0, green = 0, blue = 0;
};

// Reads a node file: the first word names the model ("uvc", "uvc-meta", "cheap", "stepwise",
// "planar", "bayer", "m2m", "grabber"), then "key value" lines ("card" takes %XX escapes).
// False for an unknown model.
bool readModel(const std::string &text, FakeModel *model);

} // namespace fakev4l2

#endif
