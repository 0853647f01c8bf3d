// A scripted V4L2 backend: device nodes are plain files below KV_V4L2_ROOT whose text names a
// device model (fakedevices.h); the calls answer as the kernel's V4L2 core and uvcvideo do:
// argument checks, EINVAL at the end of enumerations, one owner of the buffers, EAGAIN from
// DQBUF while no frame is ready, ENODEV and POLLERR once the node is gone. Frames are rendered
// by the virtual cameras' sample generator. Deleting a node file unplugs the device.
#include "fakedevices.h"
#include "samplegenerator.h"

#pragma GCC visibility push(default)
#include "v4l2backend.h"
extern "C" {
// Frames a node's device has produced and how many of them were whole.
int kvFakeV4l2Frames(const char *node, int *produced, int *whole);
}
#pragma GCC visibility pop

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fakev4l2 {

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t kOffsetStep = 0x100000; // mmap offsets of the buffers, page aligned

struct Buffer
{
    std::vector<uint8_t> memory;
    bool queued = false;
    bool mapped = false;
    uint32_t bytesUsed = 0;
    uint32_t flags = 0;
    uint32_t sequence = 0;
    uint64_t queueOrder = 0;
    uint32_t drawn = 0; // bytes of the picture drawn once (prerender)
};

// What stays with the device across handles: the owner of the buffers and control values.
struct Device
{
    std::string identity;
    int owner = -1;
    std::map<uint32_t, int32_t> controls;
    int produced = 0;
    int whole = 0;
};

struct Handle
{
    std::string path;
    std::string identity; // of the node file opened: a re-plugged node is another file
    bool blocking = false;
    FakeModel model;
    v4l2_pix_format format = {};
    v4l2_fract interval = {1, 30};
    std::vector<Buffer> buffers;
    bool streaming = false;
    uint64_t queueCounter = 0;
    uint32_t sequence = 0;
    Clock::time_point due;
    std::unique_ptr<kvplat::SampleGenerator> generator;
    std::vector<uint8_t> scratch;
};

std::mutex g_mutex;
std::map<int, std::unique_ptr<Handle>> g_handles;
std::map<std::string, Device> g_devices;
int g_nextFd = 1000;

// Inode and change time: a node file removed and made again is another device.
std::string identityOf(const struct stat &st)
{
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

bool readFile(const std::string &path, std::string *text, std::string *identity)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    *text = s.str();
    *identity = identityOf(st);
    return true;
}

// The node is still the one this handle opened.
bool present(const Handle &h)
{
    struct stat st;
    return stat(h.path.c_str(), &st) == 0 && identityOf(st) == h.identity;
}

Device &deviceOf(const Handle &h)
{
    Device &d = g_devices[h.path];
    if (d.identity != h.identity) {
        d = Device();
        d.identity = h.identity;
        for (const FakeControl &c : h.model.controls)
            d.controls[c.id] = c.def;
    }
    return d;
}

int fail(int error)
{
    errno = error;
    return -1;
}

const FakeFormat *findFormat(const FakeModel &m, uint32_t pixelFormat)
{
    for (const FakeFormat &f : m.formats) {
        if (f.pixelFormat == pixelFormat)
            return &f;
    }
    return nullptr;
}

bool rawFormat(uint32_t pixelFormat)
{
    return pixelFormat != V4L2_PIX_FMT_MJPEG && pixelFormat != V4L2_PIX_FMT_JPEG &&
           pixelFormat != V4L2_PIX_FMT_H264;
}

// bytesperline and sizeimage of a size, as the driver fills them.
void fillSizes(const FakeFormat &f, v4l2_pix_format *p)
{
    switch (f.pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
        p->bytesperline = p->width * 2 + f.rowPadding;
        p->sizeimage = p->bytesperline * p->height;
        break;
    case V4L2_PIX_FMT_BGR24:
        p->bytesperline = p->width * 3 + f.rowPadding;
        p->sizeimage = p->bytesperline * p->height;
        break;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        p->bytesperline = p->width + f.rowPadding;
        p->sizeimage = p->bytesperline * p->height * 3 / 2;
        break;
    case V4L2_PIX_FMT_GREY:
    case V4L2_PIX_FMT_SGRBG8:
        p->bytesperline = p->width + f.rowPadding;
        p->sizeimage = p->bytesperline * p->height;
        break;
    default: // compressed
        p->bytesperline = 0;
        p->sizeimage = p->width * p->height * 2;
        break;
    }
}

// The driver's answer to a format request: the nearest size of that format, or its first
// format when the code is unknown (S_FMT and TRY_FMT never refuse a pixel format).
void adjustFormat(const FakeModel &m, v4l2_pix_format *p)
{
    const FakeFormat *f = findFormat(m, p->pixelformat);
    if (!f)
        f = &m.formats.front();
    uint32_t w = p->width, h = p->height;
    if (f->stepwise) {
        const v4l2_frmsize_stepwise &r = f->range;
        w = std::min(std::max(w, r.min_width), r.max_width);
        h = std::min(std::max(h, r.min_height), r.max_height);
        w = r.min_width + (w - r.min_width) / r.step_width * r.step_width;
        h = r.min_height + (h - r.min_height) / r.step_height * r.step_height;
    } else {
        uint64_t best = UINT64_MAX;
        const int64_t wantW = p->width, wantH = p->height;
        for (const FakeSize &s : f->sizes) {
            const uint64_t d = uint64_t(std::llabs(int64_t(s.width) - wantW)) +
                               uint64_t(std::llabs(int64_t(s.height) - wantH));
            if (d < best) {
                best = d;
                w = s.width;
                h = s.height;
            }
        }
    }
    std::memset(p, 0, sizeof *p);
    p->pixelformat = f->pixelFormat;
    p->width = w;
    p->height = h;
    p->field = V4L2_FIELD_NONE;
    p->colorspace = rawFormat(f->pixelFormat) ? V4L2_COLORSPACE_SMPTE170M : V4L2_COLORSPACE_JPEG;
    fillSizes(*f, p);
}

// The intervals a size offers, shortest first.
std::vector<v4l2_fract> intervalsOf(const FakeModel &m, uint32_t pixelFormat, uint32_t w,
                                    uint32_t h, bool *stepwise)
{
    *stepwise = false;
    const FakeFormat *f = findFormat(m, pixelFormat);
    if (!f)
        return {};
    if (f->stepwise) {
        const v4l2_frmsize_stepwise &r = f->range;
        if (w < r.min_width || w > r.max_width || h < r.min_height || h > r.max_height ||
            (w - r.min_width) % r.step_width || (h - r.min_height) % r.step_height)
            return {};
        *stepwise = true;
        return {f->minInterval};
    }
    for (const FakeSize &s : f->sizes) {
        if (s.width == w && s.height == h)
            return s.intervals;
    }
    return {};
}

// Drops the Huffman table segments (DHT) of a JPEG, as UVC cameras send MJPG.
void dropHuffmanTables(std::vector<uint8_t> &jpeg)
{
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const uint8_t marker = jpeg[i + 1];
        if (marker == 0xDA)
            break; // start of scan: entropy-coded data follows
        const size_t length = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (marker == 0xC4)
            jpeg.erase(jpeg.begin() + long(i), jpeg.begin() + long(i + 2 + length));
        else
            i += 2 + length;
    }
}

