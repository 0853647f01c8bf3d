#include "cameraportal.h"

#include "portalresponse.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUuid>

#include <fcntl.h>
#include <unistd.h>

namespace kvplat {

namespace {

const char *kService = "org.freedesktop.portal.Desktop";
const char *kPath = "/org/freedesktop/portal/desktop";
const char *kCamera = "org.freedesktop.portal.Camera";
const int kAnswerMilliseconds = 120000; // a person reads the dialog

QDBusMessage cameraCall(const char *method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kCamera, method);
    call << QVariantMap();
    return call;
}

} // namespace

bool CameraPortal::wanted()
{
    return QFile::exists("/.flatpak-info") || qgetenv("KV_CAMERA_PORTAL") == "1";
}

CameraPortal::Answer CameraPortal::accessCamera(std::string *why)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *why = "no session bus";
        return Answer::Unavailable;
    }
    // The request object's path is known before the call, so that the answer cannot come
    // before we listen.
    const QString token = "kv" + QUuid::createUuid().toString(QUuid::Id128);
    QString sender = bus.baseService().mid(1);
    sender.replace('.', '_');
    const QString request = QString("%1/request/%2/%3").arg(kPath, sender, token);
    PortalResponse response;
    // Any sender: the path is ours alone, and the portal's owner need not be known yet.
    bus.connect(QString(), request, "org.freedesktop.portal.Request", "Response", &response,
                SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kCamera, "AccessCamera");
    QVariantMap options;
    options["handle_token"] = token;
    call << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus.disconnect(QString(), request, "org.freedesktop.portal.Request", "Response", &response,
                       SLOT(onResponse(uint, QVariantMap)));
        *why = ("no camera portal: " + reply.errorMessage()).toStdString();
        return Answer::Unavailable;
    }
    if (!response.answered()) {
        QEventLoop wait;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &wait, &QEventLoop::quit);
        QObject::connect(&response, &PortalResponse::answered_, &wait, &QEventLoop::quit);
        timer.start(kAnswerMilliseconds);
        wait.exec();
    }
    bus.disconnect(QString(), request, "org.freedesktop.portal.Request", "Response", &response,
                   SLOT(onResponse(uint, QVariantMap)));
    if (!response.answered()) {
        *why = "the camera portal did not answer";
        return Answer::Unavailable;
    }
    if (response.code() != 0) {
        *why = "the user denied camera access";
        return Answer::Denied;
    }
    return Answer::Granted;
}

int CameraPortal::openPipeWireRemote(std::string *why)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusReply<QDBusUnixFileDescriptor> reply =
        bus.call(cameraCall("OpenPipeWireRemote"), QDBus::Block, 10000);
    if (!reply.isValid() || !reply.value().isValid()) {
        *why = ("the camera portal gave no PipeWire connection: " + reply.error().message())
                   .toStdString();
        return -1;
    }
    // The descriptor object closes its own copy.
    return fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
}

} // namespace kvplat
