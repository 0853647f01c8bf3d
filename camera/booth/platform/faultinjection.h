// Test hooks of the platform layer: injected results, the live-object counter, virtual camera
// control and what the virtual devices were told. Production code never calls this.
//
// Injected results
//   Every operation in Op checks the fault table before it does its work. A fault matches a call
//   when its op is the same and each of its filters that is set (id, type, device, name,
//   procAmpProperty) equals the call's. Of the matching calls the first `skip` pass untouched,
//   the next `times` (-1: all) get `result`:
//   - a failure code is returned at once; the operation does nothing and output pointers are
//     cleared where the SDK clears them (QueryInterface: *object = null, E_NOINTERFACE usual);
//   - a success code (S_FALSE, VFW_S_NOPREVIEWPIN, VFW_S_STATE_INTERMEDIATE, ...) makes the
//     operation do its work as if it had succeeded and return that code; a media-type filter
//     that would have made it fail is not applied (RenderStream / FindInterface for
//     MEDIATYPE_Interleaved then use the video capture pin).
//   GetNumberOfCapabilities with `count` >= 0 and a success result reports that count.
//   Run given S_FALSE still starts the graph; GetState given VFW_S_STATE_INTERMEDIATE or
//   VFW_S_CANT_CUE reports the graph's state with that code.
//
// Filters per op (unset = any):
//   CoCreateInstance        id = CLSID
//   QueryInterface          id = IID; device = only that device's capture filter and its pin
//   CreateClassEnumerator   id = category
//   BindToStorage, BindToObject              id = IID; device
//   PropertyBagRead         device, name = property ("FriendlyName", "DevicePath")
//   FindInterface           id = IID, type = media type; device
//   RenderStream            id = pin category, type = media type
//   AddFilter               name = filter name
//   GetFormat, GetNumberOfCapabilities, GetStreamCaps, SetFormat   device
//   ProcAmpGetRange, ProcAmpGet, ProcAmpSet  device, procAmpProperty
//   EnumPins, ConnectedTo, QueryPinInfo      device (the capture filter's pins); else any filter
//   all others (Run, Stop, GetState, GetEvent, SetMediaType, ...): no filter
//   A `device` filter names a device by its FriendlyName or its DevicePath.
//   The platform's own work never consults the table (teardown on release, the builder's smart
//   tee, the QueryInterface inside CoCreateInstance, BindToObject, BindToStorage and
//   FindInterface), so faults count only the callers' calls.
//
// Example: the first RenderStream reports VFW_S_NOPREVIEWPIN, SampleGrabber creation fails:
//   kvfault::failOnce(kvfault::Op::RenderStream, VFW_S_NOPREVIEWPIN);
//   kvfault::failAlways(kvfault::Op::CoCreateInstance, E_FAIL, CLSID_SampleGrabber);
//
// Observations (lastProcAmpSet, lastSetFormat, samplesDelivered) take a device's DevicePath or
// FriendlyName and last until clearFaults().
#ifndef KV_PLATFORM_FAULTINJECTION_H
#define KV_PLATFORM_FAULTINJECTION_H

#include "windows.h"

#include <string>

namespace kvfault {

enum class Op {
    CoCreateInstance,
    QueryInterface,
    CreateClassEnumerator,
    EnumMonikerNext,
    BindToStorage,
    BindToObject,
    PropertyBagRead,
    SetFiltergraph,
    FindInterface,
    RenderStream,
    AddFilter,
    RemoveFilter,
    GraphDisconnect, // IFilterGraph::Disconnect
    EnumPins,
    ConnectedTo,
    QueryPinInfo,
    GetFormat,
    GetNumberOfCapabilities,
    GetStreamCaps,
    SetFormat,
    SetMediaType, // ISampleGrabber
    SetCallback,  // ISampleGrabber
    GetConnectedMediaType,
    Run,   // IMediaControl
    Pause, // IMediaControl
    Stop,  // IMediaControl
    GetState,
    GetEventHandle,
    GetEvent,
    ProcAmpGetRange,
    ProcAmpGet,
    ProcAmpSet,
};

struct Fault
{
    Op op = Op::CoCreateInstance;
    HRESULT result = E_FAIL;
    int skip = 0;
    int times = -1;
    GUID id = GUID_NULL;
    GUID type = GUID_NULL;
    std::wstring device;
    std::wstring name;
    long procAmpProperty = -1;
    int count = -1;
};

// Adds a fault; returns its id (for faultHits).
int injectFault(const Fault &fault);
// How many calls the fault has answered so far.
int faultHits(int id);
// Removes every fault, replugs every unplugged virtual camera and forgets all observations.
void clearFaults();

inline int failAlways(Op op, HRESULT result = E_FAIL, GUID id = GUID_NULL)
{
    Fault f;
    f.op = op;
    f.result = result;
    f.id = id;
    return injectFault(f);
}
inline int failOnce(Op op, HRESULT result = E_FAIL, GUID id = GUID_NULL)
{
    Fault f;
    f.op = op;
    f.result = result;
    f.id = id;
    f.times = 1;
    return injectFault(f);
}

// Platform COM objects alive now (devices, filters, pins, graphs, enumerators, samples ...).
long liveObjects();
// Event and semaphore handles not yet closed.
long openHandles();

// Sets KV_VIRTUAL_CAMERAS (null unsets it); read by the next device enumerator.
void setVirtualCameras(const char *json);

// Unplugs the virtual camera with that FriendlyName or DevicePath: running streams stop (their
// last sample has been delivered when this returns), each running graph gets EC_DEVICE_LOST,
// and later enumerations leave it out until replugged. Returns the number of streams stopped.
int unplugVirtualCamera(const std::wstring &nameOrPath);
void replugVirtualCamera(const std::wstring &nameOrPath);

// Streams running now, for one device or (empty) for all.
int activeStreams(const std::wstring &nameOrPath = std::wstring());
// Samples delivered by the device's streams since the last clearFaults().
long long samplesDelivered(const std::wstring &nameOrPath);

// What the device received: the last IAMVideoProcAmp::Set per property and the last SetFormat.
struct ProcAmpCall
{
    long value = 0;
    long flags = 0;
    int count = 0; // Set calls for this property
};
bool lastProcAmpSet(const std::wstring &device, long property, ProcAmpCall *call);

struct FormatCall
{
    GUID subtype = GUID_NULL;
    DWORD fourcc = 0; // biCompression
    LONG width = 0;
    LONG height = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
    int count = 0; // SetFormat calls that were accepted
};
bool lastSetFormat(const std::wstring &device, FormatCall *call);

} // namespace kvfault

#endif // KV_PLATFORM_FAULTINJECTION_H
