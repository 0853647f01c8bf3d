// Common ground of the platform's filters: the filter and pin base classes, the media sample
// and the graph's event sink.
#ifndef KV_PLATFORM_FILTERBASE_H
#define KV_PLATFORM_FILTERBASE_H

#include "comobject.h"
#include "dshow.h"

#include <mutex>
#include <string>
#include <vector>

namespace kvplat {

// The graph side that filters report events to (EC_DEVICE_LOST ...).
class IEventSink
{
public:
    // Takes over the parameters (an IUnknown in param1 of EC_DEVICE_LOST).
    virtual void notifyEvent(long code, LONG_PTR param1, LONG_PTR param2) = 0;

protected:
    ~IEventSink() = default;
};

class FilterBase;

// A pin shares its filter's reference count, as in the DirectShow base classes, so a pin keeps
// its filter alive and lives exactly as long as it.
class PinBase : public IPin
{
public:
    PinBase(FilterBase *filter, const wchar_t *name, PIN_DIRECTION direction,
            const GUID &category = GUID_NULL);
    virtual ~PinBase();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Connect(IPin *receivePin, const AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin *connector,
                                                const AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin **pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO *info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION *direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR *id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes **enumerator) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin **pins, ULONG *count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override
    {
        return S_OK;
    }

    const std::wstring &name() const { return m_name; }
    PIN_DIRECTION direction() const { return m_direction; }
    const GUID &category() const { return m_category; }
    bool isConnected();
    // The major type this pin carries (output pins), GUID_NULL when not known yet.
    virtual GUID majorType() { return GUID_NULL; }

    FilterBase *filter() const { return m_filter; }
    // Breaks the connection on both sides whatever the state; for the graph's teardown, after
    // it has stopped the filters.
    void forceDisconnect();

    // Data path, on the streaming thread: an output pin hands a sample to its peer.
    void deliver(IMediaSample *sample);

protected:
    // Output pins: the types offered for a connection, best first (caller frees them).
    virtual std::vector<AM_MEDIA_TYPE> proposedTypes() { return {}; }
    // Input pins: whether a connection of this type is acceptable.
    virtual bool accepts(const AM_MEDIA_TYPE &) { return false; }
    // Input pins: a sample arrives.
    virtual void receive(IMediaSample *) {}
    // Extra interfaces of the pin (IAMStreamConfig ...).
    virtual void *findExtraInterface(REFIID) { return nullptr; }
    const DeviceIdent *faultDevice() const;

    FilterBase *m_filter;

private:
    void disconnectLocked();

    const std::wstring m_name;
    const PIN_DIRECTION m_direction;
    const GUID m_category;
    std::mutex m_mutex; // the connection; held while a sample passes through
    IPin *m_connected = nullptr;
    PinBase *m_connectedPin = nullptr; // the same peer, when it is one of ours
    AM_MEDIA_TYPE m_mediaType{};
};

// An output pin that offers whatever its filter's input pin is connected with
// (grabber and tee pass samples on unchanged), so the input connects first.
class PassThroughOutputPin : public PinBase
{
public:
    PassThroughOutputPin(FilterBase *filter, const wchar_t *name, PinBase *input,
                         const GUID &category = GUID_NULL);
    GUID majorType() override;

protected:
    std::vector<AM_MEDIA_TYPE> proposedTypes() override;

private:
    PinBase *m_input;
};

class FilterBase : public IBaseFilter, protected ComRefCount
{
public:
    explicit FilterBase(const CLSID &clsid);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *classId) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD msTimeout, FILTER_STATE *state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock **clock) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins **enumerator) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin **pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO *info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph *graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR *) override { return E_NOTIMPL; }

    virtual std::vector<PinBase *> pins() = 0;
    // Sources deliver samples on their own; the graph starts them last and stops them first.
    virtual bool isSource() const { return false; }
    FILTER_STATE state();
    virtual const DeviceIdent *device() const { return nullptr; }

protected:
    ~FilterBase() override = default;
    void *findInterface(REFIID riid) override;
    const DeviceIdent *faultDevice() const override { return device(); }
    // Called on Run (from a stopped or paused filter) and when leaving Running.
    virtual HRESULT startStreaming() { return S_OK; }
    virtual void stopStreaming() {}
    // Queues EC_DEVICE_LOST with a reference to this filter in param1, when in a graph.
    void notifyDeviceLost();

private:
    const CLSID m_clsid;
    std::mutex m_stateMutex;
    FILTER_STATE m_state = State_Stopped;
    std::mutex m_graphMutex;
    IFilterGraph *m_graph = nullptr; // not referenced: the graph holds the filter
    IEventSink *m_events = nullptr;
    std::wstring m_graphName;
};

// One sample on its way downstream. It points at the source's bytes while being delivered;
// a sample somebody keeps beyond that gets its own copy of them (see detach).
class MediaSample : public IMediaSample, protected ComRefCount
{
public:
    MediaSample() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE **buffer) override;
    long STDMETHODCALLTYPE GetSize() override { return m_size; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME *start, REFERENCE_TIME *end) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME *start, REFERENCE_TIME *end) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
    long STDMETHODCALLTYPE GetActualDataLength() override { return m_length; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE **mediaType) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG *, LONGLONG *) override
    {
        return VFW_E_MEDIA_TIME_NOT_SET;
    }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG *, LONGLONG *) override { return S_OK; }

    void attach(const BYTE *data, long length, REFERENCE_TIME start, REFERENCE_TIME end);
    // Whether anybody but the source still holds the sample.
    bool shared();
    // Copies the bytes into the sample so that it stays valid after the source moves on.
    void detach();

protected:
    void *findInterface(REFIID riid) override;

private:
    BYTE *m_data = nullptr;
    std::vector<BYTE> m_own;
    long m_size = 0;
    long m_length = 0;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_end = 0;
    bool m_timeValid = false;
};

} // namespace kvplat

#endif // KV_PLATFORM_FILTERBASE_H
