// Cost of the camera module's frame delivery against the bare conversion it
// wraps, plus the delivery's allocations, its sample-to-slot latency and what
// a busy GUI thread does to the frames.
//
// The module may skip a sample that arrives before the display has run the
// previous frame call, so the feeding thread waits, outside the measured
// time, until the display has taken every converted frame before it hands
// on the next sample, as a camera at its frame rate finds it. The program
// uses only what every version of the module offers, so that it can be built
// against an earlier one for a before/after comparison.
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
        // No sample is converted while a frame call waits, in the module
        // that skips; in one that does not, later ones may have been.
        CapturingBooth *booth = watchedBooth.load();
        const unsigned char *newest = ours && booth ? booth->newestConverted() : nullptr;
        const bool r = QApplication::notify(receiver, event);
        if (ours) {
            const Clock::time_point now = Clock::now();
            if (onFrame)
                onFrame(now, newest);
            slotCalls.fetch_add(1);
        }
        return r;
    }

    std::atomic<QObject *> watched{nullptr};
    std::atomic<CapturingBooth *> watchedBooth{nullptr};
    std::atomic<long> slotCalls{0};
    // Set only while the GUI thread is known to be between frames; gets the
    // time the call ended and the newest converted sample when it began.
    std::function<void(Clock::time_point, const unsigned char *)> onFrame;
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
// hang the program, so give up (and say so) after ten seconds. Spinning
// yields the core instead of sleeping, so that the feeding thread stays warm.
template <typename Done> void waitUntil(Done done, bool spin = false)
{
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    for (unsigned k = 0; !done(); ++k) {
        if ((!spin || k % 256 == 0) && Clock::now() > limit) {
            std::fprintf(stderr, "frame calls missing: giving up the wait\n");
            return;
        }
        if (spin)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Lets the feeding thread wait until the display has run the frame call of
// every sample the module converted since the mark.
class DisplayIdle
{
public:
    explicit DisplayIdle(CapturingBooth *booth)
        : m_booth(booth), m_slots(app()->slotCalls.load()), m_converts(booth->converts())
    {
    }
    void wait() const
    {
        waitUntil(
            [&] { return app()->slotCalls.load() - m_slots >= m_booth->converts() - m_converts; },
            true);
    }

private:
    CapturingBooth *m_booth;
    long m_slots;
    long m_converts;
};

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
    const DisplayIdle idle(rig.booth);
    std::size_t n = 0;
    for (auto _ : state) {
        idle.wait(); // not in the (manual) time
        std::vector<uint8_t> &s = rig.samples[n++ % kSamples];
        const Clock::time_point t0 = Clock::now();
        cb->onYUVData(s.data(), int(s.size()));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    idle.wait();
    state.SetLabel(c.label);
}

BENCHMARK(BM_BareConversion)->DenseRange(0, kCaseCount - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareConversionFourBuffers)
    ->DenseRange(0, kCaseCount - 1)
    ->Unit(benchmark::kMicrosecond);
// Real time of the delivery alone (manual); its CPU time includes the waits.
BENCHMARK(BM_ModuleDelivery)
    ->DenseRange(0, kCaseCount - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

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
    return CapturingBooth::threadCpuUs();
}

// The machine is shared, so separate runs drift by several per cent: compare
// the paths in alternating blocks by this thread's CPU time instead. Every
// frame is timed on its own, in all three paths alike, so that the delivery
// can wait for the display between frames outside the measured time.
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
    double sumBare = 0, sumFour = 0, sumModule = 0, sumWaited = 0;
    std::vector<double> toWaited;
    std::atomic<int> guiCalls{0};
    std::size_t n = 0;
    const DisplayIdle idle(rig.booth);
    for (int round = 0; round < kRounds; ++round) {
        double bare = 0;
        for (int f = 0; f < kBlock; ++f, ++n) {
            const double t0 = threadCpuUs();
            benchmark::DoNotOptimize(convertBare(c, rig.samples[n % kSamples], one.data()));
            bare += threadCpuUs() - t0;
        }

        double fourBuffers = 0;
        for (int f = 0; f < kBlock; ++f, ++n) {
            const double t0 = threadCpuUs();
            benchmark::DoNotOptimize(convertBare(c, rig.samples[n % kSamples], four[n % 4].data()));
            fourBuffers += threadCpuUs() - t0;
        }

        // The same, with the GUI thread woken and waited for between frames
        // as the delivery is: the conversion then runs as cold as there.
        double fourWaited = 0;
        for (int f = 0; f < kBlock; ++f, ++n) {
            const int before = guiCalls.load();
            QMetaObject::invokeMethod(
                qApp, [&guiCalls] { ++guiCalls; }, Qt::QueuedConnection);
            waitUntil([&] { return guiCalls.load() > before; }, true);
            const double t0 = threadCpuUs();
            benchmark::DoNotOptimize(convertBare(c, rig.samples[n % kSamples], four[n % 4].data()));
            fourWaited += threadCpuUs() - t0;
        }

        double module = 0;
        for (int f = 0; f < kBlock; ++f, ++n) {
            std::vector<uint8_t> &s = rig.samples[n % kSamples];
            idle.wait();
            const double t0 = threadCpuUs();
            cb->onYUVData(s.data(), int(s.size()));
            module += threadCpuUs() - t0;
        }
        idle.wait();
        if (round == 0)
            continue; // warm-up
        sumBare += bare;
        sumFour += fourBuffers;
        sumModule += module;
        sumWaited += fourWaited;
        toWaited.push_back(module / fourWaited);
        toBare.push_back(module / bare);
        toFour.push_back(module / fourBuffers);
        fourToBare.push_back(fourBuffers / bare);
    }
    const double frames = kBlock * (kRounds - 1);
    std::printf("%-15s paired CPU time per frame: bare %.1f us, bare into 4 buffers %.1f us, "
                "the same with the GUI thread woken between frames %.1f us, delivery %.1f us\n",
                c.label, sumBare / frames, sumFour / frames, sumWaited / frames,
                sumModule / frames);
    std::printf("%-15s   delivery / bare into 4 buffers with the GUI thread woken between "
                "frames %.4f (median of rounds %.4f)\n",
                c.label, sumModule / sumWaited, percentiles(toWaited).median);
    std::printf("%-15s   delivery / bare %.4f (median of rounds %.4f); delivery / bare into 4 "
                "buffers %.4f (median %.4f); 4 buffers / bare %.4f\n",
                c.label, sumModule / sumBare, percentiles(toBare).median, sumModule / sumFour,
                percentiles(toFour).median, sumFour / sumBare);
}

// What the delivery adds to the conversion on the capture thread:
// - bookkeeping: a sample the booth refuses at once (format report, pool,
//   reserve, the booth's checks, no frame call);
// - fixed cost of a real delivery: its CPU time less that of the conversion
//   inside it (timed by the booth wrapper; one clock read, measured here, is
//   taken off as well);
// - the queued frame call alone, back to back, in the two ways a call can be
//   made: by name through Qt's meta-object lookup, and as a functor that
//   calls the slot directly.
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

    t0 = threadCpuUs();
    for (int k = 0; k < kCalls; ++k)
        benchmark::DoNotOptimize(threadCpuUs());
    const double clockRead = (threadCpuUs() - t0) / kCalls;

    constexpr int kFrames = 200;
    double whole = 0;
    {
        const DisplayIdle idle(rig.booth);
        rig.booth->convertCpuUs = 0;
        rig.booth->timeConversions = true;
        for (int f = 0; f < kFrames; ++f) {
            std::vector<uint8_t> &s = rig.samples[std::size_t(f) % kSamples];
            idle.wait();
            const double start = threadCpuUs();
            cb->onYUVData(s.data(), int(s.size()));
            whole += threadCpuUs() - start;
        }
        idle.wait();
        rig.booth->timeConversions = false;
    }
    const double fixed = (whole - rig.booth->convertCpuUs) / kFrames - clockRead;

    void *frame = rig.samples[0].data();
    int w = c.width, h = c.height;
    KvCameraRenderWidget *render = rig.render;
    double byName = 0;
    double functor = 0;
    constexpr int kBatch = 200;
    for (int done = 0; done < kCalls; done += kBatch) {
        long base = app()->slotCalls.load();
        t0 = threadCpuUs();
        for (int k = 0; k < kBatch; ++k)
            QMetaObject::invokeMethod(render, "slotReceiveVideoFrame", Qt::AutoConnection,
                                      QGenericArgument("void *", &frame), Q_ARG(int, w),
                                      Q_ARG(int, h));
        byName += threadCpuUs() - t0;
        waitForSlots(base + kBatch);

        base = app()->slotCalls.load();
        t0 = threadCpuUs();
        for (int k = 0; k < kBatch; ++k)
            QMetaObject::invokeMethod(
                render, [render, frame, w, h] { render->slotReceiveVideoFrame(frame, w, h); },
                Qt::QueuedConnection);
        functor += threadCpuUs() - t0;
        waitForSlots(base + kBatch);
    }
    byName /= kCalls;
    functor /= kCalls;
    // The widget must not keep the sample's address.
    onGui([&] { rig.render->slotReceiveVideoFrame(nullptr, 0, 0); });
    std::printf("%-15s fixed CPU cost per frame: bookkeeping %.2f us; delivery less conversion "
                "%.2f us (clock read %.2f us taken off); queued call alone: by name %.2f us, "
                "functor %.2f us\n",
                c.label, bookkeeping, fixed, clockRead, byName, functor);
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
    const DisplayIdle warmIdle(rig.booth);
    for (int f = 0; f < kWarm; ++f) {
        warmIdle.wait();
        cb->onYUVData(sample(f).data(), int(sample(f).size()));
    }
    warmIdle.wait();

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
    // The waits between frames allocate nothing; the slot side is counted
    // too (both threads), and the feeding thread's share on its own.
    // (The booth's conversions above were not the module's: mark afresh.)
    const DisplayIdle idle(rig.booth);
    const long converts = rig.booth->converts();
    const alloccount::Totals whole = countAllocations(kFrames + 1, [&](int f) {
        idle.wait();
        if (f < kFrames)
            cb->onYUVData(sample(f).data(), int(sample(f).size()));
    });
    printAllocations(c.label, "whole delivery", whole, kFrames);
    std::printf("%-15s %-28s %6.2f allocations, %8.1f bytes per frame (%ld of %d frames "
                "converted)\n",
                c.label, "  on the feeding thread", double(whole.callsHere) / kFrames,
                double(whole.bytesHere) / kFrames, rig.booth->converts() - converts, kFrames);
}

