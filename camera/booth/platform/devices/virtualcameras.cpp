// Virtual cameras: devices described by the environment variable KV_VIRTUAL_CAMERAS that
// stream generated pictures at their format's frame rate.
#include "virtualcameras.h"

#include "dshow.h"

#include <QByteArray>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace kvplat {

namespace {

struct VirtualCameraConfig
{
    DeviceIdent ident;
    std::vector<VideoFormat> formats;
    SamplePattern pattern;
    std::map<long, ProcAmpRange> procAmp;
};

class VirtualDevice;

class VirtualStream : public IDeviceStream
{
public:
    VirtualStream(std::shared_ptr<VirtualDevice> device, const VideoFormat &format,
                  StreamSinks sinks);
    ~VirtualStream() override { halt(false); }

    void stop() override { halt(false); }
    // The device went away: the thread ends, then the loss is reported once.
    void lose() { halt(true); }

private:
    void run();
    void halt(bool lost);

    std::shared_ptr<VirtualDevice> m_device;
    VideoFormat m_format;
    StreamSinks m_sinks;
    std::mutex m_haltMutex; // serialises halts from the owner and from an unplug
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

class VirtualDevice : public IDevice, public std::enable_shared_from_this<VirtualDevice>
{
public:
    explicit VirtualDevice(const VirtualCameraConfig &config) : m_config(config)
    {
        for (const auto &entry : m_config.procAmp)
            m_values[entry.first] = entry.second.defaultValue;
    }

    const DeviceIdent &ident() const override { return m_config.ident; }
    std::vector<VideoFormat> formats() const override { return m_config.formats; }
    const SamplePattern &pattern() const { return m_config.pattern; }

    bool procAmpRange(long property, ProcAmpRange *range) const override
    {
        auto it = m_config.procAmp.find(property);
        if (it == m_config.procAmp.end())
            return false;
        if (range)
            *range = it->second;
        return true;
    }

    bool getProcAmp(long property, long *value, long *flags) const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_values.find(property);
        if (it == m_values.end())
            return false;
        if (value)
            *value = it->second;
        if (flags)
            *flags = VideoProcAmp_Flags_Manual;
        return true;
    }

    bool setProcAmp(long property, long value, long) override
    {
        ProcAmpRange range;
        if (!procAmpRange(property, &range) || value < range.min || value > range.max)
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values[property] = value;
        return true;
    }

    // How the current picture controls change the generated picture.
    SampleAdjust adjust() const
    {
        SampleAdjust a;
        std::lock_guard<std::mutex> lock(m_mutex);
        auto b = m_config.procAmp.find(VideoProcAmp_Brightness);
        if (b != m_config.procAmp.end())
            a.lumaShift = int(m_values.at(VideoProcAmp_Brightness) - b->second.defaultValue);
        auto s = m_config.procAmp.find(VideoProcAmp_Saturation);
        if (s != m_config.procAmp.end() && s->second.defaultValue > s->second.min) {
            a.chromaNumerator = int(m_values.at(VideoProcAmp_Saturation) - s->second.min);
            a.chromaDenominator = int(s->second.defaultValue - s->second.min);
        }
        return a;
    }

    std::unique_ptr<IDeviceStream> openStream(const VideoFormat &format, StreamSinks sinks) override
    {
        if (std::find(m_config.formats.begin(), m_config.formats.end(), format) ==
            m_config.formats.end())
            return nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_unplugged)
            return nullptr;
        auto stream = std::make_unique<VirtualStream>(shared_from_this(), format, std::move(sinks));
        m_streams.push_back(stream.get());
        m_running.insert(stream.get());
        return stream;
    }

    void streamGone(VirtualStream *stream)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_streams.erase(std::remove(m_streams.begin(), m_streams.end(), stream), m_streams.end());
        m_running.erase(stream);
    }
    void setRunning(VirtualStream *stream, bool running)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (running)
            m_running.insert(stream);
        else
            m_running.erase(stream);
    }
    int runningStreams() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(m_running.size());
    }

    // Stops every stream with a loss report; returns how many were running.
    int unplug()
    {
        std::unique_lock<std::mutex> lock(m_unplugMutex);
        std::vector<VirtualStream *> streams;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_unplugged = true;
            streams = m_streams;
        }
        // A stream's owner destroys it only after streamGone(), which waits for this lock.
        for (VirtualStream *s : streams)
            s->lose();
        return int(streams.size());
    }
    std::mutex &unplugMutex() { return m_unplugMutex; }

