// Cost of delivering a frame from a PipeWire camera against converting the same frame alone.
//
// A test camera program on a private daemon (each buffer drawn once and sent again, so that
// producing costs nothing, as a device's DMA does) streams MJPG 1920x1080 at 120 fps through the
// real provider and booth: the stream's process callback on the provider's thread loop, the
// frame checks, the sample grabber and the booth's conversion into a slot buffer, as the camera
// module does. The baseline converts copies of the same frames with the same booth, one as each
// frame arrives, while the stream goes on without converting: the same pace and the same
// daemon and producer at work, so that only the delivery differs (a conversion after an idle
// gap costs a good third more than one in a tight loop). The provider hands the mapped buffer
// on without a copy: the goal is a ratio of at most 1.05. Times are the CPU time of the thread
// doing the work (the loop thread, from one delivery to the next, so the loop's own work counts
// too). Run with --benchmark_enable_random_interleaving and repetitions, so that a drift of the
// machine falls on both.
#include "kvbooth.h"
#include "pipewiredaemon.h"
#include "slotsink.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QThread>

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Rig
{
    std::unique_ptr<PipeWireDaemon> daemon;
    std::unique_ptr<KvBooth> booth;
    SlotSink sink;
    std::string error;
    bool running = false;

    Rig()
    {
        daemon.reset(new PipeWireDaemon);
        if (!daemon->start() ||
            !daemon->startCamera({"--name", "kv-bench", "--description", "Bench Camera",
                                  "--mjpg-size", "1920x1080", "--fps", "120", "--prerender"})) {
            error = "no private PipeWire daemon";
            return;
        }
        booth.reset(new KvBooth);
        sink.booth = booth.get();
        booth->setYUVDataCallBack(&sink);
        booth->setResolution(1920, 0);
        CamDevInfo info;
        info.path = "pipewire:kv-bench";
        QJsonObject format;
        // The node is listed once the daemon has it.
        for (int i = 0; i < 100 && booth->openCameraByPath(info) != 0; ++i) {
            booth->closeCamera();
            QThread::msleep(100);
        }
        if (booth->getVideoFormat(format) != 0 || format.value("width").toInt() != 1920) {
            error = "the bench camera did not open at 1920x1080";
            return;
        }
        sink.slot.assign(size_t(1920) * 1080 * 2, 0);
        if (booth->run() != 0) {
            error = "the bench camera did not start";
            return;
        }
        running = true;
        if (!sink.waitFor(8))
            error = "no frames";
    }
    ~Rig()
    {
        if (booth) {
            if (running)
                booth->stop();
            booth->closeCamera();
        }
    }
};

Rig *rig = nullptr;

void deliveryThroughPipeWire(benchmark::State &state, bool convert)
{
    if (!rig->error.empty()) {
        state.SkipWithError(rig->error.c_str());
        return;
    }
    rig->sink.convert = convert;
    for (auto _ : state) {
        const long start = rig->sink.delivered.load();
        const double cpu0 = rig->sink.cpu.load();
        rig->sink.waitFor(start + kFramesPerIteration);
        const long frames = rig->sink.delivered.load() - start;
        const double seconds = rig->sink.cpu.load() - cpu0;
        state.SetIterationTime(seconds * kFramesPerIteration / double(frames > 0 ? frames : 1));
    }
    rig->sink.convert = true;
    state.counters["failed"] = double(rig->sink.failed.load());
    state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
}

void bareConversion(benchmark::State &state)
{
    if (!rig->error.empty()) {
        state.SkipWithError(rig->error.c_str());
        return;
    }
    std::vector<std::vector<uchar>> frames;
    {
        std::lock_guard<std::mutex> lock(rig->sink.mutex);
        frames = rig->sink.kept;
    }
    rig->sink.convert = false;
    std::vector<uchar> slot(rig->sink.slot.size());
    long failed = 0;
    size_t next = 0;
    for (auto _ : state) {
        double seconds = 0.0;
        for (int i = 0; i < kFramesPerIteration; ++i) {
            // Paced by the stream: one conversion as each frame arrives.
            rig->sink.waitFor(rig->sink.delivered.load() + 1);
            std::vector<uchar> &f = frames[next++ % frames.size()];
            int len = int(f.size());
            const double t0 = threadSeconds();
            if (rig->booth->convertFrame(f.data(), &len, slot.data(), int(slot.size())) <= 0)
                ++failed;
            seconds += threadSeconds() - t0;
        }
        state.SetIterationTime(seconds);
    }
    rig->sink.convert = true;
    state.counters["failed"] = double(failed);
    state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // One daemon and stream for the run.
    Rig theRig;
    rig = &theRig;
    benchmark::RegisterBenchmark("PipeWireDelivery/MJPG_1920x1080", deliveryThroughPipeWire, true)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    // What the stream's round costs without the conversion (paced frames: a fixed count).
    benchmark::RegisterBenchmark("PipeWireRoundOnly/MJPG_1920x1080", deliveryThroughPipeWire, false)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(10);
    benchmark::RegisterBenchmark("BareConversion/MJPG_1920x1080", bareConversion)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rig = nullptr;
    return 0;
}
