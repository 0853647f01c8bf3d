#ifndef CAMVIDEOIMP_H
#define CAMVIDEOIMP_H

#include "bufqueue.h"
#include "camvideo.h"
#include "framehandoff.h"

#include <QPointer>

#include <atomic>

class IKvBooth;
class KvCamData;
class KvCameraRenderWidget;
class KvCameraWidget;

// The camera object behind CamVideo. Every operation runs on the GUI thread;
// only the frame delivery runs on the booth's capture thread.
class CamVideoImp : public CamVideo
{
public:
    // Takes ownership of booth (which may be null: lists and starts are then
    // refused, samples never come).
    explicit CamVideoImp(IKvBooth *booth);
    ~CamVideoImp() override;

    CamVideoImp(const CamVideoImp &) = delete;
    CamVideoImp &operator=(const CamVideoImp &) = delete;

    int init(double scale) override;
    int startCamera(const QString &name) override;
    int startCameraByPath(const QString &path) override;
    bool isStarted() override;
    int setVideoVisible(bool visible) override;
    int stopCamera() override;
    int getCameraInfos(QVector<CamDevInfo> &list) override;
    int getCameraNames(QStringList &names) override;
    int useRenderWidget() override;
    QWidget *getVideoWidget() override;

    // Samples skipped because the display had not yet run the previous
    // frame call.
    long long skippedSamples() const { return m_handOff.skipped(); }
    // Behind CamVideo's non-virtual accessors; GUI thread.
    QJsonObject formatReport() const;
    qint64 deliveredFrames() const { return m_frameCount.load(std::memory_order_relaxed); }
    // Frames the display widget put on screen since the latest start.
    qint64 shownFrames() const;

private:
    int start(const QString &text, bool byPath);
    void ensureDisplayWidget();
    int openAndRun(const QString &text, bool byPath);
    int deliverFrame(unsigned char *sample, int length);
    bool convertAndLend(unsigned char *sample, int length);
    void quiesceDelivery();
    void onRenderWidgetDestroyed(QObject *widget);

    bool m_initDone = false;
    int m_initResult = -1;
    double m_scale = 1.0;
    bool m_started = false;
    bool m_windowMode = true;
    KvCameraWidget *m_cameraWindow = nullptr;
    IKvBooth *m_booth = nullptr;
    KvCamData *m_camData = nullptr;
    // The host owns the render widget once it has it, and may delete it.
    QPointer<KvCameraRenderWidget> m_renderWidget;
    QMetaObject::Connection m_renderWidgetWatch;
    HANDLE m_stopEvent = nullptr;
    CBufQueue m_framePool;

    // Read by the capture thread: fixed before run() and until the samples
    // have stopped.
    QObject *m_deliveryTarget = nullptr;
    // Closed once the booth has stopped, so that a booth whose stop failed
    // cannot lend another frame to the widgets; m_inDelivery lets the GUI
    // thread wait out a delivery that passed the gate just before.
    std::atomic<bool> m_accepting{false};
    std::atomic<int> m_inDelivery{0};
    // Lends the frames to m_deliveryTarget, one call at a time.
    CFrameHandOff m_handOff;
    // Frames handed to the display widget since the latest start.
    std::atomic<qint64> m_frameCount{0};
    qint64 m_shownAtStart = 0; // the display's own count when the camera started

    // Samples that reached the delivery, over all camera objects.
    static std::atomic<int> s_frameCounter;
};

#endif
