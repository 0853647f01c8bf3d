#ifndef KVBOOTH_H
#define KVBOOTH_H

#include "ikvbooth.h"

#include <QObject>

// Placeholder capture engine: refuses everything until the real engine lands.
class KvBooth : public QObject, public IKvBooth
{
    Q_OBJECT
    Q_INTERFACES(IKvBooth)
public:
    explicit KvBooth(QObject *parent = nullptr);

    QObject *getObject() override { return this; }
    void release() override { delete this; }
    void setYUVDataCallBack(IKvYUVDataCallBack *) override {}
    void setResolution(int, int) override {}
    int openCameraByPath(const CamDevInfo &) override { return -1; }
    int openCamera(const QString &) override { return -1; }
    int getVideoFormat(QJsonObject &) override { return -1; }
    int convertFrameScaled(const uchar *, int *, const CamI420Image *) override { return -1; }
    int convertFrame(const uchar *, int *, uchar *, int) override { return -1; }
    int closeCamera() override { return 1; }
    int run() override { return -1; }
    int stop() override { return 1; }
    bool isRunning() override { return false; }
    void onGraphEvent(const int &) override {}
    void setRotation(const int &) override {}
    int getCameraList(QStringList &names) override { names.clear(); return -2; }
    int getCameraList(QVector<CamDevInfo> &list) override { list.clear(); return -2; }
    void setBrightness(int, bool) override {}
    void setContrast(int, bool) override {}
    void setSaturation(int, bool) override {}
    int getBrightness() override { return 0; }
    int getContrast() override { return 0; }
    int getSaturation() override { return 0; }
};

#endif
