#ifndef ESLCRITSECTION_H
#define ESLCRITSECTION_H

#include "ieasylock.h"

#include <windows.h>

// A critical section: a mutex the owning thread may enter again.
class CEslCritSection : public IEasyLock
{
public:
    CEslCritSection();
    ~CEslCritSection() override;

    CEslCritSection(const CEslCritSection &) = delete;
    CEslCritSection &operator=(const CEslCritSection &) = delete;

    void Lock() override;
    void Unlock() override;

private:
    CRITICAL_SECTION m_section;
};

#endif
