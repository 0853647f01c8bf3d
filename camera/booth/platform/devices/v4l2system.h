// The V4L2 provider's view of the machine: the system-call table it talks to devices through
// and the root folder below which it reads device nodes, sysfs and udev links.
#ifndef KV_PLATFORM_V4L2SYSTEM_H
#define KV_PLATFORM_V4L2SYSTEM_H

#include "v4l2backend.h"

#include <memory>
#include <string>

namespace kvplat {

class V4l2System
{
public:
    // The backend and root the environment names now (KV_V4L2_BACKEND, KV_V4L2_ROOT); null when
    // the backend library cannot be loaded (logged once per value).
    static std::shared_ptr<const V4l2System> current();

    V4l2System(const KvV4l2Backend *calls, std::string root);

    const KvV4l2Backend &calls() const { return *m_calls; }
    // A path of the host below the root: "/dev/video0" becomes "<root>/dev/video0".
    std::string path(const std::string &hostPath) const { return m_root + hostPath; }

    // ioctl that retries when interrupted by a signal.
    int ioctl(int fd, unsigned long request, void *arg) const;

private:
    const KvV4l2Backend *m_calls;
    std::string m_root; // without a trailing slash; empty for "/"
};

// Text of an errno value, for messages.
std::string errnoText(int error);

} // namespace kvplat

#endif // KV_PLATFORM_V4L2SYSTEM_H
