// A capture graph built by hand the way the capture engine builds it, and a recording sample
// callback, for the platform tests.
#ifndef KV_TESTS_PLATFORM_TESTGRAPH_H
#define KV_TESTS_PLATFORM_TESTGRAPH_H

#include "dshow.h"
#include "faultinjection.h"
#include "qedit.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

template <class T> void releaseAndClear(T *&p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

class RecordingCallback : public ISampleGrabberCB
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
            *object = static_cast<ISampleGrabberCB *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample *sample) override
    {
        BYTE *data = nullptr;
        sample->GetPointer(&data);
        const long length = sample->GetActualDataLength();
        REFERENCE_TIME start = 0, end = 0;
        sample->GetTime(&start, &end);
        {
            std::lock_guard<std::mutex> lock(mutex);
            last.assign(data, data + length);
            lastStart = start;
            lastEnd = end;
            if (keep && !kept) {
                sample->AddRef();
                kept = sample;
            }
        }
        ++samples;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }

    std::atomic<ULONG> refs{1};
    std::atomic<int> samples{0};
    std::mutex mutex;
    std::vector<BYTE> last;
    REFERENCE_TIME lastStart = 0;
    REFERENCE_TIME lastEnd = 0;
    bool keep = false;
    IMediaSample *kept = nullptr;

    std::vector<BYTE> lastSample(REFERENCE_TIME *start = nullptr)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (start)
            *start = lastStart;
        return last;
    }

private:
    virtual ~RecordingCallback() { releaseAndClear(kept); }
};

// Finds a device's moniker by friendly name.
inline IMoniker *findDevice(const std::wstring &name)
{
    ICreateDevEnum *devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void **>(&devices))))
        return nullptr;
    IEnumMoniker *monikers = nullptr;
    IMoniker *found = nullptr;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
        IMoniker *moniker = nullptr;
        while (!found && monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag *bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void **>(&bag)))) {
                VARIANT v;
                VariantInit(&v);
                v.vt = VT_BSTR;
                if (bag->Read(L"FriendlyName", &v, nullptr) == S_OK && name == v.bstrVal) {
                    moniker->AddRef();
                    found = moniker;
                }
                VariantClear(&v);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    }
    devices->Release();
    return found;
}

// camera -> (smart tee) -> sample grabber -> null renderer, as the capture engine connects it.
struct TestGraph
{
    IGraphBuilder *graph = nullptr;
    ICaptureGraphBuilder2 *builder = nullptr;
    IBaseFilter *camera = nullptr;
    IAMStreamConfig *config = nullptr;
    ISampleGrabber *grabber = nullptr;
    IBaseFilter *grabberFilter = nullptr;
    IBaseFilter *renderer = nullptr;
    IMediaControl *control = nullptr;
    IMediaEventEx *events = nullptr;
    RecordingCallback *callback = new RecordingCallback;
    HRESULT renderResult = E_FAIL;
    GUID acceptedSubtype = GUID_NULL; // what the grabber is told to take
    QString failure;

    // Builds the graph for the device and its capability `format` (-1: keep the default).
    bool build(const std::wstring &device, int format = -1)
    {
        auto fail = [this](const char *step, HRESULT hr) {
            failure = QString("%1 failed: %2").arg(step).arg(ulong(uint32_t(hr)), 0, 16);
            return false;
        };
        HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                      IID_IGraphBuilder, reinterpret_cast<void **>(&graph));
        if (FAILED(hr))
            return fail("FilterGraph", hr);
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL,
                              IID_ICaptureGraphBuilder2, reinterpret_cast<void **>(&builder));
        if (FAILED(hr))
            return fail("CaptureGraphBuilder2", hr);
        if ((hr = builder->SetFiltergraph(graph)) != S_OK)
            return fail("SetFiltergraph", hr);
        IMoniker *moniker = findDevice(device);
        if (!moniker)
            return fail("findDevice", E_FAIL);
        hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                   reinterpret_cast<void **>(&camera));
        moniker->Release();
        if (FAILED(hr))
            return fail("BindToObject", hr);
        if ((hr = graph->AddFilter(camera, L"camera")) != S_OK)
            return fail("AddFilter camera", hr);
        hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, camera,
                                    IID_IAMStreamConfig, reinterpret_cast<void **>(&config));
        if (hr != S_OK)
            hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera,
                                        IID_IAMStreamConfig, reinterpret_cast<void **>(&config));
        if (hr != S_OK)
            return fail("FindInterface", hr);
        if (format >= 0) {
            AM_MEDIA_TYPE *type = nullptr;
            VIDEO_STREAM_CONFIG_CAPS caps;
            if ((hr = config->GetStreamCaps(format, &type, reinterpret_cast<BYTE *>(&caps))) !=
                S_OK)
                return fail("GetStreamCaps", hr);
            hr = config->SetFormat(type);
            DeleteMediaType(type);
            if (hr != S_OK)
                return fail("SetFormat", hr);
        }
        hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_ISampleGrabber,
                              reinterpret_cast<void **>(&grabber));
        if (FAILED(hr))
            return fail("SampleGrabber", hr);
        hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                              reinterpret_cast<void **>(&renderer));
        if (FAILED(hr))
            return fail("NullRenderer", hr);
        AM_MEDIA_TYPE accepted = {};
        accepted.majortype = MEDIATYPE_Video;
        accepted.subtype = acceptedSubtype;
        grabber->SetMediaType(&accepted);
        grabber->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&grabberFilter));
        grabber->SetCallback(callback, 0);
        graph->AddFilter(grabberFilter, L"grabber");
        graph->AddFilter(renderer, L"render");
        renderResult = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, camera,
                                             grabberFilter, renderer);
        if (FAILED(renderResult))
            renderResult = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, camera,
                                                 grabberFilter, renderer);
        if (FAILED(renderResult))
            return fail("RenderStream", renderResult);
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control));
        graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void **>(&events));
        return control && events;
    }

    ~TestGraph()
    {
        if (control)
            control->Stop();
        releaseAndClear(events);
        releaseAndClear(control);
        releaseAndClear(config);
        releaseAndClear(grabber);
        releaseAndClear(grabberFilter);
        releaseAndClear(renderer);
        releaseAndClear(camera);
        releaseAndClear(builder);
        releaseAndClear(graph);
        callback->Release();
    }
};

#endif // KV_TESTS_PLATFORM_TESTGRAPH_H
