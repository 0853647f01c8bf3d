#include "boothtestsupport.h"

#include <QMutexLocker>

namespace {

QMutex logMutex;
QStringList *logged = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    {
        QMutexLocker lock(&logMutex);
        if (logged)
            logged->append(text);
    }
    if (type != QtDebugMsg && previousHandler)
        previousHandler(type, context, text);
}

} // namespace

LogCapture::LogCapture()
{
    QMutexLocker lock(&logMutex);
    logged = new QStringList;
    previousHandler = qInstallMessageHandler(captureMessage);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previousHandler);
    QMutexLocker lock(&logMutex);
    delete logged;
    logged = nullptr;
}

QStringList LogCapture::messages() const
{
    QMutexLocker lock(&logMutex);
    return *logged;
}

int LogCapture::count(const QString &text) const
{
    QMutexLocker lock(&logMutex);
    int n = 0;
    for (const QString &m : *logged)
        n += m.contains(text) ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&logMutex);
    logged->clear();
}

int SampleSink::onYUVData(unsigned char *data, int len)
{
    if (samples.fetch_add(1) == 0 && data && len > 0) {
        QMutexLocker lock(&m_mutex);
        first.assign(data, data + len);
        firstLength = len;
    }
    return 0;
}

QByteArray oneCamera(const char *formats, const char *extra)
{
    return QByteArray(R"([{"name": "Virtual Camera", "path": "virtual:0", "formats": )") + formats +
           extra + "}]";
}
