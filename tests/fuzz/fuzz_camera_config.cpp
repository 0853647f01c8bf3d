// libFuzzer target: the input as the virtual-camera list (KV_VIRTUAL_CAMERAS),
// read by a booth's camera lists and a selection by name, as a host would.
#include "kvbooth.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include <memory>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool setUp = [] {
        qInstallMessageHandler(quiet);
        return true;
    }();
    (void)setUp;

    // The variable ends at the first zero byte, as any environment value does.
    qputenv("KV_VIRTUAL_CAMERAS",
            QByteArray(reinterpret_cast<const char *>(data), int(size))
                .left(int(qstrnlen(reinterpret_cast<const char *>(data), uint(size)))));
    std::unique_ptr<KvBooth> booth(new KvBooth);
    QVector<CamDevInfo> records;
    QStringList names;
    booth->getCameraList(records);
    booth->getCameraList(names);
    // Opening builds the graph and negotiates a format from the parsed list; it does not stream.
    if (!records.isEmpty()) {
        booth->openCameraByPath(records.first());
        QJsonObject format;
        booth->getVideoFormat(format);
        booth->closeCamera();
    }
    return 0;
}
