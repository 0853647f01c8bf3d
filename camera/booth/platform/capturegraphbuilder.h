// The capture graph builder: finds a capture filter's pins and interfaces and connects its
// stream through an intermediate filter to a sink, splitting the capture pin with a smart tee
// when a preview is asked of a camera without a preview pin.
#ifndef KV_PLATFORM_CAPTUREGRAPHBUILDER_H
#define KV_PLATFORM_CAPTUREGRAPHBUILDER_H

#include "comobject.h"
#include "dshow.h"

#include <mutex>

namespace kvplat {

class FilterBase;
class FilterGraph;
class PinBase;

class CaptureGraphBuilder : public ICaptureGraphBuilder2, protected ComRefCount
{
public:
    CaptureGraphBuilder() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder *graph) override;
    HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder **graph) override;
    HRESULT STDMETHODCALLTYPE FindInterface(const GUID *category, const GUID *type,
                                            IBaseFilter *filter, REFIID riid,
                                            void **object) override;
    HRESULT STDMETHODCALLTYPE RenderStream(const GUID *category, const GUID *type, IUnknown *source,
                                           IBaseFilter *intermediate, IBaseFilter *sink) override;
    HRESULT STDMETHODCALLTYPE FindPin(IUnknown *source, PIN_DIRECTION direction,
                                      const GUID *category, const GUID *type, BOOL unconnected,
                                      int index, IPin **pin) override;

protected:
    ~CaptureGraphBuilder() override;
    void *findInterface(REFIID riid) override;

private:
    // The graph, created when none was given; a reference for the caller.
    IGraphBuilder *graph();

    std::mutex m_mutex;
    IGraphBuilder *m_graph = nullptr;
};

} // namespace kvplat

#endif // KV_PLATFORM_CAPTUREGRAPHBUILDER_H
