#include "capturegraphbuilder.h"
#include "filterbase.h"
#include "filtergraph.h"
#include "smarttee.h"

#include <vector>

namespace kvplat {

namespace {

PinBase *findPinOf(FilterBase *filter, PIN_DIRECTION direction, const GUID *category,
                   const GUID *type, bool unconnected, int index = 0)
{
    if (!filter)
        return nullptr;
    for (PinBase *pin : filter->pins()) {
        if (pin->direction() != direction)
            continue;
        if (category && pin->category() != *category)
            continue;
        if (type && pin->majorType() != *type)
            continue;
        if (unconnected && pin->isConnected())
            continue;
        if (index-- == 0)
            return pin;
    }
    return nullptr;
}

FilterBase *filterOf(IUnknown *object)
{
    return dynamic_cast<FilterBase *>(object);
}

const DeviceIdent *deviceOf(IBaseFilter *filter)
{
    FilterBase *ours = dynamic_cast<FilterBase *>(filter);
    return ours ? ours->device() : nullptr;
}

bool inGraph(IGraphBuilder *graph, IBaseFilter *filter)
{
    if (auto *ours = dynamic_cast<FilterGraph *>(graph))
        return ours->contains(filter);
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info)))
        return false;
    const bool found =
        info.pGraph && static_cast<IUnknown *>(info.pGraph) ==
                           static_cast<IUnknown *>(static_cast<IFilterGraph *>(graph));
    if (info.pGraph)
        info.pGraph->Release();
    return found;
}

} // namespace

CaptureGraphBuilder::~CaptureGraphBuilder()
{
    if (m_graph)
        m_graph->Release();
}

void *CaptureGraphBuilder::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_ICaptureGraphBuilder2)
        return static_cast<ICaptureGraphBuilder2 *>(this);
    return nullptr;
}

IGraphBuilder *CaptureGraphBuilder::graph()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_graph)
        m_graph = new FilterGraph;
    m_graph->AddRef();
    return m_graph;
}

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder *graph)
{
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::SetFiltergraph, &injected) && FAILED(injected))
        return injected;
    if (!graph)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_graph)
        return E_UNEXPECTED;
    graph->AddRef();
    m_graph = graph;
    return injected;
}

HRESULT CaptureGraphBuilder::GetFiltergraph(IGraphBuilder **graph)
{
    if (!graph)
        return E_POINTER;
    *graph = this->graph();
    return S_OK;
}

HRESULT CaptureGraphBuilder::FindInterface(const GUID *category, const GUID *type,
                                           IBaseFilter *filter, REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    FaultQuery query{kvfault::Op::FindInterface};
    query.id = &riid;
    query.type = type;
    query.device = filter ? deviceOf(filter) : nullptr;
    HRESULT injected = S_OK;
    const bool answered = injectedResult(query, &injected);
    if (answered && FAILED(injected))
        return injected;
    if (!filter)
        return E_POINTER;
    const HRESULT found = answered ? injected : S_OK;
    // The search's own QueryInterface calls are not the caller's: FindInterface faults cover it.
    FaultSuppression internal;
    if (!category) {
        if (SUCCEEDED(filter->QueryInterface(riid, object)))
            return found;
        if (FilterBase *ours = filterOf(filter)) {
            for (PinBase *pin : ours->pins()) {
                if (SUCCEEDED(pin->QueryInterface(riid, object)))
                    return found;
            }
        }
        return E_NOINTERFACE;
    }
    // An injected success answers for a pin of another media type too.
    PinBase *pin =
        findPinOf(filterOf(filter), PINDIR_OUTPUT, category, answered ? nullptr : type, false);
    if (!pin)
        return E_FAIL;
    if (SUCCEEDED(pin->QueryInterface(riid, object)))
        return found;
    if (SUCCEEDED(filter->QueryInterface(riid, object)))
        return found;
    return E_NOINTERFACE;
}

