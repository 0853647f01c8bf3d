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
#include <QThread>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

void installTranslation(QApplication &app, const QString &language)
{
    // Beside the build tree's bin/, or where the chat library's package puts them.
    auto *translator = new QTranslator(&app);
    const QDir bin(QCoreApplication::applicationDirPath());
    QStringList dirs;
    for (const char *relative : {"../translations", KVHOST_TRANSLATIONS}) {
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

// Qt's Wayland plugin can hang for good when the application goes while its event thread has
// just been handed a read prepared for it: that thread then ends without cancelling the read,
// and the frame thread waits on it forever (seen when the host ends right after showing its
// windows). Pending requests are dispatched, and the event thread gets the moment it needs to
// reach its poll, which the plugin's shutdown then ends cleanly.
void settleWaylandEventThread(QApplication &app)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    app.processEvents();
    QThread::msleep(50);
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
    const double scale = options.scaleGiven
                             ? options.scale
                             : defaultScaleFactor(qEnvironmentVariable("QT_SCALE_FACTOR"));
    app.setProperty("scalefactor", scale);
    installTranslation(app, options.language.isEmpty() ? defaultLanguage(QLocale::system().name())
                                                       : options.language);

    // The demo defines its built-in virtual camera only while no other camera is found; the
    // window's camera list decides that each time it is read.
    const bool builtInAllowed =
        !options.noVirtual && qEnvironmentVariableIsEmpty("KV_VIRTUAL_CAMERAS");

    std::unique_ptr<CamVideo> camera(CamVideo::create());
    if (!camera) {
        std::fprintf(stderr, "kvhost: the camera library gave no camera object\n");
        return 1;
    }
    camera->init(-1.0);

    int rc = 0;
    {
        MainWindow window(camera.get(), scale, builtInAllowed, options.renderWidget);
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
    settleWaylandEventThread(app);
    return rc;
}
