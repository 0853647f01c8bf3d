#include "eslcritsection.h"

CEslCritSection::CEslCritSection()
{
    InitializeCriticalSection(&m_section);
}

CEslCritSection::~CEslCritSection()
{
    DeleteCriticalSection(&m_section);
}

void CEslCritSection::Lock()
{
    EnterCriticalSection(&m_section);
}

void CEslCritSection::Unlock()
{
    LeaveCriticalSection(&m_section);
}
