// The system device enumerator and its monikers and property bags. Devices are listed once,
// when the enumerator is created, from every device provider.
#ifndef KV_PLATFORM_DEVENUM_H
#define KV_PLATFORM_DEVENUM_H

#include "comobject.h"
#include "deviceprovider.h"
#include "dshow.h"

#include <memory>
#include <vector>

namespace kvplat {

class SystemDeviceEnum : public ICreateDevEnum, protected ComRefCount
{
public:
    SystemDeviceEnum();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker **enumerator,
                                                    DWORD flags) override;

protected:
    void *findInterface(REFIID riid) override;

private:
    std::vector<std::shared_ptr<IDevice>> m_devices;
};

class DeviceMoniker : public IMoniker, protected ComRefCount
{
public:
    explicit DeviceMoniker(std::shared_ptr<IDevice> device) : m_device(std::move(device)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx *bindContext, IMoniker *left, REFIID riid,
                                           void **object) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx *bindContext, IMoniker *left, REFIID riid,
                                            void **object) override;
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx *bindContext, IMoniker *left,
                                             LPOLESTR *displayName) override;

protected:
    void *findInterface(REFIID riid) override;
    const DeviceIdent *faultDevice() const override { return &m_device->ident(); }

private:
    std::shared_ptr<IDevice> m_device;
};

class DevicePropertyBag : public IPropertyBag, protected ComRefCount
{
public:
    explicit DevicePropertyBag(std::shared_ptr<IDevice> device) : m_device(std::move(device)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR propertyName, VARIANT *value,
                                   IErrorLog *errorLog) override;
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT *) override { return E_NOTIMPL; }

protected:
    void *findInterface(REFIID riid) override;
    const DeviceIdent *faultDevice() const override { return &m_device->ident(); }

private:
    std::shared_ptr<IDevice> m_device;
};

} // namespace kvplat

#endif // KV_PLATFORM_DEVENUM_H
