#include "ffvideoencoder.h"

#include "fflogcapture.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace {

// The input is always I420; these are the layouts we can hand over without a
// scaler.
AVPixelFormat choosePixelFormat(const AVCodec *codec)
{
    if (!codec->pix_fmts)
        return AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat *f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == AV_PIX_FMT_YUV420P || *f == AV_PIX_FMT_NV12)
            return *f;
    }
    return AV_PIX_FMT_NONE;
}

const char *avError(int err, char *buf, std::size_t size)
{
    av_strerror(err, buf, size);
    return buf;
}

const char *validate(const VideoEncoderParams &p)
{
    if (p.width <= 0 || p.height <= 0 || p.width > 16384 || p.height > 16384)
        return "frame size out of range";
    if (p.width % 2 || p.height % 2)
        return "frame width and height must be even";
    if (p.frameRate <= 0 || p.frameRate > 1000)
        return "frame rate out of range";
    if (p.gopSize < 0 || p.maxBFrames < 0 || p.maxBFrames > 16 || p.refFrames < 0 ||
        p.refFrames > 16)
        return "GOP structure out of range";
    if (p.bitRateKbps <= 0 || p.maxBitRateKbps < 0 || p.bufferSizeKbits < 0 ||
        p.bitRateKbps > 2000000 || p.maxBitRateKbps > 2000000 || p.bufferSizeKbits > 2000000)
        return "bit rate out of range";
    if (p.rateControl != VENC_RC_VBR && p.rateControl != VENC_RC_CBR)
        return "unknown rate control mode";
    return nullptr;
}

} // namespace

FfVideoEncoder::FfVideoEncoder(int codecId, const AVCodec *codec)
    : codecId_(codecId), codec_(codec), params_()
{
    clearError();
}

FfVideoEncoder::~FfVideoEncoder()
{
    closeEncoder();
}

const char *FfVideoEncoder::encoderName()
{
    return codec_->name;
}

int FfVideoEncoder::fail(int result, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(error_, sizeof error_, fmt, ap);
    va_end(ap);
    return result;
}

int FfVideoEncoder::setParams(const void *params)
{
    clearError();
    if (!params)
        return fail(VENC_ERR_ARGUMENT, "no parameter block");
    if (ctx_)
        return fail(VENC_ERR_STATE, "parameters cannot change while the encoder is open");
    VideoEncoderParams p;
    std::memcpy(&p, params, sizeof p);
    if (const char *why = validate(p))
        return fail(VENC_ERR_ARGUMENT, "invalid parameters: %s", why);
    params_ = p;
    haveParams_ = true;
    return VENC_OK;
}

void FfVideoEncoder::applyBitRate()
{
    const VideoEncoderParams &p = params_;
    ctx_->bit_rate = int64_t(p.bitRateKbps) * 1000;
    ctx_->rc_max_rate = int64_t(p.maxBitRateKbps > 0 ? p.maxBitRateKbps : p.bitRateKbps) * 1000;
    if (p.rateControl == VENC_RC_CBR)
        ctx_->rc_max_rate = ctx_->bit_rate;
}

int FfVideoEncoder::setBitRate(int bitRateKbps, int maxBitRateKbps)
{
    clearError();
    if (!haveParams_)
        return fail(VENC_ERR_STATE, "no parameters set");
    if (bitRateKbps <= 0 || bitRateKbps > 2000000 || maxBitRateKbps < 0 || maxBitRateKbps > 2000000)
        return fail(VENC_ERR_ARGUMENT, "bit rate out of range");
    params_.bitRateKbps = bitRateKbps;
    params_.maxBitRateKbps = maxBitRateKbps;
    // Encoders that reconfigure on the fly pick the new rate up at the next frame.
    if (ctx_)
        applyBitRate();
    return VENC_OK;
}

int FfVideoEncoder::forceKeyFrame()
{
    clearError();
    if (!ctx_)
        return fail(VENC_ERR_STATE, "encoder not initialised");
    forceKey_ = true;
    return VENC_OK;
}

int FfVideoEncoder::frameRate()
{
    return haveParams_ ? params_.frameRate : 0;
}

int FfVideoEncoder::pixelFormat() const
{
    return ctx_ ? int(ctx_->pix_fmt) : -1;
}

bool FfVideoEncoder::initEncoder()
{
    clearError();
    if (ctx_) {
        fail(VENC_ERR_STATE, "encoder already initialised");
        return false;
    }
    if (!haveParams_) {
        fail(VENC_ERR_STATE, "no parameters set");
        return false;
    }
    const AVPixelFormat pixFmt = choosePixelFormat(codec_);
    if (pixFmt == AV_PIX_FMT_NONE) {
        fail(VENC_ERR_ENCODER, "%s takes no YUV 4:2:0 input", codec_->name);
        return false;
    }
    ctx_ = avcodec_alloc_context3(codec_);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!ctx_ || !frame_ || !packet_) {
        closeEncoder();
        fail(VENC_ERR_NO_MEMORY, "out of memory");
        return false;
    }
    const VideoEncoderParams &p = params_;
    ctx_->width = p.width;
    ctx_->height = p.height;
    ctx_->pix_fmt = pixFmt;
    ctx_->time_base = AVRational{1, p.frameRate};
    ctx_->framerate = AVRational{p.frameRate, 1};
    ctx_->gop_size = p.gopSize;
    ctx_->max_b_frames = p.maxBFrames;
    ctx_->refs = p.refFrames;
    ctx_->rc_buffer_size = p.bufferSizeKbits * 1000; // validated to fit
    applyBitRate();
    if (p.rateControl == VENC_RC_CBR && ctx_->priv_data) {
        // The NVIDIA encoders name the mode; the Intel ones derive CBR from
        // equal target and peak rates. Encoders without the option ignore it.
        av_opt_set(ctx_->priv_data, "rc", "cbr", 0);
    }

    char reason[AV_ERROR_MAX_STRING_SIZE];
    int err;
    {
        FfLogCapture log;
        err = avcodec_open2(ctx_, codec_, nullptr);
        if (err < 0) {
            fail(VENC_ERR_ENCODER, "%s cannot be opened: %s%s%s%s", codec_->name,
                 avError(err, reason, sizeof reason), log.empty() ? "" : " (", log.text(),
                 log.empty() ? "" : ")");
        }
    }
    if (err < 0) {
        closeEncoder();
        return false;
    }
    frame_->format = pixFmt;
    frame_->width = p.width;
    frame_->height = p.height;
    err = av_frame_get_buffer(frame_, 0);
    if (err < 0) {
        closeEncoder();
        fail(VENC_ERR_NO_MEMORY, "no frame buffer: %s", avError(err, reason, sizeof reason));
        return false;
    }
    forceKey_ = false;
    return true;
}

