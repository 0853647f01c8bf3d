#include "screenshotrun.h"

#include "framemeter.h"
#include "mainwindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>

ScreenshotRun::ScreenshotRun(MainWindow *window, const QString &file, int frames,
                             int timeoutSeconds)
    : m_window(window), m_file(file), m_frames(frames), m_timeoutSeconds(timeoutSeconds)
{
}

int ScreenshotRun::exec()
{
    QTimer::singleShot(0, this, &ScreenshotRun::begin);
    QTimer::singleShot(m_timeoutSeconds * 1000, this, [this] {
        fail(QStringLiteral("only %1 of %2 frames arrived within %3 s")
                 .arg(m_window->meter()->frames())
                 .arg(m_frames)
                 .arg(m_timeoutSeconds));
    });
    return m_loop.exec();
}

void ScreenshotRun::begin()
{
    if (m_window->cameraCount() == 0) {
        fail(QStringLiteral("no camera found"));
        return;
    }
    connect(m_window->meter(), &FrameMeter::frameArrived, this, &ScreenshotRun::onFrame);
    // The screenshot shows the encoder probe's answer too.
    connect(m_window, &MainWindow::probeFinished, this, &ScreenshotRun::maybeFinish);
    m_window->runProbe();
    const int rc = m_window->startCameraAt(0);
    if (rc != 0)
        fail(QStringLiteral("could not start camera \"%1\" (result %2)")
                 .arg(m_window->cameraAt(0).name)
                 .arg(rc));
}

void ScreenshotRun::onFrame(qint64 frames)
{
    if (frames >= m_frames) {
        m_framesReached = true;
        maybeFinish();
    }
}

void ScreenshotRun::maybeFinish()
{
    if (m_done || m_capturing || !m_framesReached || m_window->probeRunning())
        return;
    // Give the window system a moment to put the last frame on screen.
    m_capturing = true;
    QTimer::singleShot(300, this, &ScreenshotRun::finish);
}

namespace {
// Whether the camera's picture is in its window's image: an OpenGL child that
// never drew leaves the window black, so the middle of the window (away from
// the overlay's frame and brackets) must show something other than black. A
// solid-colour camera is a picture too.
bool hasPicture(const QImage &image)
{
    const QRect middle(image.width() / 4, image.height() / 4, image.width() / 2,
                       image.height() / 2);
    for (int y = middle.top(); y <= middle.bottom(); y += 4)
        for (int x = middle.left(); x <= middle.right(); x += 4)
            if (qGray(image.pixel(x, y)) > 16)
                return true;
    return false;
}
} // namespace

// A Wayland client cannot read the screen: the host's windows are composed
// from their own pictures, side by side (the compositor places them). The
// camera window is grabbed on its own, so its picture can be checked.
bool ScreenshotRun::composeOwnWindows(QPixmap &shot, QString &error)
{
    const QPixmap main = m_window->grab();
    QWidget *video = m_window->videoWidget();
    // A camera window is grabbed apart; an embedded render widget is also
    // part of the main window's grab.
    QPixmap camera;
    if (video && video->isWindow() && video->isVisible())
        camera = video->grab();
    const QImage cameraImage =
        video ? (camera.isNull() ? video->grab() : camera).toImage() : QImage();
    if (m_window->shownFrames() <= 0 || cameraImage.isNull() || !hasPicture(cameraImage)) {
        error = QStringLiteral("the camera's picture is not on the %1 platform's windows")
                    .arg(QGuiApplication::platformName());
        return false;
    }
    shot = QPixmap(main.width() + camera.width(), std::max(main.height(), camera.height()));
    shot.fill(Qt::black);
    QPainter painter(&shot);
    painter.drawPixmap(0, 0, main);
    if (!camera.isNull())
        painter.drawPixmap(main.width(), 0, camera);
    return true;
}

void ScreenshotRun::finish()
{
    if (m_done)
        return;
    QPixmap shot;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QString error;
        if (!composeOwnWindows(shot, error)) {
            fail(error);
            return;
        }
    } else {
        if (QScreen *screen = QGuiApplication::primaryScreen())
            shot = screen->grabWindow(0);
        if (shot.isNull())
            shot = m_window->grab();
    }
    if (shot.isNull() || !shot.save(m_file, "PNG")) {
        fail(QStringLiteral("could not write the screenshot to %1").arg(m_file));
        return;
    }
    m_done = true;
    const CamDevInfo camera = m_window->cameraAt(0);
    const QString format = m_window->currentFormat();
    std::printf("kvhost: camera \"%s\" (%s), format %s, %d frames delivered, %.1f fps, "
                "screenshot %s\n",
                qPrintable(camera.name), qPrintable(camera.path),
                qPrintable(format.isEmpty() ? QStringLiteral("unknown") : format),
                static_cast<int>(m_window->meter()->frames()), m_window->meter()->fps(),
                qPrintable(m_file));
    std::fflush(stdout);
    m_loop.exit(0);
}

void ScreenshotRun::fail(const QString &message)
{
    if (m_done)
        return;
    m_done = true;
    std::fprintf(stderr, "kvhost: %s\n", qPrintable(message));
    m_loop.exit(1);
}
