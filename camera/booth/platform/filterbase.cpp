#include "filterbase.h"
#include "mediatypes.h"

#include <cstring>
#include <cwchar>

namespace kvplat {

namespace {

bool faultAnswers(kvfault::Op op, const DeviceIdent *device, HRESULT *result)
{
    FaultQuery query{op};
    query.device = device;
    return injectedResult(query, result);
}

void copyName(WCHAR *target, size_t capacity, const std::wstring &name)
{
    const size_t n = name.size() < capacity - 1 ? name.size() : capacity - 1;
    std::wmemcpy(target, name.data(), n);
    target[n] = 0;
}

} // namespace

// ---- PinBase
// -------------------------------------------------------------------------------------

PinBase::PinBase(FilterBase *filter, const wchar_t *name, PIN_DIRECTION direction,
                 const GUID &category)
    : m_filter(filter), m_name(name), m_direction(direction), m_category(category)
{
}

PinBase::~PinBase()
{
    if (m_connected)
        m_connected->Release();
    FreeMediaType(m_mediaType);
}

HRESULT PinBase::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (const HRESULT injected = injectedQueryFailure(riid, faultDevice()); FAILED(injected))
        return injected;
    void *found = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPin)
        found = static_cast<IPin *>(this);
    else
        found = findExtraInterface(riid);
    if (!found)
        return E_NOINTERFACE;
    m_filter->AddRef();
    *object = found;
    return S_OK;
}

ULONG PinBase::AddRef()
{
    return m_filter->AddRef();
}

ULONG PinBase::Release()
{
    return m_filter->Release();
}

const DeviceIdent *PinBase::faultDevice() const
{
    return m_filter->device();
}

bool PinBase::isConnected()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected != nullptr;
}

HRESULT PinBase::Connect(IPin *receivePin, const AM_MEDIA_TYPE *mediaType)
{
    if (!receivePin)
        return E_POINTER;
    if (m_direction != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (m_filter->state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (isConnected())
        return VFW_E_ALREADY_CONNECTED;
    PIN_DIRECTION peerDirection = PINDIR_OUTPUT;
    if (FAILED(receivePin->QueryDirection(&peerDirection)) || peerDirection != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    std::vector<AM_MEDIA_TYPE> types = proposedTypes();
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    for (AM_MEDIA_TYPE &type : types) {
        if (result == S_OK || (mediaType && !mediaTypeMatches(*mediaType, type)))
            continue;
        if (FAILED(receivePin->ReceiveConnection(this, &type)))
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (FAILED(CopyMediaType(&m_mediaType, &type))) {
            receivePin->Disconnect();
            result = E_OUTOFMEMORY;
            continue;
        }
        receivePin->AddRef();
        m_connected = receivePin;
        m_connectedPin = dynamic_cast<PinBase *>(receivePin);
        result = S_OK;
    }
    for (AM_MEDIA_TYPE &type : types)
        FreeMediaType(type);
    return result;
}

HRESULT PinBase::ReceiveConnection(IPin *connector, const AM_MEDIA_TYPE *mediaType)
{
    if (!connector || !mediaType)
        return E_POINTER;
    if (m_direction != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    if (m_filter->state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!accepts(*mediaType))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (FAILED(CopyMediaType(&m_mediaType, mediaType)))
        return E_OUTOFMEMORY;
    connector->AddRef();
    m_connected = connector;
    m_connectedPin = dynamic_cast<PinBase *>(connector);
    return S_OK;
}

void PinBase::disconnectLocked()
{
    m_connected->Release();
    m_connected = nullptr;
    m_connectedPin = nullptr;
    FreeMediaType(m_mediaType);
    std::memset(&m_mediaType, 0, sizeof m_mediaType);
}

HRESULT PinBase::Disconnect()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_connected)
        return S_FALSE;
    if (m_filter->state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    disconnectLocked();
    return S_OK;
}

void PinBase::forceDisconnect()
{
    IPin *peer = nullptr;
    PinBase *peerPin = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_connected)
            return;
        peer = m_connected;
        peerPin = m_connectedPin;
        peer->AddRef();
        disconnectLocked();
    }
    if (peerPin)
        peerPin->forceDisconnect();
    else
        peer->Disconnect();
    peer->Release();
}

HRESULT PinBase::ConnectedTo(IPin **pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    HRESULT injected = S_OK;
    if (faultAnswers(kvfault::Op::ConnectedTo, faultDevice(), &injected) && FAILED(injected))
        return injected;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    m_connected->AddRef();
    *pin = m_connected;
    return S_OK;
}

HRESULT PinBase::ConnectionMediaType(AM_MEDIA_TYPE *mediaType)
{
    if (!mediaType)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_connected) {
        std::memset(mediaType, 0, sizeof *mediaType);
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(mediaType, &m_mediaType);
}

HRESULT PinBase::QueryPinInfo(PIN_INFO *info)
{
    if (!info)
        return E_POINTER;
    HRESULT injected = S_OK;
    if (faultAnswers(kvfault::Op::QueryPinInfo, faultDevice(), &injected) && FAILED(injected)) {
        info->pFilter = nullptr;
        return injected;
    }
    m_filter->AddRef();
    info->pFilter = m_filter;
    info->dir = m_direction;
    copyName(info->achName, MAX_PIN_NAME, m_name);
    return S_OK;
}

HRESULT PinBase::QueryDirection(PIN_DIRECTION *direction)
{
    if (!direction)
        return E_POINTER;
    *direction = m_direction;
    return S_OK;
}

HRESULT PinBase::QueryId(LPWSTR *id)
{
    if (!id)
        return E_POINTER;
    auto *text = static_cast<LPWSTR>(CoTaskMemAlloc((m_name.size() + 1) * sizeof(WCHAR)));
    if (!text)
        return E_OUTOFMEMORY;
    std::wmemcpy(text, m_name.c_str(), m_name.size() + 1);
    *id = text;
    return S_OK;
}

HRESULT PinBase::QueryAccept(const AM_MEDIA_TYPE *mediaType)
{
    if (!mediaType)
        return E_POINTER;
    if (m_direction == PINDIR_INPUT)
        return accepts(*mediaType) ? S_OK : S_FALSE;
    bool offered = false;
    std::vector<AM_MEDIA_TYPE> types = proposedTypes();
    for (AM_MEDIA_TYPE &type : types) {
        offered = offered || mediaTypeMatches(*mediaType, type);
        FreeMediaType(type);
    }
    return offered ? S_OK : S_FALSE;
}

HRESULT PinBase::EnumMediaTypes(IEnumMediaTypes **enumerator)
{
    if (enumerator)
        *enumerator = nullptr;
    return E_NOTIMPL;
}

HRESULT PinBase::QueryInternalConnections(IPin **, ULONG *)
{
    return E_NOTIMPL;
}

void PinBase::deliver(IMediaSample *sample)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connectedPin)
        m_connectedPin->receive(sample);
}

