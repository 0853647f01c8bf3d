// One V4L2 camera as a device of the seam: its modes, its picture controls, and its streams.
#ifndef KV_PLATFORM_V4L2DEVICE_H
#define KV_PLATFORM_V4L2DEVICE_H

#include "deviceprovider.h"
#include "v4l2formats.h"

#include <map>
#include <memory>
#include <string>

namespace kvplat {

class V4l2System;

class V4l2Device : public IDevice
{
public:
    // A camera whose node answered; `modes` and `ranges` as read at enumeration.
    V4l2Device(std::shared_ptr<const V4l2System> system, std::string node, DeviceIdent ident,
               std::vector<V4l2Mode> modes, std::map<long, ProcAmpRange> ranges);
    // A camera whose node could not be opened (errno `openError`): listed so that the person
    // sees it, but it offers nothing and says why.
    V4l2Device(std::shared_ptr<const V4l2System> system, std::string node, DeviceIdent ident,
               int openError);

    const DeviceIdent &ident() const override { return m_ident; }
    // "/dev/videoN", and whether it opened at listing.
    const std::string &node() const { return m_node; }
    bool accessible() const { return m_openError == 0; }
    std::vector<VideoFormat> formats() const override;
    bool procAmpRange(long property, ProcAmpRange *range) const override;
    bool getProcAmp(long property, long *value, long *flags) const override;
    bool setProcAmp(long property, long value, long flags) override;
    std::unique_ptr<IDeviceStream> openStream(const VideoFormat &format,
                                              StreamSinks sinks) override;

private:
    // A short-lived handle for the controls; -1 (logged) when the node does not open.
    int openControlHandle() const;

    std::shared_ptr<const V4l2System> m_system;
    std::string m_node;
    DeviceIdent m_ident;
    std::vector<V4l2Mode> m_modes;
    std::map<long, ProcAmpRange> m_ranges;
    int m_openError = 0;
};

} // namespace kvplat

#endif // KV_PLATFORM_V4L2DEVICE_H