int FfVideoEncoder::encodeFrame(const uint8_t *i420, int size, int64_t pts)
{
    clearError();
    if (!ctx_)
        return fail(VENC_ERR_STATE, "encoder not initialised");
    char reason[AV_ERROR_MAX_STRING_SIZE];
    FfLogCapture log;
    int err;
    if (!i420) {
        err = avcodec_send_frame(ctx_, nullptr);
    } else {
        const int w = ctx_->width;
        const int h = ctx_->height;
        const int64_t expected = int64_t(w) * h * 3 / 2;
        if (size != expected)
            return fail(VENC_ERR_ARGUMENT, "frame of %d bytes, %lld expected", size,
                        static_cast<long long>(expected));
        err = av_frame_make_writable(frame_);
        if (err < 0)
            return fail(VENC_ERR_NO_MEMORY, "no frame buffer: %s",
                        avError(err, reason, sizeof reason));
        const uint8_t *y = i420;
        const uint8_t *u = y + int64_t(w) * h;
        const uint8_t *v = u + int64_t(w / 2) * (h / 2);
        for (int row = 0; row < h; ++row)
            std::memcpy(frame_->data[0] + int64_t(row) * frame_->linesize[0], y + int64_t(row) * w,
                        w);
        for (int row = 0; row < h / 2; ++row) {
            const uint8_t *us = u + int64_t(row) * (w / 2);
            const uint8_t *vs = v + int64_t(row) * (w / 2);
            if (ctx_->pix_fmt == AV_PIX_FMT_NV12) {
                uint8_t *uv = frame_->data[1] + int64_t(row) * frame_->linesize[1];
                for (int x = 0; x < w / 2; ++x) {
                    uv[2 * x] = us[x];
                    uv[2 * x + 1] = vs[x];
                }
            } else {
                std::memcpy(frame_->data[1] + int64_t(row) * frame_->linesize[1], us, w / 2);
                std::memcpy(frame_->data[2] + int64_t(row) * frame_->linesize[2], vs, w / 2);
            }
        }
        frame_->pts = pts;
        frame_->pict_type = forceKey_ ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        err = avcodec_send_frame(ctx_, frame_);
        if (err >= 0)
            forceKey_ = false;
    }
    if (err == AVERROR(EAGAIN))
        return fail(VENC_ERR_AGAIN, "encoder full: fetch packets first");
    if (err == AVERROR_EOF)
        return fail(VENC_ERR_EOF, "encoder already drained");
    if (err < 0)
        return fail(VENC_ERR_ENCODER, "encoding failed: %s%s%s%s",
                    avError(err, reason, sizeof reason), log.empty() ? "" : " (", log.text(),
                    log.empty() ? "" : ")");
    return VENC_OK;
}

int FfVideoEncoder::receivePacket(const uint8_t **data, int *size, int64_t *pts, int *flags)
{
    clearError();
    if (!data || !size)
        return fail(VENC_ERR_ARGUMENT, "no place for the packet");
    *data = nullptr;
    *size = 0;
    if (!ctx_)
        return fail(VENC_ERR_STATE, "encoder not initialised");
    av_packet_unref(packet_);
    char reason[AV_ERROR_MAX_STRING_SIZE];
    FfLogCapture log;
    const int err = avcodec_receive_packet(ctx_, packet_);
    if (err == AVERROR(EAGAIN))
        return VENC_ERR_AGAIN;
    if (err == AVERROR_EOF)
        return VENC_ERR_EOF;
    if (err < 0)
        return fail(VENC_ERR_ENCODER, "encoding failed: %s%s%s%s",
                    avError(err, reason, sizeof reason), log.empty() ? "" : " (", log.text(),
                    log.empty() ? "" : ")");
    *data = packet_->data;
    *size = packet_->size;
    if (pts)
        *pts = packet_->pts;
    if (flags)
        *flags = (packet_->flags & AV_PKT_FLAG_KEY) ? VENC_PACKET_KEY : 0;
    return VENC_OK;
}

void FfVideoEncoder::closeEncoder()
{
    // Closing cannot fail, so the reason of the last failure stays readable.
    // Closing may flush and log; keep that out of the standard streams too.
    FfLogCapture log;
    avcodec_free_context(&ctx_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    forceKey_ = false;
}
