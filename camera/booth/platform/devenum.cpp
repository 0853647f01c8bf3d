#include "devenum.h"
#include "capturefilter.h"

#include <cwchar>

namespace kvplat {

// ---- SystemDeviceEnum
// ----------------------------------------------------------------------------

SystemDeviceEnum::SystemDeviceEnum() : m_devices(enumerateVideoDevices()) {}

void *SystemDeviceEnum::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_ICreateDevEnum)
        return static_cast<ICreateDevEnum *>(this);
    return nullptr;
}

HRESULT SystemDeviceEnum::CreateClassEnumerator(REFCLSID category, IEnumMoniker **enumerator, DWORD)
{
    if (!enumerator)
        return E_POINTER;
    *enumerator = nullptr;
    FaultQuery query{kvfault::Op::CreateClassEnumerator};
    query.id = &category;
    HRESULT injected = S_OK;
    const bool answered = injectedResult(query, &injected);
    if (answered && FAILED(injected))
        return injected;
    // An empty category gives S_FALSE and no enumerator.
    if (category != CLSID_VideoInputDeviceCategory || m_devices.empty())
        return S_FALSE;
    std::vector<IMoniker *> monikers;
    for (const auto &device : m_devices)
        monikers.push_back(new DeviceMoniker(device));
    *enumerator = new ComEnumerator<IEnumMoniker, IMoniker>(IID_IEnumMoniker, std::move(monikers),
                                                            kvfault::Op::EnumMonikerNext, true);
    return injected;
}

// ---- DeviceMoniker
// -------------------------------------------------------------------------------

void *DeviceMoniker::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IMoniker)
        return static_cast<IMoniker *>(this);
    return nullptr;
}

HRESULT DeviceMoniker::BindToObject(IBindCtx *, IMoniker *, REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    FaultQuery query{kvfault::Op::BindToObject};
    query.id = &riid;
    query.device = &m_device->ident();
    HRESULT injected = S_OK;
    if (injectedResult(query, &injected) && FAILED(injected))
        return injected;
    // Every bind instantiates a new filter for the device, as on Windows.
    auto *filter = new CaptureFilter(m_device);
    HRESULT hr;
    {
        FaultSuppression internal;
        hr = filter->QueryInterface(riid, object);
    }
    filter->Release();
    return FAILED(hr) ? hr : injected;
}

HRESULT DeviceMoniker::BindToStorage(IBindCtx *, IMoniker *, REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    FaultQuery query{kvfault::Op::BindToStorage};
    query.id = &riid;
    query.device = &m_device->ident();
    HRESULT injected = S_OK;
    if (injectedResult(query, &injected) && FAILED(injected))
        return injected;
    if (riid != IID_IPropertyBag && riid != IID_IUnknown)
        return E_NOINTERFACE;
    auto *bag = new DevicePropertyBag(m_device);
    HRESULT hr;
    {
        FaultSuppression internal;
        hr = bag->QueryInterface(riid, object);
    }
    bag->Release();
    return FAILED(hr) ? hr : injected;
}

HRESULT DeviceMoniker::GetDisplayName(IBindCtx *, IMoniker *, LPOLESTR *displayName)
{
    if (!displayName)
        return E_POINTER;
    const DeviceIdent &ident = m_device->ident();
    const std::wstring name = L"@device:" + (ident.hasPath ? ident.path : ident.name);
    auto *text = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    if (!text)
        return E_OUTOFMEMORY;
    std::wmemcpy(text, name.c_str(), name.size() + 1);
    *displayName = text;
    return S_OK;
}

// ---- DevicePropertyBag
// ---------------------------------------------------------------------------

void *DevicePropertyBag::findInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IPropertyBag)
        return static_cast<IPropertyBag *>(this);
    return nullptr;
}

HRESULT DevicePropertyBag::Read(LPCOLESTR propertyName, VARIANT *value, IErrorLog *)
{
    if (!propertyName || !value)
        return E_POINTER;
    FaultQuery query{kvfault::Op::PropertyBagRead};
    query.device = &m_device->ident();
    query.name = propertyName;
    HRESULT injected = S_OK;
    if (injectedResult(query, &injected) && FAILED(injected))
        return injected;
    const DeviceIdent &ident = m_device->ident();
    const std::wstring name = propertyName;
    const std::wstring *text = nullptr;
    if (name == L"FriendlyName")
        text = &ident.name;
    else if (name == L"DevicePath" && ident.hasPath)
        text = &ident.path;
    if (!text)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    // Text properties come back as a BSTR; the caller asks for VT_BSTR or for any type.
    if (value->vt != VT_EMPTY && value->vt != VT_BSTR)
        return E_INVALIDARG;
    BSTR string = SysAllocStringLen(text->c_str(), UINT(text->size()));
    if (!string)
        return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    value->bstrVal = string;
    return injected;
}

} // namespace kvplat
