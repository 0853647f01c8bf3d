#ifndef FAKECAMERAPORTAL_H
#define FAKECAMERAPORTAL_H

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QVariantMap>

// The camera interface of the desktop portal as the tests script it: AccessCamera answers with
// the scripted choice through the request's Response signal; OpenPipeWireRemote hands over a
// connection to the daemon of PIPEWIRE_RUNTIME_DIR once access was granted.
class FakeCameraPortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Camera")
    Q_PROPERTY(bool IsCameraPresent READ isCameraPresent)
    Q_PROPERTY(uint version READ version)

public:
    FakeCameraPortal(bool grant, QString log) : m_grant(grant), m_log(std::move(log)) {}
    bool isCameraPresent() const { return true; }
    uint version() const { return 1; }

public slots:
    QDBusObjectPath AccessCamera(const QVariantMap &options);
    QDBusUnixFileDescriptor OpenPipeWireRemote(const QVariantMap &options);

private:
    void note(const QString &line);

    bool m_grant;
    bool m_granted = false;
    QString m_log;
};

#endif
