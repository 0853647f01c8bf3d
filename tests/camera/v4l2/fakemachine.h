#ifndef FAKEMACHINE_H
#define FAKEMACHINE_H

#include <QString>
#include <QTemporaryDir>

// A machine laid out in a temporary folder for the scripted V4L2 backend: device nodes whose
// text names the device model, their sysfs entries and udev by-path links. Sets KV_V4L2_ROOT
// and KV_V4L2_BACKEND while it exists.
class FakeMachine
{
public:
    FakeMachine();
    ~FakeMachine();

    bool valid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    // The backend's own path of node N, as kvFakeV4l2Frames wants it.
    QString nodePath(int n) const;

    // Plugs videoN: `model` is the node file's text ("uvc", "cheap damage 1" ...); sysfs gets
    // `name` and `index`; a non-empty `link` becomes /dev/v4l/by-path/<link>.
    void plug(int n, const QString &model, const QString &name, int index,
              const QString &link = QString());
    // Replaces the sysfs name of videoN by these bytes (a driver's cut name, say).
    void setName(int n, const QByteArray &name);
    // Removes the node, its sysfs entry and its link, as an unplug does.
    void unplug(int n);

    // Frames device N has produced and how many of them were whole; -1 when unknown.
    int produced(int n) const;
    int whole(int n) const;
    // The value of control `id` of device N as the device holds it; INT_MIN when unreadable.
    int control(int n, unsigned id) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldRoot;
    QByteArray m_oldBackend;
};

#endif
