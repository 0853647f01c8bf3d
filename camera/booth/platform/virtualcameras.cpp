#include "virtualcameras.h"

namespace kvplat {

std::vector<std::shared_ptr<IDevice>> VirtualCameraProvider::enumerate()
{
    return {};
}
int unplugVirtualCameras(const std::wstring &)
{
    return 0;
}
void replugVirtualCameras(const std::wstring &) {}
void replugAllVirtualCameras() {}
int activeVirtualStreams(const std::wstring &)
{
    return 0;
}

} // namespace kvplat
