// A camera node for the tests, written with libpipewire: a driving pw_stream that offers
// MJPG 1280x720 and 640x480 and YUY2 640x480 at 30 fps and sends solid-colour frames until it is
// terminated or has sent its frames.
//   kv-pwtestcamera --name N --description D [--colour RRGGBB] [--v4l2 /dev/videoN]
//                   [--frames COUNT] [--yuy2-only] [--mjpg-size WxH] [--fps N] [--prerender]
//                   [--damage]
// --mjpg-size replaces the first MJPG size; --fps sets the offered and sent rate; --prerender
// draws each buffer once and sends it again, costing no CPU as a device's DMA does.
#include "samplegenerator.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Camera
{
    pw_main_loop *loop = nullptr;
    pw_stream *stream = nullptr;
    spa_hook hook = {};
    spa_source *timer = nullptr;
    kvplat::SampleGenerator generator;
    kvplat::SamplePattern pattern;
    kvplat::SampleFormat format = kvplat::SampleFormat::Mjpg;
    int width = 0;
    int height = 0;
    long framesLeft = -1;
    int fps = 30;
    bool prerender = false;
    bool damage = false; // of every four frames: one flagged corrupted, one empty, one cut
    std::vector<const spa_buffer *> drawn; // buffers already holding a frame (with --prerender)
    uint64_t frame = 0;
    std::vector<uint8_t> sample;
};

const spa_pod *mjpgFormat(spa_pod_builder *b, uint32_t w, uint32_t h, int fps)
{
    const spa_rectangle size = {w, h};
    const spa_fraction rate = {uint32_t(fps), 1};
    return static_cast<const spa_pod *>(spa_pod_builder_add_object(
        b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_mjpg), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
}

const spa_pod *yuy2Format(spa_pod_builder *b, uint32_t w, uint32_t h)
{
    const spa_rectangle size = {w, h};
    const spa_fraction rate = {30, 1}, slow = {15, 1};
    return static_cast<const spa_pod *>(spa_pod_builder_add_object(
        b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_YUY2, SPA_VIDEO_FORMAT_YUY2,
                               SPA_VIDEO_FORMAT_ABGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_ENUM_Fraction(3, &rate, &slow, &rate)));
}

void onParamChanged(void *data, uint32_t id, const spa_pod *param)
{
    auto *c = static_cast<Camera *>(data);
    if (id != SPA_PARAM_Format || !param)
        return;
    uint32_t mediaType = 0, subtype = 0;
    if (spa_format_parse(param, &mediaType, &subtype) < 0)
        return;
    spa_rectangle size = {0, 0};
    if (subtype == SPA_MEDIA_SUBTYPE_mjpg) {
        spa_video_info_mjpg info = {};
        spa_format_video_mjpg_parse(param, &info);
        size = info.size;
        c->format = kvplat::SampleFormat::Mjpg;
    } else {
        spa_video_info_raw info = {};
        spa_format_video_raw_parse(param, &info);
        size = info.size;
        c->format = kvplat::SampleFormat::Yuy2;
    }
    c->width = int(size.width);
    c->height = int(size.height);
    std::fprintf(stderr, "pwtestcamera: format %s %ux%u\n",
                 subtype == SPA_MEDIA_SUBTYPE_mjpg ? "MJPG" : "YUY2", size.width, size.height);
    uint8_t buffer[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const int stride = c->format == kvplat::SampleFormat::Yuy2 ? c->width * 2 : 0;
    const spa_pod *params[1] = {static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(c->width * c->height * 2), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))))};
    pw_stream_update_params(c->stream, params, 1);
}

void onProcess(void *data)
{
    auto *c = static_cast<Camera *>(data);
    pw_buffer *b = pw_stream_dequeue_buffer(c->stream);
    if (!b)
        return;
    spa_data &d = b->buffer->datas[0];
    const spa_buffer *id = b->buffer;
    const bool reuse = c->prerender && d.chunk && d.chunk->size > 0 &&
                       std::find(c->drawn.begin(), c->drawn.end(), id) != c->drawn.end();
    if (reuse) {
        // Sent again as it is.
    } else if (d.data && c->width > 0 &&
               c->generator.render(c->format, c->width, c->height, c->pattern, c->frame++,
                                   c->sample) &&
               c->sample.size() <= d.maxsize) {
        std::memcpy(d.data, c->sample.data(), c->sample.size());
        d.chunk->offset = 0;
        d.chunk->size = uint32_t(c->sample.size());
        d.chunk->stride = c->format == kvplat::SampleFormat::Yuy2 ? c->width * 2 : 0;
        d.chunk->flags = 0;
        if (c->damage && c->frame % 4 == 1)
            d.chunk->flags = SPA_CHUNK_FLAG_CORRUPTED;
        else if (c->damage && c->frame % 4 == 2)
            d.chunk->size = 0;
        else if (c->damage && c->frame % 4 == 3)
            d.chunk->size /= 2;
        if (c->prerender)
            c->drawn.push_back(id);
    } else if (d.chunk) {
        d.chunk->size = 0;
    }
    pw_stream_queue_buffer(c->stream, b);
    if (c->framesLeft > 0 && --c->framesLeft == 0)
        pw_main_loop_quit(c->loop);
}

