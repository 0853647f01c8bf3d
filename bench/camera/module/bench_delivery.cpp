// Cost of the camera module's frame delivery against the bare conversion it
// wraps, plus the delivery's allocations, its sample-to-slot latency and what
// a busy GUI thread does to the frames.
//
// The module runs on the library's real booth, opened on virtual cameras so
// that the format is negotiated as with a device; the benchmark then feeds the
// module's sample callback itself, from a thread of its own as the camera's
// streaming thread would, while the main thread runs the Qt event loop that
// receives the queued frame calls.
#include "camvideoimp.h"
#include "capturingbooth.h"
#include "kvcamerarenderwidget.h"
#include "mallocount.h"
#include "samplegenerator.h"

#include <QApplication>
#include <QJsonObject>
#include <QMetaObject>

#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Case
{
    const char *label;
    kvplat::SampleFormat format;
    int width;
    int height;
    const char *path;
};

const Case kCases[] = {
    {"YUY2_1280x720", kvplat::SampleFormat::Yuy2, 1280, 720, "bench:yuy2-720"},
    {"MJPG_1280x720", kvplat::SampleFormat::Mjpg, 1280, 720, "bench:mjpg-720"},
    {"MJPG_1920x1080", kvplat::SampleFormat::Mjpg, 1920, 1080, "bench:mjpg-1080"},
};
constexpr int kCaseCount = 3;
constexpr int kSamples = 8; // distinct frames, cycled

// The cameras stream at 1 fps into nothing, so that they cost next to no CPU.
const char *kCameras =
    R"([{"name": "Bench YUY2 720p", "path": "bench:yuy2-720",
         "formats": [{"fourcc": "YUY2", "width": 1280, "height": 720, "fps": 1}]},
        {"name": "Bench MJPG 720p", "path": "bench:mjpg-720",
         "formats": [{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 1}]},
        {"name": "Bench MJPG 1080p", "path": "bench:mjpg-1080",
         "formats": [{"fourcc": "MJPG", "width": 1920, "height": 1080, "fps": 1}]}])";

// Sees each queued frame call to the watched widget right after it ran.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv) : QApplication(argc, argv) {}

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool ours = event->type() == QEvent::MetaCall && receiver == watched.load();
        const bool r = QApplication::notify(receiver, event);
        if (ours) {
            const Clock::time_point now = Clock::now();
            if (onFrame)
                onFrame(now);
            slotCalls.fetch_add(1);
        }
        return r;
    }

    std::atomic<QObject *> watched{nullptr};
    std::atomic<long> slotCalls{0};
    // Set only while the GUI thread is known to be between frames.
    std::function<void(Clock::time_point)> onFrame;
};

BenchApplication *app()
{
    return static_cast<BenchApplication *>(qApp);
}

void onGui(const std::function<void()> &f)
{
    QMetaObject::invokeMethod(qApp, f, Qt::BlockingQueuedConnection);
}

struct Rig
{
    bool ready = false;
    std::string error;
    CamVideoImp *cam = nullptr;
    CapturingBooth *booth = nullptr;
    KvCameraRenderWidget *render = nullptr;
    std::vector<std::vector<uint8_t>> samples;
    std::vector<std::vector<uint8_t>> reference; // bare conversion of each sample
};

Rig g_rigs[kCaseCount];

// The conversion the booth makes, called directly.
int convertBare(const Case &c, const std::vector<uint8_t> &sample, uint8_t *dst)
{
    const int w = c.width;
    const int h = c.height;
    uint8_t *u = dst + w * h;
    uint8_t *v = u + w * h / 4;
    if (c.format == kvplat::SampleFormat::Mjpg)
        return libyuv::MJPGToI420(sample.data(), sample.size(), dst, w, u, w / 2, v, w / 2, w, h, w,
                                  h);
    return libyuv::YUY2ToI420(sample.data(), int(sample.size()) / h, dst, w, u, w / 2, v, w / 2, w,
                              h);
}

