// Win32 base types, result codes and synchronisation, provided on the C++ standard library.
// Names, signatures and semantics follow the Windows SDK.
#ifndef KV_PLATFORM_WINDOWS_H
#define KV_PLATFORM_WINDOWS_H

#include <cstddef>
#include <cstdint>

// Calling conventions and method declaration helpers have no meaning here.
#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define PURE = 0

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t DWORDLONG;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int INT;
typedef unsigned int UINT;
typedef int BOOL;
typedef unsigned char BOOLEAN;
typedef char CHAR;
typedef wchar_t WCHAR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef int32_t HRESULT;
typedef int64_t REFERENCE_TIME;
typedef void *PVOID;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef BYTE *LPBYTE;
typedef DWORD *LPDWORD;
typedef LONG *LPLONG;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef WCHAR OLECHAR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
typedef void *HANDLE;
typedef HANDLE *LPHANDLE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAKEFOURCC(c0, c1, c2, c3)                                                                 \
    ((DWORD)(BYTE)(c0) | ((DWORD)(BYTE)(c1) << 8) | ((DWORD)(BYTE)(c2) << 16) |                    \
     ((DWORD)(BYTE)(c3) << 24))

struct RECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT *LPRECT;

struct SIZE
{
    LONG cx;
    LONG cy;
};

struct SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

// ---- GUIDs -------------------------------------------------------------------------------------

struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;
typedef GUID *LPGUID;
typedef IID *LPIID;
typedef CLSID *LPCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i])
            return false;
    }
    return true;
}
inline bool IsEqualIID(REFIID a, REFIID b)
{
    return IsEqualGUID(a, b);
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b)
{
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b)
{
    return !IsEqualGUID(a, b);
}

inline constexpr GUID GUID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---- Result codes ------------------------------------------------------------------------------

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = (HRESULT)0x80004001;
inline constexpr HRESULT E_NOINTERFACE = (HRESULT)0x80004002;
inline constexpr HRESULT E_POINTER = (HRESULT)0x80004003;
inline constexpr HRESULT E_ABORT = (HRESULT)0x80004004;
inline constexpr HRESULT E_FAIL = (HRESULT)0x80004005;
inline constexpr HRESULT E_UNEXPECTED = (HRESULT)0x8000FFFF;
inline constexpr HRESULT E_HANDLE = (HRESULT)0x80070006;
inline constexpr HRESULT E_OUTOFMEMORY = (HRESULT)0x8007000E;
inline constexpr HRESULT E_INVALIDARG = (HRESULT)0x80070057;
inline constexpr HRESULT CLASS_E_NOAGGREGATION = (HRESULT)0x80040110;
inline constexpr HRESULT REGDB_E_CLASSNOTREG = (HRESULT)0x80040154;

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_TOO_MANY_POSTS 298L
#define ERROR_DEVICE_NOT_CONNECTED 1167L

inline constexpr HRESULT HRESULT_FROM_WIN32(long x)
{
    return x <= 0 ? (HRESULT)x : (HRESULT)(((uint32_t)x & 0x0000FFFFu) | 0x80070000u);
}

// ---- Synchronisation ---------------------------------------------------------------------------

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_ABANDONED WAIT_ABANDONED_0
#define WAIT_IO_COMPLETION 0x000000C0u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

// Events and semaphores live in one waitable-object table; a HANDLE is a key into it, never a
// pointer, so stale or made-up handles are detected (WAIT_FAILED / FALSE) instead of followed.
// Object names are ignored: nothing here shares objects between processes.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                        LPCWSTR name);
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG *previousCount);
BOOL CloseHandle(HANDLE object);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD milliseconds);
// There are no asynchronous procedure calls here, so an alertable wait behaves like a plain one
// and never returns WAIT_IO_COMPLETION.
DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD milliseconds,
                               BOOL alertable);

inline HANDLE CreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                          LPCWSTR name)
{
    return CreateEventW(attributes, manualReset, initialState, name);
}
inline HANDLE CreateSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                              LONG maximumCount, LPCWSTR name)
{
    return CreateSemaphoreW(attributes, initialCount, maximumCount, name);
}

// Recursive for the owning thread, like the Windows critical section.
struct CRITICAL_SECTION
{
    void *impl;
};
typedef CRITICAL_SECTION *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId();
DWORD GetLastError();
void SetLastError(DWORD error);

#include "objbase.h"

#endif // KV_PLATFORM_WINDOWS_H
