// VideoEncoder on an FFmpeg libavcodec encoder.
#ifndef LIBVENC_FFVIDEOENCODER_H
#define LIBVENC_FFVIDEOENCODER_H

#include "venc.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

class FfVideoEncoder final : public VideoEncoder
{
public:
    // codec must be an encoder; it is opened only by initEncoder.
    FfVideoEncoder(int codecId, const AVCodec *codec);
    ~FfVideoEncoder();

    int codecId() override { return codecId_; }
    const char *encoderName() override;
    int setParams(const void *params) override;
    int setBitRate(int bitRateKbps, int maxBitRateKbps) override;
    int forceKeyFrame() override;
    int frameRate() override;
    bool initEncoder() override;
    int encodeFrame(const uint8_t *i420, int size, int64_t pts) override;
    int receivePacket(const uint8_t **data, int *size, int64_t *pts, int *flags) override;
    void closeEncoder() override;
    const char *errorMessage() override { return error_; }

    // The pixel format initEncoder chose (an AVPixelFormat), -1 when closed.
    int pixelFormat() const;

private:
    int fail(int result, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
    void clearError() { error_[0] = '\0'; }
    void applyBitRate();

    int codecId_;
    const AVCodec *codec_;
    VideoEncoderParams params_;
    bool haveParams_ = false;
    bool forceKey_ = false;
    AVCodecContext *ctx_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    char error_[2560];
};

#endif