private:
    VirtualCameraConfig m_config;
    mutable std::mutex m_mutex;
    std::map<long, long> m_values;
    std::vector<VirtualStream *> m_streams;
    std::set<VirtualStream *> m_running;
    bool m_unplugged = false;
    std::mutex m_unplugMutex;
};

VirtualStream::VirtualStream(std::shared_ptr<VirtualDevice> device, const VideoFormat &format,
                             StreamSinks sinks)
    : m_device(std::move(device)), m_format(format), m_sinks(std::move(sinks))
{
    m_thread = std::thread([this] { run(); });
}

void VirtualStream::halt(bool lost)
{
    {
        std::lock_guard<std::mutex> halting(m_haltMutex);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
            m_thread.join();
        m_device->setRunning(this, false);
        if (lost && m_sinks.lost)
            m_sinks.lost();
        m_sinks = StreamSinks();
    }
    if (!lost) {
        // Leave the device's list only when no unplug is going through it, so that an unplug
        // never reaches a stream its owner has destroyed.
        std::lock_guard<std::mutex> unplugging(m_device->unplugMutex());
        m_device->streamGone(this);
    }
}

void VirtualStream::run()
{
    using Clock = std::chrono::steady_clock;
    const REFERENCE_TIME interval = m_format.frameInterval > 0 ? m_format.frameInterval : 333333;
    const auto period = std::chrono::nanoseconds(interval * 100);
    SampleGenerator generator;
    std::vector<uint8_t> sample;
    Clock::time_point start = Clock::now();
    for (uint64_t n = 0;; ++n) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_until(lock, start + period * n, [this] { return m_stopping; }))
                return;
        }
        if (!generator.render(m_format.format, m_format.width, m_format.height, m_device->pattern(),
                              n, sample, m_device->adjust()))
            continue;
        const REFERENCE_TIME t0 = REFERENCE_TIME(n) * interval;
        if (m_sinks.sample)
            m_sinks.sample(sample.data(), sample.size(), t0, t0 + interval);
        recordSampleDelivered(m_device->ident());
        // A consumer that fell behind gets the next frame now, not a burst of stale ones.
        const Clock::time_point now = Clock::now();
        if (now > start + period * (n + 2))
            start = now - period * (n + 1);
    }
}

// ---- Configuration ---------------------------------------------------------------------------

const double kMinFps = 0.01;
const double kMaxFps = 1000.0;

bool readInt(const QJsonValue &value, long min, long max, long *out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (d != std::floor(d) || d < double(min) || d > double(max))
        return false;
    *out = long(d);
    return true;
}

bool readRange(const QJsonValue &value, ProcAmpRange *range, QString *error)
{
    const QJsonArray a = value.toArray();
    long v[4];
    if (!value.isArray() || a.size() != 4) {
        *error = "a procamp range is not [min, max, step, default]";
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (!readInt(a.at(i), -1000000, 1000000, &v[i])) {
            *error = "a procamp range holds a value that is not an integer";
            return false;
        }
    }
    if (v[0] > v[1] || v[2] < 0 || v[3] < v[0] || v[3] > v[1]) {
        *error = "a procamp range is not min <= default <= max with a step >= 0";
        return false;
    }
    range->min = v[0];
    range->max = v[1];
    range->step = v[2];
    range->defaultValue = v[3];
    range->capsFlags = VideoProcAmp_Flags_Manual;
    return true;
}

