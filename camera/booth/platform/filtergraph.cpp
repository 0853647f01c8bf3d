#include "filtergraph.h"

#include <chrono>
#include <cstdio>

namespace kvplat {

namespace {

void freeParams(long code, LONG_PTR param1)
{
    if (code == EC_DEVICE_LOST && param1)
        reinterpret_cast<IUnknown *>(param1)->Release();
}

} // namespace

FilterGraph::FilterGraph() : m_eventHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

FilterGraph::~FilterGraph()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stopAllLocked();
        // Detach first so that no filter reports into a graph that is going away.
        for (Entry &e : m_filters)
            e.filter->JoinFilterGraph(nullptr, nullptr);
        for (Entry &e : m_filters)
            disconnectFilter(e.filter);
        for (Entry &e : m_filters)
            e.filter->Release();
        m_filters.clear();
    }
    for (const Event &e : m_events)
        freeParams(e.code, e.param1);
    m_events.clear();
    CloseHandle(m_eventHandle);
}

void *FilterGraph::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
        return static_cast<IGraphBuilder *>(this);
    if (riid == IID_IMediaControl)
        return static_cast<IMediaControl *>(this);
    if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx)
        return static_cast<IMediaEventEx *>(this);
    return nullptr;
}

bool FilterGraph::containsLocked(IBaseFilter *filter) const
{
    for (const Entry &e : m_filters) {
        if (e.filter == filter)
            return true;
    }
    return false;
}

bool FilterGraph::contains(IBaseFilter *filter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return containsLocked(filter);
}

bool FilterGraph::nameTakenLocked(const std::wstring &name) const
{
    for (const Entry &e : m_filters) {
        if (e.name == name)
            return true;
    }
    return false;
}

void FilterGraph::disconnectFilter(IBaseFilter *filter)
{
    if (auto *ours = dynamic_cast<FilterBase *>(filter)) {
        for (PinBase *pin : ours->pins())
            pin->forceDisconnect();
        return;
    }
    IEnumPins *pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return;
    IPin *pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        IPin *peer = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
            peer->Disconnect();
            peer->Release();
        }
        pin->Disconnect();
        pin->Release();
    }
    pins->Release();
}

HRESULT FilterGraph::AddFilter(IBaseFilter *filter, LPCWSTR name)
{
    FaultQuery query{kvfault::Op::AddFilter};
    query.name = name;
    HRESULT injected = S_OK;
    if (injectedResult(query, &injected) && FAILED(injected))
        return injected;
    const HRESULT hr = addFilterUnchecked(filter, name);
    return FAILED(hr) || injected == S_OK ? hr : injected;
}

HRESULT FilterGraph::addFilterUnchecked(IBaseFilter *filter, LPCWSTR name)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (containsLocked(filter))
        return E_INVALIDARG;
    HRESULT result = S_OK;
    std::wstring unique = name ? name : L"Filter";
    if (nameTakenLocked(unique)) {
        // Like the SDK: the name gets a number, and the caller hears about it.
        if (name)
            result = VFW_S_DUPLICATE_NAME;
        const std::wstring base = unique;
        for (int i = 1; nameTakenLocked(unique); ++i) {
            wchar_t suffix[16];
            std::swprintf(suffix, 16, L" %04d", i);
            unique = base + suffix;
        }
    }
    const HRESULT joined = filter->JoinFilterGraph(this, unique.c_str());
    if (FAILED(joined))
        return joined;
    filter->AddRef();
    m_filters.push_back({filter, unique});
    return result;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter *filter)
{
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::RemoveFilter, &injected) && FAILED(injected))
        return injected;
    const HRESULT hr = removeFilterUnchecked(filter);
    return FAILED(hr) || injected == S_OK ? hr : injected;
}

