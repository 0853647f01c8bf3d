#include "mallocount.h"

#include <atomic>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *ptr, std::size_t size);
void __libc_free(void *ptr);
}

namespace {

std::atomic<bool> g_on{false};
std::atomic<long long> g_calls{0};
std::atomic<long long> g_bytes{0};
std::atomic<long long> g_largest{0};
std::atomic<long long> g_callsHere{0};
std::atomic<long long> g_bytesHere{0};
thread_local bool t_marked = false;

void note(std::size_t size)
{
    if (!g_on.load(std::memory_order_relaxed))
        return;
    const long long n = (long long)size;
    g_calls.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(n, std::memory_order_relaxed);
    long long seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n))
        ;
    if (t_marked) {
        g_callsHere.fetch_add(1, std::memory_order_relaxed);
        g_bytesHere.fetch_add(n, std::memory_order_relaxed);
    }
}

} // namespace

extern "C" {

void *malloc(std::size_t size)
{
    note(size);
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    note(count * size);
    return __libc_calloc(count, size);
}

void *realloc(void *ptr, std::size_t size)
{
    note(size);
    return __libc_realloc(ptr, size);
}

void free(void *ptr)
{
    __libc_free(ptr);
}

} // extern "C"

namespace alloccount {

void start()
{
    g_calls = 0;
    g_bytes = 0;
    g_largest = 0;
    g_callsHere = 0;
    g_bytesHere = 0;
    g_on = true;
}

Totals stop()
{
    g_on = false;
    Totals t;
    t.calls = g_calls;
    t.bytes = g_bytes;
    t.largest = g_largest;
    t.callsHere = g_callsHere;
    t.bytesHere = g_bytesHere;
    return t;
}

void markThisThread(bool marked)
{
    t_marked = marked;
}

} // namespace alloccount