// Renders frame `n` into buffer `b` in the handle's format; returns the bytes used.
uint32_t render(Handle &h, Buffer &b, uint64_t n)
{
    if (!h.generator)
        h.generator.reset(new kvplat::SampleGenerator);
    kvplat::SamplePattern pattern;
    pattern.solid = h.model.solid;
    pattern.red = h.model.red;
    pattern.green = h.model.green;
    pattern.blue = h.model.blue;
    const v4l2_pix_format &p = h.format;
    const int w = int(p.width), ht = int(p.height);
    std::vector<uint8_t> &s = h.scratch;
    uint8_t *out = b.memory.data();
    const size_t stride = p.bytesperline;
    switch (p.pixelformat) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: {
        if (!h.generator->render(kvplat::SampleFormat::Mjpg, w, ht, pattern, n, s))
            return 0;
        if (!h.model.keepHuffman)
            dropHuffmanTables(s);
        const size_t used = std::min(s.size(), b.memory.size());
        std::memcpy(out, s.data(), used);
        return uint32_t(used);
    }
    case V4L2_PIX_FMT_YUYV:
        h.generator->render(kvplat::SampleFormat::Yuy2, w, ht, pattern, n, s);
        for (int y = 0; y < ht; ++y)
            std::memcpy(out + size_t(y) * stride, s.data() + size_t(y) * w * 2, size_t(w) * 2);
        return p.sizeimage;
    case V4L2_PIX_FMT_BGR24:
        // The generator's rows are bottom-up; V4L2's run top-down.
        h.generator->render(kvplat::SampleFormat::Rgb24, w, ht, pattern, n, s);
        for (int y = 0; y < ht; ++y)
            std::memcpy(out + size_t(y) * stride, s.data() + size_t(ht - 1 - y) * w * 3,
                        size_t(w) * 3);
        return p.sizeimage;
    case V4L2_PIX_FMT_NV12: {
        h.generator->render(kvplat::SampleFormat::Nv12, w, ht, pattern, n, s);
        const int rows = ht + (ht + 1) / 2;
        for (int y = 0; y < rows; ++y)
            std::memcpy(out + size_t(y) * stride, s.data() + size_t(y) * w, size_t(w));
        return p.sizeimage;
    }
    case V4L2_PIX_FMT_YUV420: {
        h.generator->render(kvplat::SampleFormat::I420, w, ht, pattern, n, s);
        for (int y = 0; y < ht; ++y)
            std::memcpy(out + size_t(y) * stride, s.data() + size_t(y) * w, size_t(w));
        const size_t cw = size_t(w) / 2, ch = size_t(ht + 1) / 2;
        const uint8_t *chroma = s.data() + size_t(w) * ht;
        uint8_t *dst = out + stride * ht;
        for (size_t y = 0; y < 2 * ch; ++y)
            std::memcpy(dst + y * (stride / 2), chroma + y * cw, cw);
        return p.sizeimage;
    }
    default:
        std::memset(out, 0x40, p.sizeimage);
        return p.sizeimage;
    }
}

