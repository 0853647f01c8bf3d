#include "v4l2device.h"

#include "dshow.h"
#include "v4l2controls.h"
#include "v4l2stream.h"
#include "v4l2system.h"

#include <QDebug>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace kvplat {

namespace {

QString openFailure(const std::string &node, const DeviceIdent &ident, int error)
{
    QString text = QString("V4L2 %1 (%2): open failed: %3")
                       .arg(QString::fromStdWString(ident.path), QString::fromStdString(node),
                            QString::fromStdString(errnoText(error)));
    if (error == EACCES || error == EPERM)
        text += " - permission denied: add the user to the 'video' group (then log in again)";
    return text;
}

} // namespace

V4l2Device::V4l2Device(std::shared_ptr<const V4l2System> system, std::string node,
                       DeviceIdent ident, std::vector<V4l2Mode> modes,
                       std::map<long, ProcAmpRange> ranges)
    : m_system(std::move(system)), m_node(std::move(node)), m_ident(std::move(ident)),
      m_modes(std::move(modes)), m_ranges(std::move(ranges))
{
}

V4l2Device::V4l2Device(std::shared_ptr<const V4l2System> system, std::string node,
                       DeviceIdent ident, int openError)
    : m_system(std::move(system)), m_node(std::move(node)), m_ident(std::move(ident)),
      m_openError(openError)
{
}

std::vector<VideoFormat> V4l2Device::formats() const
{
    // The capture filter asks when a camera is being opened: the moment to say why it cannot.
    if (m_openError != 0)
        qDebug().noquote() << openFailure(m_node, m_ident, m_openError);
    std::vector<VideoFormat> formats;
    for (const V4l2Mode &mode : m_modes)
        formats.push_back(mode.format);
    return formats;
}

bool V4l2Device::procAmpRange(long property, ProcAmpRange *range) const
{
    auto it = m_ranges.find(property);
    if (it == m_ranges.end())
        return false;
    if (range)
        *range = it->second;
    return true;
}

int V4l2Device::openControlHandle() const
{
    const int fd = m_system->calls().open(m_system->path(m_node).c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        qDebug().noquote() << openFailure(m_node, m_ident, errno);
    return fd;
}

bool V4l2Device::getProcAmp(long property, long *value, long *flags) const
{
    if (!procAmpRange(property, nullptr))
        return false;
    const int fd = openControlHandle();
    if (fd < 0)
        return false;
    long current = 0;
    const bool ok = readControl(*m_system, fd, controlIdOf(property), &current);
    m_system->calls().close(fd);
    if (!ok)
        return false;
    if (value)
        *value = current;
    if (flags)
        *flags = VideoProcAmp_Flags_Manual;
    return true;
}

bool V4l2Device::setProcAmp(long property, long value, long)
{
    ProcAmpRange range;
    if (!procAmpRange(property, &range) || value < range.min || value > range.max)
        return false;
    const int fd = openControlHandle();
    if (fd < 0)
        return false;
    const bool ok = writeControl(*m_system, fd, controlIdOf(property), value);
    if (!ok)
        qDebug().noquote() << "V4L2" << QString::fromStdWString(m_ident.path)
                           << "VIDIOC_S_CTRL failed:" << QString::fromStdString(errnoText(errno));
    m_system->calls().close(fd);
    return ok;
}

std::unique_ptr<IDeviceStream> V4l2Device::openStream(const VideoFormat &format, StreamSinks sinks)
{
    auto mode = std::find_if(m_modes.begin(), m_modes.end(),
                             [&](const V4l2Mode &m) { return m.format == format; });
    if (mode == m_modes.end())
        return nullptr;
    V4l2StreamSetup setup;
    setup.system = m_system;
    setup.node = m_node;
    setup.ident = m_ident;
    setup.mode = *mode;
    return V4l2Stream::start(setup, std::move(sinks));
}

} // namespace kvplat
