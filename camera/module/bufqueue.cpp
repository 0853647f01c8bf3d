#include "bufqueue.h"

#include "easylock.h"

CBufQueue::CBufQueue() = default;

CBufQueue::~CBufQueue()
{
    if (m_freeCount)
        CloseHandle(m_freeCount);
    // The records belong to the owner; only the containers go.
    std::vector<FrameBuf *>().swap(m_registry);
    m_freeList.clear();
    m_spareNodes.clear();
}

bool CBufQueue::Create(int capacity, HANDLE stopEvent)
{
    CEasyLock guard(&m_lock);
    if (m_created)
        return false;
    m_created = 1;
    m_capacity = capacity;
    m_freeCount = CreateSemaphoreW(nullptr, 0, capacity, nullptr);
    if (!stopEvent)
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_stopEvent = stopEvent;
    m_registry.reserve(capacity > 0 ? std::size_t(capacity) : 0);
    return true;
}

int CBufQueue::Put(FrameBuf *buf)
{
    if (!buf)
        return 0;
    CEasyLock guard(&m_lock);
    // Raising the count before the record is listed is safe: Get takes the
    // lock only after its wait.
    ReleaseSemaphore(m_freeCount, 1, nullptr);
    // Reuse a list node left by Get, so that steady circulation allocates nothing.
    if (!m_spareNodes.empty()) {
        m_spareNodes.front() = buf;
        m_freeList.splice(m_freeList.end(), m_spareNodes, m_spareNodes.begin());
    } else {
        m_freeList.push_back(buf);
    }
    if (m_registry.size() < std::size_t(m_capacity > 0 ? m_capacity : 0))
        m_registry.push_back(buf);
    return 0;
}

FrameBuf *CBufQueue::Get(int timeoutMs)
{
    HANDLE handles[2] = {m_stopEvent, m_freeCount};
    // The stop event comes first so that it wins when both are ready.
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, DWORD(timeoutMs));
    if (r != WAIT_OBJECT_0 + 1)
        return nullptr;

    CEasyLock guard(&m_lock);
    if (m_freeList.empty())
        return nullptr;
    FrameBuf *buf = m_freeList.front();
    m_spareNodes.splice(m_spareNodes.end(), m_freeList, m_freeList.begin());
    return buf;
}
