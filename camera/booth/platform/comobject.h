// Reference counting, checked QueryInterface and a generic enumerator for the platform's COM
// objects.
#ifndef KV_PLATFORM_COMOBJECT_H
#define KV_PLATFORM_COMOBJECT_H

#include "platforminternal.h"
#include "windows.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace kvplat {

// The reference count and life of one COM object. A new object holds one reference, its
// creator's. Classes implement IUnknown by forwarding to queryInterface/addRef/release.
class ComRefCount
{
protected:
    ComRefCount() { objectCreated(); }
    virtual ~ComRefCount() { objectDestroyed(); }
    ComRefCount(const ComRefCount &) = delete;
    ComRefCount &operator=(const ComRefCount &) = delete;

    ULONG addRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG release()
    {
        const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

    ULONG refCount() const { return m_refs.load(std::memory_order_acquire); }

    // The interface pointer for riid without a reference, or null.
    virtual void *findInterface(REFIID riid) = 0;
    // The device this object belongs to, for QueryInterface faults.
    virtual const DeviceIdent *faultDevice() const { return nullptr; }

    HRESULT queryInterface(REFIID riid, void **object)
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (const HRESULT injected = injectedQueryFailure(riid, faultDevice()); FAILED(injected))
            return injected;
        void *found = findInterface(riid);
        if (!found)
            return E_NOINTERFACE;
        // Every interface of the object shares this count.
        addRef();
        *object = found;
        return S_OK;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

// IEnumMoniker, IEnumPins, IEnumFilters over a fixed list of items.
template <class IEnum, class IItem> class ComEnumerator : public IEnum, protected ComRefCount
{
public:
    // Takes over one reference of each item.
    ComEnumerator(const IID &iid, std::vector<IItem *> items, kvfault::Op nextOp, bool checkNext)
        : m_iid(iid), m_items(std::move(items)), m_nextOp(nextOp), m_checkNext(checkNext)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IItem **items, ULONG *fetched) override
    {
        if (fetched)
            *fetched = 0;
        if (!items)
            return E_POINTER;
        if (count > 1 && !fetched)
            return E_INVALIDARG;
        HRESULT injected = S_OK;
        if (m_checkNext && injectedResult(m_nextOp, &injected) && FAILED(injected))
            return injected;
        std::lock_guard<std::mutex> lock(m_mutex);
        ULONG n = 0;
        while (n < count && m_position < m_items.size()) {
            items[n] = m_items[m_position++];
            items[n]->AddRef();
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const size_t left = m_items.size() - m_position;
        m_position += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum **clone) override
    {
        if (!clone)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_mutex);
        for (IItem *item : m_items)
            item->AddRef();
        auto *copy = new ComEnumerator(m_iid, m_items, m_nextOp, m_checkNext);
        copy->m_position = m_position;
        *clone = copy;
        return S_OK;
    }

protected:
    ~ComEnumerator() override
    {
        for (IItem *item : m_items)
            item->Release();
    }
    void *findInterface(REFIID riid) override
    {
        if (riid == IID_IUnknown || riid == m_iid)
            return static_cast<IEnum *>(this);
        return nullptr;
    }

private:
    const IID m_iid;
    std::vector<IItem *> m_items;
    kvfault::Op m_nextOp;
    bool m_checkNext;
    std::mutex m_mutex;
    size_t m_position = 0;
};

} // namespace kvplat

#endif // KV_PLATFORM_COMOBJECT_H
