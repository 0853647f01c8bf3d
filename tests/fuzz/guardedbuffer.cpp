#include "guardedbuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace {

size_t pageSize()
{
    static const size_t size = size_t(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

GuardedBuffer::~GuardedBuffer()
{
    release();
}

void GuardedBuffer::release()
{
    if (m_base)
        munmap(m_base, m_usable + 2 * pageSize());
    m_base = nullptr;
    m_usable = 0;
}

uint8_t *GuardedBuffer::place(size_t n)
{
    if (n == 0)
        return nullptr;
    const size_t page = pageSize();
    if (n > m_usable) {
        release();
        const size_t usable = (n + page - 1) / page * page;
        void *base = mmap(nullptr, usable + 2 * page, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            abort();
        m_base = static_cast<uint8_t *>(base);
        m_usable = usable;
        // A page before and after: underruns and overruns both fault.
        if (mprotect(m_base, page, PROT_NONE) != 0 ||
            mprotect(m_base + page + m_usable, page, PROT_NONE) != 0)
            abort();
    }
    return m_base + page + m_usable - n;
}
