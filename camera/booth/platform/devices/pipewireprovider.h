// The PipeWire provider: the camera nodes of the user's PipeWire daemon, or, in a sandbox, of
// the connection the camera portal hands over.
#ifndef KV_PLATFORM_PIPEWIREPROVIDER_H
#define KV_PLATFORM_PIPEWIREPROVIDER_H

#include "deviceprovider.h"

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace kvplat {

class PipeWireConnection;

class PipeWireProvider : public IDeviceProvider
{
public:
    std::vector<std::shared_ptr<IDevice>> enumerate() override;
    // The cameras, leaving out the nodes of the V4L2 devices ("/dev/videoN") in `shownByV4l2`.
    std::vector<std::shared_ptr<IDevice>> enumerate(const std::set<std::string> &shownByV4l2);

    // The connection, made (through the portal where that is the way) when there is none or
    // the last one broke; null, said once, when nothing answers or the provider is off.
    std::shared_ptr<PipeWireConnection> connection();

    // Called on the provider's thread whenever a camera node comes or goes, the daemon goes
    // away, or a daemon that was missing answers.
    void setChangeListener(std::function<void()> changed);

private:
    std::mutex m_mutex;
    std::shared_ptr<PipeWireConnection> m_connection;
    std::function<void()> m_changed;
    std::string m_said; // the last reason given for having no connection
    bool m_portalAsked = false;
    bool m_portalDenied = false;
};

// The process's PipeWire provider.
PipeWireProvider &pipeWireProvider();

} // namespace kvplat

#endif // KV_PLATFORM_PIPEWIREPROVIDER_H
