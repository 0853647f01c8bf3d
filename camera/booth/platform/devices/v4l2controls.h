// The picture controls of a V4L2 camera as the video processing amplifier's properties:
// brightness, contrast and saturation.
#ifndef KV_PLATFORM_V4L2CONTROLS_H
#define KV_PLATFORM_V4L2CONTROLS_H

#include "deviceprovider.h"

#include <cstdint>
#include <map>

namespace kvplat {

class V4l2System;

// The control id of a VideoProcAmp property, or 0 for the others.
uint32_t controlIdOf(long property);

// Ranges of the properties whose controls the device offers enabled integer controls for.
std::map<long, ProcAmpRange> readProcAmpRanges(const V4l2System &system, int fd);

// Reads or writes one control on an open node; false with errno set on failure.
bool readControl(const V4l2System &system, int fd, uint32_t id, long *value);
bool writeControl(const V4l2System &system, int fd, uint32_t id, long value);

} // namespace kvplat

#endif // KV_PLATFORM_V4L2CONTROLS_H
