#include "pipewirestream.h"

#include "platforminternal.h"
#include "v4l2formats.h"
#include "v4l2stream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

#include <QDebug>
#include <QString>

#include <algorithm>
#include <linux/videodev2.h>

namespace kvplat {

namespace {

const int kNegotiateMilliseconds = 5000;
const int kStallCheckMilliseconds = 100;

QString pathOf(const DeviceIdent &ident)
{
    return QString::fromStdWString(ident.path);
}

uint32_t defaultStride(const PipeWireMode &mode)
{
    const uint32_t w = uint32_t(mode.format.width);
    switch (mode.format.format) {
    case SampleFormat::Yuy2:
        return w * 2;
    case SampleFormat::Rgb24:
        return w * 3;
    case SampleFormat::Nv12:
    case SampleFormat::I420:
        return w;
    case SampleFormat::Mjpg:
        return 0;
    }
    return 0;
}

} // namespace

struct PipeWireStream::Events
{
    static void stateChanged(void *data, pw_stream_state, pw_stream_state state, const char *error)
    {
        auto *s = static_cast<PipeWireStream *>(data);
        if (state == PW_STREAM_STATE_ERROR) {
            s->gone(error ? error : "stream error");
        } else if (state == PW_STREAM_STATE_UNCONNECTED && s->m_formatSet) {
            s->gone("the stream was unlinked");
        }
    }
    static void paramChanged(void *data, uint32_t id, const spa_pod *param)
    {
        if (id == SPA_PARAM_Format && param)
            static_cast<PipeWireStream *>(data)->negotiated(param);
    }
    static void process(void *data) { static_cast<PipeWireStream *>(data)->process(); }
    static void timer(void *data, uint64_t) { static_cast<PipeWireStream *>(data)->checkStall(); }
};

namespace {

const pw_stream_events kStreamEvents = [] {
    pw_stream_events e = {};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = PipeWireStream::Events::stateChanged;
    e.param_changed = PipeWireStream::Events::paramChanged;
    e.process = PipeWireStream::Events::process;
    return e;
}();

} // namespace

PipeWireStream::PipeWireStream(const PipeWireStreamSetup &setup, StreamSinks sinks)
    : m_setup(setup), m_sinks(std::move(sinks)), m_hook(new spa_hook())
{
    m_pixel = v4l2PixelOf(m_setup.mode);
    m_defaultStride = defaultStride(m_setup.mode);
}

PipeWireStream::~PipeWireStream()
{
    stop();
    delete static_cast<spa_hook *>(m_hook);
}

std::unique_ptr<PipeWireStream> PipeWireStream::start(const PipeWireStreamSetup &setup,
                                                      StreamSinks sinks)
{
    std::unique_ptr<PipeWireStream> stream(new PipeWireStream(setup, std::move(sinks)));
    if (!stream->connect())
        return nullptr; // the destructor releases what was made
    return stream;
}

bool PipeWireStream::connect()
{
    PipeWireConnection &c = *m_setup.connection;
    const QString path = pathOf(m_setup.ident);
    const QString node = QString::fromStdString(m_setup.node.name);
    c.lock();
    // The user picked this node: the session manager must neither choose another one nor move
    // the stream elsewhere when this one goes.
    pw_properties *props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_NODE_DONT_RECONNECT, "true",
                          PW_KEY_TARGET_OBJECT, m_setup.node.serial.c_str(), nullptr);
    m_stream = pw_stream_new(c.core(), "kv-camera", props);
    if (!m_stream) {
        c.unlock();
        qDebug().noquote() << "PipeWire" << path << QString("(node %1):").arg(node)
                           << "pw_stream_new failed:" << spa_strerror(-errno);
        return false;
    }
    pw_stream_add_listener(m_stream, static_cast<spa_hook *>(m_hook), &kStreamEvents, this);
    m_watching = true;
    m_watch = c.watchNode(m_setup.node.id, [this] {
        m_watching = false; // a fired watch is forgotten by the connection
        gone("the node left the daemon");
    });

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod *params[1] = {buildPipeWireFormat(&builder, m_setup.mode)};
    const int result = m_lost ? -ENODEV
                              : pw_stream_connect(m_stream, PW_DIRECTION_INPUT, m_setup.node.id,
                                                  pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT |
                                                                  PW_STREAM_FLAG_MAP_BUFFERS |
                                                                  PW_STREAM_FLAG_DONT_RECONNECT),
                                                  params, 1);
    if (result < 0) {
        c.unlock();
        qDebug().noquote() << "PipeWire" << path << QString("(node %1):").arg(node)
                           << "pw_stream_connect failed:" << spa_strerror(result);
        return false;
    }
    timespec deadline;
    pw_thread_loop_get_time(c.threadLoop(), &deadline,
                            int64_t(kNegotiateMilliseconds) * SPA_NSEC_PER_MSEC);
    bool timedOut = false;
    while (!m_formatSet && !m_refused && !m_lost) {
        if (pw_thread_loop_timed_wait_full(c.threadLoop(), &deadline) != 0) {
            timedOut = true;
            break;
        }
    }
    const bool ok = m_formatSet && !m_refused && !m_lost;
    if (ok) {
        m_running = true;
        m_lastFrame = Clock::now();
        m_timer = pw_loop_add_timer(c.loop(), Events::timer, this);
        timespec interval = {0, kStallCheckMilliseconds * 1000000L};
        if (m_timer)
            pw_loop_update_timer(c.loop(), m_timer, &interval, &interval, false);
    }
    c.unlock();
    if (!ok)
        qDebug().noquote() << "PipeWire" << path << QString("(node %1):").arg(node)
                           << "the stream did not start:"
                           << (timedOut ? "no format agreed in time"
                               : m_lost ? "the camera is gone"
                                        : "the node refuses the format");
    return ok;
}

