#include "formatwatcher.h"

#include <QMetaObject>
#include <QMutex>
#include <QRegularExpression>

namespace {
QMutex g_lock;
FormatWatcher *g_watcher = nullptr;
QtMessageHandler g_previous = nullptr;
} // namespace

FormatWatcher::FormatWatcher(QObject *parent) : QObject(parent)
{
    QMutexLocker locker(&g_lock);
    g_watcher = this;
    g_previous = qInstallMessageHandler(&FormatWatcher::handler);
}

FormatWatcher::~FormatWatcher()
{
    QMutexLocker locker(&g_lock);
    qInstallMessageHandler(g_previous);
    g_watcher = nullptr;
}

QString FormatWatcher::format() const { return m_format; }

bool FormatWatcher::parseFormatLine(const QString &line, QString &format)
{
    static const QRegularExpression re(
        QStringLiteral("video_format changed detail:\\s*\"?([^\"\\s]{1,4})\"?\\s+(\\d+)\\s+(\\d+)"));
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return false;
    format = QStringLiteral("%1 %2x%3").arg(m.captured(1), m.captured(2), m.captured(3));
    return true;
}

void FormatWatcher::handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    QString format;
    QMutexLocker locker(&g_lock);
    if (g_watcher && parseFormatLine(msg, format)) {
        // Reports come from whichever thread opens the camera.
        QMetaObject::invokeMethod(
            g_watcher, [w = g_watcher, format] { w->take(format); }, Qt::QueuedConnection);
    }
    if (g_previous)
        g_previous(type, context, msg);
}

void FormatWatcher::take(const QString &format)
{
    if (format == m_format)
        return;
    m_format = format;
    emit formatChanged(format);
}