// Damage of frame n in damage mode: 1 error flag, 2 empty, 3 cut short, 4 no start marker.
void damage(const Handle &h, Buffer &b, uint64_t n)
{
    switch (n % 5) {
    case 1:
        b.flags |= V4L2_BUF_FLAG_ERROR;
        break;
    case 2:
        b.bytesUsed = 0;
        break;
    case 3:
        b.bytesUsed /= 2;
        break;
    case 4:
        if (!rawFormat(h.format.pixelformat) && b.bytesUsed > 2)
            b.memory[0] = b.memory[1] = 0;
        break;
    default:
        break;
    }
}

Clock::duration intervalOf(const Handle &h)
{
    if (!h.model.paced || h.interval.denominator == 0)
        return Clock::duration::zero();
    return std::chrono::microseconds(int64_t(h.interval.numerator) * 1000000 /
                                     h.interval.denominator);
}

Buffer *nextQueued(Handle &h)
{
    Buffer *next = nullptr;
    for (Buffer &b : h.buffers) {
        if (b.queued && (!next || b.queueOrder < next->queueOrder))
            next = &b;
    }
    return next;
}

// Whether a frame can be dequeued now.
bool frameReady(Handle &h)
{
    return h.streaming && nextQueued(h) && Clock::now() >= h.due;
}