// ---- FilterBase
// ----------------------------------------------------------------------------------

FilterBase::FilterBase(const CLSID &clsid) : m_clsid(clsid) {}

HRESULT FilterBase::QueryInterface(REFIID riid, void **object)
{
    return queryInterface(riid, object);
}

ULONG FilterBase::AddRef()
{
    return addRef();
}

ULONG FilterBase::Release()
{
    return release();
}

void *FilterBase::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter)
        return static_cast<IBaseFilter *>(this);
    return nullptr;
}

HRESULT FilterBase::GetClassID(CLSID *classId)
{
    if (!classId)
        return E_POINTER;
    *classId = m_clsid;
    return S_OK;
}

FILTER_STATE FilterBase::state()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state;
}

HRESULT FilterBase::Stop()
{
    bool wasRunning;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        wasRunning = m_state == State_Running;
        m_state = State_Stopped;
    }
    // Outside the state lock: stopping waits for the streaming thread, which may ask the state.
    if (wasRunning)
        stopStreaming();
    return S_OK;
}

HRESULT FilterBase::Pause()
{
    bool wasRunning;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        wasRunning = m_state == State_Running;
        m_state = State_Paused;
    }
    if (wasRunning)
        stopStreaming();
    return S_OK;
}

HRESULT FilterBase::Run(REFERENCE_TIME)
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_state == State_Running)
            return S_OK;
    }
    const HRESULT hr = startStreaming();
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_state = State_Running;
    return S_OK;
}

