#ifndef FAKEBOOTH_H
#define FAKEBOOTH_H

#include "ikvbooth.h"
#include "ikvyuvdatacallback.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>

// A scripted booth: records the calls the module makes and converts samples
// by filling the destination with a recognisable pattern.
class FakeBooth : public QObject, public IKvBooth
{
public:
    QObject *getObject() override { return this; }
    void release() override { delete this; }
    void setYUVDataCallBack(IKvYUVDataCallBack *cb) override
    {
        log("setCb");
        callback = cb;
        callbacks.append(cb);
    }
    void setResolution(int, int) override {}
    int openCameraByPath(const CamDevInfo &info) override
    {
        log("openPath:" + info.path + ":" + info.name + ":" + QString::number(info.index));
        return open();
    }
    int openCamera(const QString &name) override
    {
        log("open:" + name);
        return open();
    }
    int getVideoFormat(QJsonObject &format) override
    {
        std::lock_guard<std::mutex> g(formatMutex);
        if (!formatValid)
            return -1;
        format = videoFormat;
        return 0;
    }
    int convertFrameScaled(const uchar *, int *, const CamI420Image *) override { return -1; }
    int convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize) override;
    int closeCamera() override
    {
        log("close");
        if (!graphBuilt)
            return 1;
        graphBuilt = false;
        running = false;
        return 0;
    }
    int run() override
    {
        log("run");
        if (!graphBuilt)
            return -1;
        if (runResult < 0)
            return runResult;
        running = true;
        return 0;
    }
    int stop() override
    {
        log("stop");
        if (!running)
            return 1;
        running = false;
        return 0;
    }
    bool isRunning() override { return running; }
    void onGraphEvent(const int &) override {}
    void setRotation(const int &) override {}
    int getCameraList(QStringList &names) override
    {
        names.clear();
        for (const CamDevInfo &i : qAsConst(cameras))
            names.append(i.name);
        return names.size();
    }
    int getCameraList(QVector<CamDevInfo> &list) override
    {
        list = cameras;
        return list.size();
    }
    void setBrightness(int, bool) override {}
    void setContrast(int, bool) override {}
    void setSaturation(int, bool) override {}
    int getBrightness() override { return 0; }
    int getContrast() override { return 0; }
    int getSaturation() override { return 0; }

    ~FakeBooth() override
    {
        if (onDestroy)
            onDestroy(this);
        if (destroyed)
            *destroyed = true;
    }

    void setFormat(int width, int height)
    {
        std::lock_guard<std::mutex> g(formatMutex);
        formatValid = true;
        videoFormat = QJsonObject{
            {"width", width}, {"height", height}, {"fps", 30.0}, {"format", 0x32595559}};
    }

    // Hands one sample to the module as the capture thread would.
    void deliver(unsigned char *sample, int len)
    {
        if (callback)
            callback->onYUVData(sample, len);
    }

    // Lets the next conversions block until release(), so that deliveries
    // overlap and hold buffers.
    void holdConversions(bool hold)
    {
        std::lock_guard<std::mutex> g(holdMutex);
        holding = hold;
        holdCv.notify_all();
    }
    void waitForHeldConversions(int n)
    {
        std::unique_lock<std::mutex> g(holdMutex);
        holdCv.wait(g, [&] { return held >= n; });
    }

    void log(const QString &s)
    {
        std::lock_guard<std::mutex> g(logMutex);
        calls.append(s);
    }
    QStringList takeCalls()
    {
        std::lock_guard<std::mutex> g(logMutex);
        QStringList c = calls;
        calls.clear();
        return c;
    }

    QVector<CamDevInfo> cameras;
    int runResult = 0;
    int convertResult = 0; // 0: the I420 size; other values are returned as such
    IKvYUVDataCallBack *callback = nullptr;
    QVector<IKvYUVDataCallBack *> callbacks;
    bool graphBuilt = false;
    bool running = false;
    bool *destroyed = nullptr;
    std::function<void(FakeBooth *)> onDestroy;

    // Seen by convertFrame.
    std::atomic<int> converts{0};
    std::atomic<int> lastDstSize{0};
    std::mutex dstMutex;
    QVector<uchar *> destinations;

private:
    int open()
    {
        // A built graph refuses another open, as the real engine does.
        if (graphBuilt)
            return -1;
        graphBuilt = true;
        return 0;
    }

    std::mutex formatMutex;
    bool formatValid = false;
    QJsonObject videoFormat;

    std::mutex logMutex;
    QStringList calls;

    std::mutex holdMutex;
    std::condition_variable holdCv;
    bool holding = false;
    int held = 0;
};

// The pattern a conversion writes: every byte of the I420 image is the
// sample's first byte plus the plane index (0 Y, 1 U, 2 V).
inline int FakeBooth::convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize)
{
    {
        std::unique_lock<std::mutex> g(holdMutex);
        if (holding) {
            ++held;
            holdCv.notify_all();
            holdCv.wait(g, [&] { return !holding; });
            --held;
        }
    }
    ++converts;
    lastDstSize = dstSize;
    {
        std::lock_guard<std::mutex> g(dstMutex);
        destinations.append(dst);
    }
    if (convertResult != 0)
        return convertResult;
    QJsonObject f;
    getVideoFormat(f);
    const int w = f.value("width").toInt();
    const int h = f.value("height").toInt();
    const int ySize = w * h;
    const uchar base = (len && *len > 0) ? sample[0] : 0;
    std::memset(dst, base, std::size_t(ySize));
    std::memset(dst + ySize, base + 1, std::size_t(ySize / 4));
    std::memset(dst + ySize + ySize / 4, base + 2, std::size_t(ySize / 4));
    return ySize * 3 / 2;
}

#endif
