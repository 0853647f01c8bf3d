// The filter graph manager: holds the filters, runs and stops them, and queues their events.
#ifndef KV_PLATFORM_FILTERGRAPH_H
#define KV_PLATFORM_FILTERGRAPH_H

#include "comobject.h"
#include "dshow.h"
#include "filterbase.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace kvplat {

class FilterGraph : public IGraphBuilder,
                    public IMediaControl,
                    public IMediaEventEx,
                    public IEventSink,
                    protected ComRefCount
{
public:
    FilterGraph();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    // IFilterGraph
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter *filter, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter *filter) override;
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters **enumerator) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR name, IBaseFilter **filter) override;
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin *out, IPin *in,
                                            const AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin *pin) override;
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return S_OK; }
    // IGraphBuilder: no intelligent connect, only direct connections.
    HRESULT STDMETHODCALLTYPE Connect(IPin *out, IPin *in) override;
    HRESULT STDMETHODCALLTYPE Render(IPin *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter **filter) override;
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Abort() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return S_OK; }

    // IMediaControl
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState *state) override;
    HRESULT STDMETHODCALLTYPE StopWhenReady() override { return Stop(); }

    // IMediaEventEx
    HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT *event) override;
    HRESULT STDMETHODCALLTYPE GetEvent(long *eventCode, LONG_PTR *param1, LONG_PTR *param2,
                                       long msTimeout) override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion(long msTimeout, long *eventCode) override;
    HRESULT STDMETHODCALLTYPE CancelDefaultHandling(long) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(long) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreeEventParams(long eventCode, LONG_PTR param1,
                                              LONG_PTR param2) override;
    HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND, long, LONG_PTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetNotifyFlags(long noNotifyFlags) override;
    HRESULT STDMETHODCALLTYPE GetNotifyFlags(long *noNotifyFlags) override;

    void notifyEvent(long code, LONG_PTR param1, LONG_PTR param2) override;

    bool contains(IBaseFilter *filter);
    // For the capture graph builder's own filters: no fault hooks, so injected faults count
    // only the callers' calls.
    HRESULT addFilterUnchecked(IBaseFilter *filter, LPCWSTR name);
    HRESULT removeFilterUnchecked(IBaseFilter *filter);

protected:
    ~FilterGraph() override;
    void *findInterface(REFIID riid) override;

private:
    struct Entry
    {
        IBaseFilter *filter;
        std::wstring name;
    };
    struct Event
    {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    bool containsLocked(IBaseFilter *filter) const;
    bool nameTakenLocked(const std::wstring &name) const;
    // Sources last when starting, first when stopping.
    std::vector<IBaseFilter *> runOrderLocked() const;
    void stopAllLocked();
    static void disconnectFilter(IBaseFilter *filter);

    std::mutex m_mutex; // filters and state changes
    std::vector<Entry> m_filters;
    std::atomic<OAFilterState> m_state{State_Stopped};

    std::mutex m_eventMutex;
    std::condition_variable m_eventQueued;
    std::deque<Event> m_events;
    HANDLE m_eventHandle;
    long m_notifyFlags = 0;
    bool m_completed = false;
};

} // namespace kvplat

#endif // KV_PLATFORM_FILTERGRAPH_H
