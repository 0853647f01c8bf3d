#ifndef BUFQUEUE_H
#define BUFQUEUE_H

#include "eslcritsection.h"
#include "framebuf.h"

#include <windows.h>

#include <list>
#include <vector>

// First-in first-out pool of frame buffers shared between the thread that
// fills frames and the one that returns them. The pool never owns the
// records: its owner frees them, finding them through registry().
class CBufQueue
{
public:
    CBufQueue();
    ~CBufQueue();

    CBufQueue(const CBufQueue &) = delete;
    CBufQueue &operator=(const CBufQueue &) = delete;

    // Creates the pool for at most capacity records. With a null stopEvent the
    // pool makes its own (manual reset, not set). False if already created.
    bool Create(int capacity, HANDLE stopEvent);

    // Hands buf back (or in, the first time). Returns 0.
    int Put(FrameBuf *buf);

    // The oldest free record, waiting at most timeoutMs; null when none came
    // in time or while the stop event is set.
    FrameBuf *Get(int timeoutMs);

    int capacity() const { return m_capacity; }
    HANDLE stopEvent() const { return m_stopEvent; }
    // Every record ever put in, in the order of their first Put.
    const std::vector<FrameBuf *> &registry() const { return m_registry; }

private:
    int m_created = 0;
    CEslCritSection m_lock;
    HANDLE m_freeCount = nullptr;
    HANDLE m_stopEvent = nullptr;
    int m_capacity = 0;
    std::list<FrameBuf *> m_freeList;
    std::vector<FrameBuf *> m_registry;
    std::list<FrameBuf *> m_spareNodes; // nodes of records handed out, kept for Put
};

#endif
