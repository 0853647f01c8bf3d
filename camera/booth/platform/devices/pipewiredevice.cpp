#include "pipewiredevice.h"

#include "pipewirestream.h"

#include <QDebug>
#include <QString>

#include <algorithm>

namespace kvplat {

PipeWireDevice::PipeWireDevice(PipeWireNode node, DeviceIdent ident,
                               std::function<std::shared_ptr<PipeWireConnection>()> connect)
    : m_node(std::move(node)), m_ident(std::move(ident)), m_connect(std::move(connect))
{
}

std::vector<VideoFormat> PipeWireDevice::formats() const
{
    std::vector<VideoFormat> formats;
    for (const PipeWireMode &mode : m_node.modes)
        formats.push_back(mode.format);
    return formats;
}

std::unique_ptr<IDeviceStream> PipeWireDevice::openStream(const VideoFormat &format,
                                                          StreamSinks sinks)
{
    auto mode = std::find_if(m_node.modes.begin(), m_node.modes.end(),
                             [&](const PipeWireMode &m) { return m.format == format; });
    if (mode == m_node.modes.end())
        return nullptr;
    std::shared_ptr<PipeWireConnection> connection = m_connect ? m_connect() : nullptr;
    if (!connection)
        return nullptr;
    // The node that carries the name now: after a re-plug it has another id.
    connection->settle(2000);
    PipeWireStreamSetup setup;
    bool found = false;
    for (const PipeWireNode &node : connection->nodes()) {
        if (node.name == m_node.name) {
            setup.node = node;
            found = true;
            break;
        }
    }
    if (!found) {
        qDebug().noquote() << "PipeWire" << QString::fromStdWString(m_ident.path)
                           << "cannot start: the node" << QString::fromStdString(m_node.name)
                           << "is gone";
        return nullptr;
    }
    setup.connection = std::move(connection);
    setup.ident = m_ident;
    setup.mode = *mode;
    return PipeWireStream::start(setup, std::move(sinks));
}

} // namespace kvplat