HRESULT FilterGraph::removeFilterUnchecked(IBaseFilter *filter)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_filters.begin(); it != m_filters.end(); ++it) {
        if (it->filter != filter)
            continue;
        filter->Stop();
        filter->JoinFilterGraph(nullptr, nullptr);
        disconnectFilter(filter);
        m_filters.erase(it);
        filter->Release();
        return S_OK;
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::EnumFilters(IEnumFilters **enumerator)
{
    if (!enumerator)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<IBaseFilter *> items;
    for (const Entry &e : m_filters) {
        e.filter->AddRef();
        items.push_back(e.filter);
    }
    *enumerator = new ComEnumerator<IEnumFilters, IBaseFilter>(IID_IEnumFilters, std::move(items),
                                                               kvfault::Op::EnumPins, false);
    return S_OK;
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter **filter)
{
    if (!name || !filter)
        return E_POINTER;
    *filter = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Entry &e : m_filters) {
        if (e.name == name) {
            e.filter->AddRef();
            *filter = e.filter;
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::ConnectDirect(IPin *out, IPin *in, const AM_MEDIA_TYPE *mediaType)
{
    if (!out || !in)
        return E_POINTER;
    if (m_state.load() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (IPin *pin : {out, in}) {
            auto *ours = dynamic_cast<PinBase *>(pin);
            if (ours && !containsLocked(ours->filter()))
                return VFW_E_NOT_IN_GRAPH;
        }
    }
    return out->Connect(in, mediaType);
}

HRESULT FilterGraph::Disconnect(IPin *pin)
{
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::GraphDisconnect, &injected) && FAILED(injected))
        return injected;
    if (!pin)
        return E_POINTER;
    const HRESULT hr = pin->Disconnect();
    return FAILED(hr) ? hr : (injected != S_OK ? injected : hr);
}

HRESULT FilterGraph::Connect(IPin *out, IPin *in)
{
    return ConnectDirect(out, in, nullptr);
}

HRESULT FilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter **filter)
{
    if (filter)
        *filter = nullptr;
    return E_NOTIMPL;
}

std::vector<IBaseFilter *> FilterGraph::runOrderLocked() const
{
    std::vector<IBaseFilter *> order;
    for (const Entry &e : m_filters) {
        auto *ours = dynamic_cast<FilterBase *>(e.filter);
        if (!ours || !ours->isSource())
            order.push_back(e.filter);
    }
    for (const Entry &e : m_filters) {
        auto *ours = dynamic_cast<FilterBase *>(e.filter);
        if (ours && ours->isSource())
            order.push_back(e.filter);
    }
    return order;
}

void FilterGraph::stopAllLocked()
{
    const std::vector<IBaseFilter *> order = runOrderLocked();
    // Sources first: when they return, no sample is on its way any more.
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        (*it)->Stop();
    m_state = State_Stopped;
}

HRESULT FilterGraph::Run()
{
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::Run, &injected) && FAILED(injected))
        return injected;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state.load() != State_Running) {
        {
            std::lock_guard<std::mutex> events(m_eventMutex);
            m_completed = false;
        }
        for (IBaseFilter *filter : runOrderLocked()) {
            const HRESULT hr = filter->Run(0);
            if (FAILED(hr)) {
                stopAllLocked();
                return hr;
            }
        }
        m_state = State_Running;
    }
    return injected;
}

HRESULT FilterGraph::Pause()
{
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::Pause, &injected) && FAILED(injected))
        return injected;
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::vector<IBaseFilter *> order = runOrderLocked();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        (*it)->Pause();
    m_state = State_Paused;
    return injected;
}

HRESULT FilterGraph::Stop()
{
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::Stop, &injected) && FAILED(injected))
        return injected;
    std::lock_guard<std::mutex> lock(m_mutex);
    stopAllLocked();
    return injected;
}

