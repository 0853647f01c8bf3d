#ifndef BOOTHTESTSUPPORT_H
#define BOOTHTESTSUPPORT_H

#include "ikvyuvdatacallback.h"
#include "kvbooth.h"

#include <QMutex>
#include <QStringList>

#include <atomic>
#include <vector>

// Collects every Qt debug message (from any thread) while it exists.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList messages() const;
    // Messages that contain text.
    int count(const QString &text) const;
    bool contains(const QString &text) const { return count(text) > 0; }
    void clear();
};

// Counts samples and keeps a copy of the first one.
class SampleSink : public IKvYUVDataCallBack
{
public:
    int onYUVData(unsigned char *data, int len) override;
    std::atomic<int> samples{0};
    std::vector<unsigned char> first;
    int firstLength = 0;

private:
    QMutex m_mutex;
};

// A booth that counts the graph events offered to it.
class CountingBooth : public KvBooth
{
public:
    void onGraphEvent(const int &kind) override
    {
        lastKind = kind;
        ++events;
    }
    std::atomic<int> events{0};
    std::atomic<int> lastKind{0};
};

// One virtual camera with the given capability list, e.g.
// R"([{"fourcc":"MJPG","width":1280,"height":720,"fps":30}])".
QByteArray oneCamera(const char *formats, const char *extra = "");

#endif
