// The virtual camera provider: devices described by KV_VIRTUAL_CAMERAS.
#ifndef KV_PLATFORM_VIRTUALCAMERAS_H
#define KV_PLATFORM_VIRTUALCAMERAS_H

#include "deviceprovider.h"

#include <string>

namespace kvplat {

class VirtualCameraProvider : public IDeviceProvider
{
public:
    // Reads KV_VIRTUAL_CAMERAS now; a malformed value gives no devices (and one log line).
    std::vector<std::shared_ptr<IDevice>> enumerate() override;
};

int unplugVirtualCameras(const std::wstring &nameOrPath);
void replugVirtualCameras(const std::wstring &nameOrPath);
void replugAllVirtualCameras();
int activeVirtualStreams(const std::wstring &nameOrPath);

} // namespace kvplat

#endif // KV_PLATFORM_VIRTUALCAMERAS_H
