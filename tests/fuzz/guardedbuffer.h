// Memory whose last usable byte sits right before an inaccessible page, so that
// a read or write past the end faults at once, also inside libraries built
// without the sanitizers (libyuv, libjpeg-turbo).
#ifndef GUARDEDBUFFER_H
#define GUARDEDBUFFER_H

#include <cstddef>
#include <cstdint>

class GuardedBuffer
{
public:
    GuardedBuffer() = default;
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    // n bytes ending at the guard page (valid until the next call); null for n == 0.
    uint8_t *place(size_t n);

private:
    void release();

    uint8_t *m_base = nullptr; // guard page, usable pages, guard page
    size_t m_usable = 0;
};

#endif // GUARDEDBUFFER_H
