#ifndef CAPTURINGBOOTH_H
#define CAPTURINGBOOTH_H

#include "ikvbooth.h"
#include "ikvyuvdatacallback.h"

#include <atomic>
#include <ctime>

// Wraps the library's booth: everything goes through to it, except that the
// module's sample callback is kept for the benchmark, which feeds it samples
// at its own pace, while the camera's own samples go nowhere. It also notes
// which samples the module had converted, in order (without allocating), and
// on request the CPU time of the conversions, so that the module's own cost
// can be told from the conversion's.
class CapturingBooth : public IKvBooth
{
public:
    explicit CapturingBooth(IKvBooth *inner) : m_inner(inner) {}
    ~CapturingBooth() override { delete m_inner; }

    IKvYUVDataCallBack *moduleCallback() const { return m_callback.load(); }

    static double threadCpuUs()
    {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
    }

    // Successful conversions so far.
    long converts() const { return m_converts.load(std::memory_order_acquire); }
    // The sample of the newest successful conversion.
    const uchar *newestConverted() const { return m_newest.load(std::memory_order_acquire); }
    // The sample of the oldest successful conversion not taken yet, or null.
    // One taker at a time; the conversions it looks at have been lent.
    const uchar *takeConverted()
    {
        const long head = m_converts.load(std::memory_order_acquire);
        if (m_taken >= head)
            return nullptr;
        if (head - m_taken > kRing)
            m_taken = head - kRing;
        return m_ring[std::size_t(m_taken++ % kRing)];
    }
    void skipToNewest() { m_taken = m_converts.load(std::memory_order_acquire); }

    // While on, convertFrame adds its CPU time (on the calling thread) up.
    std::atomic<bool> timeConversions{false};
    double convertCpuUs = 0; // calling thread only

    QObject *getObject() override { return m_inner->getObject(); }
    void release() override { delete this; }
    void setYUVDataCallBack(IKvYUVDataCallBack *cb) override
    {
        m_callback = cb;
        m_inner->setYUVDataCallBack(&m_sink);
    }
    void setResolution(int width, int height) override { m_inner->setResolution(width, height); }
    int openCameraByPath(const CamDevInfo &info) override
    {
        return m_inner->openCameraByPath(info);
    }
    int openCamera(const QString &name) override { return m_inner->openCamera(name); }
    int getVideoFormat(QJsonObject &format) override { return m_inner->getVideoFormat(format); }
    int convertFrameScaled(const uchar *sample, int *len, const CamI420Image *dst) override
    {
        return m_inner->convertFrameScaled(sample, len, dst);
    }
    int convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize) override
    {
        const bool timed = timeConversions.load(std::memory_order_relaxed);
        const double t0 = timed ? threadCpuUs() : 0;
        const int r = m_inner->convertFrame(sample, len, dst, dstSize);
        if (timed)
            convertCpuUs += threadCpuUs() - t0;
        if (r > 0) {
            const long n = m_converts.load(std::memory_order_relaxed);
            m_ring[std::size_t(n % kRing)] = sample;
            m_newest.store(sample, std::memory_order_release);
            m_converts.store(n + 1, std::memory_order_release);
        }
        return r;
    }
    int closeCamera() override { return m_inner->closeCamera(); }
    int run() override { return m_inner->run(); }
    int stop() override { return m_inner->stop(); }
    bool isRunning() override { return m_inner->isRunning(); }
    void onGraphEvent(const int &kind) override { m_inner->onGraphEvent(kind); }
    void setRotation(const int &code) override { m_inner->setRotation(code); }
    int getCameraList(QStringList &names) override { return m_inner->getCameraList(names); }
    int getCameraList(QVector<CamDevInfo> &list) override { return m_inner->getCameraList(list); }
    void setBrightness(int percent, bool useDefault) override
    {
        m_inner->setBrightness(percent, useDefault);
    }
    void setContrast(int percent, bool useDefault) override
    {
        m_inner->setContrast(percent, useDefault);
    }
    void setSaturation(int percent, bool useDefault) override
    {
        m_inner->setSaturation(percent, useDefault);
    }
    int getBrightness() override { return m_inner->getBrightness(); }
    int getContrast() override { return m_inner->getContrast(); }
    int getSaturation() override { return m_inner->getSaturation(); }

private:
    class Sink : public IKvYUVDataCallBack
    {
    public:
        int onYUVData(unsigned char *, int) override { return 0; }
    };

    static constexpr long kRing = 4096;

    IKvBooth *m_inner;
    Sink m_sink;
    std::atomic<IKvYUVDataCallBack *> m_callback{nullptr};
    std::atomic<long> m_converts{0};
    std::atomic<const uchar *> m_newest{nullptr};
    const uchar *m_ring[kRing] = {};
    long m_taken = 0;
};

#endif
