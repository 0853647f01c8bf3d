#include "deviceprovider.h"
#include "pipewiredevice.h"
#include "pipewireprovider.h"
#include "v4l2device.h"
#include "v4l2provider.h"
#include "virtualcameras.h"

#include <set>

namespace kvplat {

std::vector<std::shared_ptr<IDevice>> enumerateVideoDevices()
{
    // V4L2 cameras first, then the cameras only PipeWire offers, then the virtual cameras of
    // KV_VIRTUAL_CAMERAS. A camera both offer is shown once: as V4L2's when its node opens,
    // else as PipeWire's (a sandbox, or a node the user may not open).
    static V4l2Provider *v4l2Cameras = new V4l2Provider;
    static VirtualCameraProvider *virtualCameras = new VirtualCameraProvider;
    std::vector<std::shared_ptr<IDevice>> v4l2 = v4l2Cameras->enumerate();
    std::set<std::string> opened;
    for (const auto &device : v4l2) {
        auto *camera = dynamic_cast<V4l2Device *>(device.get());
        if (camera && camera->accessible())
            opened.insert(camera->node());
    }
    std::vector<std::shared_ptr<IDevice>> pipewire = pipeWireProvider().enumerate(opened);
    std::set<std::string> viaPipeWire;
    for (const auto &device : pipewire) {
        if (auto *camera = dynamic_cast<PipeWireDevice *>(device.get()))
            viaPipeWire.insert(camera->v4l2Device());
    }

    std::vector<std::shared_ptr<IDevice>> devices;
    for (auto &device : v4l2) {
        auto *camera = dynamic_cast<V4l2Device *>(device.get());
        if (camera && !camera->accessible() && viaPipeWire.count(camera->node()))
            continue;
        devices.push_back(std::move(device));
    }
    for (auto &device : pipewire)
        devices.push_back(std::move(device));
    for (auto &device : virtualCameras->enumerate())
        devices.push_back(std::move(device));
    return devices;
}

} // namespace kvplat
