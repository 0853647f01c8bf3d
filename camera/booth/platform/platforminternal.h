// Internal plumbing shared by the platform's sources: object counting, the fault table and
// media-type construction. Not for users of the platform layer.
#ifndef KV_PLATFORM_PLATFORMINTERNAL_H
#define KV_PLATFORM_PLATFORMINTERNAL_H

#include "faultinjection.h"
#include "windows.h"

#include <string>

namespace kvplat {

long openHandleCount();

void objectCreated();
void objectDestroyed();
long liveObjectCount();

// Who a device is, for fault filters and observations.
struct DeviceIdent
{
    std::wstring name;
    std::wstring path;
    bool hasPath = false;

    bool matches(const std::wstring &nameOrPath) const
    {
        return nameOrPath == name || (hasPath && nameOrPath == path);
    }
    // The key observations are stored under: the path, or the name for a device without one.
    std::wstring key() const { return hasPath && !path.empty() ? path : name; }
};

struct FaultQuery
{
    kvfault::Op op;
    const GUID *id = nullptr;
    const GUID *type = nullptr;
    const DeviceIdent *device = nullptr;
    const wchar_t *name = nullptr;
    long procAmpProperty = -1;
};

// True when a fault answers this call; *result is then the code to return and *count the
// fault's count override (-1 when none).
bool injectedResult(const FaultQuery &query, HRESULT *result, int *count = nullptr);

// While one exists on a thread, that thread's calls consult no fault: for the platform's own
// calls (the QueryInterface inside CoCreateInstance ...), so that faults count only callers' calls.
class FaultSuppression
{
public:
    FaultSuppression();
    ~FaultSuppression();
    FaultSuppression(const FaultSuppression &) = delete;
    FaultSuppression &operator=(const FaultSuppression &) = delete;
};

inline bool injectedResult(kvfault::Op op, HRESULT *result)
{
    FaultQuery q{op};
    return injectedResult(q, result);
}

// The failure a fault makes QueryInterface return for riid on an object of
// this device, or S_OK when none applies.
inline HRESULT injectedQueryFailure(REFIID riid, const DeviceIdent *device)
{
    FaultQuery query{kvfault::Op::QueryInterface};
    query.id = &riid;
    query.device = device;
    HRESULT injected = S_OK;
    return injectedResult(query, &injected) && FAILED(injected) ? injected : S_OK;
}

// Observations of what a device was told.
void recordProcAmpSet(const DeviceIdent &device, long property, long value, long flags);
void recordSetFormat(const DeviceIdent &device, const kvfault::FormatCall &format);
void recordSampleDelivered(const DeviceIdent &device);

} // namespace kvplat

#endif // KV_PLATFORM_PLATFORMINTERNAL_H
