// One stream of a V4L2 camera: its own open handle with the format set on it, four memory-mapped
// buffers, and a thread that waits with poll, dequeues, hands each good frame to the sample sink
// straight from the mapping and queues the buffer again.
#ifndef KV_PLATFORM_V4L2STREAM_H
#define KV_PLATFORM_V4L2STREAM_H

#include "deviceprovider.h"
#include "v4l2formats.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kvplat {

class V4l2System;

struct V4l2StreamSetup
{
    std::shared_ptr<const V4l2System> system;
    std::string node; // "/dev/videoN"
    DeviceIdent ident;
    V4l2Mode mode;
};

class V4l2Stream : public IDeviceStream
{
public:
    // A running stream, or null when the device refuses (the cause is logged).
    static std::unique_ptr<V4l2Stream> start(const V4l2StreamSetup &setup, StreamSinks sinks);
    ~V4l2Stream() override;

    void stop() override;

    // Whether a dequeued frame is whole enough to convert, and how many of its bytes to hand on.
    // Exposed for the tests of the frame checks.
    static bool usableFrame(uint32_t pixelFormat, size_t rawBytes, const uint8_t *data,
                            size_t bytesUsed, uint32_t flags, size_t *length);

private:
    V4l2Stream(const V4l2StreamSetup &setup, StreamSinks sinks);
    bool open();
    void run();
    void release();
    void fail(const char *call, int error) const;

    struct Buffer
    {
        void *start = nullptr;
        size_t length = 0;
    };

    V4l2StreamSetup m_setup;
    StreamSinks m_sinks;
    int m_fd = -1;
    bool m_streaming = false;
    std::vector<Buffer> m_buffers;
    size_t m_rawBytes = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace kvplat

#endif // KV_PLATFORM_V4L2STREAM_H
