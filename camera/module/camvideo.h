#ifndef CAMVIDEO_H
#define CAMVIDEO_H

#include "camdevinfo.h"

#include <QString>
#include <QStringList>
#include <QVector>

class QWidget;

// The camera object a host drives from its GUI thread. The order of the
// virtual operations is the host's contract and must not change.
class CamVideo
{
public:
    CamVideo() = default;
    CamVideo(const CamVideo &) = default;
    CamVideo &operator=(const CamVideo &) { return *this; }
    virtual ~CamVideo();

    virtual int init(double scale) = 0;
    virtual int startCamera(const QString &name) = 0;
    virtual int startCameraByPath(const QString &path) = 0;
    virtual bool isStarted() = 0;
    virtual int setVideoVisible(bool visible) = 0;
    virtual int stopCamera() = 0;
    virtual int getCameraInfos(QVector<CamDevInfo> &list) = 0;
    virtual int getCameraNames(QStringList &names) = 0;
    virtual int useRenderWidget() = 0;
    virtual QWidget *getVideoWidget() = 0;

    static CamVideo *create();
};

#endif
