// The sample grabber: passes every sample to its callback on the streaming thread, then on to
// its output.
#ifndef KV_PLATFORM_SAMPLEGRABBER_H
#define KV_PLATFORM_SAMPLEGRABBER_H

#include "filterbase.h"
#include "qedit.h"

namespace kvplat {

class SampleGrabber;

class GrabberInputPin : public PinBase
{
public:
    explicit GrabberInputPin(SampleGrabber *filter);

protected:
    bool accepts(const AM_MEDIA_TYPE &mediaType) override;
    void receive(IMediaSample *sample) override;
};

class GrabberOutputPin : public PassThroughOutputPin
{
public:
    GrabberOutputPin(SampleGrabber *filter, PinBase *input);
};

class SampleGrabber : public FilterBase, public ISampleGrabber
{
public:
    SampleGrabber();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return FilterBase::QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FilterBase::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FilterBase::Release(); }

    HRESULT STDMETHODCALLTYPE SetOneShot(BOOL oneShot) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL bufferThem) override;
    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long *bufferSize, long *buffer) override;
    HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample **sample) override;
    HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB *callback, long whichMethod) override;

    std::vector<PinBase *> pins() override { return {&m_input, &m_output}; }

    bool acceptsType(const AM_MEDIA_TYPE &mediaType);
    void grab(IMediaSample *sample);

protected:
    ~SampleGrabber() override;
    void *findInterface(REFIID riid) override;
    HRESULT startStreaming() override;

private:
    GrabberInputPin m_input;
    GrabberOutputPin m_output;
    std::mutex m_mutex; // the settings below; held while the callback runs
    AM_MEDIA_TYPE m_accepted{};
    ISampleGrabberCB *m_callback = nullptr;
    long m_whichMethod = 0;
    bool m_oneShot = false;
    bool m_shotTaken = false;
    bool m_bufferSamples = false;
    std::vector<BYTE> m_buffer;
};

} // namespace kvplat

#endif // KV_PLATFORM_SAMPLEGRABBER_H
