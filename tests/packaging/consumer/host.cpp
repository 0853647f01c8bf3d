// A minimal host: lists the cameras, runs the first one until frames arrive,
// reads the format through the library's accessors, and shows a chat panel.
#include <camvideo.h>
#include <iroominfo.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace {

int fail(const char *what)
{
    std::printf("consumer: FAIL %s\n", what);
    return 1;
}

// Runs the event loop until the camera has delivered `frames` frames, for at
// most 20 seconds.
bool waitForFrames(const CamVideo &cam, qint64 frames)
{
    QElapsedTimer clock;
    clock.start();
    while (cam.frameCount() < frames && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return cam.frameCount() >= frames;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setProperty("scalefactor", 1.0);

    std::unique_ptr<CamVideo> cam(CamVideo::create());
    if (!cam || cam->init(-1) != 0)
        return fail("no camera object");
    QVector<CamDevInfo> cams;
    const int n = cam->getCameraInfos(cams);
    for (const CamDevInfo &info : cams)
        std::printf("consumer: camera %d \"%s\" (%s)\n", info.index, qPrintable(info.name),
                    qPrintable(info.path));
    if (n < 1)
        return fail("no camera listed");
    if (!cam->currentFormat().isEmpty())
        return fail("a format before the start");
    if (cam->startCameraByPath(cams[0].path) != 0)
        return fail("the camera did not start");
    if (!waitForFrames(*cam, 3))
        return fail("no frames");
    const QJsonObject format = cam->currentFormat();
    const qint64 fourcc = format.value("format").toVariant().toLongLong();
    const char code[5] = {char(fourcc & 0xFF), char((fourcc >> 8) & 0xFF),
                          char((fourcc >> 16) & 0xFF), char((fourcc >> 24) & 0xFF), 0};
    std::printf("consumer: format %s %dx%d %.0f fps, %lld frames\n", code,
                format.value("width").toInt(), format.value("height").toInt(),
                format.value("fps").toDouble(), static_cast<long long>(cam->frameCount()));
    cam->stopCamera();
    if (!cam->currentFormat().isEmpty())
        return fail("a format after the stop");
    cam.reset();

    IRoomInfo *room = createRoomInfo();
    if (!room)
        return fail("no room");
    QObject *ro = room->roomObject();
    ro->setProperty("UserId", "1001");
    ro->setProperty("UserName", "Consumer");
    ro->setProperty("scale", 1.0);
    QWidget *panel = room->createRoomWidget(nullptr);
    if (!panel)
        return fail("no chat panel");
    panel->show();
    QApplication::processEvents();
    std::printf("consumer: chat panel %dx%d, %s\n", panel->width(), panel->height(),
                panel->isVisible() ? "shown" : "hidden");
    const bool shown = panel->isVisible() && panel->width() > 0 && panel->height() > 0;
    delete panel;
    delete ro;
    if (!shown)
        return fail("the chat panel is not shown");
    std::printf("consumer: ok\n");
    return 0;
}
