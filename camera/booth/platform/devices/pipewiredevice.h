// One PipeWire camera node as a device of the seam: its formats as enumerated at listing, and
// streams on the provider's connection. PipeWire offers no picture controls of its own.
#ifndef KV_PLATFORM_PIPEWIREDEVICE_H
#define KV_PLATFORM_PIPEWIREDEVICE_H

#include "deviceprovider.h"
#include "pipewireconnection.h"

#include <functional>
#include <memory>

namespace kvplat {

class PipeWireDevice : public IDevice
{
public:
    // `connect` gives the provider's current connection (asking the portal first where that
    // is the way), or null when there is none; the cause is logged by it.
    PipeWireDevice(PipeWireNode node, DeviceIdent ident,
                   std::function<std::shared_ptr<PipeWireConnection>()> connect);

    const DeviceIdent &ident() const override { return m_ident; }
    // The V4L2 node ("/dev/videoN") the PipeWire node reads, or empty.
    const std::string &v4l2Device() const { return m_node.v4l2Device; }
    std::vector<VideoFormat> formats() const override;
    bool procAmpRange(long, ProcAmpRange *) const override { return false; }
    bool getProcAmp(long, long *, long *) const override { return false; }
    bool setProcAmp(long, long, long) override { return false; }
    std::unique_ptr<IDeviceStream> openStream(const VideoFormat &format,
                                              StreamSinks sinks) override;

private:
    PipeWireNode m_node;
    DeviceIdent m_ident;
    std::function<std::shared_ptr<PipeWireConnection>()> m_connect;
};

} // namespace kvplat

#endif // KV_PLATFORM_PIPEWIREDEVICE_H
