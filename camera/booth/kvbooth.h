#ifndef KVBOOTH_H
#define KVBOOTH_H

#include "ikvbooth.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <dshow.h>

class DsEvent;

// The capture engine: camera lists and selection, the DirectShow capture graph
// with its format choice, the I420 conversions, run/stop with the event thread
// and the picture adjustments. Owned by the camera module through IKvBooth.
class KvBooth : public QObject, public IKvBooth
{
    Q_OBJECT
    Q_INTERFACES(IKvBooth)
public:
    enum GraphState { GraphNone = 0, GraphCreated = 1, GraphRunning = 2, GraphReady = 3 };

    explicit KvBooth(QObject *parent = nullptr);
    ~KvBooth() override;

    QObject *getObject() override { return this; }
    void release() override { delete this; }
    void setYUVDataCallBack(IKvYUVDataCallBack *cb) override { dataCallBack = cb; }
    void setResolution(int width, int height) override;
    int openCameraByPath(const CamDevInfo &info) override;
    int openCamera(const QString &name) override;
    int getVideoFormat(QJsonObject &format) override;
    int convertFrameScaled(const uchar *sample, int *len, const CamI420Image *dst) override;
    int convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize) override;
    int closeCamera() override;
    int run() override;
    int stop() override;
    bool isRunning() override { return running; }
    void onGraphEvent(const int &kind) override;
    void setRotation(const int &code) override;
    int getCameraList(QStringList &names) override;
    int getCameraList(QVector<CamDevInfo> &list) override;
    void setBrightness(int percent, bool useDefault) override;
    void setContrast(int percent, bool useDefault) override;
    void setSaturation(int percent, bool useDefault) override;
    int getBrightness() override { return brightness; }
    int getContrast() override { return contrast; }
    int getSaturation() override { return saturation; }

    // The event thread's loop (runs on DsEvent); the result is ignored.
    int runDsEvent();

    // Where the graph is between open, run, stop and close.
    GraphState state() const { return graphState; }

private:
    int selectCameraByPath(const CamDevInfo &info);
    int selectCameraByName(const QString &name);
    IMoniker *findDeviceByPath(const QString &path);
    IMoniker *findDeviceByName(const QString &name);
    int bindSelected(IMoniker *moniker);

    int createGraphObjects();
    int buildGraph();
    int select_cam_format(IAMStreamConfig *config);
    int reportVideoFormat(const AM_MEDIA_TYPE *mt);

    int tearDownGraph();
    void removeDownstream(IBaseFilter *filter);
    void endEventThread();

    void applyPictureSettings();

    int brightness = 0;
    bool useDefaultBrightness = true;
    int contrast = 0;
    bool useDefaultContrast = true;
    int saturation = 0;
    bool useDefaultSaturation = true;
    IKvYUVDataCallBack *dataCallBack = nullptr;
    bool running = false;
    IGraphBuilder *graph = nullptr;
    WCHAR cameraName[260] = {};
    IBaseFilter *cameraFilter = nullptr;
    IAMVideoCompression *videoCompression = nullptr;
    IAMStreamConfig *streamConfig = nullptr;
    ICaptureGraphBuilder2 *captureBuilder = nullptr;
    int rotation = 0;
    GraphState graphState = GraphNone;
    bool formatValid = false;
    QJsonObject videoFormat;
    int videoWidth = 0;
    int videoHeight = 0;
    quint32 videoFourcc = 0;
    bool videoTopDown = false; // the format block's height was negative (RGB24 rows top-down)
    double videoFps = 0.0;
    int requestedWidth = 1280;
    int requestedHeight = 720;
    uchar *scratchA = nullptr;
    uchar *scratchB = nullptr;
    QVector<CamDevInfo> cameraInfoCache;
    QStringList cameraNameCache;
    bool buildingGraph = false;
    DsEvent *eventThread = nullptr;
    HANDLE threadStopEvent = nullptr;
};

#endif
