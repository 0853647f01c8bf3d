#ifndef CAMVIDEOTESTSUPPORT_H
#define CAMVIDEOTESTSUPPORT_H

// What the end-to-end camera tests share: the library's log, kept for the
// test to read, and the YCbCr an MJPG camera holds for a colour.

#include <QMessageLogContext>
#include <QMutex>
#include <QStringList>

namespace camtest {

inline QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}

inline QStringList &logged()
{
    static QStringList lines;
    return lines;
}

// Install with qInstallMessageHandler: every thread's messages are kept.
inline void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&logMutex());
    logged() << text;
}

inline QStringList messagesWith(const QString &text)
{
    QMutexLocker lock(&logMutex());
    return logged().filter(text);
}

// Full-range YCbCr of an RGB colour, as a JFIF (MJPG) picture holds it.
inline void fullRange(int r, int g, int b, int *y, int *u, int *v)
{
    *y = (299 * r + 587 * g + 114 * b + 500) / 1000;
    *u = 128 + (-169 * r - 331 * g + 500 * b) / 1000;
    *v = 128 + (500 * r - 419 * g - 81 * b) / 1000;
}

} // namespace camtest

#endif // CAMVIDEOTESTSUPPORT_H