HRESULT FilterBase::GetState(DWORD, FILTER_STATE *state)
{
    if (!state)
        return E_POINTER;
    *state = this->state();
    // A live source produces nothing while paused.
    return isSource() && *state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

HRESULT FilterBase::GetSyncSource(IReferenceClock **clock)
{
    if (!clock)
        return E_POINTER;
    *clock = nullptr;
    return S_OK;
}

HRESULT FilterBase::EnumPins(IEnumPins **enumerator)
{
    if (!enumerator)
        return E_POINTER;
    *enumerator = nullptr;
    HRESULT injected = S_OK;
    if (faultAnswers(kvfault::Op::EnumPins, device(), &injected) && FAILED(injected))
        return injected;
    std::vector<IPin *> items;
    for (PinBase *pin : pins()) {
        pin->AddRef();
        items.push_back(pin);
    }
    *enumerator = new ComEnumerator<IEnumPins, IPin>(IID_IEnumPins, std::move(items),
                                                     kvfault::Op::EnumPins, false);
    return S_OK;
}

HRESULT FilterBase::FindPin(LPCWSTR id, IPin **pin)
{
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    for (PinBase *candidate : pins()) {
        if (candidate->name() == id) {
            candidate->AddRef();
            *pin = candidate;
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterBase::QueryFilterInfo(FILTER_INFO *info)
{
    if (!info)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_graphMutex);
    copyName(info->achName, MAX_FILTER_NAME, m_graphName);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT FilterBase::JoinFilterGraph(IFilterGraph *graph, LPCWSTR name)
{
    std::lock_guard<std::mutex> lock(m_graphMutex);
    m_graph = graph;
    m_events = graph ? dynamic_cast<IEventSink *>(graph) : nullptr;
    m_graphName = graph && name ? name : L"";
    return S_OK;
}

void FilterBase::notifyDeviceLost()
{
    // While the filter is in a graph the graph holds a reference, so adding one here is safe
    // even when the owner is releasing the filter at this moment on another thread.
    std::lock_guard<std::mutex> lock(m_graphMutex);
    if (!m_events)
        return;
    AddRef();
    m_events->notifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IUnknown *>(this)),
                          0);
}

// ---- MediaSample
// ---------------------------------------------------------------------------------

void *MediaSample::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IMediaSample)
        return static_cast<IMediaSample *>(this);
    return nullptr;
}

void MediaSample::attach(const BYTE *data, long length, REFERENCE_TIME start, REFERENCE_TIME end)
{
    m_own.clear();
    m_data = const_cast<BYTE *>(data);
    m_size = length;
    m_length = length;
    m_start = start;
    m_end = end;
    m_timeValid = true;
}

bool MediaSample::shared()
{
    return refCount() > 1;
}

void MediaSample::detach()
{
    if (m_data && m_data != m_own.data()) {
        m_own.assign(m_data, m_data + m_length);
        m_data = m_own.data();
        m_size = m_length;
    }
}

HRESULT MediaSample::GetPointer(BYTE **buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = m_data;
    return S_OK;
}

HRESULT MediaSample::GetTime(REFERENCE_TIME *start, REFERENCE_TIME *end)
{
    if (!start || !end)
        return E_POINTER;
    if (!m_timeValid)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_start;
    *end = m_end;
    return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME *start, REFERENCE_TIME *end)
{
    m_timeValid = start != nullptr;
    if (start)
        m_start = *start;
    m_end = end ? *end : m_start + 1;
    return S_OK;
}

HRESULT MediaSample::SetActualDataLength(long length)
{
    if (length < 0 || length > m_size)
        return E_INVALIDARG;
    m_length = length;
    return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE **mediaType)
{
    if (!mediaType)
        return E_POINTER;
    *mediaType = nullptr;
    return S_FALSE;
}

PassThroughOutputPin::PassThroughOutputPin(FilterBase *filter, const wchar_t *name, PinBase *input,
                                           const GUID &category)
    : PinBase(filter, name, PINDIR_OUTPUT, category), m_input(input)
{
}

std::vector<AM_MEDIA_TYPE> PassThroughOutputPin::proposedTypes()
{
    std::vector<AM_MEDIA_TYPE> types;
    AM_MEDIA_TYPE type;
    if (SUCCEEDED(m_input->ConnectionMediaType(&type)))
        types.push_back(type);
    return types;
}

GUID PassThroughOutputPin::majorType()
{
    AM_MEDIA_TYPE type;
    if (FAILED(m_input->ConnectionMediaType(&type)))
        return GUID_NULL;
    const GUID major = type.majortype;
    FreeMediaType(type);
    return major;
}

} // namespace kvplat