HRESULT FilterGraph::GetState(LONG, OAFilterState *state)
{
    if (!state)
        return E_POINTER;
    HRESULT injected = S_OK;
    const bool answered = injectedResult(kvfault::Op::GetState, &injected);
    if (answered && FAILED(injected))
        return injected;
    *state = m_state.load();
    if (answered)
        return injected;
    if (*state == State_Paused) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Entry &e : m_filters) {
            auto *ours = dynamic_cast<FilterBase *>(e.filter);
            if (ours && ours->isSource())
                return VFW_S_CANT_CUE;
        }
    }
    return S_OK;
}

HRESULT FilterGraph::GetEventHandle(OAEVENT *event)
{
    if (!event)
        return E_POINTER;
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::GetEventHandle, &injected) && FAILED(injected))
        return injected;
    *event = reinterpret_cast<OAEVENT>(m_eventHandle);
    return injected;
}

HRESULT FilterGraph::GetEvent(long *eventCode, LONG_PTR *param1, LONG_PTR *param2, long msTimeout)
{
    if (!eventCode || !param1 || !param2)
        return E_POINTER;
    *eventCode = 0;
    *param1 = 0;
    *param2 = 0;
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::GetEvent, &injected) && FAILED(injected))
        return injected;
    std::unique_lock<std::mutex> lock(m_eventMutex);
    auto queued = [this] { return !m_events.empty(); };
    if (msTimeout < 0 || msTimeout >= long(INFINITE))
        m_eventQueued.wait(lock, queued);
    else
        m_eventQueued.wait_for(lock, std::chrono::milliseconds(msTimeout), queued);
    if (m_events.empty())
        return E_ABORT;
    const Event e = m_events.front();
    m_events.pop_front();
    if (m_events.empty())
        ResetEvent(m_eventHandle);
    *eventCode = e.code;
    *param1 = e.param1;
    *param2 = e.param2;
    return injected;
}

HRESULT FilterGraph::WaitForCompletion(long msTimeout, long *eventCode)
{
    if (!eventCode)
        return E_POINTER;
    *eventCode = 0;
    if (m_state.load() != State_Running)
        return VFW_E_WRONG_STATE;
    std::unique_lock<std::mutex> lock(m_eventMutex);
    auto completed = [this] { return m_completed; };
    if (msTimeout < 0 || msTimeout >= long(INFINITE))
        m_eventQueued.wait(lock, completed);
    else
        m_eventQueued.wait_for(lock, std::chrono::milliseconds(msTimeout), completed);
    if (!m_completed)
        return E_ABORT;
    *eventCode = EC_COMPLETE;
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR)
{
    freeParams(eventCode, param1);
    return S_OK;
}

HRESULT FilterGraph::SetNotifyFlags(long noNotifyFlags)
{
    if (noNotifyFlags != 0 && noNotifyFlags != AM_MEDIAEVENT_NONOTIFY)
        return E_INVALIDARG;
    std::deque<Event> dropped;
    {
        std::lock_guard<std::mutex> lock(m_eventMutex);
        m_notifyFlags = noNotifyFlags;
        if (noNotifyFlags == AM_MEDIAEVENT_NONOTIFY) {
            dropped.swap(m_events);
            ResetEvent(m_eventHandle);
        }
    }
    for (const Event &e : dropped)
        freeParams(e.code, e.param1);
    return S_OK;
}

HRESULT FilterGraph::GetNotifyFlags(long *noNotifyFlags)
{
    if (!noNotifyFlags)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_eventMutex);
    *noNotifyFlags = m_notifyFlags;
    return S_OK;
}

void FilterGraph::notifyEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    {
        std::lock_guard<std::mutex> lock(m_eventMutex);
        if (code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT)
            m_completed = true;
        if (m_notifyFlags != AM_MEDIAEVENT_NONOTIFY) {
            m_events.push_back({code, param1, param2});
            SetEvent(m_eventHandle);
            m_eventQueued.notify_all();
            return;
        }
        m_eventQueued.notify_all();
    }
    freeParams(code, param1);
}

} // namespace kvplat