void setUpRig(int i)
{
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    kvplat::SampleGenerator gen;
    kvplat::SamplePattern bars;
    for (int f = 0; f < kSamples; ++f) {
        std::vector<uint8_t> s;
        if (!gen.render(c.format, c.width, c.height, bars, uint64_t(f) * 7, s)) {
            rig.error = "sample generator failed";
            return;
        }
        std::vector<uint8_t> ref(std::size_t(c.width) * c.height * 3 / 2);
        if (convertBare(c, s, ref.data()) != 0) {
            rig.error = "libyuv refused the sample";
            return;
        }
        rig.samples.push_back(std::move(s));
        rig.reference.push_back(std::move(ref));
    }

    onGui([&] {
        rig.booth = new CapturingBooth(createBooth());
        rig.cam = new CamVideoImp(rig.booth);
        rig.cam->init(1.0);
        rig.cam->useRenderWidget();
        rig.render = static_cast<KvCameraRenderWidget *>(rig.cam->getVideoWidget());
        const int r = rig.cam->startCameraByPath(QString::fromLatin1(c.path));
        QJsonObject format;
        if (r != 0) {
            rig.error = "start failed: " + std::to_string(r);
        } else if (rig.booth->getVideoFormat(format) < 0 ||
                   format.value("width").toInt() != c.width ||
                   format.value("height").toInt() != c.height) {
            rig.error = "negotiated format differs";
        } else if (!rig.booth->moduleCallback()) {
            rig.error = "no callback";
        } else {
            rig.ready = true;
        }
    });
}

void tearDownRigs()
{
    onGui([] {
        for (Rig &rig : g_rigs) {
            if (rig.cam)
                rig.cam->stopCamera();
            delete rig.cam;
            delete rig.render;
            rig.cam = nullptr;
            rig.render = nullptr;
        }
    });
}

