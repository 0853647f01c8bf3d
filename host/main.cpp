// kvhost: the demo host of the camera, video and chat libraries. It owns the
// application object, the translations and the resource images, as a real
// host does, and shows how the libraries are used.

#include "camvideo.h"
#include "hostoptions.h"
#include "mainwindow.h"
#include "screenshotrun.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

// One virtual camera for machines without any, so the demo always shows a picture.
const char *const kDemoCameras =
    R"([{"name": "Demo Virtual Camera", "path": "virtual:demo",)"
    R"( "formats": [{"fourcc": "MJPG", "width": 1280, "height": 720, "fps": 30},)"
    R"( {"fourcc": "YUY2", "width": 640, "height": 480, "fps": 30}], "pattern": "bars"}])";

bool noCameraListed()
{
    std::unique_ptr<CamVideo> probe(CamVideo::create());
    QVector<CamDevInfo> list;
    return !probe || probe->getCameraInfos(list) <= 0;
}

void installTranslation(QApplication &app, const QString &language)
{
    // Beside the build tree's bin/, or where the chat library's package puts them.
    auto *translator = new QTranslator(&app);
    const QDir bin(QCoreApplication::applicationDirPath());
    QStringList dirs;
    for (const char *relative : {"../translations", "../share/kvimui/translations"}) {
        const QString dir = QDir::cleanPath(bin.filePath(QString::fromLatin1(relative)));
        if (translator->load(QStringLiteral("kvimui_") + language, dir)) {
            app.installTranslator(translator);
            return;
        }
        dirs << dir;
    }
    std::fprintf(stderr, "kvhost: no chat translation for %s in %s\n", qPrintable(language),
                 qPrintable(dirs.join(QStringLiteral(" or "))));
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    HostOptions options;
    QString error;
    if (!parseHostOptions(arguments, options, error)) {
        std::fprintf(stderr, "kvhost: %s\n", qPrintable(error));
        return 2;
    }
    if (options.showHelp) {
        std::fputs(qPrintable(hostUsage()), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(host);
    const double scale =
        options.scaleGiven ? options.scale
                           : (app.primaryScreen() ? app.primaryScreen()->devicePixelRatio() : 1.0);
    app.setProperty("scalefactor", scale);
    installTranslation(app, options.language.isEmpty() ? defaultLanguage(QLocale::system().name())
                                                       : options.language);

    // The device list is read each time it is asked for, so the built-in camera
    // is defined before the camera object the demo keeps is made.
    bool virtualCamera = false;
    if (!options.noVirtual && qEnvironmentVariableIsEmpty("KV_VIRTUAL_CAMERAS") &&
        noCameraListed()) {
        qputenv("KV_VIRTUAL_CAMERAS", kDemoCameras);
        virtualCamera = true;
        std::fprintf(stderr, "kvhost: no camera found; using a built-in virtual camera "
                             "(MJPG 1280x720, YUY2 640x480, colour bars)\n");
    }

    std::unique_ptr<CamVideo> camera(CamVideo::create());
    if (!camera) {
        std::fprintf(stderr, "kvhost: the camera library gave no camera object\n");
        return 1;
    }
    camera->init(-1.0);

    int rc = 0;
    {
        MainWindow window(camera.get(), scale, virtualCamera, options.renderWidget);
        window.show();
        if (options.screenshotFile.isEmpty()) {
            rc = app.exec();
        } else {
            ScreenshotRun run(&window, options.screenshotFile, options.frames,
                              options.timeoutSeconds);
            rc = run.exec();
        }
        // The camera stops and lets go of its widgets before the window goes.
        camera.reset();
    }
    return rc;
}
