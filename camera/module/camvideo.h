#ifndef CAMVIDEO_H
#define CAMVIDEO_H

#include "camdevinfo.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The library builds with hidden symbols; this marks what a host links to.
#ifndef KVCAMVIDEO_EXPORT
#define KVCAMVIDEO_EXPORT __attribute__((visibility("default")))
#endif

class QObject;
class QWidget;

// The camera object a host drives from its GUI thread. The order of the
// virtual operations is the host's contract and must not change.
class KVCAMVIDEO_EXPORT CamVideo
{
public:
    CamVideo();
    CamVideo(const CamVideo &);
    CamVideo &operator=(const CamVideo &);
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

    // Not virtual, so the table above keeps its slots. Both answer for
    // objects made by create(); for any other implementation they are empty.

    // The negotiated format while started: "width", "height" (integers),
    // "fps" (double), "format" (four-character code as an integer, first
    // character in the low byte). Empty when stopped.
    QJsonObject currentFormat() const;
    // Frames handed to the display widget since the latest start, whether or
    // not they reached the screen.
    qint64 frameCount() const;
    // Frames the display widget put on screen since the latest start (GUI
    // thread). Below frameCount() while the display is hidden, drops frames
    // between paints, or cannot show them at all (the log says why).
    qint64 shownFrameCount() const;

    // Calls `changed` on `context`'s thread, until `context` is destroyed, whenever a camera
    // came or went that the library hears of by itself (PipeWire's cameras); the host asks for
    // the list again. Video4Linux nodes in /dev are the host's to watch.
    static void watchCameras(QObject *context, std::function<void()> changed);
};

#endif
