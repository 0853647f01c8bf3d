// The seam between the DirectShow-style objects and the sources of video devices. A provider
// lists devices; a device describes its formats and picture controls and opens streams that push
// samples. The graph objects see only these interfaces, never which provider a device came from.
#ifndef KV_PLATFORM_DEVICEPROVIDER_H
#define KV_PLATFORM_DEVICEPROVIDER_H

#include "platforminternal.h"
#include "samplegenerator.h"
#include "windows.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kvplat {

struct VideoFormat
{
    SampleFormat format = SampleFormat::Yuy2;
    int width = 0;
    int height = 0;
    REFERENCE_TIME frameInterval = 0; // 100 ns units
    // The device describes its rows as top-down (a negative biHeight): MJPG and YUY2 rows are
    // top-down anyway; RGB24 rows are then stored top-down (V4L2's BGR24).
    bool topDown = false;
};

bool operator==(const VideoFormat &a, const VideoFormat &b);

struct ProcAmpRange
{
    long min = 0;
    long max = 0;
    long step = 1;
    long defaultValue = 0;
    long capsFlags = 0;
};

struct StreamSinks
{
    // Called on the stream's own thread for every sample; the bytes are valid during the call.
    std::function<void(const uint8_t *data, size_t length, REFERENCE_TIME start,
                       REFERENCE_TIME end)>
        sample;
    // Called once when the device goes away while streaming, after its last sample.
    std::function<void()> lost;
};

class IDeviceStream
{
public:
    virtual ~IDeviceStream() = default;
    // No sink is called after this returns.
    virtual void stop() = 0;
};

class IDevice
{
public:
    virtual ~IDevice() = default;
    virtual const DeviceIdent &ident() const = 0;
    virtual std::vector<VideoFormat> formats() const = 0;
    virtual bool procAmpRange(long property, ProcAmpRange *range) const = 0;
    virtual bool getProcAmp(long property, long *value, long *flags) const = 0;
    virtual bool setProcAmp(long property, long value, long flags) = 0;
    // Null when the device cannot stream (gone, or the format is not one of its own).
    virtual std::unique_ptr<IDeviceStream> openStream(const VideoFormat &format,
                                                      StreamSinks sinks) = 0;
};

class IDeviceProvider
{
public:
    virtual ~IDeviceProvider() = default;
    virtual std::vector<std::shared_ptr<IDevice>> enumerate() = 0;
};

// The video input devices of all providers, in provider order.
std::vector<std::shared_ptr<IDevice>> enumerateVideoDevices();

} // namespace kvplat

#endif // KV_PLATFORM_DEVICEPROVIDER_H