// Which of the rig's samples a converted sample pointer is, or -1.
int sampleIndex(const Rig &rig, const unsigned char *p)
{
    for (int k = 0; k < kSamples; ++k)
        if (rig.samples[std::size_t(k)].data() == p)
            return k;
    return -1;
}

void measureLatency(int i)
{
    Rig &rig = g_rigs[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    constexpr int kFrames = 200;
    // Samples are cycled eight frames apart: a slot call belongs to the
    // latest feed of its sample.
    std::vector<Clock::time_point> sent(kSamples);
    std::vector<double> latencyUs;
    latencyUs.reserve(kFrames);
    std::atomic<int> seen{0};
    const long convertsBefore = rig.booth->converts();
    onGui([&] {
        rig.booth->skipToNewest();
        app()->watched = rig.render;
        app()->onFrame = [&](Clock::time_point at, const unsigned char *) {
            const int k = sampleIndex(rig, rig.booth->takeConverted());
            if (k >= 0 && latencyUs.size() < std::size_t(kFrames))
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
        sent[std::size_t(f) % kSamples] = Clock::now();
        cb->onYUVData(s.data(), int(s.size()));
    }
    const long converted = rig.booth->converts() - convertsBefore;
    waitUntil([&] { return seen.load() >= converted; });
    onGui([] { app()->onFrame = nullptr; });
    const Percentiles p = percentiles(latencyUs);
    std::printf("%-15s sample-to-slot latency, idle GUI thread, 30 fps: median %.0f us, p99 %.0f "
                "us (%ld of %d frames shown)\n",
                kCases[i].label, p.median, p.p99, converted, kFrames);
}

// 30 fps for one second; the GUI thread sleeps 200 ms from the sixth frame on.
// A frame is shown overwritten when the bytes behind its pointer differ from
// the conversion of the sample it was converted from when its slot call ran
// (the module may have rewritten the buffer since); a frame is stale when a
// newer sample had been converted when its call began.
void measureBlockedGui(int i)
{
    Rig &rig = g_rigs[i];
    const Case &c = kCases[i];
    IKvYUVDataCallBack *cb = rig.booth->moduleCallback();
    constexpr int kFrames = 30;
    const std::size_t size = std::size_t(c.width) * c.height * 3 / 2;
    std::atomic<int> seen{0};
    std::atomic<int> intact{0};
    std::atomic<int> stale{0};
    std::atomic<bool> blockOver{false};
    int firstAfter = -2;    // sample shown by the first call after the block
    int newestAtFirst = -2; // newest converted sample when that call began
    const long convertsBefore = rig.booth->converts();
    onGui([&] {
        rig.booth->skipToNewest();
        app()->watched = rig.render;
        app()->watchedBooth = rig.booth;
        app()->onFrame = [&](Clock::time_point, const unsigned char *newest) {
            const unsigned char *converted = rig.booth->takeConverted();
            const int k = sampleIndex(rig, converted);
            const unsigned char *data = rig.render->frameData();
            if (data && k >= 0 &&
                std::memcmp(data, rig.reference[std::size_t(k)].data(), size) == 0)
                ++intact;
            if (newest != converted)
                ++stale;
            if (blockOver.load() && firstAfter == -2) {
                firstAfter = k;
                newestAtFirst = sampleIndex(rig, newest);
            }
            seen.fetch_add(1);
        };
    });
    Clock::time_point next = Clock::now();
    for (int f = 0; f < kFrames; ++f) {
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(33333);
        if (f == 5)
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    blockOver = true;
                },
                Qt::QueuedConnection);
        std::vector<uint8_t> &s = rig.samples[std::size_t(f) % kSamples];
        cb->onYUVData(s.data(), int(s.size()));
    }
    const long converted = rig.booth->converts() - convertsBefore;
    waitUntil([&] { return seen.load() >= converted; });
    onGui([] {
        app()->onFrame = nullptr;
        app()->watchedBooth = nullptr;
    });
    std::printf("%-15s GUI thread blocked 200 ms at 30 fps: %d samples, %ld converted, %ld "
                "skipped, %d slot calls, %d shown intact, %d overwritten before their slot ran, "
                "%d stale; first call after the block shows sample %d, newest converted %d\n",
                c.label, kFrames, converted, kFrames - converted, seen.load(), intact.load(),
                seen.load() - intact.load(), stale.load(), firstAfter, newestAtFirst);
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

        std::printf("\nDelivery path against the bare conversion (medians of the repetitions; "
                    "the delivery's CPU time includes its waits for the display):\n");
        for (int i = 0; i < kCaseCount; ++i) {
            const std::string arg = "/" + std::to_string(i);
            const auto a = reporter.medians.find("BM_BareConversion" + arg);
            const auto b = reporter.medians.find("BM_ModuleDelivery" + arg + "/manual_time");
            if (a != reporter.medians.end() && b != reporter.medians.end() && a->second.first > 0 &&
                a->second.second > 0)
                std::printf("%-15s delivery / bare: real time %.4f (%.1f / %.1f us)\n",
                            kCases[i].label, b->second.first / a->second.first, b->second.first,
                            a->second.first);
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
