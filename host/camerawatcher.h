#ifndef CAMERAWATCHER_H
#define CAMERAWATCHER_H

#include <QObject>
#include <QStringList>

class QFileSystemWatcher;
class QTimer;

// Tells when video device nodes appear in or vanish from /dev (below KV_V4L2_ROOT when that is
// set), so that the camera list can be refreshed when a camera is plugged in or out. The
// signal comes a moment after the last change: udev makes the node's links and sets its
// permissions just after the node itself.
class CameraWatcher : public QObject
{
    Q_OBJECT
public:
    explicit CameraWatcher(QObject *parent = nullptr, int settleMs = 600);

    QString folder() const { return m_folder; }
    // Another source (the library's PipeWire cameras) says the list changed: the signal
    // follows after the same settling time.
    void listChanged();

    // The videoN names in a folder, sorted.
    static QStringList videoNodes(const QString &folder);

signals:
    void camerasChanged();

private:
    void folderChanged();

    QString m_folder;
    QStringList m_nodes;
    QFileSystemWatcher *m_watcher;
    QTimer *m_settle;
};

#endif
