#ifndef SCREENSHOTRUN_H
#define SCREENSHOTRUN_H

#include <QEventLoop>
#include <QObject>
#include <QString>

class MainWindow;
class QPixmap;

// Headless use: starts the first camera, waits for a number of delivered
// frames, writes a PNG of the screen and prints one summary line.
class ScreenshotRun : public QObject
{
    Q_OBJECT
public:
    ScreenshotRun(MainWindow *window, const QString &file, int frames, int timeoutSeconds);

    // Runs until done; the process exit code.
    int exec();

private:
    void begin();
    void onFrame(qint64 frames);
    void maybeFinish();
    void finish();
    void fail(const QString &message);
    bool composeOwnWindows(QPixmap &shot, QString &error);

    MainWindow *m_window;
    QString m_file;
    int m_frames;
    int m_timeoutSeconds;
    bool m_done = false;
    bool m_capturing = false;
    bool m_framesReached = false;
    QEventLoop m_loop;
};

#endif
