#include "classfactory.h"

namespace kvplat {

IUnknown *createPlatformObject(REFCLSID)
{
    return nullptr;
}

} // namespace kvplat
