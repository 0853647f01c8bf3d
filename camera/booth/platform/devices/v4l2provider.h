// The V4L2 provider: the cameras of the machine's video4linux nodes.
#ifndef KV_PLATFORM_V4L2PROVIDER_H
#define KV_PLATFORM_V4L2PROVIDER_H

#include "deviceprovider.h"

namespace kvplat {

class V4l2Provider : public IDeviceProvider
{
public:
    // Looks at the nodes now, below KV_V4L2_ROOT through the backend of KV_V4L2_BACKEND.
    std::vector<std::shared_ptr<IDevice>> enumerate() override;
};

} // namespace kvplat

#endif // KV_PLATFORM_V4L2PROVIDER_H
