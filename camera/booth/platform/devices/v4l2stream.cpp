#include "v4l2stream.h"

#include "platforminternal.h"
#include "v4l2system.h"

#include <QDebug>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

namespace kvplat {

namespace {

const uint32_t kBufferCount = 4;
const int kPollMilliseconds = 50; // how soon a stop is noticed

QString fourccText(uint32_t code)
{
    char text[5] = {char(code & 0xFF), char((code >> 8) & 0xFF), char((code >> 16) & 0xFF),
                    char((code >> 24) & 0xFF), 0};
    return QString::fromLatin1(text);
}

// What a person can do about an error of a call.
QString cureFor(const char *call, int error)
{
    if (error == EBUSY)
        return "in use by another program";
    if (error == EACCES || error == EPERM)
        return "permission denied: add the user to the 'video' group (then log in again)";
    if (error == ENOSPC && std::strcmp(call, "VIDIOC_STREAMON") == 0)
        return "not enough USB bandwidth: choose a lower size or MJPG, or another USB port";
    if (error == EINVAL && std::strcmp(call, "VIDIOC_S_FMT") == 0)
        return "the driver refuses the format";
    if (error == ENODEV || error == ENOENT)
        return "the camera is not attached";
    return QString();
}

} // namespace

V4l2Stream::V4l2Stream(const V4l2StreamSetup &setup, StreamSinks sinks)
    : m_setup(setup), m_sinks(std::move(sinks))
{
}

V4l2Stream::~V4l2Stream()
{
    stop();
}

std::unique_ptr<V4l2Stream> V4l2Stream::start(const V4l2StreamSetup &setup, StreamSinks sinks)
{
    std::unique_ptr<V4l2Stream> stream(new V4l2Stream(setup, std::move(sinks)));
    if (!stream->open()) {
        stream->release();
        return nullptr;
    }
    stream->m_thread = std::thread([s = stream.get()] { s->run(); });
    return stream;
}

void V4l2Stream::fail(const char *call, int error) const
{
    const QString cure = cureFor(call, error);
    qDebug().noquote() << "V4L2" << QString::fromStdWString(m_setup.ident.path)
                       << QString("(%1):").arg(QString::fromStdString(m_setup.node)) << call
                       << "failed:" << QString::fromStdString(errnoText(error))
                       << (cure.isEmpty() ? QString() : "- " + cure);
}

bool V4l2Stream::open()
{
    const V4l2System &sys = *m_setup.system;
    const KvV4l2Backend &calls = sys.calls();
    const V4l2Mode &mode = m_setup.mode;
    m_fd = calls.open(sys.path(m_setup.node).c_str(), O_RDWR | O_NONBLOCK);
    if (m_fd < 0) {
        fail("open", errno);
        return false;
    }

    v4l2_format format;
    std::memset(&format, 0, sizeof format);
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = mode.width;
    format.fmt.pix.height = mode.height;
    format.fmt.pix.pixelformat = mode.pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (sys.ioctl(m_fd, VIDIOC_S_FMT, &format) != 0) {
        fail("VIDIOC_S_FMT", errno);
        return false;
    }
    const v4l2_pix_format &chosen = format.fmt.pix;
    if (chosen.width != mode.width || chosen.height != mode.height ||
        chosen.pixelformat != mode.pixelFormat) {
        qDebug().noquote() << "V4L2" << QString::fromStdWString(m_setup.ident.path)
                           << QString("(%1):").arg(QString::fromStdString(m_setup.node))
                           << "VIDIOC_S_FMT: the driver chose" << fourccText(chosen.pixelformat)
                           << chosen.width << "x" << chosen.height << "instead of"
                           << fourccText(mode.pixelFormat) << mode.width << "x" << mode.height;
        return false;
    }
    m_rawBytes = rawFrameBytes(mode.pixelFormat, chosen.bytesperline, chosen.height);

    // The frame rate, where the driver lets it be set; a refusal keeps the driver's rate.
    v4l2_streamparm parm;
    std::memset(&parm, 0, sizeof parm);
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (sys.ioctl(m_fd, VIDIOC_G_PARM, &parm) == 0 &&
        (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        parm.parm.capture.timeperframe = mode.interval;
        if (sys.ioctl(m_fd, VIDIOC_S_PARM, &parm) != 0)
            fail("VIDIOC_S_PARM", errno);
    }

    v4l2_requestbuffers request;
    std::memset(&request, 0, sizeof request);
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (sys.ioctl(m_fd, VIDIOC_REQBUFS, &request) != 0) {
        fail("VIDIOC_REQBUFS", errno);
        return false;
    }
    if (request.count == 0) {
        fail("VIDIOC_REQBUFS", ENOMEM);
        return false;
    }
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer;
        std::memset(&buffer, 0, sizeof buffer);
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (sys.ioctl(m_fd, VIDIOC_QUERYBUF, &buffer) != 0) {
            fail("VIDIOC_QUERYBUF", errno);
            return false;
        }
        void *start = calls.mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                                 buffer.m.offset);
        if (start == MAP_FAILED || !start) {
            fail("mmap", errno);
            return false;
        }
        m_buffers.push_back({start, buffer.length});
        if (sys.ioctl(m_fd, VIDIOC_QBUF, &buffer) != 0) {
            fail("VIDIOC_QBUF", errno);
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (sys.ioctl(m_fd, VIDIOC_STREAMON, &type) != 0) {
        fail("VIDIOC_STREAMON", errno);
        return false;
    }
    m_streaming = true;
    return true;
}

void V4l2Stream::release()
{
    const V4l2System &sys = *m_setup.system;
    if (m_streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        sys.ioctl(m_fd, VIDIOC_STREAMOFF, &type);
        m_streaming = false;
    }
    for (const Buffer &b : m_buffers)
        sys.calls().munmap(b.start, b.length);
    m_buffers.clear();
    if (m_fd >= 0) {
        // Freeing the buffers lets another handle take the device at once.
        v4l2_requestbuffers request;
        std::memset(&request, 0, sizeof request);
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        sys.ioctl(m_fd, VIDIOC_REQBUFS, &request);
        sys.calls().close(m_fd);
        m_fd = -1;
    }
}

bool V4l2Stream::usableFrame(uint32_t pixelFormat, size_t rawBytes, const uint8_t *data,
                             size_t bytesUsed, uint32_t flags, size_t *length)
{
    if ((flags & V4L2_BUF_FLAG_ERROR) || bytesUsed == 0 || !data)
        return false;
    if (pixelFormat == V4L2_PIX_FMT_MJPEG || pixelFormat == V4L2_PIX_FMT_JPEG) {
        // Start of image at the start; end of image at the end, before any zero padding.
        size_t end = bytesUsed;
        while (end > 0 && data[end - 1] == 0)
            --end;
        if (end < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[end - 2] != 0xFF ||
            data[end - 1] != 0xD9)
            return false;
        *length = end;
        return true;
    }
    // A raw frame shorter than the format is cut off; bytes past the picture are not handed on,
    // so that the booth finds the row stride from the length.
    if (rawBytes == 0 || bytesUsed < rawBytes)
        return false;
    *length = rawBytes;
    return true;
}

void V4l2Stream::run()
{
    using Clock = std::chrono::steady_clock;
    const V4l2System &sys = *m_setup.system;
    const QString path = QString::fromStdWString(m_setup.ident.path);
    const REFERENCE_TIME interval =
        m_setup.mode.format.frameInterval > 0 ? m_setup.mode.format.frameInterval : 333333;
    // A stall is longer than a second and than five frame intervals.
    const auto stallAfter =
        std::max(std::chrono::milliseconds(1000), std::chrono::milliseconds(interval * 5 / 10000));
    Clock::time_point lastFrame = Clock::now();
    bool stalled = false;
    bool lost = false;
    const char *lostCall = nullptr;
    int lostError = 0;
    bool haveFirst = false;
    int64_t firstStamp = 0;

    while (!m_stopping.load()) {
        pollfd p = {m_fd, POLLIN, 0};
        const int ready = sys.calls().poll(&p, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR) {
            lost = true;
            lostCall = "poll";
            lostError = errno;
            break;
        }
        const Clock::time_point now = Clock::now();
        if (ready <= 0) {
            if (!stalled && now - lastFrame > stallAfter) {
                stalled = true;
                qDebug().noquote()
                    << "V4L2" << path << "sends no frames: none for"
                    << std::chrono::duration_cast<std::chrono::milliseconds>(now - lastFrame)
                           .count()
                    << "ms";
            }
            continue;
        }
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            lost = true;
            lostCall = "poll";
            lostError = ENODEV;
            break;
        }
        v4l2_buffer buffer;
        std::memset(&buffer, 0, sizeof buffer);
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (sys.ioctl(m_fd, VIDIOC_DQBUF, &buffer) != 0) {
            const int error = errno;
            if (error == EAGAIN || error == EIO)
                continue; // nothing ready, or a damaged frame the driver recovers from
            lost = true;
            lostCall = "VIDIOC_DQBUF";
            lostError = error;
            break;
        }
        if (buffer.index < m_buffers.size()) {
            const Buffer &b = m_buffers[buffer.index];
            const auto *data = static_cast<const uint8_t *>(b.start);
            size_t length = 0;
            if (usableFrame(m_setup.mode.pixelFormat, m_rawBytes, data,
                            std::min<size_t>(buffer.bytesused, b.length), buffer.flags, &length)) {
                if (stalled)
                    qDebug().noquote()
                        << "V4L2" << path << "sends frames again after"
                        << std::chrono::duration_cast<std::chrono::milliseconds>(now - lastFrame)
                               .count()
                        << "ms";
                stalled = false;
                lastFrame = now;
                const int64_t stamp =
                    int64_t(buffer.timestamp.tv_sec) * 10000000 + buffer.timestamp.tv_usec * 10;
                if (!haveFirst) {
                    haveFirst = true;
                    firstStamp = stamp;
                }
                const REFERENCE_TIME start = stamp - firstStamp;
                if (m_sinks.sample)
                    m_sinks.sample(data, length, start, start + interval);
                recordSampleDelivered(m_setup.ident);
            }
        }
        if (sys.ioctl(m_fd, VIDIOC_QBUF, &buffer) != 0) {
            lost = true;
            lostCall = "VIDIOC_QBUF";
            lostError = errno;
            break;
        }
    }
    release();
    if (lost && !m_stopping.load()) {
        qDebug().noquote() << "V4L2" << path
                           << QString("(%1):").arg(QString::fromStdString(m_setup.node))
                           << "the camera went away while streaming;" << lostCall
                           << "failed:" << QString::fromStdString(errnoText(lostError));
        if (m_sinks.lost)
            m_sinks.lost();
    }
}

void V4l2Stream::stop()
{
    m_stopping = true;
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    m_sinks = StreamSinks();
}

} // namespace kvplat