HRESULT CaptureGraphBuilder::RenderStream(const GUID *category, const GUID *type, IUnknown *source,
                                          IBaseFilter *intermediate, IBaseFilter *sink)
{
    FaultQuery query{kvfault::Op::RenderStream};
    query.id = category;
    query.type = type;
    HRESULT injected = S_OK;
    const bool answered = injectedResult(query, &injected);
    if (answered && FAILED(injected))
        return injected;
    if (!source)
        return E_POINTER;
    if (!intermediate && !sink)
        return E_NOTIMPL; // no default renderers here
    const GUID *pinType = answered ? nullptr : type;

    IGraphBuilder *graph = this->graph();
    auto *ourGraph = dynamic_cast<FilterGraph *>(graph);
    HRESULT result = S_OK;
    PinBase *out = dynamic_cast<PinBase *>(source);
    FilterBase *sourceFilter = out ? out->filter() : filterOf(source);
    PinBase *capture = nullptr;
    if (out) {
        if (out->direction() != PINDIR_OUTPUT || out->isConnected())
            out = nullptr;
    } else if (sourceFilter) {
        out = findPinOf(sourceFilter, PINDIR_OUTPUT, category, pinType, true);
        if (!out && category && *category == PIN_CATEGORY_PREVIEW)
            capture = findPinOf(sourceFilter, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, pinType, true);
    }
    if (!out && !capture) {
        graph->Release();
        return E_FAIL;
    }
    for (IBaseFilter *f : {static_cast<IBaseFilter *>(sourceFilter), intermediate, sink}) {
        if (f && !inGraph(graph, f)) {
            graph->Release();
            return VFW_E_NOT_IN_GRAPH;
        }
    }

    std::vector<PinBase *> made; // output pins connected by this call, for a rollback
    SmartTee *tee = nullptr;
    auto rollback = [&](HRESULT hr) {
        for (PinBase *pin : made)
            pin->forceDisconnect();
        if (tee) {
            if (ourGraph)
                ourGraph->removeFilterUnchecked(tee);
            else
                graph->RemoveFilter(tee);
            tee->Release();
        }
        graph->Release();
        return hr;
    };
    auto connect = [&](PinBase *from, IBaseFilter *to) {
        PinBase *in = findPinOf(filterOf(to), PINDIR_INPUT, nullptr, nullptr, true);
        if (!from || !in)
            return VFW_E_CANNOT_CONNECT;
        const HRESULT hr = graph->ConnectDirect(from, in, nullptr);
        if (SUCCEEDED(hr))
            made.push_back(from);
        return hr;
    };

    if (capture) {
        // No preview pin: split the capture pin, as the SDK's builder does.
        tee = new SmartTee;
        const HRESULT added = ourGraph ? ourGraph->addFilterUnchecked(tee, L"Smart Tee")
                                       : graph->AddFilter(tee, L"Smart Tee");
        if (FAILED(added)) {
            tee->Release();
            tee = nullptr;
            return rollback(added);
        }
        const HRESULT hr = connect(capture, tee);
        if (FAILED(hr))
            return rollback(hr);
        out = findPinOf(tee, PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, true);
        result = VFW_S_NOPREVIEWPIN;
    }
    if (intermediate) {
        HRESULT hr = connect(out, intermediate);
        if (FAILED(hr))
            return rollback(hr);
        if (sink) {
            hr = connect(findPinOf(filterOf(intermediate), PINDIR_OUTPUT, nullptr, nullptr, true),
                         sink);
            if (FAILED(hr))
                return rollback(hr);
        }
    } else {
        const HRESULT hr = connect(out, sink);
        if (FAILED(hr))
            return rollback(hr);
    }
    if (tee)
        tee->Release(); // the graph holds it now
    graph->Release();
    return answered ? injected : result;
}

HRESULT CaptureGraphBuilder::FindPin(IUnknown *source, PIN_DIRECTION direction,
                                     const GUID *category, const GUID *type, BOOL unconnected,
                                     int index, IPin **pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    PinBase *found =
        findPinOf(filterOf(source), direction, category, type, unconnected != FALSE, index);
    if (!found)
        return E_FAIL;
    found->AddRef();
    *pin = found;
    return S_OK;
}

} // namespace kvplat
