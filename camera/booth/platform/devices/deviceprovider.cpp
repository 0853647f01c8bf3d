#include "deviceprovider.h"
#include "v4l2provider.h"
#include "virtualcameras.h"

namespace kvplat {

std::vector<std::shared_ptr<IDevice>> enumerateVideoDevices()
{
    // Real cameras first, then the virtual cameras of KV_VIRTUAL_CAMERAS.
    static V4l2Provider *v4l2Cameras = new V4l2Provider;
    static VirtualCameraProvider *virtualCameras = new VirtualCameraProvider;
    IDeviceProvider *providers[] = {v4l2Cameras, virtualCameras};
    std::vector<std::shared_ptr<IDevice>> devices;
    for (IDeviceProvider *provider : providers) {
        for (auto &device : provider->enumerate())
            devices.push_back(std::move(device));
    }
    return devices;
}

} // namespace kvplat
