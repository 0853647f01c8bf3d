#include "democamera.h"

#include <QByteArray>

#include <cstdio>

const char *DemoCamera::definition()
{
    return R"([{"name": "Demo Virtual Camera", "path": "virtual:demo",)"
           R"( "formats": [{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30},)"
           R"( {"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}], "pattern": "bars"}])";
}

QVector<CamDevInfo> DemoCamera::list(const std::function<QVector<CamDevInfo>()> &lister)
{
    if (!m_allowed)
        return lister();
    qunsetenv("KV_VIRTUAL_CAMERAS");
    QVector<CamDevInfo> cameras = lister();
    const bool wasActive = m_active;
    m_active = cameras.isEmpty();
    if (m_active) {
        qputenv("KV_VIRTUAL_CAMERAS", definition());
        cameras = lister();
        if (!wasActive)
            std::fprintf(stderr, "kvhost: no camera found; using a built-in virtual camera "
                                 "(MJPG 1280x720, YUY2 640x480, colour bars)\n");
    } else if (wasActive) {
        std::fprintf(stderr, "kvhost: a camera was found; the built-in virtual camera is gone\n");
    }
    return cameras;
}
