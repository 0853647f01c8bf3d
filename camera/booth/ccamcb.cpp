#include "ccamcb.h"

#include "ikvyuvdatacallback.h"

HRESULT CCamCB::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
        *ppv = static_cast<ISampleGrabberCB *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CCamCB::AddRef()
{
    return ++refCount;
}

ULONG CCamCB::Release()
{
    const int count = --refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT CCamCB::SampleCB(double, IMediaSample *sample)
{
    if (!sample)
        return S_OK;
    BYTE *data = nullptr;
    sample->GetPointer(&data);
    const long len = sample->GetActualDataLength();
    if (sampleGrabberCallback)
        sampleGrabberCallback->onYUVData(data, static_cast<int>(len));
    return S_OK;
}

HRESULT CCamCB::BufferCB(double, BYTE *, long)
{
    return E_NOTIMPL;
}