void onTimer(void *data, uint64_t)
{
    auto *c = static_cast<Camera *>(data);
    if (pw_stream_get_state(c->stream, nullptr) == PW_STREAM_STATE_STREAMING)
        pw_stream_trigger_process(c->stream);
}

void onSignal(void *data, int)
{
    pw_main_loop_quit(static_cast<Camera *>(data)->loop);
}

const pw_stream_events kEvents = [] {
    pw_stream_events e = {};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.param_changed = onParamChanged;
    e.process = onProcess;
    return e;
}();

} // namespace

int main(int argc, char **argv)
{
    std::string name = "kv-test-camera", description = "Test Camera", colour = "3080C0", v4l2;
    bool yuy2Only = false;
    unsigned mjpgWidth = 1280, mjpgHeight = 720;
    Camera c;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--yuy2-only") {
            yuy2Only = true;
        } else if (next && a == "--name") {
            name = argv[++i];
        } else if (next && a == "--description") {
            description = argv[++i];
        } else if (next && a == "--colour") {
            colour = argv[++i];
        } else if (next && a == "--v4l2") {
            v4l2 = argv[++i];
        } else if (a == "--damage") {
            c.damage = true;
        } else if (a == "--prerender") {
            c.prerender = true;
        } else if (next && a == "--mjpg-size") {
            if (std::sscanf(argv[++i], "%ux%u", &mjpgWidth, &mjpgHeight) != 2)
                return 2;
        } else if (next && a == "--fps") {
            c.fps = std::max(1, std::atoi(argv[++i]));
        } else if (next && a == "--frames") {
            c.framesLeft = std::atol(argv[++i]);
        } else {
            std::fprintf(stderr, "pwtestcamera: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (!kvplat::parseSamplePattern("solid:#" + colour, &c.pattern)) {
        std::fprintf(stderr, "pwtestcamera: bad colour %s\n", colour.c_str());
        return 2;
    }
    pw_init(&argc, &argv);
    c.loop = pw_main_loop_new(nullptr);
    pw_loop *loop = pw_main_loop_get_loop(c.loop);
    pw_loop_add_signal(loop, SIGINT, onSignal, &c);
    pw_loop_add_signal(loop, SIGTERM, onSignal, &c);
    pw_properties *props = pw_properties_new(
        PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_ROLE, "Camera",
        PW_KEY_NODE_NAME, name.c_str(), PW_KEY_NODE_DESCRIPTION, description.c_str(), nullptr);
    if (!v4l2.empty())
        pw_properties_set(props, "api.v4l2.path", v4l2.c_str());
    c.stream = pw_stream_new_simple(loop, name.c_str(), props, &kEvents, &c);
    uint8_t buffer[2048];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    std::vector<const spa_pod *> params;
    if (!yuy2Only) {
        params.push_back(mjpgFormat(&b, mjpgWidth, mjpgHeight, c.fps));
        params.push_back(mjpgFormat(&b, 640, 480, c.fps));
    }
    params.push_back(yuy2Format(&b, 640, 480));
    if (pw_stream_connect(c.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
                          params.data(), uint32_t(params.size())) < 0) {
        std::fprintf(stderr, "pwtestcamera: cannot connect\n");
        return 1;
    }
    c.timer = pw_loop_add_timer(loop, onTimer, &c);
    timespec interval = {0, 1000000000L / c.fps};
    pw_loop_update_timer(loop, c.timer, &interval, &interval, false);
    std::fprintf(stderr, "pwtestcamera: %s ready\n", name.c_str());
    pw_main_loop_run(c.loop);
    pw_stream_destroy(c.stream);
    pw_main_loop_destroy(c.loop);
    pw_deinit();
    return 0;
}
