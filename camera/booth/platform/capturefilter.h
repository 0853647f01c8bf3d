// The capture filter of a device: one output pin "Capture" with stream configuration, and the
// device's picture controls. Streams whatever provider the device came from.
#ifndef KV_PLATFORM_CAPTUREFILTER_H
#define KV_PLATFORM_CAPTUREFILTER_H

#include "deviceprovider.h"
#include "filterbase.h"

#include <memory>

namespace kvplat {

class CaptureFilter;

class CapturePin : public PinBase, public IAMStreamConfig, public IAMVideoCompression
{
public:
    CapturePin(CaptureFilter *filter, std::shared_ptr<IDevice> device);
    ~CapturePin() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return PinBase::QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return PinBase::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return PinBase::Release(); }

    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *mediaType) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **mediaType) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *count, int *size) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE **mediaType,
                                            BYTE *caps) override;

    // No compression settings on a camera's raw stream.
    HRESULT STDMETHODCALLTYPE put_KeyFrameRate(long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_KeyFrameRate(long *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_PFramesPerKeyFrame(long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_PFramesPerKeyFrame(long *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Quality(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Quality(double *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_WindowSize(DWORDLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_WindowSize(DWORDLONG *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInfo(LPWSTR, int *, LPWSTR, int *, long *, long *, double *,
                                      long *) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OverrideKeyFrame(long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OverrideFrameSize(long, long) override { return E_NOTIMPL; }

    GUID majorType() override;
    bool currentFormat(VideoFormat *format);

    // Streaming thread.
    void deliverSample(const uint8_t *data, size_t length, REFERENCE_TIME start,
                       REFERENCE_TIME end);
    // After the stream has stopped.
    void releaseSample();

protected:
    std::vector<AM_MEDIA_TYPE> proposedTypes() override;
    void *findExtraInterface(REFIID riid) override;

private:
    std::shared_ptr<IDevice> m_device;
    const std::vector<VideoFormat> m_formats;
    std::mutex m_formatMutex;
    int m_current;
    MediaSample *m_sample = nullptr;
};

class CaptureFilter : public FilterBase, public IAMVideoProcAmp
{
public:
    explicit CaptureFilter(std::shared_ptr<IDevice> device);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        return FilterBase::QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FilterBase::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FilterBase::Release(); }

    HRESULT STDMETHODCALLTYPE GetRange(long property, long *min, long *max, long *steppingDelta,
                                       long *defaultValue, long *capsFlags) override;
    HRESULT STDMETHODCALLTYPE Set(long property, long value, long flags) override;
    HRESULT STDMETHODCALLTYPE Get(long property, long *value, long *flags) override;

    std::vector<PinBase *> pins() override { return {&m_pin}; }
    bool isSource() const override { return true; }
    const DeviceIdent *device() const override { return &m_device->ident(); }

protected:
    ~CaptureFilter() override;
    void *findInterface(REFIID riid) override;
    HRESULT startStreaming() override;
    void stopStreaming() override;

private:
    void deviceLost();

    std::shared_ptr<IDevice> m_device;
    CapturePin m_pin;
    std::mutex m_streamMutex;
    std::unique_ptr<IDeviceStream> m_stream;
};

} // namespace kvplat

#endif // KV_PLATFORM_CAPTUREFILTER_H