void unplug(const Handle &h)
{
    unlink(h.path.c_str());
}

int dequeue(Handle &h, v4l2_buffer *arg)
{
    Device &d = deviceOf(h);
    Buffer *b = nextQueued(h);
    const uint64_t n = uint64_t(d.produced);
    b->queued = false;
    b->flags = 0;
    if (h.model.prerender && b->drawn > 0) {
        b->bytesUsed = b->drawn;
    } else {
        b->bytesUsed = render(h, *b, n);
        b->drawn = b->bytesUsed;
    }
    b->sequence = h.sequence++;
    const bool before = b->bytesUsed > 0;
    if (h.model.damage)
        damage(h, *b, n);
    ++d.produced;
    if (before &&
        (!h.model.damage || n % 5 == 0 || (n % 5 == 4 && rawFormat(h.format.pixelformat))))
        ++d.whole;
    h.due += intervalOf(h);
    if (h.model.stallAfter >= 0 && d.produced == h.model.stallAfter)
        h.due += std::chrono::milliseconds(h.model.stallMs);
    if (h.due < Clock::now() - std::chrono::seconds(1))
        h.due = Clock::now();
    const uint32_t index = uint32_t(b - h.buffers.data());
    std::memset(arg, 0, sizeof *arg);
    arg->index = index;
    arg->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    arg->memory = V4L2_MEMORY_MMAP;
    arg->bytesused = b->bytesUsed;
    arg->flags = b->flags | V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    arg->field = V4L2_FIELD_NONE;
    arg->sequence = b->sequence;
    const auto since =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
            .count();
    arg->timestamp.tv_sec = since / 1000000;
    arg->timestamp.tv_usec = since % 1000000;
    arg->length = uint32_t(b->memory.size());
    arg->m.offset = index * kOffsetStep;
    if (h.model.vanishAfter >= 0 && d.produced >= h.model.vanishAfter)
        unplug(h);
    return 0;
}

void fillBuffer(const Handle &h, uint32_t index, v4l2_buffer *arg)
{
    const Buffer &b = h.buffers[index];
    arg->length = uint32_t(b.memory.size());
    arg->m.offset = index * kOffsetStep;
    arg->bytesused = b.bytesUsed;
    arg->flags = (b.queued ? V4L2_BUF_FLAG_QUEUED : 0) | (b.mapped ? V4L2_BUF_FLAG_MAPPED : 0);
}

