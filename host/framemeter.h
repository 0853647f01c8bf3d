#ifndef FRAMEMETER_H
#define FRAMEMETER_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Follows a frame counter (the camera library counts the frames it hands to
// its display widget) and measures the rate at which it grows.
class FrameMeter : public QObject
{
    Q_OBJECT
public:
    using Counter = std::function<qint64()>;

    explicit FrameMeter(QObject *parent = nullptr);

    // Follows this counter from now on, polling it on the event loop;
    // counting starts again from the counter's present value.
    void watch(Counter counter);
    // Stops polling; the figures stay as they are.
    void stop();
    // Reads the counter once (the timer calls this).
    void poll();

    qint64 frames() const { return m_frames; }
    // Frames per second between the first and the latest growth seen.
    double fps() const;

signals:
    void frameArrived(qint64 frames);

private:
    Counter m_counter;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_base = 0;
    qint64 m_frames = 0;
    qint64 m_firstFrames = 0;
    qint64 m_firstMs = -1;
    qint64 m_lastMs = -1;
};

#endif
