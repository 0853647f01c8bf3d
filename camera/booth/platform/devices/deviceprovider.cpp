#include "deviceprovider.h"
#include "virtualcameras.h"

namespace kvplat {

std::vector<std::shared_ptr<IDevice>> enumerateVideoDevices()
{
    // Providers in order; real cameras (V4L2) will join here.
    static VirtualCameraProvider *virtualCameras = new VirtualCameraProvider;
    IDeviceProvider *providers[] = {virtualCameras};
    std::vector<std::shared_ptr<IDevice>> devices;
    for (IDeviceProvider *provider : providers) {
        for (auto &device : provider->enumerate())
            devices.push_back(std::move(device));
    }
    return devices;
}

} // namespace kvplat
