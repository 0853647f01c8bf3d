// Win32 synchronisation on the platform layer: wait results, what a wait consumes, and the
// behaviour across two threads.
#include "faultinjection.h"
#include "windows.h"

#include <QtTest>

#include <atomic>
#include <thread>

class PlatformSyncTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_handles = kvfault::openHandles(); }
    void cleanup() { QCOMPARE(kvfault::openHandles(), m_handles); }

    void eventResetModes()
    {
        HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE autoReset = CreateEventW(nullptr, FALSE, TRUE, nullptr);
        QVERIFY(manual && autoReset);
        QCOMPARE(WaitForSingleObject(manual, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(SetEvent(manual));
        QCOMPARE(WaitForSingleObject(manual, 0), DWORD(WAIT_OBJECT_0));
        QCOMPARE(WaitForSingleObject(manual, 0), DWORD(WAIT_OBJECT_0));
        QVERIFY(ResetEvent(manual));
        QCOMPARE(WaitForSingleObject(manual, 0), DWORD(WAIT_TIMEOUT));
        // An auto-reset event is consumed by the wait it ends.
        QCOMPARE(WaitForSingleObject(autoReset, 0), DWORD(WAIT_OBJECT_0));
        QCOMPARE(WaitForSingleObject(autoReset, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(CloseHandle(manual));
        QVERIFY(CloseHandle(autoReset));
    }

    void semaphoreCounts()
    {
        HANDLE s = CreateSemaphoreW(nullptr, 1, 2, nullptr);
        QVERIFY(s);
        LONG previous = -1;
        QVERIFY(ReleaseSemaphore(s, 1, &previous));
        QCOMPARE(previous, LONG(1));
        // Above the maximum: refused, count unchanged.
        QVERIFY(!ReleaseSemaphore(s, 1, &previous));
        QCOMPARE(GetLastError(), DWORD(ERROR_TOO_MANY_POSTS));
        QCOMPARE(WaitForSingleObject(s, 0), DWORD(WAIT_OBJECT_0));
        QCOMPARE(WaitForSingleObject(s, 0), DWORD(WAIT_OBJECT_0));
        QCOMPARE(WaitForSingleObject(s, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(!ReleaseSemaphore(s, 0, nullptr));
        QVERIFY(!CreateSemaphoreW(nullptr, 3, 2, nullptr));
        QVERIFY(!CreateSemaphoreW(nullptr, 0, 0, nullptr));
        QVERIFY(CloseHandle(s));
    }

    // The pool's wait: stop event first, free-count semaphore second.
    void lowestReadyIndexWinsAndOnlyItIsConsumed()
    {
        HANDLE handles[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                             CreateSemaphoreW(nullptr, 0, 4, nullptr)};
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(ReleaseSemaphore(handles[1], 2, nullptr));
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_OBJECT_0 + 1));
        QVERIFY(SetEvent(handles[0]));
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_OBJECT_0));
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_OBJECT_0));
        // The event won both times, so one count is still there, and only one.
        QVERIFY(ResetEvent(handles[0]));
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_OBJECT_0 + 1));
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(CloseHandle(handles[0]));
        QVERIFY(CloseHandle(handles[1]));
    }

    void waitAllTakesAllOrNothing()
    {
        HANDLE handles[2] = {CreateEventW(nullptr, FALSE, TRUE, nullptr),
                             CreateSemaphoreW(nullptr, 0, 1, nullptr)};
        QCOMPARE(WaitForMultipleObjects(2, handles, TRUE, 0), DWORD(WAIT_TIMEOUT));
        // The auto-reset event was not consumed by the failed wait.
        QVERIFY(ReleaseSemaphore(handles[1], 1, nullptr));
        QCOMPARE(WaitForMultipleObjects(2, handles, TRUE, 0), DWORD(WAIT_OBJECT_0));
        QCOMPARE(WaitForMultipleObjects(2, handles, FALSE, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(CloseHandle(handles[0]));
        QVERIFY(CloseHandle(handles[1]));
    }

    void badHandlesFail()
    {
        HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        QVERIFY(CloseHandle(closed));
        QVERIFY(!CloseHandle(closed));
        QCOMPARE(WaitForSingleObject(closed, 0), DWORD(WAIT_FAILED));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        QCOMPARE(WaitForSingleObject(nullptr, 0), DWORD(WAIT_FAILED));
        QCOMPARE(WaitForSingleObject(INVALID_HANDLE_VALUE, INFINITE), DWORD(WAIT_FAILED));
        QVERIFY(!SetEvent(closed));
        // One bad handle fails the whole wait even when another one is ready.
        HANDLE mixed[2] = {e, reinterpret_cast<HANDLE>(uintptr_t(0xdead))};
        QCOMPARE(WaitForMultipleObjects(2, mixed, FALSE, 0), DWORD(WAIT_FAILED));
        QCOMPARE(WaitForMultipleObjects(0, mixed, FALSE, 0), DWORD(WAIT_FAILED));
        // A semaphore is not an event.
        HANDLE s = CreateSemaphoreW(nullptr, 0, 1, nullptr);
        QVERIFY(!SetEvent(s));
        QVERIFY(!ReleaseSemaphore(e, 1, nullptr));
        QVERIFY(CloseHandle(s));
        QVERIFY(CloseHandle(e));
    }

    void timeoutElapses()
    {
        HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(WaitForSingleObject(e, 50), DWORD(WAIT_TIMEOUT));
        QVERIFY(timer.elapsed() >= 49);
        QVERIFY(CloseHandle(e));
    }

    void waitWakesOnAnotherThread()
    {
        HANDLE handles[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                             CreateSemaphoreW(nullptr, 0, 4, nullptr)};
        std::atomic<DWORD> first{0xFFFF}, second{0xFFFF};
        std::thread waiter([&] {
            first = WaitForMultipleObjectsEx(2, handles, FALSE, INFINITE, TRUE);
            second = WaitForMultipleObjectsEx(2, handles, FALSE, INFINITE, TRUE);
        });
        Sleep(20);
        QVERIFY(ReleaseSemaphore(handles[1], 1, nullptr));
        QTRY_COMPARE(first.load(), DWORD(WAIT_OBJECT_0 + 1));
        QVERIFY(SetEvent(handles[0]));
        waiter.join();
        // Alertable waits never report WAIT_IO_COMPLETION: there are no queued calls.
        QCOMPARE(second.load(), DWORD(WAIT_OBJECT_0));
        QVERIFY(CloseHandle(handles[0]));
        QVERIFY(CloseHandle(handles[1]));
    }

    // Each count released wakes exactly one of several waiters.
    void semaphoreServesEachWaiterOnce()
    {
        HANDLE s = CreateSemaphoreW(nullptr, 0, 8, nullptr);
        std::atomic<int> woken{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i) {
            waiters.emplace_back([&] {
                if (WaitForSingleObject(s, 5000) == WAIT_OBJECT_0)
                    ++woken;
            });
        }
        QVERIFY(ReleaseSemaphore(s, 2, nullptr));
        QTRY_COMPARE(woken.load(), 2);
        QVERIFY(ReleaseSemaphore(s, 1, nullptr));
        for (auto &t : waiters)
            t.join();
        QCOMPARE(woken.load(), 3);
        QCOMPARE(WaitForSingleObject(s, 0), DWORD(WAIT_TIMEOUT));
        QVERIFY(CloseHandle(s));
    }

    void criticalSectionIsRecursiveAndExclusive()
    {
        CRITICAL_SECTION cs;
        InitializeCriticalSection(&cs);
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);
        QVERIFY(TryEnterCriticalSection(&cs));
        std::atomic<int> otherGot{-1};
        std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
        QCOMPARE(otherGot.load(), 0);
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
        std::thread([&] {
            otherGot = TryEnterCriticalSection(&cs);
            if (otherGot)
                LeaveCriticalSection(&cs);
        }).join();
        QCOMPARE(otherGot.load(), 1);
        DeleteCriticalSection(&cs);
    }

    void criticalSectionSerialisesTwoThreads()
    {
        CRITICAL_SECTION cs;
        InitializeCriticalSection(&cs);
        long counter = 0; // deliberately not atomic
        auto work = [&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&cs);
                EnterCriticalSection(&cs);
                ++counter;
                LeaveCriticalSection(&cs);
                LeaveCriticalSection(&cs);
            }
        };
        std::thread a(work), b(work);
        a.join();
        b.join();
        QCOMPARE(counter, 40000L);
        DeleteCriticalSection(&cs);
    }

    void threadIdsDiffer()
    {
        const DWORD mine = GetCurrentThreadId();
        DWORD other = mine;
        std::thread([&] { other = GetCurrentThreadId(); }).join();
        QVERIFY(mine != other);
        QCOMPARE(GetCurrentThreadId(), mine);
    }

private:
    long m_handles = 0;
};

QTEST_GUILESS_MAIN(PlatformSyncTest)
#include "tst_platformsync.moc"
