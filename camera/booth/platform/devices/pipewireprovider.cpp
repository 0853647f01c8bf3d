#include "pipewireprovider.h"

#include "cameraportal.h"
#include "pipewireconnection.h"
#include "pipewiredevice.h"

#include <QDebug>
#include <QString>

#include <algorithm>

namespace kvplat {

namespace {

// How long a listing waits for the daemon's answers at most.
const int kSettleMilliseconds = 2000;

} // namespace

PipeWireProvider &pipeWireProvider()
{
    static PipeWireProvider *provider = new PipeWireProvider;
    return *provider;
}

std::shared_ptr<PipeWireConnection> PipeWireProvider::connection()
{
    if (qgetenv("KV_PIPEWIRE") == "0")
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connection && !m_connection->broken())
        return m_connection;
    m_connection.reset();
    std::string why;
    int fd = -1;
    const bool portal = CameraPortal::wanted();
    if (portal) {
        if (!m_portalAsked) {
            const CameraPortal::Answer answer = CameraPortal::accessCamera(&why);
            // Without a portal service nothing was asked: the next listing tries again.
            m_portalAsked = answer != CameraPortal::Answer::Unavailable;
            m_portalDenied = answer == CameraPortal::Answer::Denied;
        }
        if (m_portalDenied)
            why = "the user denied camera access";
        else if (m_portalAsked)
            fd = CameraPortal::openPipeWireRemote(&why);
    }
    std::shared_ptr<PipeWireConnection> c;
    if (!portal || fd >= 0)
        c = PipeWireConnection::open(fd, &why);
    if (!c) {
        // A listener hears of the daemon's return (the portal's connection is asked for anew
        // at the next listing).
        if (!portal && m_changed)
            PipeWireConnection::whenDaemonAnswers(m_changed);
        if (why != m_said)
            qDebug().noquote() << "PipeWire: no cameras:" << QString::fromStdString(why);
        m_said = why;
        return nullptr;
    }
    m_said.clear();
    if (m_changed)
        c->setChangeListener(m_changed);
    m_connection = c;
    return c;
}

std::vector<std::shared_ptr<IDevice>> PipeWireProvider::enumerate()
{
    return enumerate({});
}

std::vector<std::shared_ptr<IDevice>>
PipeWireProvider::enumerate(const std::set<std::string> &shownByV4l2)
{
    std::vector<std::shared_ptr<IDevice>> devices;
    std::shared_ptr<PipeWireConnection> c = connection();
    if (!c)
        return devices;
    if (!c->settle(kSettleMilliseconds))
        qDebug().noquote() << "PipeWire: the daemon did not answer in time; listing what is known";
    // In the order of their names, so that the list does not change with the daemon's ids.
    std::vector<PipeWireNode> nodes = c->nodes();
    std::sort(nodes.begin(), nodes.end(),
              [](const PipeWireNode &a, const PipeWireNode &b) { return a.name < b.name; });
    for (PipeWireNode &node : nodes) {
        if (!node.v4l2Device.empty() && shownByV4l2.count(node.v4l2Device))
            continue;
        if (node.modes.empty())
            continue;
        DeviceIdent ident;
        ident.name = QString::fromStdString(node.description).toStdWString();
        ident.path = QString::fromStdString("pipewire:" + node.name).toStdWString();
        ident.hasPath = true;
        devices.push_back(std::make_shared<PipeWireDevice>(std::move(node), ident,
                                                           [this] { return connection(); }));
    }
    return devices;
}

void PipeWireProvider::setChangeListener(std::function<void()> changed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changed = changed;
    if (m_connection && !m_connection->broken())
        m_connection->setChangeListener(std::move(changed));
    else if (qgetenv("KV_PIPEWIRE") != "0" && !CameraPortal::wanted())
        PipeWireConnection::whenDaemonAnswers(std::move(changed));
}

} // namespace kvplat
