// The scripted camera portal: kv-fakecameraportal allow|deny LOGFILE
#include "fakecameraportal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

void FakeCameraPortal::note(const QString &line)
{
    QFile f(m_log);
    if (f.open(QIODevice::Append))
        f.write(line.toUtf8() + "\n");
}

QDBusObjectPath FakeCameraPortal::AccessCamera(const QVariantMap &options)
{
    note("AccessCamera");
    QString sender = message().service().mid(1);
    sender.replace('.', '_');
    const QString token = options.value("handle_token", "t").toString();
    const QDBusObjectPath request(
        QString("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));
    // The answer comes after the reply, as the person's choice does.
    const bool grant = m_grant;
    m_granted = grant;
    QTimer::singleShot(50, this, [request, grant] {
        QDBusMessage response = QDBusMessage::createSignal(
            request.path(), "org.freedesktop.portal.Request", "Response");
        response << uint(grant ? 0 : 1) << QVariantMap();
        QDBusConnection::sessionBus().send(response);
    });
    return request;
}

QDBusUnixFileDescriptor FakeCameraPortal::OpenPipeWireRemote(const QVariantMap &)
{
    note("OpenPipeWireRemote");
    if (!m_granted) {
        sendErrorReply("org.freedesktop.portal.Error.NotAllowed", "camera access not granted");
        return QDBusUnixFileDescriptor();
    }
    const QByteArray path = qgetenv("PIPEWIRE_RUNTIME_DIR") + "/pipewire-0";
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (fd >= 0)
            close(fd);
        sendErrorReply("org.freedesktop.portal.Error.Failed", "no PipeWire daemon");
        return QDBusUnixFileDescriptor();
    }
    QDBusUnixFileDescriptor handed(fd); // a copy of its own
    close(fd);
    return handed;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kv-fakecameraportal allow|deny LOGFILE\n");
        return 2;
    }
    FakeCameraPortal portal(QString(argv[1]) == "allow", argv[2]);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                            QDBusConnection::ExportAllSlots |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService("org.freedesktop.portal.Desktop")) {
        std::fprintf(stderr, "kv-fakecameraportal: cannot register on the session bus\n");
        return 1;
    }
    return app.exec();
}