bool readFormat(const QJsonValue &value, VideoFormat *format, QString *error)
{
    const QJsonObject o = value.toObject();
    if (!value.isObject()) {
        *error = "a format is not an object";
        return false;
    }
    const QString fourcc = o.value("fourcc").toString();
    if (fourcc == "MJPG")
        format->format = SampleFormat::Mjpg;
    else if (fourcc == "YUY2")
        format->format = SampleFormat::Yuy2;
    else if (fourcc == "RGB24")
        format->format = SampleFormat::Rgb24;
    else if (fourcc == "NV12")
        format->format = SampleFormat::Nv12;
    else if (fourcc == "I420")
        format->format = SampleFormat::I420;
    else {
        *error = "a format's fourcc is not MJPG, YUY2, RGB24, NV12 or I420";
        return false;
    }
    long width = 0, height = 0;
    if (!readInt(o.value("width"), 2, 8192, &width) ||
        !readInt(o.value("height"), 2, 8192, &height) ||
        !SampleGenerator::validSize(int(width), int(height))) {
        *error = "a format's size is not an even width and a height of 2 to 8192";
        return false;
    }
    // Below the lowest rate the frame interval in 100 ns units would not fit its type
    // (or the stream's clock arithmetic).
    const QJsonValue fps = o.value("fps");
    if (!fps.isDouble() || !(fps.toDouble() >= kMinFps) || fps.toDouble() > kMaxFps) {
        *error = "a format's fps is not a number from 0.01 to 1000";
        return false;
    }
    const QJsonValue topDown = o.value("topDown");
    if (!topDown.isUndefined() &&
        (!topDown.isBool() || (topDown.toBool() && format->format == SampleFormat::Rgb24))) {
        *error = "a format's topDown is not true or false, or is true for RGB24";
        return false;
    }
    format->topDown = topDown.toBool(false);
    format->width = int(width);
    format->height = int(height);
    format->frameInterval = std::llround(10000000.0 / fps.toDouble());
    return true;
}

bool readCamera(const QJsonValue &value, VirtualCameraConfig *camera, QString *error)
{
    const QJsonObject o = value.toObject();
    if (!value.isObject()) {
        *error = "an element is not an object";
        return false;
    }
    if (!o.value("name").isString()) {
        *error = "an element has no name string";
        return false;
    }
    camera->ident.name = o.value("name").toString().toStdWString();
    if (o.contains("path")) {
        if (!o.value("path").isString()) {
            *error = "a path is not a string";
            return false;
        }
        camera->ident.hasPath = true;
        camera->ident.path = o.value("path").toString().toStdWString();
    }
    if (!o.value("formats").isArray()) {
        *error = "an element has no formats array";
        return false;
    }
    for (const QJsonValue &f : o.value("formats").toArray()) {
        VideoFormat format;
        if (!readFormat(f, &format, error))
            return false;
        camera->formats.push_back(format);
    }
    if (o.contains("pattern")) {
        if (!parseSamplePattern(o.value("pattern").toString().toStdString(), &camera->pattern) ||
            !o.value("pattern").isString()) {
            *error = "a pattern is not \"bars\" or \"solid:#RRGGBB\"";
            return false;
        }
    }
    auto defaultRange = [](long min, long max, long def) {
        ProcAmpRange r;
        r.min = min;
        r.max = max;
        r.step = 1;
        r.defaultValue = def;
        r.capsFlags = VideoProcAmp_Flags_Manual;
        return r;
    };
    camera->procAmp[VideoProcAmp_Brightness] = defaultRange(-64, 64, 0);
    camera->procAmp[VideoProcAmp_Contrast] = defaultRange(0, 100, 32);
    camera->procAmp[VideoProcAmp_Saturation] = defaultRange(0, 128, 64);
    if (o.contains("procamp")) {
        const QJsonValue p = o.value("procamp");
        if (!p.isObject()) {
            *error = "procamp is not an object";
            return false;
        }
        const QJsonObject po = p.toObject();
        const std::pair<const char *, long> keys[] = {{"brightness", VideoProcAmp_Brightness},
                                                      {"contrast", VideoProcAmp_Contrast},
                                                      {"saturation", VideoProcAmp_Saturation}};
        for (const auto &key : keys) {
            if (po.contains(key.first) &&
                !readRange(po.value(key.first), &camera->procAmp[key.second], error))
                return false;
        }
    }
    return true;
}

// True the first time a value of the variable is seen in a row: the variable is read at
// every enumeration, its faults are logged once.
bool newValue(const QByteArray &value)
{
    static std::mutex logMutex;
    static QByteArray lastLogged;
    std::lock_guard<std::mutex> lock(logMutex);
    if (lastLogged == value)
        return false;
    lastLogged = value;
    return true;
}

