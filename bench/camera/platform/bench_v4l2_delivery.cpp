// Cost of delivering a frame from a V4L2 camera against converting the same frame alone.
//
// Scripted cameras (the tests' device backend, each buffer drawn once so that a dequeue costs
// what a device's DMA costs the CPU: nothing) stream as fast as they can through the real
// provider and booth: poll, dequeue, the frame checks, the sample grabber and the booth's
// conversion into a slot buffer, as the camera module does, then the buffer is queued again.
// The baseline converts the very same frames with the same booth in a loop. The provider adds
// no copy when the two are equal: the goal is a ratio within 3 %. Times are the CPU time of the
// thread doing the work (the streaming thread, from one delivery to the next, so that poll,
// dequeue and queue count too), which a machine busy with other work does not distort.
#include "fakemachine.h"
#include "kvbooth.h"
#include "slotsink.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Case
{
    const char *label;
    const char *model;
    int requestedWidth;
};

const Case kCases[] = {
    {"MJPG_1920x1080", "uvc paced 0 prerender 1", 1920},
    {"YUY2_1280x720", "stepwise paced 0 prerender 1", 1280},
};

struct Rig
{
    std::unique_ptr<FakeMachine> machine;
    std::unique_ptr<KvBooth> booth;
    SlotSink sink;
    std::string error;
    bool running = false;

    explicit Rig(const Case &c)
    {
        machine.reset(new FakeMachine);
        machine->plug(0, c.model, "Bench Camera", 0, "pci-bench-video-index0");
        booth.reset(new KvBooth);
        sink.booth = booth.get();
        booth->setYUVDataCallBack(&sink);
        booth->setResolution(c.requestedWidth, 0);
        CamDevInfo info;
        info.path = "v4l2:pci-bench-video-index0";
        QJsonObject format;
        if (booth->openCameraByPath(info) != 0 || booth->getVideoFormat(format) != 0) {
            error = "the scripted camera did not open";
            return;
        }
        const int w = format.value("width").toInt(), h = format.value("height").toInt();
        sink.slot.assign(size_t(w) * h * 2, 0);
        if (booth->run() != 0) {
            error = "the scripted camera did not start";
            return;
        }
        running = true;
        sink.waitFor(8); // every buffer drawn, the first samples kept
    }
    ~Rig()
    {
        if (running)
            booth->stop();
        booth->closeCamera();
    }
};

void deliveryThroughV4l2(benchmark::State &state, const Case &c, bool convert)
{
    Rig rig(c);
    if (!rig.error.empty()) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    rig.sink.convert = convert;
    for (auto _ : state) {
        const long start = rig.sink.delivered.load();
        const double cpu0 = rig.sink.cpu.load();
        rig.sink.waitFor(start + kFramesPerIteration);
        const long frames = rig.sink.delivered.load() - start;
        const double seconds = rig.sink.cpu.load() - cpu0;
        // Scaled to the iteration's frames, so that both benchmarks are in the same unit.
        state.SetIterationTime(seconds * kFramesPerIteration / double(frames));
    }
    state.counters["failed"] = double(rig.sink.failed.load());
    state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
}

void bareConversion(benchmark::State &state, const Case &c)
{
    Rig rig(c);
    if (!rig.error.empty()) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    // The same booth, the same frames, no stream: stop it first so it does not share the CPU.
    rig.booth->stop();
    rig.running = false;
    std::vector<std::vector<uchar>> frames;
    {
        std::lock_guard<std::mutex> lock(rig.sink.mutex);
        frames = rig.sink.kept;
    }
    long failed = 0;
    size_t next = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        for (int i = 0; i < kFramesPerIteration; ++i) {
            std::vector<uchar> &f = frames[next++ % frames.size()];
            int len = int(f.size());
            if (rig.booth->convertFrame(f.data(), &len, rig.sink.slot.data(),
                                        int(rig.sink.slot.size())) <= 0)
                ++failed;
        }
        state.SetIterationTime(threadSeconds() - t0);
    }
    state.counters["failed"] = double(failed);
    state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (const Case &c : kCases) {
        benchmark::RegisterBenchmark((std::string("BareConversion/") + c.label).c_str(),
                                     bareConversion, c)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark((std::string("V4l2Delivery/") + c.label).c_str(),
                                     deliveryThroughV4l2, c, true)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark((std::string("V4l2RoundOnly/") + c.label).c_str(),
                                     deliveryThroughV4l2, c, false)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
