#include "mediatypes.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kvplat {

DWORD fourccOf(SampleFormat format)
{
    switch (format) {
    case SampleFormat::Mjpg:
        return MAKEFOURCC('M', 'J', 'P', 'G');
    case SampleFormat::Yuy2:
        return MAKEFOURCC('Y', 'U', 'Y', '2');
    case SampleFormat::Nv12:
        return MAKEFOURCC('N', 'V', '1', '2');
    case SampleFormat::I420:
        return MAKEFOURCC('I', '4', '2', '0');
    case SampleFormat::Rgb24:
        break;
    }
    return BI_RGB;
}

const GUID &subtypeOf(SampleFormat format)
{
    switch (format) {
    case SampleFormat::Mjpg:
        return MEDIASUBTYPE_MJPG;
    case SampleFormat::Yuy2:
        return MEDIASUBTYPE_YUY2;
    case SampleFormat::Nv12:
        return MEDIASUBTYPE_NV12;
    case SampleFormat::I420:
        return MEDIASUBTYPE_I420;
    case SampleFormat::Rgb24:
        break;
    }
    return MEDIASUBTYPE_RGB24;
}

long sampleSizeOf(const VideoFormat &format)
{
    const long pixels = long(format.width) * format.height;
    // Compressed samples vary in size; this is the largest a frame may take.
    switch (format.format) {
    case SampleFormat::Rgb24:
        return pixels * 3;
    case SampleFormat::Nv12:
    case SampleFormat::I420:
        return pixels * 3 / 2;
    default:
        return pixels * 2;
    }
}

static WORD bitCountOf(SampleFormat format)
{
    switch (format) {
    case SampleFormat::Rgb24:
        return 24;
    case SampleFormat::Nv12:
    case SampleFormat::I420:
        return 12;
    default:
        return 16;
    }
}

bool makeMediaType(const VideoFormat &format, AM_MEDIA_TYPE *mediaType)
{
    std::memset(mediaType, 0, sizeof *mediaType);
    auto *info = static_cast<VIDEOINFOHEADER *>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!info)
        return false;
    std::memset(info, 0, sizeof *info);
    const long size = sampleSizeOf(format);
    info->rcSource = {0, 0, format.width, format.height};
    info->rcTarget = info->rcSource;
    info->AvgTimePerFrame = format.frameInterval;
    if (format.frameInterval > 0) {
        // Large pictures at high rates exceed the field; it then holds its largest value.
        const double bitRate = double(size) * 8.0 * 10000000.0 / double(format.frameInterval);
        const double maxRate = double(std::numeric_limits<DWORD>::max());
        info->dwBitRate = bitRate < maxRate ? DWORD(bitRate) : std::numeric_limits<DWORD>::max();
    }
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = format.width;
    info->bmiHeader.biHeight = format.topDown ? -format.height : format.height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = bitCountOf(format.format);
    info->bmiHeader.biCompression = fourccOf(format.format);
    info->bmiHeader.biSizeImage = DWORD(size);

    mediaType->majortype = MEDIATYPE_Video;
    mediaType->subtype = subtypeOf(format.format);
    mediaType->bFixedSizeSamples = format.format == SampleFormat::Mjpg ? FALSE : TRUE;
    mediaType->bTemporalCompression = FALSE;
    mediaType->lSampleSize = ULONG(size);
    mediaType->formattype = FORMAT_VideoInfo;
    mediaType->cbFormat = sizeof(VIDEOINFOHEADER);
    mediaType->pbFormat = reinterpret_cast<BYTE *>(info);
    return true;
}

VIDEO_STREAM_CONFIG_CAPS streamCapsOf(const VideoFormat &format)
{
    VIDEO_STREAM_CONFIG_CAPS caps;
    std::memset(&caps, 0, sizeof caps);
    const SIZE size = {format.width, format.height};
    caps.guid = FORMAT_VideoInfo;
    caps.InputSize = size;
    caps.MinCroppingSize = size;
    caps.MaxCroppingSize = size;
    caps.CropGranularityX = 1;
    caps.CropGranularityY = 1;
    caps.CropAlignX = 1;
    caps.CropAlignY = 1;
    caps.MinOutputSize = size;
    caps.MaxOutputSize = size;
    caps.OutputGranularityX = 1;
    caps.OutputGranularityY = 1;
    caps.MinFrameInterval = format.frameInterval;
    caps.MaxFrameInterval = format.frameInterval;
    const double bits = double(sampleSizeOf(format)) * 8.0 * 10000000.0 /
                        double(format.frameInterval > 0 ? format.frameInterval : 1);
    caps.MinBitsPerSecond = bits > 2147483647.0 ? 2147483647 : LONG(bits);
    caps.MaxBitsPerSecond = caps.MinBitsPerSecond;
    return caps;
}

bool readVideoMediaType(const AM_MEDIA_TYPE &mediaType, VideoFormat *format)
{
    if (mediaType.majortype != MEDIATYPE_Video || !mediaType.pbFormat)
        return false;
    const BITMAPINFOHEADER *header = nullptr;
    REFERENCE_TIME frameTime = 0;
    if (mediaType.formattype == FORMAT_VideoInfo && mediaType.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(mediaType.pbFormat);
        header = &info->bmiHeader;
        frameTime = info->AvgTimePerFrame;
    } else if (mediaType.formattype == FORMAT_VideoInfo2 &&
               mediaType.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        auto *info = reinterpret_cast<const VIDEOINFOHEADER2 *>(mediaType.pbFormat);
        header = &info->bmiHeader;
        frameTime = info->AvgTimePerFrame;
    } else {
        return false;
    }
    if (mediaType.subtype == MEDIASUBTYPE_MJPG)
        format->format = SampleFormat::Mjpg;
    else if (mediaType.subtype == MEDIASUBTYPE_YUY2)
        format->format = SampleFormat::Yuy2;
    else if (mediaType.subtype == MEDIASUBTYPE_RGB24)
        format->format = SampleFormat::Rgb24;
    else if (mediaType.subtype == MEDIASUBTYPE_NV12)
        format->format = SampleFormat::Nv12;
    else if (mediaType.subtype == MEDIASUBTYPE_I420)
        format->format = SampleFormat::I420;
    else
        return false;
    if (header->biHeight == INT32_MIN)
        return false; // no size of ours, and its magnitude does not fit
    format->width = header->biWidth;
    format->height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    format->topDown = header->biHeight < 0;
    format->frameInterval = frameTime;
    return true;
}

bool mediaTypeMatches(const AM_MEDIA_TYPE &wanted, const AM_MEDIA_TYPE &offered)
{
    if (wanted.majortype != GUID_NULL && wanted.majortype != offered.majortype)
        return false;
    if (wanted.subtype != GUID_NULL && wanted.subtype != offered.subtype)
        return false;
    if (wanted.formattype != GUID_NULL && wanted.formattype != offered.formattype)
        return false;
    return true;
}

} // namespace kvplat
