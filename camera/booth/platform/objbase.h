// COM basics: IUnknown, object creation, task memory, BSTR and VARIANT.
#ifndef KV_PLATFORM_OBJBASE_H
#define KV_PLATFORM_OBJBASE_H

#include "windows.h"

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IPersist = {
    0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMoniker = {
    0x0000000F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IEnumMoniker = {
    0x00000102, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IPropertyBag = {
    0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

struct IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown *LPUNKNOWN;

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL                                                                                 \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

// The library never initialises COM; these exist for hosts and tests and do nothing.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD clsContext, REFIID riid,
                         void **object);

LPVOID CoTaskMemAlloc(size_t size);
void CoTaskMemFree(LPVOID block);

// ---- BSTR and VARIANT --------------------------------------------------------------------------

typedef OLECHAR *BSTR;

BSTR SysAllocString(const OLECHAR *text);
BSTR SysAllocStringLen(const OLECHAR *text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

typedef unsigned short VARTYPE;
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_I8 = 20,
    VT_UI4 = 19,
};

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        ULONG ulVal;
        SHORT iVal;
        short boolVal;
        BSTR bstrVal;
        IUnknown *punkVal;
    };
};
typedef VARIANT *LPVARIANT;
typedef VARIANT VARIANTARG;

void VariantInit(VARIANT *variant);
HRESULT VariantClear(VARIANT *variant);

// ---- Monikers and property bags ----------------------------------------------------------------

struct IBindCtx;
struct IErrorLog;

struct IEnumMoniker;

struct IMoniker : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx *bindContext, IMoniker *left,
                                                   REFIID riid, void **object) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx *bindContext, IMoniker *left,
                                                    REFIID riid, void **object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx *bindContext, IMoniker *left,
                                                     LPOLESTR *displayName) = 0;
};

struct IEnumMoniker : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker **monikers, ULONG *fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker **clone) = 0;
};

struct IPropertyBag : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Read(LPCOLESTR propertyName, VARIANT *value,
                                           IErrorLog *errorLog) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(LPCOLESTR propertyName, VARIANT *value) = 0;
};

#endif // KV_PLATFORM_OBJBASE_H