int handleIoctl(Handle &h, unsigned long request, void *arg)
{
    const FakeModel &m = h.model;
    Device &d = deviceOf(h);
    const bool capture = m.deviceCaps & V4L2_CAP_VIDEO_CAPTURE;
    const int fd = [&] {
        for (const auto &e : g_handles)
            if (e.second.get() == &h)
                return e.first;
        return -1;
    }();
    const bool otherOwner = (d.owner >= 0 && d.owner != fd) || m.busy;

    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto *c = static_cast<v4l2_capability *>(arg);
        std::memset(c, 0, sizeof *c);
        std::strncpy(reinterpret_cast<char *>(c->driver), "uvcvideo", sizeof c->driver);
        // strscpy, as drivers fill it: at most 31 bytes and a terminating zero, even when
        // that cuts a character in two.
        std::memcpy(c->card, m.card.data(), std::min(m.card.size(), sizeof c->card - 1));
        std::strncpy(reinterpret_cast<char *>(c->bus_info), m.bus.c_str(), sizeof c->bus_info - 1);
        c->version = 0x060100;
        c->device_caps = m.deviceCaps;
        c->capabilities = m.deviceCaps | V4L2_CAP_DEVICE_CAPS | V4L2_CAP_META_CAPTURE;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto *f = static_cast<v4l2_fmtdesc *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !capture || f->index >= m.formats.size())
            return fail(EINVAL);
        const uint32_t index = f->index;
        std::memset(f, 0, sizeof *f);
        f->index = index;
        f->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f->pixelformat = m.formats[index].pixelFormat;
        f->flags = m.formats[index].flags;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        if (m.sizesError)
            return fail(m.sizesError);
        auto *s = static_cast<v4l2_frmsizeenum *>(arg);
        const FakeFormat *f = findFormat(m, s->pixel_format);
        if (!f || !capture)
            return fail(EINVAL);
        if (f->stepwise) {
            if (s->index != 0)
                return fail(EINVAL);
            s->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            s->stepwise = f->range;
            return 0;
        }
        if (s->index >= f->sizes.size())
            return fail(EINVAL);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = f->sizes[s->index].width;
        s->discrete.height = f->sizes[s->index].height;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        if (m.intervalsError)
            return fail(m.intervalsError);
        auto *i = static_cast<v4l2_frmivalenum *>(arg);
        bool continuous = false;
        const std::vector<v4l2_fract> intervals =
            intervalsOf(m, i->pixel_format, i->width, i->height, &continuous);
        if (intervals.empty())
            return fail(EINVAL);
        if (continuous) {
            if (i->index != 0)
                return fail(EINVAL);
            i->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
            i->stepwise.min = intervals.front();
            i->stepwise.max = {1, 1};
            i->stepwise.step = {1, 1};
            return 0;
        }
        if (i->index >= intervals.size())
            return fail(EINVAL);
        i->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        // Listed longest first, as uvcvideo does not promise an order.
        i->discrete = intervals[intervals.size() - 1 - i->index];
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
        auto *f = static_cast<v4l2_format *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !capture)
            return fail(EINVAL);
        if (request == VIDIOC_G_FMT) {
            f->fmt.pix = h.format;
            return 0;
        }
        if (request == VIDIOC_S_FMT && (otherOwner || !h.buffers.empty() || h.streaming))
            return fail(EBUSY);
        adjustFormat(m, &f->fmt.pix);
        if (request == VIDIOC_S_FMT) {
            h.format = f->fmt.pix;
            bool continuous = false;
            const auto intervals =
                intervalsOf(m, h.format.pixelformat, h.format.width, h.format.height, &continuous);
            h.interval = intervals.empty() ? v4l2_fract{1, 30} : intervals.front();
        }
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        if (m.parm == FakeModel::Parm::None ||
            (m.parm == FakeModel::Parm::ReadOnly && request == VIDIOC_S_PARM))
            return fail(ENOTTY);
        auto *p = static_cast<v4l2_streamparm *>(arg);
        if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !capture)
            return fail(EINVAL);
        if (request == VIDIOC_S_PARM) {
            if (h.streaming)
                return fail(EBUSY);
            // The nearest interval the current size offers.
            const v4l2_fract want = p->parm.capture.timeperframe;
            bool continuous = false;
            const auto intervals =
                intervalsOf(m, h.format.pixelformat, h.format.width, h.format.height, &continuous);
            double best = 1e9;
            for (const v4l2_fract &f : intervals) {
                const double a = want.denominator ? double(want.numerator) / want.denominator : 0;
                const double diff = std::abs(a - double(f.numerator) / f.denominator);
                if (diff < best) {
                    best = diff;
                    h.interval = f;
                }
            }
        }
        std::memset(&p->parm, 0, sizeof p->parm);
        p->parm.capture.capability =
            m.parm == FakeModel::Parm::ReadWrite ? V4L2_CAP_TIMEPERFRAME : 0;
        p->parm.capture.timeperframe = h.interval;
        p->parm.capture.readbuffers = 0;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto *r = static_cast<v4l2_requestbuffers *>(arg);
        if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !capture || r->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (otherOwner || h.streaming)
            return fail(EBUSY);
        if (r->count == 0) {
            if (std::any_of(h.buffers.begin(), h.buffers.end(),
                            [](const Buffer &b) { return b.mapped; }))
                return fail(EBUSY);
            h.buffers.clear();
            if (d.owner == fd)
                d.owner = -1;
            return 0;
        }
        if (!h.buffers.empty())
            return fail(EBUSY);
        if (h.format.sizeimage == 0)
            adjustFormat(m, &h.format);
        r->count = std::min<uint32_t>(std::max<uint32_t>(r->count, 2), 8);
        h.buffers.resize(r->count);
        for (Buffer &b : h.buffers)
            b.memory.assign(h.format.sizeimage, 0);
        d.owner = fd;
        r->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->index >= h.buffers.size() ||
            b->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (request == VIDIOC_QBUF) {
            if (h.buffers[b->index].queued)
                return fail(EINVAL);
            h.buffers[b->index].queued = true;
            h.buffers[b->index].queueOrder = h.queueCounter++;
        }
        fillBuffer(h, b->index, b);
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (!h.streaming)
            return fail(EINVAL);
        while (!frameReady(h)) {
            if (!h.blocking || !nextQueued(h))
                return fail(EAGAIN);
            g_mutex.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            g_mutex.lock();
            if (!present(h))
                return fail(ENODEV);
        }
        return dequeue(h, b);
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: {
        const int *type = static_cast<const int *>(arg);
        if (*type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !capture)
            return fail(EINVAL);
        if (request == VIDIOC_STREAMOFF) {
            h.streaming = false;
            for (Buffer &b : h.buffers)
                b.queued = false;
            return 0;
        }
        if (h.buffers.empty() || d.owner != fd)
            return fail(EINVAL);
        if (m.noBandwidth)
            return fail(ENOSPC);
        if (!h.streaming) {
            h.streaming = true;
            h.due = Clock::now() + intervalOf(h);
        }
        return 0;
    }
    case VIDIOC_QUERYCTRL: {
        auto *q = static_cast<v4l2_queryctrl *>(arg);
        for (const FakeControl &c : m.controls) {
            if (c.id != q->id)
                continue;
            std::memset(q, 0, sizeof *q);
            q->id = c.id;
            q->type = V4L2_CTRL_TYPE_INTEGER;
            std::strncpy(reinterpret_cast<char *>(q->name), c.name, sizeof q->name - 1);
            q->minimum = c.min;
            q->maximum = c.max;
            q->step = c.step;
            q->default_value = c.def;
            q->flags = c.flags;
            return 0;
        }
        return fail(EINVAL);
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto *v = static_cast<v4l2_control *>(arg);
        for (const FakeControl &c : m.controls) {
            if (c.id != v->id)
                continue;
            if (c.flags & V4L2_CTRL_FLAG_DISABLED)
                return fail(EINVAL);
            if (request == VIDIOC_G_CTRL) {
                v->value = d.controls[c.id];
                return 0;
            }
            // The control core clamps to the range and rounds to the step.
            int32_t value = std::min(std::max(v->value, c.min), c.max);
            value = c.min + (value - c.min + c.step / 2) / c.step * c.step;
            d.controls[c.id] = value;
            v->value = value;
            return 0;
        }
        return fail(EINVAL);
    }
    default:
        return fail(ENOTTY);
    }
}

