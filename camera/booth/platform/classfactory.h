// The platform's creatable classes.
#ifndef KV_PLATFORM_CLASSFACTORY_H
#define KV_PLATFORM_CLASSFACTORY_H

#include "windows.h"

namespace kvplat {

// A new object of that class with one reference, or null for an unknown class.
IUnknown *createPlatformObject(REFCLSID clsid);

} // namespace kvplat

#endif // KV_PLATFORM_CLASSFACTORY_H
