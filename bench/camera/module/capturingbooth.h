#ifndef CAPTURINGBOOTH_H
#define CAPTURINGBOOTH_H

#include "ikvbooth.h"
#include "ikvyuvdatacallback.h"

#include <atomic>

// Wraps the library's booth: everything goes through to it, except that the
// module's sample callback is kept for the benchmark, which feeds it samples
// at its own pace, while the camera's own samples go nowhere.
class CapturingBooth : public IKvBooth
{
public:
    explicit CapturingBooth(IKvBooth *inner) : m_inner(inner) {}
    ~CapturingBooth() override { delete m_inner; }

    IKvYUVDataCallBack *moduleCallback() const { return m_callback.load(); }

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
        return m_inner->convertFrame(sample, len, dst, dstSize);
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

    IKvBooth *m_inner;
    Sink m_sink;
    std::atomic<IKvYUVDataCallBack *> m_callback{nullptr};
};

#endif
