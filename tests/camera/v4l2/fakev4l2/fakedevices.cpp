#include "fakedevices.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace fakev4l2 {

namespace {

const uint32_t kCaptureCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;

FakeSize size(uint32_t w, uint32_t h, std::vector<uint32_t> fps)
{
    FakeSize s;
    s.width = w;
    s.height = h;
    for (uint32_t f : fps)
        s.intervals.push_back({1, f});
    return s;
}

std::vector<FakeControl> uvcControls()
{
    return {{V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0, 0},
            {V4L2_CID_CONTRAST, "Contrast", 0, 100, 1, 32, 0},
            {V4L2_CID_SATURATION, "Saturation", 0, 128, 1, 64, 0},
            {V4L2_CID_HUE, "Hue", -40, 40, 1, 0, 0}};
}

// A UVC webcam: YUYV first (as most list it), 1080p30 only in MJPG, YUYV 1080p at 5 fps.
void uvc(FakeModel *m)
{
    m->card = "HD Webcam C000";
    m->bus = "usb-0000:00:14.0-1";
    m->deviceCaps = kCaptureCaps;
    FakeFormat yuyv;
    yuyv.pixelFormat = V4L2_PIX_FMT_YUYV;
    yuyv.sizes = {size(640, 480, {30, 15}), size(320, 240, {30, 15}), size(1280, 720, {10, 5}),
                  size(1920, 1080, {5})};
    FakeFormat mjpg;
    mjpg.pixelFormat = V4L2_PIX_FMT_MJPEG;
    mjpg.flags = V4L2_FMT_FLAG_COMPRESSED;
    mjpg.sizes = {size(640, 480, {30, 15}), size(320, 240, {30}), size(1280, 720, {30, 15}),
                  size(1920, 1080, {30, 15})};
    m->formats = {yuyv, mjpg};
    m->controls = uvcControls();
}

// A cheap webcam: MJPG up to 720p, YUYV only at 640x480, saturation disabled.
void cheap(FakeModel *m)
{
    m->card = "USB2.0 Camera: USB2.0 Camera  ";
    m->bus = "usb-0000:00:14.0-2";
    m->deviceCaps = kCaptureCaps;
    FakeFormat mjpg;
    mjpg.pixelFormat = V4L2_PIX_FMT_MJPEG;
    mjpg.flags = V4L2_FMT_FLAG_COMPRESSED;
    mjpg.sizes = {size(1280, 720, {30}), size(640, 480, {30}), size(320, 240, {30})};
    FakeFormat yuyv;
    yuyv.pixelFormat = V4L2_PIX_FMT_YUYV;
    yuyv.sizes = {size(640, 480, {30})};
    m->formats = {mjpg, yuyv};
    m->controls = {{V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128, 0},
                   {V4L2_CID_CONTRAST, "Contrast", 0, 64, 1, 32, 0},
                   {V4L2_CID_SATURATION, "Saturation", 0, 100, 1, 50, V4L2_CTRL_FLAG_DISABLED}};
}

void stepwise(FakeModel *m)
{
    m->card = "Stepwise Camera";
    m->bus = "platform:stepwise";
    m->deviceCaps = kCaptureCaps;
    FakeFormat yuyv;
    yuyv.pixelFormat = V4L2_PIX_FMT_YUYV;
    yuyv.stepwise = true;
    yuyv.range = {160, 1280, 16, 120, 720, 8};
    yuyv.minInterval = {1, 15};
    FakeFormat bgr;
    bgr.pixelFormat = V4L2_PIX_FMT_BGR24;
    bgr.sizes = {size(320, 240, {30})};
    bgr.rowPadding = 64;
    m->formats = {yuyv, bgr};
}

// 4:2:0 formats with padded rows, and formats the booth cannot convert.
void planar(FakeModel *m)
{
    m->card = "Planar Camera";
    m->bus = "platform:planar";
    m->deviceCaps = kCaptureCaps;
    FakeFormat h264;
    h264.pixelFormat = V4L2_PIX_FMT_H264;
    h264.flags = V4L2_FMT_FLAG_COMPRESSED;
    h264.sizes = {size(1920, 1080, {30})};
    FakeFormat nv12;
    nv12.pixelFormat = V4L2_PIX_FMT_NV12;
    nv12.sizes = {size(640, 480, {30})};
    nv12.rowPadding = 64;
    FakeFormat yu12;
    yu12.pixelFormat = V4L2_PIX_FMT_YUV420;
    yu12.sizes = {size(320, 240, {30})};
    yu12.rowPadding = 32;
    FakeFormat grey;
    grey.pixelFormat = V4L2_PIX_FMT_GREY;
    grey.sizes = {size(640, 480, {30})};
    FakeFormat emulated;
    emulated.pixelFormat = V4L2_PIX_FMT_BGR24;
    emulated.flags = V4L2_FMT_FLAG_EMULATED;
    emulated.sizes = {size(640, 480, {30})};
    m->formats = {h264, nv12, yu12, grey, emulated};
}

// A sensor with only Bayer frames of its own; libv4l2 offers BGR24 and YU12 from them.
void bayer(FakeModel *m)
{
    m->card = "Bayer Sensor";
    m->bus = "platform:bayer";
    m->deviceCaps = kCaptureCaps;
    FakeFormat raw;
    raw.pixelFormat = V4L2_PIX_FMT_SGRBG8;
    raw.sizes = {size(640, 480, {30})};
    FakeFormat bgr;
    bgr.pixelFormat = V4L2_PIX_FMT_BGR24;
    bgr.flags = V4L2_FMT_FLAG_EMULATED;
    bgr.sizes = {size(640, 480, {30})};
    m->formats = {raw, bgr};
}

// A frame grabber whose driver implements only the required format calls: ENUM_FMT, G_FMT and
// S_FMT (which always answers with the current input's size), and G_PARM without S_PARM.
void grabber(FakeModel *m)
{
    m->card = "Frame Grabber";
    m->bus = "pci-0000:03:00.0";
    m->deviceCaps = kCaptureCaps;
    FakeFormat yuyv;
    yuyv.pixelFormat = V4L2_PIX_FMT_YUYV;
    yuyv.sizes = {size(720, 576, {25})};
    FakeFormat grey;
    grey.pixelFormat = V4L2_PIX_FMT_GREY;
    grey.sizes = {size(720, 576, {25})};
    m->formats = {yuyv, grey};
    m->sizesError = ENOTTY;
    m->intervalsError = ENOTTY;
    m->parm = FakeModel::Parm::ReadOnly;
}

// "%20" and the like stand for bytes that the node file's words cannot hold.
std::string percentDecoded(const std::string &word)
{
    std::string text;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 2 < word.size()) {
            text += char(std::strtoul(word.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            text += word[i];
        }
    }
    return text;
}

} // namespace

