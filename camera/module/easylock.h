#ifndef EASYLOCK_H
#define EASYLOCK_H

#include "ieasylock.h"

// Holds an IEasyLock from construction to the end of the scope. A null lock
// is allowed and does nothing.
class CEasyLock
{
public:
    explicit CEasyLock(IEasyLock *lock) : m_lock(lock)
    {
        if (m_lock)
            m_lock->Lock();
    }
    virtual ~CEasyLock()
    {
        if (m_lock)
            m_lock->Unlock();
    }

    CEasyLock(const CEasyLock &) = delete;
    CEasyLock &operator=(const CEasyLock &) = delete;

private:
    IEasyLock *m_lock;
};

#endif
