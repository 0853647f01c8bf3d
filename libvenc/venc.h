// libvenc: hardware video encoders behind one small C++ interface.
//
// Any library that stands in for libvenc.so keeps this header's contract: the
// two exported functions, the order of the eleven virtual operations of
// VideoEncoder (callers reach them by virtual-table position), and the layout
// of VideoEncoderParams.
#ifndef LIBVENC_VENC_H
#define LIBVENC_VENC_H

#include <cstddef>
#include <cstdint>

#define VENC_API __attribute__((visibility("default")))

// Codec ids taken by XeCreateVideoEncoder.
enum VideoEncoderCodecId {
    VENC_CODEC_H264_NVENC = 1,
    VENC_CODEC_H264_QSV = 2,
    VENC_CODEC_HEVC_NVENC = 3,
    VENC_CODEC_HEVC_QSV = 4,
};

// Results of XeCreateVideoEncoder and of the int operations.
enum VideoEncoderResult {
    VENC_OK = 0,
    VENC_ERR_ARGUMENT = -1,      // null pointer or value out of range
    VENC_ERR_UNKNOWN_CODEC = -2, // codec id not known to libvenc
    VENC_ERR_NO_ENCODER = -3,    // the encoder is not built into libavcodec
    VENC_ERR_NO_MEMORY = -4,
    VENC_ERR_STATE = -5,  // operation not valid in the encoder's current state
    VENC_ERR_AGAIN = -6,  // no packet ready yet: send more frames
    VENC_ERR_EOF = -7,    // drained: no more packets will come
    VENC_ERR_ENCODER = -8 // the encoder failed; see errorMessage()
};

// Rate-control modes of VideoEncoderParams::rateControl.
enum VideoEncoderRateControl {
    VENC_RC_VBR = 0,
    VENC_RC_CBR = 1,
};

#pragma pack(push, 1)
// Encoding parameters, 1064 bytes, 32-bit little-endian integers.
struct VideoEncoderParams
{
    int32_t height;          // frame height in pixels (even)
    int32_t width;           // frame width in pixels (even)
    int32_t frameRate;       // frames per second
    int32_t gopSize;         // frames from one key frame to the next
    int32_t maxBFrames;      // B-frames between reference frames
    int32_t refFrames;       // reference frames
    int32_t bitRateKbps;     // target bit rate
    int32_t maxBitRateKbps;  // peak bit rate
    int32_t bufferSizeKbits; // rate-control (VBV) buffer size
    int32_t rateControl;     // VideoEncoderRateControl
    uint8_t reserved[1024];  // zero
};
#pragma pack(pop)

static_assert(sizeof(VideoEncoderParams) == 1064, "parameter block layout is fixed");
static_assert(offsetof(VideoEncoderParams, rateControl) == 36, "parameter block layout is fixed");
static_assert(offsetof(VideoEncoderParams, reserved) == 40, "parameter block layout is fixed");

// Key-frame flag of receivePacket().
enum { VENC_PACKET_KEY = 1 };

// One encoder. Created by XeCreateVideoEncoder and ended only by
// XeReleaseVideoEncoder; there is no virtual destructor, so the declaration
// order below is the virtual-table order.
//
// Life: setParams, initEncoder, then any number of encodeFrame/receivePacket
// rounds, closeEncoder. After closeEncoder the encoder may be initialised again.
class VideoEncoder
{
public:
    // 1. The codec id the encoder was created for.
    virtual int codecId() = 0;
    // 2. The encoder's backend name (e.g. "h264_nvenc").
    virtual const char *encoderName() = 0;
    // 3. Copies a VideoEncoderParams block; used by the next initEncoder.
    //    Returns VENC_OK, or VENC_ERR_ARGUMENT for a null or unusable block.
    virtual int setParams(const void *params) = 0;
    // 4. Changes the target and peak bit rate; takes effect at once on an
    //    initialised encoder, otherwise at the next initEncoder.
    virtual int setBitRate(int bitRateKbps, int maxBitRateKbps) = 0;
    // 5. Makes the next encoded frame a key frame.
    virtual int forceKeyFrame() = 0;
    // 6. Frame rate of the encoder (from the parameters), 0 if none set.
    virtual int frameRate() = 0;
    // 7. Opens the encoder with the parameters. False when the encoder
    //    refuses them or the hardware is missing; see errorMessage().
    virtual bool initEncoder() = 0;
    // 8. Encodes one I420 frame of the parameters' size (Y plane, then U,
    //    then V; size must be width * height * 3 / 2) with the given
    //    presentation time in frame units. A null frame starts the drain.
    virtual int encodeFrame(const uint8_t *i420, int size, int64_t pts) = 0;
    // 9. Fetches the next encoded packet. *data stays valid until the next
    //    call of receivePacket or closeEncoder. Returns VENC_OK, VENC_ERR_AGAIN
    //    or VENC_ERR_EOF. flags gets VENC_PACKET_KEY for key frames.
    virtual int receivePacket(const uint8_t **data, int *size, int64_t *pts, int *flags) = 0;
    // 10. Closes the encoder; harmless when it is not open.
    virtual void closeEncoder() = 0;
    // 11. Why the last operation failed ("" when it succeeded); closeEncoder
    //     leaves the text as it is. Never null; the text may change with the
    //     next operation, so copy it to keep it.
    virtual const char *errorMessage() = 0;

protected:
    VideoEncoder() = default;
    ~VideoEncoder() = default;
    VideoEncoder(const VideoEncoder &) = delete;
    VideoEncoder &operator=(const VideoEncoder &) = delete;
};

extern "C" {
// Creates the encoder for codecId into *encoder. Returns VENC_OK with a
// non-null object, or a negative VideoEncoderResult with *encoder null.
VENC_API int XeCreateVideoEncoder(int codecId, VideoEncoder **encoder);
// Ends an encoder created by XeCreateVideoEncoder (closing it if needed).
// A null pointer is ignored.
VENC_API void XeReleaseVideoEncoder(VideoEncoder *encoder);
}

#endif
