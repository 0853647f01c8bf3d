#ifndef DSEVENT_H
#define DSEVENT_H

#include <QThread>

class KvBooth;

// The booth's event thread: drains the running graph's event queue.
class DsEvent : public QThread
{
public:
    DsEvent() : QThread(nullptr) {}

    KvBooth *booth = nullptr;

protected:
    void run() override;
};

#endif