void PipeWireStream::negotiated(const spa_pod *format)
{
    uint32_t mediaType = 0, subtype = 0;
    uint32_t width = 0, height = 0, videoFormat = 0;
    if (spa_format_parse(format, &mediaType, &subtype) >= 0) {
        if (subtype == SPA_MEDIA_SUBTYPE_raw) {
            spa_video_info_raw info = {};
            if (spa_format_video_raw_parse(format, &info) >= 0) {
                width = info.size.width;
                height = info.size.height;
                videoFormat = info.format;
            }
        } else if (subtype == SPA_MEDIA_SUBTYPE_mjpg) {
            spa_video_info_mjpg info = {};
            if (spa_format_video_mjpg_parse(format, &info) >= 0) {
                width = info.size.width;
                height = info.size.height;
            }
        }
    }
    const PipeWireMode &mode = m_setup.mode;
    if (subtype != mode.mediaSubtype || width != uint32_t(mode.format.width) ||
        height != uint32_t(mode.format.height) ||
        (subtype == SPA_MEDIA_SUBTYPE_raw && videoFormat != mode.videoFormat)) {
        qDebug().noquote() << "PipeWire" << pathOf(m_setup.ident) << "agreed on" << width << "x"
                           << height << "instead of" << mode.format.width << "x"
                           << mode.format.height;
        m_refused = true;
        pw_thread_loop_signal(m_setup.connection->threadLoop(), false);
        return;
    }
    // Buffers the CPU can read: plain memory or shared memory files, mapped by the stream.
    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod *params[2];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[1] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    pw_stream_update_params(m_stream, params, 2);
    m_formatSet = true;
    pw_thread_loop_signal(m_setup.connection->threadLoop(), false);
}

