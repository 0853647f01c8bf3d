// Win32 events, semaphores, waits and critical sections on the C++ standard library.
//
// All waitable objects share one mutex. That keeps a wait on several objects atomic (the object
// that ends a wait is the only one consumed, and "wait all" takes all of them at once) at the
// price of a little contention, which is irrelevant at the rates these objects are used.
#include "platforminternal.h"
#include "windows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

struct Waiter
{
    std::condition_variable cv;
};

struct WaitObject
{
    enum class Kind { Event, Semaphore };
    Kind kind = Kind::Event;
    bool manualReset = false;
    bool signalled = false;
    LONG count = 0;
    LONG maximum = 0;
    std::vector<Waiter *> waiters;

    bool ready() const { return kind == Kind::Event ? signalled : count > 0; }
    void consume()
    {
        if (kind == Kind::Semaphore)
            --count;
        else if (!manualReset)
            signalled = false;
    }
    void wake()
    {
        for (Waiter *w : waiters)
            w->cv.notify_one();
    }
};

struct HandleTable
{
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<WaitObject>> objects;
    // Handle values are never reused, so a closed handle stays invalid.
    uintptr_t next = 0x1000;
};

HandleTable &table()
{
    static HandleTable *t = new HandleTable; // never destroyed: handles may be closed at exit
    return *t;
}

thread_local DWORD t_lastError = 0;

std::shared_ptr<WaitObject> lookupLocked(HandleTable &t, HANDLE h)
{
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
    return it == t.objects.end() ? nullptr : it->second;
}

HANDLE insertLocked(HandleTable &t, std::shared_ptr<WaitObject> object)
{
    uintptr_t key = t.next;
    t.next += 4;
    t.objects.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

} // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR)
{
    auto object = std::make_shared<WaitObject>();
    object->kind = WaitObject::Kind::Event;
    object->manualReset = manualReset != FALSE;
    object->signalled = initialState != FALSE;
    HandleTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return insertLocked(t, std::move(object));
}

static BOOL setEventState(HANDLE h, bool signalled)
{
    HandleTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    std::shared_ptr<WaitObject> object = lookupLocked(t, h);
    if (!object || object->kind != WaitObject::Kind::Event) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    object->signalled = signalled;
    if (signalled)
        object->wake();
    return TRUE;
}

BOOL SetEvent(HANDLE event)
{
    return setEventState(event, true);
}

BOOL ResetEvent(HANDLE event)
{
    return setEventState(event, false);
}

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCWSTR)
{
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto object = std::make_shared<WaitObject>();
    object->kind = WaitObject::Kind::Semaphore;
    object->count = initialCount;
    object->maximum = maximumCount;
    HandleTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return insertLocked(t, std::move(object));
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG *previousCount)
{
    HandleTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    std::shared_ptr<WaitObject> object = lookupLocked(t, semaphore);
    if (!object || object->kind != WaitObject::Kind::Semaphore) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (releaseCount <= 0) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (releaseCount > object->maximum - object->count) {
        t_lastError = ERROR_TOO_MANY_POSTS;
        return FALSE;
    }
    if (previousCount)
        *previousCount = object->count;
    object->count += releaseCount;
    object->wake();
    return TRUE;
}

BOOL CloseHandle(HANDLE h)
{
    HandleTable &t = table();
    std::shared_ptr<WaitObject> object;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
        if (it == t.objects.end()) {
            t_lastError = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        // A wait still in progress keeps its own reference to the object.
        object = std::move(it->second);
        t.objects.erase(it);
    }
    return TRUE;
}

DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD milliseconds,
                               BOOL)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return WAIT_FAILED;
    }
    using Clock = std::chrono::steady_clock;
    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);

    HandleTable &t = table();
    std::unique_lock<std::mutex> lock(t.mutex);
    std::shared_ptr<WaitObject> objects[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = lookupLocked(t, handles[i]);
        if (!objects[i]) {
            t_lastError = ERROR_INVALID_HANDLE;
            return WAIT_FAILED;
        }
        if (waitAll) {
            for (DWORD j = 0; j < i; ++j) {
                if (objects[j] == objects[i]) {
                    t_lastError = ERROR_INVALID_PARAMETER;
                    return WAIT_FAILED;
                }
            }
        }
    }

    Waiter waiter;
    bool registered = false;
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        if (waitAll) {
            bool all = true;
            for (DWORD i = 0; i < count && all; ++i)
                all = objects[i]->ready();
            if (all) {
                for (DWORD i = 0; i < count; ++i)
                    objects[i]->consume();
                result = WAIT_OBJECT_0;
                break;
            }
        } else {
            DWORD hit = count;
            for (DWORD i = 0; i < count && hit == count; ++i) {
                if (objects[i]->ready())
                    hit = i;
            }
            if (hit < count) {
                objects[hit]->consume();
                result = WAIT_OBJECT_0 + hit;
                break;
            }
        }
        if (!forever && Clock::now() >= deadline) {
            result = WAIT_TIMEOUT;
            break;
        }
        if (!registered) {
            for (DWORD i = 0; i < count; ++i)
                objects[i]->waiters.push_back(&waiter);
            registered = true;
        }
        if (forever)
            waiter.cv.wait(lock);
        else
            waiter.cv.wait_until(lock, deadline);
    }
    if (registered) {
        for (DWORD i = 0; i < count; ++i) {
            auto &w = objects[i]->waiters;
            w.erase(std::remove(w.begin(), w.end(), &waiter), w.end());
        }
    }
    return result;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD milliseconds)
{
    return WaitForMultipleObjectsEx(count, handles, waitAll, milliseconds, FALSE);
}

DWORD WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable)
{
    return WaitForMultipleObjectsEx(1, &handle, FALSE, milliseconds, alertable);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjectsEx(1, &handle, FALSE, milliseconds, FALSE);
}

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    if (section)
        section->impl = new std::recursive_mutex;
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    if (section && section->impl)
        static_cast<std::recursive_mutex *>(section->impl)->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    if (!section || !section->impl)
        return FALSE;
    return static_cast<std::recursive_mutex *>(section->impl)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    if (section && section->impl)
        static_cast<std::recursive_mutex *>(section->impl)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    if (section && section->impl) {
        delete static_cast<std::recursive_mutex *>(section->impl);
        section->impl = nullptr;
    }
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetCurrentThreadId()
{
    static std::atomic<DWORD> next{1};
    thread_local DWORD id = next.fetch_add(1);
    return id;
}

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD error)
{
    t_lastError = error;
}

namespace kvplat {

long openHandleCount()
{
    HandleTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return static_cast<long>(t.objects.size());
}

} // namespace kvplat
