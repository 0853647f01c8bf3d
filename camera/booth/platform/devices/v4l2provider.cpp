#include "v4l2provider.h"

#include "v4l2controls.h"
#include "v4l2device.h"
#include "v4l2formats.h"
#include "v4l2nodes.h"
#include "v4l2system.h"

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace kvplat {

std::vector<std::shared_ptr<IDevice>> V4l2Provider::enumerate()
{
    std::vector<std::shared_ptr<IDevice>> devices;
    std::shared_ptr<const V4l2System> system = V4l2System::current();
    if (!system)
        return devices;
    const KvV4l2Backend &calls = system->calls();
    for (const V4l2Node &node : findV4l2Nodes(*system)) {
        const int fd = calls.open(system->path(node.device).c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            // A camera the user may not open is still shown (once: its first node), so that
            // starting it can say why it fails.
            const int error = errno;
            if ((error == EACCES || error == EPERM) && node.index == 0) {
                DeviceIdent ident;
                ident.name = QString::fromStdString(node.name).toStdWString();
                ident.path = QString::fromStdString(devicePathOf(node, nullptr)).toStdWString();
                ident.hasPath = true;
                devices.push_back(std::make_shared<V4l2Device>(system, node.device, ident, error));
            }
            continue;
        }
        v4l2_capability caps;
        std::memset(&caps, 0, sizeof caps);
        if (system->ioctl(fd, VIDIOC_QUERYCAP, &caps) != 0 || !isCameraNode(caps)) {
            calls.close(fd);
            continue;
        }
        std::vector<V4l2Mode> modes = readV4l2Modes(*system, fd);
        std::map<long, ProcAmpRange> ranges = readProcAmpRanges(*system, fd);
        calls.close(fd);
        if (modes.empty())
            continue;
        DeviceIdent ident;
        ident.name = QString::fromStdString(cardName(caps)).toStdWString();
        ident.path = QString::fromStdString(devicePathOf(node, &caps)).toStdWString();
        ident.hasPath = true;
        devices.push_back(std::make_shared<V4l2Device>(system, node.device, ident, std::move(modes),
                                                       std::move(ranges)));
    }
    return devices;
}

} // namespace kvplat
