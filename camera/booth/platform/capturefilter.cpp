#include "capturefilter.h"
#include "mediatypes.h"

#include <cstring>

namespace kvplat {

namespace {

const GUID kClsidCaptureFilter = {
    0x17CCA71B, 0xECD7, 0x11D0, {0xB9, 0x08, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

bool deviceFault(kvfault::Op op, const DeviceIdent *device, HRESULT *result, int *count = nullptr,
                 long procAmpProperty = -1)
{
    FaultQuery query{op};
    query.device = device;
    query.procAmpProperty = procAmpProperty;
    return injectedResult(query, result, count);
}

} // namespace

// ---- CapturePin
// ----------------------------------------------------------------------------------

CapturePin::CapturePin(CaptureFilter *filter, std::shared_ptr<IDevice> device)
    : PinBase(filter, L"Capture", PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE), m_device(std::move(device)),
      m_formats(m_device->formats()), m_current(m_formats.empty() ? -1 : 0)
{
}

CapturePin::~CapturePin()
{
    releaseSample();
}

void *CapturePin::findExtraInterface(REFIID riid)
{
    if (riid == IID_IAMStreamConfig)
        return static_cast<IAMStreamConfig *>(this);
    if (riid == IID_IAMVideoCompression)
        return static_cast<IAMVideoCompression *>(this);
    return nullptr;
}

GUID CapturePin::majorType()
{
    return m_formats.empty() ? GUID_NULL : MEDIATYPE_Video;
}

bool CapturePin::currentFormat(VideoFormat *format)
{
    std::lock_guard<std::mutex> lock(m_formatMutex);
    if (m_current < 0)
        return false;
    *format = m_formats[size_t(m_current)];
    return true;
}

std::vector<AM_MEDIA_TYPE> CapturePin::proposedTypes()
{
    // Only the configured format: a connection never changes what SetFormat chose.
    std::vector<AM_MEDIA_TYPE> types;
    VideoFormat format;
    AM_MEDIA_TYPE type;
    if (currentFormat(&format) && makeMediaType(format, &type))
        types.push_back(type);
    return types;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE *mediaType)
{
    HRESULT injected = S_OK;
    if (deviceFault(kvfault::Op::SetFormat, faultDevice(), &injected) && FAILED(injected))
        return injected;
    if (m_filter->state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (isConnected())
        return VFW_E_ALREADY_CONNECTED;
    int chosen = -1;
    if (!mediaType) {
        chosen = m_formats.empty() ? -1 : 0; // back to the default format
    } else {
        VideoFormat wanted;
        if (!readVideoMediaType(*mediaType, &wanted))
            return VFW_E_INVALIDMEDIATYPE;
        for (size_t i = 0; i < m_formats.size() && chosen < 0; ++i) {
            const VideoFormat &f = m_formats[i];
            if (f.format == wanted.format && f.width == wanted.width && f.height == wanted.height &&
                (wanted.frameInterval <= 0 || wanted.frameInterval == f.frameInterval))
                chosen = int(i);
        }
        // A frame time the device does not offer gets the first rate of that size.
        for (size_t i = 0; i < m_formats.size() && chosen < 0; ++i) {
            const VideoFormat &f = m_formats[i];
            if (f.format == wanted.format && f.width == wanted.width && f.height == wanted.height)
                chosen = int(i);
        }
        if (chosen < 0)
            return VFW_E_INVALIDMEDIATYPE;
    }
    {
        std::lock_guard<std::mutex> lock(m_formatMutex);
        m_current = chosen;
    }
    if (chosen >= 0) {
        const VideoFormat &f = m_formats[size_t(chosen)];
        kvfault::FormatCall call;
        call.subtype = subtypeOf(f.format);
        call.fourcc = fourccOf(f.format);
        call.width = f.width;
        call.height = f.height;
        call.avgTimePerFrame = f.frameInterval;
        recordSetFormat(*faultDevice(), call);
    }
    return injected;
}

HRESULT CapturePin::GetFormat(AM_MEDIA_TYPE **mediaType)
{
    if (!mediaType)
        return E_POINTER;
    *mediaType = nullptr;
    HRESULT injected = S_OK;
    if (deviceFault(kvfault::Op::GetFormat, faultDevice(), &injected) && FAILED(injected))
        return injected;
    VideoFormat format;
    if (!currentFormat(&format))
        return E_FAIL;
    auto *type = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type || !makeMediaType(format, type)) {
        CoTaskMemFree(type);
        return E_OUTOFMEMORY;
    }
    *mediaType = type;
    return injected;
}

HRESULT CapturePin::GetNumberOfCapabilities(int *count, int *size)
{
    if (!count || !size)
        return E_POINTER;
    HRESULT injected = S_OK;
    int forcedCount = -1;
    if (deviceFault(kvfault::Op::GetNumberOfCapabilities, faultDevice(), &injected, &forcedCount) &&
        FAILED(injected))
        return injected;
    *count = forcedCount >= 0 ? forcedCount : int(m_formats.size());
    *size = int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    return injected;
}

HRESULT CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE **mediaType, BYTE *caps)
{
    if (!mediaType || !caps)
        return E_POINTER;
    *mediaType = nullptr;
    HRESULT injected = S_OK;
    if (deviceFault(kvfault::Op::GetStreamCaps, faultDevice(), &injected) && FAILED(injected))
        return injected;
    if (index < 0 || size_t(index) >= m_formats.size())
        return S_FALSE;
    const VideoFormat &format = m_formats[size_t(index)];
    auto *type = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type || !makeMediaType(format, type)) {
        CoTaskMemFree(type);
        return E_OUTOFMEMORY;
    }
    const VIDEO_STREAM_CONFIG_CAPS record = streamCapsOf(format);
    std::memcpy(caps, &record, sizeof record);
    *mediaType = type;
    return injected;
}

void CapturePin::deliverSample(const uint8_t *data, size_t length, REFERENCE_TIME start,
                               REFERENCE_TIME end)
{
    if (length > size_t(0x7FFFFFFF))
        return;
    if (!m_sample)
        m_sample = new MediaSample;
    m_sample->attach(data, long(length), start, end);
    deliver(m_sample);
    // Somebody kept the sample: let it have the bytes, and use a fresh one next time.
    if (m_sample->shared()) {
        m_sample->detach();
        m_sample->Release();
        m_sample = nullptr;
    }
}

void CapturePin::releaseSample()
{
    if (m_sample) {
        m_sample->Release();
        m_sample = nullptr;
    }
}

// ---- CaptureFilter
// -------------------------------------------------------------------------------

CaptureFilter::CaptureFilter(std::shared_ptr<IDevice> device)
    : FilterBase(kClsidCaptureFilter), m_device(device), m_pin(this, device)
{
}

CaptureFilter::~CaptureFilter()
{
    stopStreaming();
}

void *CaptureFilter::findInterface(REFIID riid)
{
    if (riid == IID_IAMVideoProcAmp)
        return static_cast<IAMVideoProcAmp *>(this);
    return FilterBase::findInterface(riid);
}

HRESULT CaptureFilter::startStreaming()
{
    VideoFormat format;
    // An unconnected pin has nobody to deliver to, as with a real camera.
    if (!m_pin.isConnected() || !m_pin.currentFormat(&format))
        return S_OK;
    StreamSinks sinks;
    sinks.sample = [this](const uint8_t *data, size_t length, REFERENCE_TIME start,
                          REFERENCE_TIME end) { m_pin.deliverSample(data, length, start, end); };
    sinks.lost = [this] { deviceLost(); };
    std::lock_guard<std::mutex> lock(m_streamMutex);
    if (m_stream)
        return S_OK;
    m_stream = m_device->openStream(format, std::move(sinks));
    return m_stream ? S_OK : HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
}

void CaptureFilter::stopStreaming()
{
    std::unique_ptr<IDeviceStream> stream;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        stream = std::move(m_stream);
    }
    if (stream)
        stream->stop();
    stream.reset();
    m_pin.releaseSample();
}

