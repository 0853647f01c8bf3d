#ifndef FRAMEMETER_H
#define FRAMEMETER_H

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

// Counts the frames a display widget receives (the camera library hands each
// frame to the widget as a queued slot call) and measures their rate.
class FrameMeter : public QObject
{
    Q_OBJECT
public:
    explicit FrameMeter(QObject *parent = nullptr);

    // Watches this widget from now on; counting starts again from zero.
    void watch(QObject *widget);
    void reset();

    int frames() const { return m_frames; }
    // Frames per second between the first and the last frame counted.
    double fps() const;

signals:
    void frameArrived(int frames);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QObject> m_widget;
    QElapsedTimer m_clock;
    int m_frames = 0;
    qint64 m_firstMs = 0;
    qint64 m_lastMs = 0;
};

#endif
