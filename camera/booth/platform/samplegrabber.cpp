#include "samplegrabber.h"
#include "mediatypes.h"

#include <cstring>

namespace kvplat {

GrabberInputPin::GrabberInputPin(SampleGrabber *filter) : PinBase(filter, L"Input", PINDIR_INPUT) {}

bool GrabberInputPin::accepts(const AM_MEDIA_TYPE &mediaType)
{
    return static_cast<SampleGrabber *>(m_filter)->acceptsType(mediaType);
}

void GrabberInputPin::receive(IMediaSample *sample)
{
    static_cast<SampleGrabber *>(m_filter)->grab(sample);
}

GrabberOutputPin::GrabberOutputPin(SampleGrabber *filter, PinBase *input)
    : PassThroughOutputPin(filter, L"Output", input)
{
}

SampleGrabber::SampleGrabber()
    : FilterBase(CLSID_SampleGrabber), m_input(this), m_output(this, &m_input)
{
}

SampleGrabber::~SampleGrabber()
{
    if (m_callback)
        m_callback->Release();
    FreeMediaType(m_accepted);
}

void *SampleGrabber::findInterface(REFIID riid)
{
    if (riid == IID_ISampleGrabber)
        return static_cast<ISampleGrabber *>(this);
    return FilterBase::findInterface(riid);
}

HRESULT SampleGrabber::startStreaming()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shotTaken = false;
    return S_OK;
}

bool SampleGrabber::acceptsType(const AM_MEDIA_TYPE &mediaType)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return mediaTypeMatches(m_accepted, mediaType);
}

void SampleGrabber::grab(IMediaSample *sample)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_oneShot && m_shotTaken)
            return;
        m_shotTaken = true;
        BYTE *data = nullptr;
        sample->GetPointer(&data);
        const long length = sample->GetActualDataLength();
        if (m_bufferSamples && data && length > 0)
            m_buffer.assign(data, data + length);
        REFERENCE_TIME start = 0, end = 0;
        const double time = SUCCEEDED(sample->GetTime(&start, &end)) ? double(start) / 1e7 : 0.0;
        if (m_callback) {
            if (m_whichMethod == 0)
                m_callback->SampleCB(time, sample);
            else
                m_callback->BufferCB(time, data, length);
        }
    }
    m_output.deliver(sample);
}

HRESULT SampleGrabber::SetOneShot(BOOL oneShot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_oneShot = oneShot != FALSE;
    return S_OK;
}

HRESULT SampleGrabber::SetMediaType(const AM_MEDIA_TYPE *mediaType)
{
    if (!mediaType)
        return E_POINTER;
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::SetMediaType, &injected) && FAILED(injected))
        return injected;
    AM_MEDIA_TYPE copy;
    if (FAILED(CopyMediaType(&copy, mediaType)))
        return E_OUTOFMEMORY;
    std::lock_guard<std::mutex> lock(m_mutex);
    FreeMediaType(m_accepted);
    m_accepted = copy;
    return injected;
}

HRESULT SampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE *mediaType)
{
    if (!mediaType)
        return E_POINTER;
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::GetConnectedMediaType, &injected) && FAILED(injected)) {
        std::memset(mediaType, 0, sizeof *mediaType);
        return injected;
    }
    const HRESULT hr = m_input.ConnectionMediaType(mediaType);
    return FAILED(hr) ? hr : injected;
}

HRESULT SampleGrabber::SetBufferSamples(BOOL bufferThem)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bufferSamples = bufferThem != FALSE;
    if (!m_bufferSamples)
        m_buffer.clear();
    return S_OK;
}

HRESULT SampleGrabber::GetCurrentBuffer(long *bufferSize, long *buffer)
{
    if (!bufferSize)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bufferSamples)
        return E_INVALIDARG;
    if (m_buffer.empty())
        return VFW_E_WRONG_STATE;
    const long length = long(m_buffer.size());
    if (!buffer) {
        *bufferSize = length;
        return S_OK;
    }
    if (*bufferSize < length)
        return E_OUTOFMEMORY;
    std::memcpy(buffer, m_buffer.data(), m_buffer.size());
    *bufferSize = length;
    return S_OK;
}

HRESULT SampleGrabber::GetCurrentSample(IMediaSample **sample)
{
    if (sample)
        *sample = nullptr;
    return E_NOTIMPL;
}

HRESULT SampleGrabber::SetCallback(ISampleGrabberCB *callback, long whichMethod)
{
    if (whichMethod != 0 && whichMethod != 1)
        return E_INVALIDARG;
    HRESULT injected = S_OK;
    if (injectedResult(kvfault::Op::SetCallback, &injected) && FAILED(injected))
        return injected;
    if (callback)
        callback->AddRef();
    ISampleGrabberCB *previous;
    {
        // Waits for a callback in progress, so the old one is not in use once released.
        std::lock_guard<std::mutex> lock(m_mutex);
        previous = m_callback;
        m_callback = callback;
        m_whichMethod = whichMethod;
    }
    if (previous)
        previous->Release();
    return injected;
}

} // namespace kvplat
