// The camera module's part of a delivery, for the delivery benchmarks: the booth converts each
// sample into a slot buffer, and the streaming thread's CPU time is summed from one delivery to
// the next (the whole round: conversion, queue, wake-up, dequeue, checks).
#ifndef BENCH_SLOTSINK_H
#define BENCH_SLOTSINK_H

#include "ikvyuvdatacallback.h"
#include "kvbooth.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <time.h>
#include <vector>

constexpr int kFramesPerIteration = 30;

inline double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

class SlotSink : public IKvYUVDataCallBack
{
public:
    KvBooth *booth = nullptr;
    std::atomic<bool> convert{true}; // false: only the stream's own round, to see what it costs
    std::vector<uchar> slot;
    std::mutex mutex;
    std::condition_variable arrived;
    std::atomic<long> delivered{0};
    std::atomic<long> failed{0};
    std::vector<std::vector<uchar>> kept; // the first samples, for the baseline
    double lastCpu = 0.0;
    std::atomic<double> cpu{0.0}; // streaming thread's CPU time since the first delivery

    int onYUVData(unsigned char *data, int len) override
    {
        const double now = threadSeconds();
        if (lastCpu > 0.0)
            cpu.store(cpu.load() + (now - lastCpu));
        lastCpu = now;
        if (kept.size() < 4) {
            std::lock_guard<std::mutex> lock(mutex);
            kept.emplace_back(data, data + len);
        }
        if (convert && booth->convertFrame(data, &len, slot.data(), int(slot.size())) <= 0)
            failed.fetch_add(1);
        delivered.fetch_add(1);
        arrived.notify_all();
        return 0;
    }

    // False when the stream stalled for 20 s.
    bool waitFor(long count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(20),
                                [&] { return delivered.load() >= count; });
    }
};

#endif