// Waits until `done` holds; a frame call that never comes would otherwise
// hang the program, so give up (and say so) after ten seconds.
template <typename Done> void waitUntil(Done done)
{
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (Clock::now() > limit) {
            std::fprintf(stderr, "frame calls missing: giving up the wait\n");
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void waitForSlots(long count)
{
    waitUntil([&] { return app()->slotCalls.load() >= count; });
}

void BM_BareConversion(benchmark::State &state)
{
    const int i = int(state.range(0));
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    if (!rig.ready) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    std::vector<uint8_t> dst(std::size_t(c.width) * c.height * 3 / 2);
    std::size_t n = 0;
    for (auto _ : state) {
        const int r = convertBare(c, rig.samples[n++ % kSamples], dst.data());
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetLabel(c.label);
}

// The same, into four destinations used in turn as the module's pool does, so
// that the memory the frames go to is as large as the pool's.
void BM_BareConversionFourBuffers(benchmark::State &state)
{
    const int i = int(state.range(0));
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    if (!rig.ready) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    std::vector<uint8_t> dst[4];
    for (std::vector<uint8_t> &d : dst)
        d.resize(std::size_t(c.width) * c.height * 2);
    std::size_t n = 0;
    for (auto _ : state) {
        const int r = convertBare(c, rig.samples[n % kSamples], dst[n % 4].data());
        ++n;
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetLabel(c.label);
}

void BM_ModuleDelivery(benchmark::State &state)
{
    const int i = int(state.range(0));
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    if (!rig.ready) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    app()->watched = rig.render;
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    const long before = app()->slotCalls.load();
    std::size_t n = 0;
    for (auto _ : state) {
        std::vector<uint8_t> &s = rig.samples[n++ % kSamples];
        cb->onYUVData(s.data(), int(s.size()));
    }
    // Not timed: the loop is over.
    waitForSlots(before + long(n));
    state.SetLabel(c.label);
}

BENCHMARK(BM_BareConversion)->DenseRange(0, kCaseCount - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareConversionFourBuffers)
    ->DenseRange(0, kCaseCount - 1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModuleDelivery)->DenseRange(0, kCaseCount - 1)->Unit(benchmark::kMicrosecond);

// Keeps the median of the repetitions of every benchmark for the ratios.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.aggregate_name == "median" || (r.aggregate_name.empty() && r.repetitions <= 1))
                medians[r.run_name.str()] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::pair<double, double>> medians; // real, CPU
};

struct Percentiles
{
    double median = 0;
    double p99 = 0;
};

Percentiles percentiles(std::vector<double> v)
{
    Percentiles p;
    if (v.empty())
        return p;
    std::sort(v.begin(), v.end());
    p.median = v[v.size() / 2];
    p.p99 = v[std::min(v.size() - 1, std::size_t(double(v.size()) * 0.99))];
    return p;
}

double threadCpuUs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// The machine is shared, so separate runs drift by several per cent: compare
// the paths in alternating blocks by this thread's CPU time instead.
void measurePairedRatio(int i)
{
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    app()->watched = rig.render;
    constexpr int kRounds = 61;
    constexpr int kBlock = 8;
    std::vector<uint8_t> one(std::size_t(c.width) * c.height * 3 / 2);
    std::vector<uint8_t> four[4];
    for (std::vector<uint8_t> &d : four)
        d.resize(std::size_t(c.width) * c.height * 2);
    std::vector<double> toBare, toFour, fourToBare;
    double sumBare = 0, sumFour = 0, sumModule = 0;
    std::size_t n = 0;
    for (int round = 0; round < kRounds; ++round) {
        double t0 = threadCpuUs();
        for (int f = 0; f < kBlock; ++f, ++n)
            benchmark::DoNotOptimize(convertBare(c, rig.samples[n % kSamples], one.data()));
        const double bare = threadCpuUs() - t0;

        t0 = threadCpuUs();
        for (int f = 0; f < kBlock; ++f, ++n)
            benchmark::DoNotOptimize(convertBare(c, rig.samples[n % kSamples], four[n % 4].data()));
        const double fourBuffers = threadCpuUs() - t0;

        const long base = app()->slotCalls.load();
        t0 = threadCpuUs();
        for (int f = 0; f < kBlock; ++f, ++n) {
            std::vector<uint8_t> &s = rig.samples[n % kSamples];
            cb->onYUVData(s.data(), int(s.size()));
        }
        const double module = threadCpuUs() - t0;
        waitForSlots(base + kBlock);
        if (round == 0)
            continue; // warm-up
        sumBare += bare;
        sumFour += fourBuffers;
        sumModule += module;
        toBare.push_back(module / bare);
        toFour.push_back(module / fourBuffers);
        fourToBare.push_back(fourBuffers / bare);
    }
    const double frames = kBlock * (kRounds - 1);
    std::printf("%-15s paired CPU time per frame: bare %.1f us, bare into 4 buffers %.1f us, "
                "delivery %.1f us\n",
                c.label, sumBare / frames, sumFour / frames, sumModule / frames);
    std::printf("%-15s   delivery / bare %.4f (median of rounds %.4f); delivery / bare into 4 "
                "buffers %.4f (median %.4f); 4 buffers / bare %.4f\n",
                c.label, sumModule / sumBare, percentiles(toBare).median, sumModule / sumFour,
                percentiles(toFour).median, sumFour / sumBare);
}

// What the delivery adds to the conversion, measured without the conversion:
// the bookkeeping around it (a sample the booth refuses at once: format
// report, pool, reserve, the booth's checks) and the queued frame call alone.
void measureFixedCosts(int i)
{
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    app()->watched = rig.render;
    constexpr int kCalls = 20000;
    unsigned char empty[1] = {0};
    double t0 = threadCpuUs();
    for (int k = 0; k < kCalls; ++k)
        cb->onYUVData(empty, 0);
    const double bookkeeping = (threadCpuUs() - t0) / kCalls;

    void *frame = rig.samples[0].data();
    int w = c.width, h = c.height;
    double invoke = 0;
    constexpr int kBatch = 200;
    for (int done = 0; done < kCalls; done += kBatch) {
        const long base = app()->slotCalls.load();
        t0 = threadCpuUs();
        for (int k = 0; k < kBatch; ++k)
            QMetaObject::invokeMethod(rig.render, "slotReceiveVideoFrame", Qt::AutoConnection,
                                      QGenericArgument("void *", &frame), Q_ARG(int, w),
                                      Q_ARG(int, h));
        invoke += threadCpuUs() - t0;
        waitForSlots(base + kBatch);
    }
    invoke /= kCalls;
    // The widget must not keep the sample's address.
    onGui([&] { rig.render->slotReceiveVideoFrame(nullptr, 0, 0); });
    std::printf("%-15s fixed CPU cost per frame: bookkeeping %.2f us, queued frame call %.2f us\n",
                c.label, bookkeeping, invoke);
}

template <typename F> alloccount::Totals countAllocations(int frames, F step)
{
    alloccount::markThisThread(true);
    alloccount::start();
    for (int f = 0; f < frames; ++f)
        step(f);
    const alloccount::Totals t = alloccount::stop();
    alloccount::markThisThread(false);
    return t;
}

void printAllocations(const char *label, const char *what, const alloccount::Totals &t, int frames)
{
    std::printf("%-15s %-28s %6.2f allocations, %8.1f bytes per frame (largest %lld)\n", label,
                what, double(t.calls) / frames, double(t.bytes) / frames, t.largest);
}

// Allocations per frame once the buffers have their size: the whole delivery
// (both threads, until the slot calls have run) and its parts on their own.
void measureAllocations(int i)
{
    const Case &c = kCases[i];
    Rig &rig = g_rigs[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    app()->watched = rig.render;
    constexpr int kWarm = 16;
    constexpr int kFrames = 200;
    auto sample = [&](int f) -> std::vector<uint8_t> & {
        return rig.samples[std::size_t(f) % kSamples];
    };
    long base = app()->slotCalls.load();
    for (int f = 0; f < kWarm; ++f)
        cb->onYUVData(sample(f).data(), int(sample(f).size()));
    waitForSlots(base + kWarm);

    std::vector<uint8_t> dst(std::size_t(c.width) * c.height * 2);
    printAllocations(
        c.label, "bare conversion",
        countAllocations(kFrames, [&](int f) { convertBare(c, sample(f), dst.data()); }), kFrames);
    printAllocations(c.label, "booth convertFrame",
                     countAllocations(kFrames,
                                      [&](int f) {
                                          int len = int(sample(f).size());
                                          rig.booth->convertFrame(sample(f).data(), &len,
                                                                  dst.data(), int(dst.size()));
                                      }),
                     kFrames);
    printAllocations(c.label, "booth getVideoFormat",
                     countAllocations(kFrames,
                                      [&](int) {
                                          QJsonObject format;
                                          rig.booth->getVideoFormat(format);
                                          benchmark::DoNotOptimize(
                                              format.value(QLatin1String("width")).toInt(0));
                                          benchmark::DoNotOptimize(
                                              format.value(QLatin1String("height")).toInt(0));
                                      }),
                     kFrames);
    base = app()->slotCalls.load();
    const alloccount::Totals whole = countAllocations(kFrames + 1, [&](int f) {
        if (f < kFrames)
            cb->onYUVData(sample(f).data(), int(sample(f).size()));
        else
            waitForSlots(base + kFrames); // the slot side is counted too
    });
    printAllocations(c.label, "whole delivery", whole, kFrames);
}

void measureLatency(int i)
{
    Rig &rig = g_rigs[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    constexpr int kFrames = 200;
    std::vector<Clock::time_point> sent(kFrames);
    std::vector<double> latencyUs;
    latencyUs.reserve(kFrames);
    std::atomic<int> seen{0};
    onGui([&] {
        app()->watched = rig.render;
        app()->onFrame = [&](Clock::time_point at) {
            const int k = int(latencyUs.size());
            if (k < kFrames)
                latencyUs.push_back(
                    std::chrono::duration<double, std::micro>(at - sent[std::size_t(k)]).count());
            seen.fetch_add(1);
        };
    });
    Clock::time_point next = Clock::now();
    for (int f = 0; f < kFrames; ++f) {
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(33333);
        std::vector<uint8_t> &s = rig.samples[std::size_t(f) % kSamples];
        sent[std::size_t(f)] = Clock::now();
        cb->onYUVData(s.data(), int(s.size()));
    }
    waitUntil([&] { return seen.load() >= kFrames; });
    onGui([] { app()->onFrame = nullptr; });
    const Percentiles p = percentiles(latencyUs);
    std::printf("%-15s sample-to-slot latency, idle GUI thread, 30 fps: median %.0f us, p99 %.0f "
                "us (%d frames)\n",
                kCases[i].label, p.median, p.p99, kFrames);
}

// 30 fps for one second; the GUI thread sleeps 200 ms from the sixth frame on.
// A frame is lost when the bytes behind its pointer have been rewritten by a
// later delivery before its slot call ran.
void measureBlockedGui(int i)
{
    Rig &rig = g_rigs[i];
    const Case &c = kCases[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    constexpr int kFrames = 30;
    const std::size_t size = std::size_t(c.width) * c.height * 3 / 2;
    std::atomic<int> seen{0};
    std::atomic<int> intact{0};
    std::atomic<int> missing{0};
    int calls = 0; // GUI thread only
    onGui([&] {
        app()->watched = rig.render;
        app()->onFrame = [&](Clock::time_point) {
            const int k = calls++;
            const unsigned char *data = rig.render->frameData();
            if (!data)
                ++missing;
            else if (std::memcmp(data, rig.reference[std::size_t(k) % kSamples].data(), size) == 0)
                ++intact;
            seen.fetch_add(1);
        };
    });
    Clock::time_point next = Clock::now();
    for (int f = 0; f < kFrames; ++f) {
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(33333);
        if (f == 5)
            QMetaObject::invokeMethod(
                qApp, [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); },
                Qt::QueuedConnection);
        std::vector<uint8_t> &s = rig.samples[std::size_t(f) % kSamples];
        cb->onYUVData(s.data(), int(s.size()));
    }
    waitUntil([&] { return seen.load() >= kFrames; });
    onGui([] { app()->onFrame = nullptr; });
    std::printf("%-15s GUI thread blocked 200 ms at 30 fps: %d frames delivered, %d slot calls, "
                "%d shown intact, %d overwritten before their slot ran\n",
                c.label, kFrames, seen.load(), intact.load(), seen.load() - intact.load());
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KV_VIRTUAL_CAMERAS", kCameras);
    // The module's first frames write a debug line each; keep them out of the tables.
    qputenv("QT_LOGGING_RULES", "*.debug=false");

    BenchApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    std::thread runner([] {
        for (int i = 0; i < kCaseCount; ++i) {
            setUpRig(i);
            if (!g_rigs[i].ready)
                std::printf("%s: not measured (%s)\n", kCases[i].label, g_rigs[i].error.c_str());
        }
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);

        std::printf("\nDelivery path against the bare conversion (medians of the repetitions):\n");
        for (int i = 0; i < kCaseCount; ++i) {
            const std::string arg = "/" + std::to_string(i);
            const auto a = reporter.medians.find("BM_BareConversion" + arg);
            const auto b = reporter.medians.find("BM_ModuleDelivery" + arg);
            if (a != reporter.medians.end() && b != reporter.medians.end() && a->second.first > 0 &&
                a->second.second > 0)
                std::printf("%-15s delivery / bare: real time %.4f (%.1f / %.1f us), CPU time "
                            "%.4f (%.1f / %.1f us)\n",
                            kCases[i].label, b->second.first / a->second.first, b->second.first,
                            a->second.first, b->second.second / a->second.second, b->second.second,
                            a->second.second);
        }
        std::printf("\n");
        for (int i = 0; i < kCaseCount; ++i)
            if (g_rigs[i].ready)
                measurePairedRatio(i);
        for (int i = 0; i < kCaseCount; ++i)
            if (g_rigs[i].ready)
                measureFixedCosts(i);
        for (int i = 0; i < kCaseCount; ++i)
            if (g_rigs[i].ready)
                measureAllocations(i);
        for (int i = 0; i < kCaseCount; ++i)
            if (g_rigs[i].ready)
                measureLatency(i);
        for (int i = 0; i < kCaseCount; ++i)
            if (g_rigs[i].ready)
                measureBlockedGui(i);
        tearDownRigs();
        QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
    });
    const int rc = application.exec();
    runner.join();
    benchmark::Shutdown();
    return rc;
}
