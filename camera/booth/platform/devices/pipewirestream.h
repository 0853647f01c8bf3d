// One stream of a PipeWire camera: a pw_stream on the provider's thread loop, linked to the one
// node the user picked and to no other, that hands each good buffer to the sample sink straight
// from its mapping.
#ifndef KV_PLATFORM_PIPEWIRESTREAM_H
#define KV_PLATFORM_PIPEWIRESTREAM_H

#include "deviceprovider.h"
#include "pipewireconnection.h"

#include <chrono>
#include <memory>

struct pw_stream;
struct spa_source;

namespace kvplat {

struct PipeWireStreamSetup
{
    std::shared_ptr<PipeWireConnection> connection;
    PipeWireNode node;
    DeviceIdent ident;
    PipeWireMode mode;
};

class PipeWireStream : public IDeviceStream
{
public:
    // A negotiated stream, or null when the node refuses or is gone (the cause is logged).
    static std::unique_ptr<PipeWireStream> start(const PipeWireStreamSetup &setup,
                                                 StreamSinks sinks);
    ~PipeWireStream() override;

    void stop() override;

    struct Events; // the stream's callbacks, on the loop thread

private:
    PipeWireStream(const PipeWireStreamSetup &setup, StreamSinks sinks);
    bool connect();
    void release();
    void negotiated(const struct spa_pod *format);
    void process();
    void checkStall();
    void gone(const char *why);

    using Clock = std::chrono::steady_clock;

    PipeWireStreamSetup m_setup;
    StreamSinks m_sinks;
    pw_stream *m_stream = nullptr;
    void *m_hook = nullptr; // spa_hook
    spa_source *m_timer = nullptr;
    int m_watch = 0;
    bool m_watching = false;
    // Written on the loop thread, read under the loop's lock.
    bool m_formatSet = false;
    bool m_refused = false;
    bool m_running = false; // start has returned the stream
    bool m_lost = false;
    Clock::time_point m_lastFrame;
    bool m_stalled = false;
    bool m_haveFirst = false;
    uint64_t m_firstStamp = 0;
    uint32_t m_pixel = 0;
    uint32_t m_defaultStride = 0;
};

} // namespace kvplat

#endif // KV_PLATFORM_PIPEWIRESTREAM_H
