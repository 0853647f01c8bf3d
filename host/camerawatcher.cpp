#include "camerawatcher.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QTimer>

CameraWatcher::CameraWatcher(QObject *parent, int settleMs)
    : QObject(parent), m_watcher(new QFileSystemWatcher(this)), m_settle(new QTimer(this))
{
    const QString root = qEnvironmentVariable("KV_V4L2_ROOT");
    m_folder = QDir::cleanPath((root.isEmpty() ? QStringLiteral("/") : root) + "/dev");
    m_nodes = videoNodes(m_folder);
    m_settle->setSingleShot(true);
    m_settle->setInterval(settleMs);
    connect(m_settle, &QTimer::timeout, this, &CameraWatcher::camerasChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &CameraWatcher::folderChanged);
    if (QDir(m_folder).exists())
        m_watcher->addPath(m_folder);
}

QStringList CameraWatcher::videoNodes(const QString &folder)
{
    static const QRegularExpression video(QStringLiteral("^video[0-9]+$"));
    QStringList nodes;
    for (const QString &name :
         QDir(folder).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (video.match(name).hasMatch())
            nodes << name;
    }
    nodes.sort();
    return nodes;
}

void CameraWatcher::folderChanged()
{
    // /dev changes for many reasons; only video nodes matter.
    const QStringList nodes = videoNodes(m_folder);
    if (nodes == m_nodes)
        return;
    m_nodes = nodes;
    m_settle->start();
}

void CameraWatcher::listChanged()
{
    m_settle->start();
}
