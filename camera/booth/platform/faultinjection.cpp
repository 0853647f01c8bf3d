// The fault table and the record of what devices were told.
#include "faultinjection.h"
#include "platforminternal.h"
#include "virtualcameras.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct FaultEntry
{
    int id = 0;
    kvfault::Fault fault;
    int seen = 0; // matching calls so far
    int hits = 0; // calls answered
};

struct DeviceRecord
{
    kvplat::DeviceIdent ident;
    std::map<long, kvfault::ProcAmpCall> procAmp;
    kvfault::FormatCall format;
    long long samples = 0;
};

struct FaultState
{
    std::mutex mutex;
    std::vector<FaultEntry> faults;
    int nextId = 1;
    std::map<std::wstring, DeviceRecord> devices;
    std::atomic<int> active{0};
};

thread_local int t_suppressed = 0;

FaultState &state()
{
    static FaultState *s = new FaultState;
    return *s;
}

DeviceRecord &recordLocked(FaultState &s, const kvplat::DeviceIdent &device)
{
    DeviceRecord &r = s.devices[device.key()];
    r.ident = device;
    return r;
}

// By DevicePath or FriendlyName.
const DeviceRecord *findLocked(const FaultState &s, const std::wstring &nameOrPath)
{
    auto it = s.devices.find(nameOrPath);
    if (it != s.devices.end())
        return &it->second;
    for (const auto &entry : s.devices) {
        if (entry.second.ident.matches(nameOrPath))
            return &entry.second;
    }
    return nullptr;
}

bool matches(const kvfault::Fault &f, const kvplat::FaultQuery &q)
{
    if (f.op != q.op)
        return false;
    if (f.id != GUID_NULL && (!q.id || *q.id != f.id))
        return false;
    if (f.type != GUID_NULL && (!q.type || *q.type != f.type))
        return false;
    if (!f.device.empty() && (!q.device || !q.device->matches(f.device)))
        return false;
    if (!f.name.empty() && (!q.name || f.name != q.name))
        return false;
    if (f.procAmpProperty >= 0 && f.procAmpProperty != q.procAmpProperty)
        return false;
    return true;
}

} // namespace

namespace kvplat {

FaultSuppression::FaultSuppression()
{
    ++t_suppressed;
}

FaultSuppression::~FaultSuppression()
{
    --t_suppressed;
}

bool injectedResult(const FaultQuery &query, HRESULT *result, int *count)
{
    FaultState &s = state();
    if (s.active.load(std::memory_order_acquire) == 0 || t_suppressed > 0)
        return false;
    std::lock_guard<std::mutex> lock(s.mutex);
    for (FaultEntry &e : s.faults) {
        if (!matches(e.fault, query))
            continue;
        const int index = e.seen++;
        if (index < e.fault.skip)
            continue;
        if (e.fault.times >= 0 && index >= e.fault.skip + e.fault.times)
            continue;
        ++e.hits;
        *result = e.fault.result;
        if (count)
            *count = e.fault.count;
        return true;
    }
    return false;
}

void recordProcAmpSet(const DeviceIdent &device, long property, long value, long flags)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    kvfault::ProcAmpCall &call = recordLocked(s, device).procAmp[property];
    call.value = value;
    call.flags = flags;
    ++call.count;
}

void recordSetFormat(const DeviceIdent &device, const kvfault::FormatCall &format)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    DeviceRecord &record = recordLocked(s, device);
    const int count = record.format.count + 1;
    record.format = format;
    record.format.count = count;
}

void recordSampleDelivered(const DeviceIdent &device)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++recordLocked(s, device).samples;
}

} // namespace kvplat

namespace kvfault {

int injectFault(const Fault &fault)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    FaultEntry entry;
    entry.id = s.nextId++;
    entry.fault = fault;
    s.faults.push_back(entry);
    s.active.store(static_cast<int>(s.faults.size()), std::memory_order_release);
    return entry.id;
}

int faultHits(int id)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const FaultEntry &e : s.faults) {
        if (e.id == id)
            return e.hits;
    }
    return 0;
}

void clearFaults()
{
    {
        FaultState &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.faults.clear();
        s.devices.clear();
        s.active.store(0, std::memory_order_release);
    }
    kvplat::replugAllVirtualCameras();
}

long liveObjects()
{
    return kvplat::liveObjectCount();
}

long openHandles()
{
    return kvplat::openHandleCount();
}

void setVirtualCameras(const char *json)
{
    if (json)
        setenv("KV_VIRTUAL_CAMERAS", json, 1);
    else
        unsetenv("KV_VIRTUAL_CAMERAS");
}

int unplugVirtualCamera(const std::wstring &nameOrPath)
{
    return kvplat::unplugVirtualCameras(nameOrPath);
}

void replugVirtualCamera(const std::wstring &nameOrPath)
{
    kvplat::replugVirtualCameras(nameOrPath);
}

int activeStreams(const std::wstring &nameOrPath)
{
    return kvplat::activeVirtualStreams(nameOrPath);
}

long long samplesDelivered(const std::wstring &nameOrPath)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const DeviceRecord *r = findLocked(s, nameOrPath);
    return r ? r->samples : 0;
}

bool lastProcAmpSet(const std::wstring &device, long property, ProcAmpCall *call)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const DeviceRecord *r = findLocked(s, device);
    if (!r)
        return false;
    auto p = r->procAmp.find(property);
    if (p == r->procAmp.end())
        return false;
    if (call)
        *call = p->second;
    return true;
}

bool lastSetFormat(const std::wstring &device, FormatCall *call)
{
    FaultState &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const DeviceRecord *r = findLocked(s, device);
    if (!r || r->format.count == 0)
        return false;
    if (call)
        *call = r->format;
    return true;
}

} // namespace kvfault
