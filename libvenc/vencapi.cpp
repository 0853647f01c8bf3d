// The two exported entry points of libvenc.so.
#include "ffvideoencoder.h"
#include "venc.h"

#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

const char *encoderNameFor(int codecId)
{
    switch (codecId) {
    case VENC_CODEC_H264_NVENC:
        return "h264_nvenc";
    case VENC_CODEC_H264_QSV:
        return "h264_qsv";
    case VENC_CODEC_HEVC_NVENC:
        return "hevc_nvenc";
    case VENC_CODEC_HEVC_QSV:
        return "hevc_qsv";
    default:
        return nullptr;
    }
}

} // namespace

extern "C" VENC_API int XeCreateVideoEncoder(int codecId, VideoEncoder **encoder)
{
    if (!encoder)
        return VENC_ERR_ARGUMENT;
    *encoder = nullptr;
    const char *name = encoderNameFor(codecId);
    if (!name)
        return VENC_ERR_UNKNOWN_CODEC;
    const AVCodec *codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        return VENC_ERR_NO_ENCODER;
    FfVideoEncoder *created = new (std::nothrow) FfVideoEncoder(codecId, codec);
    if (!created)
        return VENC_ERR_NO_MEMORY;
    *encoder = created;
    return VENC_OK;
}

extern "C" VENC_API void XeReleaseVideoEncoder(VideoEncoder *encoder)
{
    delete static_cast<FfVideoEncoder *>(encoder);
}
