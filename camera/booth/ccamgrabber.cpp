#include "ccamgrabber.h"

#include "ccamcb.h"

#include <qedit.h>

CCamGrabber *CCamGrabber::instance()
{
    // Lives until the process ends; it holds no filter between builds.
    static CCamGrabber *const single = new CCamGrabber;
    return single;
}

CCamGrabber::~CCamGrabber()
{
    if (grabberFilter)
        grabberFilter->Release();
    if (renderFilter)
        renderFilter->Release();
}

int CCamGrabber::init(IKvYUVDataCallBack *cb)
{
    if (initialised)
        return grabberFilter ? 0 : E_FAIL;
    initialised = true;

    ISampleGrabber *grabber = nullptr;
    IBaseFilter *renderer = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_ISampleGrabber,
                                  reinterpret_cast<void **>(&grabber));
    if (SUCCEEDED(hr) && grabber)
        hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                              reinterpret_cast<void **>(&renderer));
    if (FAILED(hr) || !grabber || !renderer) {
        // Nothing half-made is kept: the build sees no filters at all.
        if (grabber)
            grabber->Release();
        if (renderer)
            renderer->Release();
        return E_NOTIMPL;
    }

    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = GUID_NULL;
    mt.formattype = GUID_NULL;
    grabber->SetMediaType(&mt);

    IBaseFilter *filter = nullptr;
    grabber->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter));
    grabberFilter = filter;
    renderFilter = renderer;

    // The grabber keeps the only lasting reference to the callback object.
    CCamCB *callback = new CCamCB(cb);
    callback->AddRef();
    grabber->SetCallback(callback, 0);
    callback->Release();

    grabber->Release();
    return grabberFilter ? 0 : E_FAIL;
}

int CCamGrabber::getGrabberFilter(IBaseFilter **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!initialised || !grabberFilter)
        return E_FAIL;
    grabberFilter->AddRef();
    *out = grabberFilter;
    return 0;
}

int CCamGrabber::getRenderFilter(IBaseFilter **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!initialised || !renderFilter)
        return E_FAIL;
    renderFilter->AddRef();
    *out = renderFilter;
    return 0;
}

void CCamGrabber::reset()
{
    if (!initialised)
        return;
    if (grabberFilter)
        grabberFilter->Release();
    if (renderFilter)
        renderFilter->Release();
    grabberFilter = nullptr;
    renderFilter = nullptr;
    initialised = false;
}