bool readModel(const std::string &text, FakeModel *m)
{
    std::istringstream in(text);
    std::string name;
    in >> name;
    if (name == "uvc") {
        uvc(m);
    } else if (name == "uvc-meta") {
        uvc(m);
        m->deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
        m->formats.clear();
    } else if (name == "cheap") {
        cheap(m);
    } else if (name == "stepwise") {
        stepwise(m);
    } else if (name == "planar") {
        planar(m);
    } else if (name == "bayer") {
        bayer(m);
    } else if (name == "grabber") {
        grabber(m);
    } else if (name == "m2m") {
        uvc(m);
        m->card = "Video Codec";
        m->bus = "platform:codec";
        m->deviceCaps = V4L2_CAP_VIDEO_M2M | V4L2_CAP_STREAMING;
    } else {
        return false;
    }
    std::string key;
    while (in >> key) {
        std::string value;
        in >> value;
        const int number = std::atoi(value.c_str());
        if (key == "card")
            m->card = percentDecoded(value);
        else if (key == "bus")
            m->bus = value;
        else if (key == "sizes" || key == "intervals")
            (key == "sizes" ? m->sizesError : m->intervalsError) = value == "einval" ? EINVAL
                                                                   : value == "0"    ? ENOTTY
                                                                                     : 0;
        else if (key == "parm")
            m->parm = value == "ro"     ? FakeModel::Parm::ReadOnly
                      : value == "none" ? FakeModel::Parm::None
                                        : FakeModel::Parm::ReadWrite;
        else if (key == "deny")
            m->deny = number != 0;
        else if (key == "busy")
            m->busy = number != 0;
        else if (key == "nobandwidth")
            m->noBandwidth = number != 0;
        else if (key == "damage")
            m->damage = number != 0;
        else if (key == "huffman")
            m->keepHuffman = number != 0;
        else if (key == "vanish")
            m->vanishAfter = number;
        else if (key == "paced")
            m->paced = number != 0;
        else if (key == "prerender")
            m->prerender = number != 0;
        else if (key == "stall") {
            m->stallAfter = number;
            in >> m->stallMs;
        } else if (key == "solid" && value.size() == 7 && value[0] == '#') {
            const unsigned long rgb = std::strtoul(value.c_str() + 1, nullptr, 16);
            m->solid = true;
            m->red = uint8_t(rgb >> 16);
            m->green = uint8_t(rgb >> 8);
            m->blue = uint8_t(rgb);
        }
    }
    return true;
}

} // namespace fakev4l2
