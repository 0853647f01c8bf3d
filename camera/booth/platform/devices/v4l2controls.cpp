#include "v4l2controls.h"

#include "dshow.h"
#include "v4l2system.h"

#include <linux/videodev2.h>

#include <cstring>

namespace kvplat {

uint32_t controlIdOf(long property)
{
    switch (property) {
    case VideoProcAmp_Brightness:
        return V4L2_CID_BRIGHTNESS;
    case VideoProcAmp_Contrast:
        return V4L2_CID_CONTRAST;
    case VideoProcAmp_Saturation:
        return V4L2_CID_SATURATION;
    default:
        return 0;
    }
}

std::map<long, ProcAmpRange> readProcAmpRanges(const V4l2System &system, int fd)
{
    std::map<long, ProcAmpRange> ranges;
    for (long property : {long(VideoProcAmp_Brightness), long(VideoProcAmp_Contrast),
                          long(VideoProcAmp_Saturation)}) {
        v4l2_queryctrl q;
        std::memset(&q, 0, sizeof q);
        q.id = controlIdOf(property);
        if (system.ioctl(fd, VIDIOC_QUERYCTRL, &q) != 0)
            continue;
        if ((q.flags & V4L2_CTRL_FLAG_DISABLED) || q.type != V4L2_CTRL_TYPE_INTEGER ||
            q.minimum > q.maximum)
            continue;
        ProcAmpRange range;
        range.min = q.minimum;
        range.max = q.maximum;
        range.step = q.step > 0 ? q.step : 1;
        range.defaultValue = q.default_value;
        range.capsFlags = VideoProcAmp_Flags_Manual;
        ranges[property] = range;
    }
    return ranges;
}

bool readControl(const V4l2System &system, int fd, uint32_t id, long *value)
{
    v4l2_control c;
    std::memset(&c, 0, sizeof c);
    c.id = id;
    if (system.ioctl(fd, VIDIOC_G_CTRL, &c) != 0)
        return false;
    *value = c.value;
    return true;
}

bool writeControl(const V4l2System &system, int fd, uint32_t id, long value)
{
    v4l2_control c;
    std::memset(&c, 0, sizeof c);
    c.id = id;
    c.value = int32_t(value);
    return system.ioctl(fd, VIDIOC_S_CTRL, &c) == 0;
}

} // namespace kvplat
