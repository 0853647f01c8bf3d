#include "camvideo.h"

#include "camvideoimp.h"
#include "ikvbooth.h"

#include <QMetaObject>
#include <QMutex>

#include <algorithm>
#include <mutex>
#include <vector>

// Out of line so that the library exports them: hosts link to these symbols.
CamVideo::CamVideo() = default;
CamVideo::CamVideo(const CamVideo &) = default;
CamVideo &CamVideo::operator=(const CamVideo &)
{
    return *this;
}
CamVideo::~CamVideo() = default;

CamVideo *CamVideo::create()
{
    return new CamVideoImp(createBooth());
}

// CamVideo holds no data (a member would change its size for every host), so
// the accessors reach the implementation by a checked cast; a class the host
// derives itself gets the empty answers.
QJsonObject CamVideo::currentFormat() const
{
    const auto *imp = dynamic_cast<const CamVideoImp *>(this);
    return imp ? imp->formatReport() : QJsonObject();
}

qint64 CamVideo::frameCount() const
{
    const auto *imp = dynamic_cast<const CamVideoImp *>(this);
    return imp ? imp->deliveredFrames() : 0;
}

qint64 CamVideo::shownFrameCount() const
{
    const auto *imp = dynamic_cast<const CamVideoImp *>(this);
    return imp ? imp->shownFrames() : 0;
}

namespace {

struct CameraWatch
{
    QObject *context;
    std::function<void()> changed;
};

QMutex watchMutex;
std::vector<CameraWatch> &cameraWatches()
{
    static auto *watches = new std::vector<CameraWatch>;
    return *watches;
}

// On the platform's thread: hands the news to every living context's own thread.
void camerasChanged()
{
    QMutexLocker lock(&watchMutex);
    for (const CameraWatch &w : cameraWatches())
        QMetaObject::invokeMethod(w.context, w.changed, Qt::QueuedConnection);
}

} // namespace

void CamVideo::watchCameras(QObject *context, std::function<void()> changed)
{
    if (!context || !changed)
        return;
    // Outside the lock: the platform's thread holds its own while it calls camerasChanged.
    static std::once_flag listening;
    std::call_once(listening, [] { watchCameraList(camerasChanged); });
    QMutexLocker lock(&watchMutex);
    cameraWatches().push_back({context, std::move(changed)});
    // Forgotten as its destruction begins, before its pending calls are dropped.
    QObject::connect(
        context, &QObject::destroyed, context,
        [context] {
            QMutexLocker lock(&watchMutex);
            auto &watches = cameraWatches();
            watches.erase(
                std::remove_if(watches.begin(), watches.end(),
                               [&](const CameraWatch &w) { return w.context == context; }),
                watches.end());
        },
        Qt::DirectConnection);
}
