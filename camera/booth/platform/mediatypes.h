// Media types of the video formats devices offer.
#ifndef KV_PLATFORM_MEDIATYPES_H
#define KV_PLATFORM_MEDIATYPES_H

#include "deviceprovider.h"
#include "dshow.h"

namespace kvplat {

DWORD fourccOf(SampleFormat format); // biCompression: MJPG, YUY2 or BI_RGB
const GUID &subtypeOf(SampleFormat format);
long sampleSizeOf(const VideoFormat &format);

// A VIDEOINFOHEADER media type; the caller frees it with FreeMediaType. False when out of memory.
bool makeMediaType(const VideoFormat &format, AM_MEDIA_TYPE *mediaType);
VIDEO_STREAM_CONFIG_CAPS streamCapsOf(const VideoFormat &format);

// Reads subtype, size and frame time of a VIDEOINFOHEADER or VIDEOINFOHEADER2 type.
bool readVideoMediaType(const AM_MEDIA_TYPE &mediaType, VideoFormat *format);

// True when `offered` satisfies the partial type `wanted` (GUID_NULL fields match anything).
bool mediaTypeMatches(const AM_MEDIA_TYPE &wanted, const AM_MEDIA_TYPE &offered);

} // namespace kvplat

#endif // KV_PLATFORM_MEDIATYPES_H