int fakeOpen(const char *path, int flags)
{
    if (!path)
        return fail(EFAULT);
    std::string text;
    std::string identity;
    if (!readFile(path, &text, &identity))
        return fail(ENOENT);
    auto h = std::make_unique<Handle>();
    if (!readModel(text, &h->model))
        return fail(ENXIO);
    if (h->model.deny)
        return fail(EACCES);
    if ((flags & O_ACCMODE) == O_WRONLY)
        return fail(EINVAL);
    h->path = path;
    h->identity = identity;
    h->blocking = !(flags & O_NONBLOCK);
    std::lock_guard<std::mutex> lock(g_mutex);
    deviceOf(*h);
    // The format a fresh handle reports is the device's default: its first size.
    if (!h->model.formats.empty()) {
        h->format.pixelformat = h->model.formats.front().pixelFormat;
        adjustFormat(h->model, &h->format);
        bool continuous = false;
        const auto intervals = intervalsOf(h->model, h->format.pixelformat, h->format.width,
                                           h->format.height, &continuous);
        if (!intervals.empty())
            h->interval = intervals.front();
    }
    const int fd = g_nextFd++;
    g_handles[fd] = std::move(h);
    return fd;
}

int fakeClose(int fd)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(fd);
    if (it == g_handles.end())
        return fail(EBADF);
    auto d = g_devices.find(it->second->path);
    if (d != g_devices.end() && d->second.owner == fd)
        d->second.owner = -1;
    g_handles.erase(it);
    return 0;
}

