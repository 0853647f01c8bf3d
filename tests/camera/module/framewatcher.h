#ifndef FRAMEWATCHER_H
#define FRAMEWATCHER_H

#include "kvcamerarenderwidget.h"

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QPointer>
#include <QVector>

#include <functional>

// One frame as the render widget held it right after a queued call ran.
struct SeenFrame
{
    const unsigned char *data = nullptr;
    int width = 0;
    int height = 0;
    QByteArray bytes; // the I420 image behind data, copied at that moment
};

// Whether the I420 frame's top-left, middle and bottom-right are (y, u, v), give or take
// `tolerance` levels.
inline bool frameHasColour(const SeenFrame &f, int y, int u, int v, int tolerance)
{
    const auto *bytes = reinterpret_cast<const uchar *>(f.bytes.constData());
    const int w = f.width, h = f.height;
    if (w < 2 || h < 2 || f.bytes.size() < w * h * 3 / 2)
        return false;
    const int points[3][2] = {{0, 0}, {w / 2, h / 2}, {w - 2, h - 2}};
    for (const auto &p : points) {
        const int chroma = (p[1] / 2) * (w / 2) + p[0] / 2;
        if (qAbs(bytes[p[1] * w + p[0]] - y) > tolerance ||
            qAbs(bytes[w * h + chroma] - u) > tolerance ||
            qAbs(bytes[w * h * 5 / 4 + chroma] - v) > tolerance)
            return false;
    }
    return true;
}

// Sees every frame the render widget is handed, at the moment its slot runs,
// by looking at the widget right after each queued call delivered to it.
class WatchingApplication : public QApplication
{
public:
    WatchingApplication(int &argc, char **argv) : QApplication(argc, argv) {}

    void watch(KvCameraRenderWidget *w)
    {
        m_watched = w;
        m_widget = w;
        frames.clear();
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        // Compared as QObject only: events also reach a widget being destroyed.
        const bool ours =
            event->type() == QEvent::MetaCall && m_watched && receiver == m_watched.data();
        const bool r = QApplication::notify(receiver, event);
        KvCameraRenderWidget *w = m_widget;
        if (ours && m_watched) {
            SeenFrame f;
            f.data = w->frameData();
            f.width = w->frameWidth();
            f.height = w->frameHeight();
            if (f.data && f.width > 0 && f.height > 0)
                f.bytes =
                    QByteArray(reinterpret_cast<const char *>(f.data), f.width * f.height * 3 / 2);
            frames.append(f);
            if (onFrame)
                onFrame(f);
        }
        return r;
    }

    QVector<SeenFrame> frames;
    std::function<void(const SeenFrame &)> onFrame;

private:
    QPointer<QObject> m_watched;
    KvCameraRenderWidget *m_widget = nullptr;
};

inline WatchingApplication *watchingApp()
{
    return static_cast<WatchingApplication *>(QCoreApplication::instance());
}

#endif
