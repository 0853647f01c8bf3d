#include "classfactory.h"
#include "capturegraphbuilder.h"
#include "devenum.h"
#include "filtergraph.h"
#include "nullrenderer.h"
#include "qedit.h"
#include "samplegrabber.h"

namespace kvplat {

IUnknown *createPlatformObject(REFCLSID clsid)
{
    if (clsid == CLSID_SystemDeviceEnum)
        return new SystemDeviceEnum;
    if (clsid == CLSID_FilterGraph)
        return static_cast<IGraphBuilder *>(new FilterGraph);
    if (clsid == CLSID_CaptureGraphBuilder2)
        return new CaptureGraphBuilder;
    if (clsid == CLSID_SampleGrabber)
        return static_cast<IBaseFilter *>(new SampleGrabber);
    if (clsid == CLSID_NullRenderer)
        return new NullRenderer;
    return nullptr;
}

} // namespace kvplat