int fakeIoctl(int fd, unsigned long request, void *arg)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(fd);
    if (it == g_handles.end())
        return fail(EBADF);
    if (!arg)
        return fail(EFAULT);
    if (!present(*it->second))
        return fail(ENODEV);
    return handleIoctl(*it->second, request, arg);
}

void *fakeMmap(void *, size_t length, int prot, int flags, int fd, int64_t offset)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(fd);
    if (it == g_handles.end()) {
        errno = EBADF;
        return MAP_FAILED;
    }
    Handle &h = *it->second;
    const uint64_t index = uint64_t(offset) / kOffsetStep;
    if (!(flags & MAP_SHARED) || !(prot & PROT_READ) || offset < 0 ||
        uint64_t(offset) % kOffsetStep != 0 || index >= h.buffers.size() ||
        length > h.buffers[index].memory.size() || length == 0) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    h.buffers[index].mapped = true;
    return h.buffers[index].memory.data();
}

int fakeMunmap(void *addr, size_t)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto &e : g_handles) {
        for (Buffer &b : e.second->buffers) {
            if (b.mapped && b.memory.data() == addr) {
                b.mapped = false;
                return 0;
            }
        }
    }
    return fail(EINVAL);
}

int fakePoll(pollfd *fds, nfds_t count, int timeout)
{
    if (!fds && count > 0)
        return fail(EFAULT);
    const Clock::time_point end =
        Clock::now() + std::chrono::milliseconds(timeout < 0 ? 0 : timeout);
    for (;;) {
        int ready = 0;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            for (nfds_t i = 0; i < count; ++i) {
                fds[i].revents = 0;
                auto it = g_handles.find(fds[i].fd);
                if (it == g_handles.end()) {
                    fds[i].revents = POLLNVAL;
                } else if (!present(*it->second)) {
                    fds[i].revents = POLLERR | POLLHUP;
                } else if (!it->second->streaming || !nextQueued(*it->second)) {
                    fds[i].revents = POLLERR; // as vb2 says of a queue that cannot deliver
                } else if (frameReady(*it->second)) {
                    fds[i].revents = fds[i].events & (POLLIN | POLLRDNORM);
                }
                if (fds[i].revents)
                    ++ready;
            }
        }
        if (ready > 0 || (timeout >= 0 && Clock::now() >= end))
            return ready;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

const KvV4l2Backend kTable = {fakeOpen, fakeClose, fakeIoctl, fakeMmap, fakeMunmap, fakePoll};

} // namespace

} // namespace fakev4l2

extern "C" const KvV4l2Backend *kvV4l2Backend(void)
{
    return &fakev4l2::kTable;
}

extern "C" int kvFakeV4l2Frames(const char *node, int *produced, int *whole)
{
    std::lock_guard<std::mutex> lock(fakev4l2::g_mutex);
    auto it = fakev4l2::g_devices.find(node ? node : "");
    if (it == fakev4l2::g_devices.end())
        return -1;
    if (produced)
        *produced = it->second.produced;
    if (whole)
        *whole = it->second.whole;
    return 0;
}
