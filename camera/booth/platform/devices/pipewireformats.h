// The formats of a PipeWire camera node: reading its EnumFormat params into modes (one per
// format and size, at that size's highest rate) and writing the one format a stream asks for.
#ifndef KV_PLATFORM_PIPEWIREFORMATS_H
#define KV_PLATFORM_PIPEWIREFORMATS_H

#include "deviceprovider.h"

#include <cstdint>
#include <vector>

struct spa_pod;
struct spa_pod_builder;

namespace kvplat {

struct PipeWireMode
{
    uint32_t mediaSubtype = 0; // SPA_MEDIA_SUBTYPE_raw or _mjpg
    uint32_t videoFormat = 0;  // SPA_VIDEO_FORMAT_* for raw video
    uint32_t rateNum = 30;     // frames per second as a fraction
    uint32_t rateDenom = 1;
    VideoFormat format; // how the capture pin offers it
};

// Adds the modes of one EnumFormat object to `modes`; a format and size already there keeps
// the higher rate. Objects of other media types and formats the booth does not convert are
// skipped.
void addPipeWireModes(const spa_pod *param, std::vector<PipeWireMode> *modes);

// The format pod that asks for exactly `mode`, built into `builder`; null when it does not fit.
const spa_pod *buildPipeWireFormat(spa_pod_builder *builder, const PipeWireMode &mode);

// The V4L2 pixel format with the same bytes as a mode, for the frame checks shared with V4L2.
uint32_t v4l2PixelOf(const PipeWireMode &mode);

} // namespace kvplat

#endif // KV_PLATFORM_PIPEWIREFORMATS_H
