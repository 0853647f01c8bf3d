#ifndef DEMOCAMERA_H
#define DEMOCAMERA_H

#include "camdevinfo.h"

#include <QVector>

#include <functional>

// The demo's built-in virtual camera, defined through KV_VIRTUAL_CAMERAS only while no other
// camera is found, so that the demo always shows a picture but real cameras come first.
class DemoCamera
{
public:
    // `allowed`: the person neither asked for no virtual camera nor defined their own.
    explicit DemoCamera(bool allowed) : m_allowed(allowed) {}

    // Lists the cameras with `lister` (which reads the device list afresh), defining the
    // built-in camera when that finds none and dropping it when it finds some.
    QVector<CamDevInfo> list(const std::function<QVector<CamDevInfo>()> &lister);

    // The built-in camera is in the last list.
    bool active() const { return m_active; }

    static const char *definition();

private:
    bool m_allowed;
    bool m_active = false;
};

#endif