void PipeWireStream::process()
{
    pw_buffer *b = pw_stream_dequeue_buffer(m_stream);
    if (!b)
        return;
    const spa_buffer *buf = b->buffer;
    if (m_running && !m_lost && buf && buf->n_datas >= 1 && buf->datas[0].data &&
        buf->datas[0].chunk) {
        const spa_data &d = buf->datas[0];
        const uint32_t offset = std::min(d.chunk->offset, d.maxsize);
        const uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
        const auto *data = static_cast<const uint8_t *>(d.data) + offset;
        const auto *header = static_cast<const spa_meta_header *>(
            spa_buffer_find_meta_data(buf, SPA_META_Header, sizeof(spa_meta_header)));
        const bool damaged = (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) ||
                             (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED));
        const uint32_t stride = d.chunk->stride > 0 ? uint32_t(d.chunk->stride) : m_defaultStride;
        const size_t rawBytes =
            rawFrameBytes(m_pixel, stride, uint32_t(m_setup.mode.format.height));
        size_t length = 0;
        if (V4l2Stream::usableFrame(m_pixel, rawBytes, data, size,
                                    damaged ? V4L2_BUF_FLAG_ERROR : 0, &length)) {
            const Clock::time_point now = Clock::now();
            if (m_stalled)
                qDebug().noquote()
                    << "PipeWire" << pathOf(m_setup.ident) << "sends frames again after"
                    << std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastFrame)
                           .count()
                    << "ms";
            m_stalled = false;
            m_lastFrame = now;
            const uint64_t stamp =
                header && header->pts > 0
                    ? uint64_t(header->pts)
                    : uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   now.time_since_epoch())
                                   .count());
            if (!m_haveFirst) {
                m_haveFirst = true;
                m_firstStamp = stamp;
            }
            const REFERENCE_TIME interval =
                m_setup.mode.format.frameInterval > 0 ? m_setup.mode.format.frameInterval : 333333;
            const REFERENCE_TIME start = REFERENCE_TIME((stamp - m_firstStamp) / 100);
            if (m_sinks.sample)
                m_sinks.sample(data, length, start, start + interval);
            recordSampleDelivered(m_setup.ident);
        }
    }
    pw_stream_queue_buffer(m_stream, b);
}

void PipeWireStream::checkStall()
{
    if (!m_running || m_lost || m_stalled)
        return;
    const REFERENCE_TIME interval =
        m_setup.mode.format.frameInterval > 0 ? m_setup.mode.format.frameInterval : 333333;
    // A stall is longer than a second and than five frame intervals.
    const auto stallAfter =
        std::max(std::chrono::milliseconds(1000), std::chrono::milliseconds(interval * 5 / 10000));
    const Clock::time_point now = Clock::now();
    if (now - m_lastFrame > stallAfter) {
        m_stalled = true;
        qDebug().noquote()
            << "PipeWire" << pathOf(m_setup.ident) << "sends no frames: none for"
            << std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastFrame).count()
            << "ms";
    }
}

void PipeWireStream::gone(const char *why)
{
    if (m_lost)
        return;
    m_lost = true;
    pw_thread_loop_signal(m_setup.connection->threadLoop(), false);
    if (!m_running)
        return; // the start reports it
    qDebug().noquote() << "PipeWire" << pathOf(m_setup.ident)
                       << QString("(node %1):").arg(QString::fromStdString(m_setup.node.name))
                       << "the camera went away while streaming;" << why;
    if (m_sinks.lost)
        m_sinks.lost();
}

void PipeWireStream::release()
{
    PipeWireConnection &c = *m_setup.connection;
    c.lock();
    if (m_watching) {
        c.unwatch(m_watch);
        m_watching = false;
    }
    if (m_timer) {
        pw_loop_destroy_source(c.loop(), m_timer);
        m_timer = nullptr;
    }
    if (m_stream) {
        spa_hook_remove(static_cast<spa_hook *>(m_hook));
        pw_stream_disconnect(m_stream);
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }
    m_running = false;
    c.unlock();
}

void PipeWireStream::stop()
{
    release();
    m_sinks = StreamSinks();
}

} // namespace kvplat
