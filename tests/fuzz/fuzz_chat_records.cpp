// libFuzzer target: chat records through the room's public face. A JSON object
// is shown as an incoming message (the CurMessage property), a JSON array is
// loaded as history, anything else is shown as the text of a message.
#include "iroominfo.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <QWidget>

#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Room
{
    Room()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quiet);
        static int argc = 1;
        static char name[] = "fuzz_chat_records";
        static char *argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        info = createRoomInfo();
        info->roomObject()->setProperty("UserName", "Fuzz");
        panel = info->createRoomWidget(nullptr);
        panel->resize(360, 480);
        panel->show();
    }
    QApplication *app = nullptr;
    IRoomInfo *info = nullptr;
    QWidget *panel = nullptr;
    int inputs = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Room room;
    QObject *object = room.info->roomObject();
    // With and without the host's own id, so both colourings are reached.
    object->setProperty("UserId", size % 2 ? QString("u1") : QString());

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        object->setProperty("CurMessage", document.object());
    } else if (error.error == QJsonParseError::NoError && document.isArray()) {
        room.info->loadHistory(document.array());
    } else {
        QJsonObject record;
        record.insert("userId", "peer");
        record.insert("userName", "Peer");
        record.insert("data", QString::fromUtf8(bytes));
        record.insert("dateTime", "2024-01-02 03:04:05");
        object->setProperty("CurMessage", record);
    }
    QCoreApplication::processEvents();
    // The view keeps what it is given; start afresh now and then so memory stays bounded.
    if (++room.inputs % 64 == 0)
        room.info->resetRoom();
    return 0;
}