// The configured cameras, or none (with one log line per malformed value).
std::vector<VirtualCameraConfig> readConfiguration()
{
    const QByteArray value = qgetenv("KV_VIRTUAL_CAMERAS");
    std::vector<VirtualCameraConfig> cameras;
    if (value.trimmed().isEmpty())
        return cameras;
    QString error;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(value, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        error = parseError.errorString();
    else if (!document.isArray())
        error = "the value is not a JSON array";
    else {
        for (const QJsonValue &element : document.array()) {
            VirtualCameraConfig camera;
            if (!readCamera(element, &camera, &error))
                break;
            cameras.push_back(std::move(camera));
        }
    }
    if (!error.isEmpty()) {
        if (newValue(value))
            qDebug() << "KV_VIRTUAL_CAMERAS ignored:" << error;
        return {};
    }
    // A device without a readable path, or with an empty one, is a case real devices have,
    // so it stays; but the camera lists leave it out, which the log says.
    if (newValue(value)) {
        for (const VirtualCameraConfig &camera : cameras) {
            const QString name = QString::fromStdWString(camera.ident.name);
            if (!camera.ident.hasPath)
                qDebug() << "KV_VIRTUAL_CAMERAS: camera" << name
                         << "has no path: the camera lists leave it out and it cannot be opened";
            else if (camera.ident.path.empty())
                qDebug() << "KV_VIRTUAL_CAMERAS: camera" << name
                         << "has an empty path: the camera lists leave it out";
        }
    }
    return cameras;
}

// ---- Registry of live devices and unplugged names ------------------------------------------

struct Registry
{
    std::mutex mutex;
    std::vector<std::weak_ptr<VirtualDevice>> devices;
    std::set<std::wstring> unplugged;
};

Registry &registry()
{
    static Registry *r = new Registry;
    return *r;
}

std::vector<std::shared_ptr<VirtualDevice>> liveDevices(const std::wstring &nameOrPath)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<std::shared_ptr<VirtualDevice>> found;
    r.devices.erase(
        std::remove_if(r.devices.begin(), r.devices.end(),
                       [](const std::weak_ptr<VirtualDevice> &d) { return d.expired(); }),
        r.devices.end());
    for (const auto &weak : r.devices) {
        if (auto device = weak.lock()) {
            if (nameOrPath.empty() || device->ident().matches(nameOrPath))
                found.push_back(device);
        }
    }
    return found;
}

} // namespace

bool operator==(const VideoFormat &a, const VideoFormat &b)
{
    return a.format == b.format && a.width == b.width && a.height == b.height &&
           a.frameInterval == b.frameInterval;
}

std::vector<std::shared_ptr<IDevice>> VirtualCameraProvider::enumerate()
{
    std::vector<std::shared_ptr<IDevice>> devices;
    Registry &r = registry();
    {
        // Every enumeration makes new devices; forget the ones nobody holds any more.
        std::lock_guard<std::mutex> lock(r.mutex);
        r.devices.erase(
            std::remove_if(r.devices.begin(), r.devices.end(),
                           [](const std::weak_ptr<VirtualDevice> &d) { return d.expired(); }),
            r.devices.end());
    }
    for (const VirtualCameraConfig &config : readConfiguration()) {
        std::lock_guard<std::mutex> lock(r.mutex);
        bool gone = false;
        for (const std::wstring &key : r.unplugged)
            gone = gone || config.ident.matches(key);
        if (gone)
            continue;
        auto device = std::make_shared<VirtualDevice>(config);
        r.devices.push_back(device);
        devices.push_back(device);
    }
    return devices;
}

int unplugVirtualCameras(const std::wstring &nameOrPath)
{
    {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.unplugged.insert(nameOrPath);
    }
    int stopped = 0;
    for (const auto &device : liveDevices(nameOrPath))
        stopped += device->unplug();
    return stopped;
}

void replugVirtualCameras(const std::wstring &nameOrPath)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.unplugged.erase(nameOrPath);
}

void replugAllVirtualCameras()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.unplugged.clear();
}

int activeVirtualStreams(const std::wstring &nameOrPath)
{
    int count = 0;
    for (const auto &device : liveDevices(nameOrPath))
        count += device->runningStreams();
    return count;
}

} // namespace kvplat