void CaptureFilter::deviceLost()
{
    notifyDeviceLost();
}

HRESULT CaptureFilter::GetRange(long property, long *min, long *max, long *steppingDelta,
                                long *defaultValue, long *capsFlags)
{
    if (!min || !max || !steppingDelta || !defaultValue || !capsFlags)
        return E_POINTER;
    HRESULT injected = S_OK;
    if (deviceFault(kvfault::Op::ProcAmpGetRange, device(), &injected, nullptr, property) &&
        FAILED(injected))
        return injected;
    ProcAmpRange range;
    if (!m_device->procAmpRange(property, &range))
        return E_PROP_ID_UNSUPPORTED;
    *min = range.min;
    *max = range.max;
    *steppingDelta = range.step;
    *defaultValue = range.defaultValue;
    *capsFlags = range.capsFlags;
    return injected;
}

HRESULT CaptureFilter::Set(long property, long value, long flags)
{
    HRESULT injected = S_OK;
    if (deviceFault(kvfault::Op::ProcAmpSet, device(), &injected, nullptr, property) &&
        FAILED(injected))
        return injected;
    recordProcAmpSet(*device(), property, value, flags);
    if (!m_device->procAmpRange(property, nullptr))
        return E_PROP_ID_UNSUPPORTED;
    if (!m_device->setProcAmp(property, value, flags))
        return E_INVALIDARG;
    return injected;
}

HRESULT CaptureFilter::Get(long property, long *value, long *flags)
{
    if (!value || !flags)
        return E_POINTER;
    HRESULT injected = S_OK;
    if (deviceFault(kvfault::Op::ProcAmpGet, device(), &injected, nullptr, property) &&
        FAILED(injected))
        return injected;
    if (!m_device->getProcAmp(property, value, flags))
        return E_PROP_ID_UNSUPPORTED;
    return injected;
}

} // namespace kvplat
