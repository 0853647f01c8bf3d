// COM runtime pieces: object creation, task memory, BSTR, VARIANT and media-type helpers.
#include "classfactory.h"
#include "dshow.h"
#include "platforminternal.h"
#include "qedit.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {
std::atomic<long> g_liveObjects{0};
}

namespace kvplat {

void objectCreated()
{
    g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}
void objectDestroyed()
{
    g_liveObjects.fetch_sub(1, std::memory_order_relaxed);
}
long liveObjectCount()
{
    return g_liveObjects.load();
}

} // namespace kvplat

HRESULT CoInitialize(LPVOID)
{
    return S_OK;
}
HRESULT CoInitializeEx(LPVOID, DWORD)
{
    return S_OK;
}
void CoUninitialize() {}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD, REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    kvplat::FaultQuery query{kvfault::Op::CoCreateInstance};
    query.id = &clsid;
    HRESULT injected = S_OK;
    if (kvplat::injectedResult(query, &injected) && FAILED(injected))
        return injected;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    IUnknown *created = kvplat::createPlatformObject(clsid);
    if (!created)
        return REGDB_E_CLASSNOTREG;
    HRESULT hr;
    {
        kvplat::FaultSuppression internal;
        hr = created->QueryInterface(riid, object);
    }
    created->Release();
    if (FAILED(hr))
        return hr;
    return injected == S_OK ? hr : injected;
}

LPVOID CoTaskMemAlloc(size_t size)
{
    return std::malloc(size ? size : 1);
}

void CoTaskMemFree(LPVOID block)
{
    std::free(block);
}

// A BSTR is preceded by its length in characters and followed by a terminating zero.
BSTR SysAllocStringLen(const OLECHAR *text, UINT length)
{
    const size_t bytes = sizeof(uint32_t) + (size_t(length) + 1) * sizeof(OLECHAR);
    auto *block = static_cast<unsigned char *>(std::malloc(bytes));
    if (!block)
        return nullptr;
    uint32_t stored = length;
    std::memcpy(block, &stored, sizeof stored);
    auto *chars = reinterpret_cast<OLECHAR *>(block + sizeof(uint32_t));
    if (text)
        std::memcpy(chars, text, size_t(length) * sizeof(OLECHAR));
    else
        std::memset(chars, 0, size_t(length) * sizeof(OLECHAR));
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR *text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<unsigned char *>(text) - sizeof(uint32_t));
}

UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    uint32_t length;
    std::memcpy(&length, reinterpret_cast<unsigned char *>(text) - sizeof(uint32_t), sizeof length);
    return length;
}

void VariantInit(VARIANT *variant)
{
    if (!variant)
        return;
    std::memset(variant, 0, sizeof *variant);
    variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT *variant)
{
    if (!variant)
        return E_INVALIDARG;
    if (variant->vt == VT_BSTR)
        SysFreeString(variant->bstrVal);
    else if (variant->vt == VT_UNKNOWN && variant->punkVal)
        variant->punkVal->Release();
    std::memset(variant, 0, sizeof *variant);
    variant->vt = VT_EMPTY;
    return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE &mediaType)
{
    if (mediaType.cbFormat != 0 || mediaType.pbFormat)
        CoTaskMemFree(mediaType.pbFormat);
    mediaType.cbFormat = 0;
    mediaType.pbFormat = nullptr;
    if (mediaType.pUnk) {
        mediaType.pUnk->Release();
        mediaType.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE *mediaType)
{
    if (!mediaType)
        return;
    FreeMediaType(*mediaType);
    CoTaskMemFree(mediaType);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE *target, const AM_MEDIA_TYPE *source)
{
    if (!target || !source)
        return E_POINTER;
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat) {
        target->pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk)
        target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE *CreateMediaType(const AM_MEDIA_TYPE *source)
{
    auto *copy = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy)
        return nullptr;
    if (FAILED(CopyMediaType(copy, source))) {
        CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}
