#ifndef IKVBOOTH_H
#define IKVBOOTH_H

#include "camdevinfo.h"

#include <functional>

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVector>

class IKvYUVDataCallBack;

// Destination of convertFrameScaled: an I420 image with its own strides.
struct CamI420Image
{
    int reserved = 0;
    int width = 0;
    int height = 0;
    int strideY = 0;
    int strideU = 0;
    int strideV = 0;
    unsigned char *y = nullptr;
    unsigned char *u = nullptr;
    unsigned char *v = nullptr;
};

// The capture engine as the camera module sees it. The declaration order is
// the virtual-table order and must not change.
class IKvBooth
{
public:
    virtual ~IKvBooth() = default;
    virtual QObject *getObject() = 0;
    virtual void release() = 0;
    virtual void setYUVDataCallBack(IKvYUVDataCallBack *cb) = 0;
    virtual void setResolution(int width, int height) = 0;
    virtual int openCameraByPath(const CamDevInfo &info) = 0;
    virtual int openCamera(const QString &name) = 0;
    virtual int getVideoFormat(QJsonObject &format) = 0;
    virtual int convertFrameScaled(const uchar *sample, int *len, const CamI420Image *dst) = 0;
    virtual int convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize) = 0;
    virtual int closeCamera() = 0;
    virtual int run() = 0;
    virtual int stop() = 0;
    virtual bool isRunning() = 0;
    virtual void onGraphEvent(const int &kind) = 0;
    virtual void setRotation(const int &code) = 0;
    virtual int getCameraList(QStringList &names) = 0;
    virtual int getCameraList(QVector<CamDevInfo> &list) = 0;
    virtual void setBrightness(int percent, bool useDefault) = 0;
    virtual void setContrast(int percent, bool useDefault) = 0;
    virtual void setSaturation(int percent, bool useDefault) = 0;
    virtual int getBrightness() = 0;
    virtual int getContrast() = 0;
    virtual int getSaturation() = 0;
};

Q_DECLARE_INTERFACE(IKvBooth, "com.orlo.Quorvale.IKvBooth/1.0")

// The library's booth factory: a new KvBooth without parent. The caller owns it.
IKvBooth *createBooth();

// `changed` runs, on a thread of the platform, whenever a camera that the platform hears of
// comes or goes (PipeWire's camera nodes; V4L2 nodes are watched in /dev). It must return at
// once. Replaces the previous one.
void watchCameraList(std::function<void()> changed);

#endif
