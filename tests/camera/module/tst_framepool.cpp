#include "bufqueue.h"
#include "quebuf.h"

#include <QtTest>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

class TestFramePool : public QObject
{
    Q_OBJECT

private slots:
    void reserveGrowsOnlyWhenNeeded();
    void reserveAligned();
    void createOnce();
    void fifoOrder();
    void putBackGoesToTheEnd();
    void stopEventBlocksGet();
    void getWaitsForPut();
    void orderUnderTwoThreads();
};

void TestFramePool::reserveGrowsOnlyWhenNeeded()
{
    CQueBuf buf;
    QCOMPARE(buf.capacity, 0);
    QVERIFY(buf.data == nullptr);

    QCOMPARE(buf.Reserve(100), 0);
    QCOMPARE(buf.capacity, 100);
    QVERIFY(buf.data != nullptr);
    QCOMPARE(buf.data, buf.rawBlock);

    buf.length = 42;
    unsigned char *first = buf.data;
    QCOMPARE(buf.Reserve(50), 1);
    QCOMPARE(buf.capacity, 100);
    QCOMPARE(buf.data, first);
    QCOMPARE(buf.length, 42);

    QCOMPARE(buf.Reserve(200), 0);
    QCOMPARE(buf.capacity, 200);
    QCOMPARE(buf.length, 0);
    // The whole new block is writable (the sanitizer build checks the bounds).
    std::memset(buf.data, 0xab, 200);

    QCOMPARE(buf.Reserve(0), -1);
    QCOMPARE(buf.Reserve(-5), -1);
    QCOMPARE(buf.capacity, 200);
    QVERIFY(buf.data != nullptr);
}

void TestFramePool::reserveAligned()
{
    for (int alignment : {16, 64, 3}) {
        CQueBuf buf;
        buf.alignment = alignment;
        for (int size : {1, 100, 4097}) {
            QVERIFY(buf.Reserve(size) >= 0);
            const auto raw = reinterpret_cast<std::uintptr_t>(buf.rawBlock);
            const auto data = reinterpret_cast<std::uintptr_t>(buf.data);
            QCOMPARE(data % std::uintptr_t(alignment), std::uintptr_t(0));
            QVERIFY(data >= raw);
            QVERIFY(data - raw <= std::uintptr_t(alignment - 1));
            std::memset(buf.data, 0, std::size_t(size));
        }
    }
}

void TestFramePool::createOnce()
{
    CBufQueue pool;
    QVERIFY(pool.Get(0) == nullptr); // before Create: nothing, no crash
    QVERIFY(pool.Create(4, nullptr));
    QVERIFY(pool.stopEvent() != nullptr);
    HANDLE own = pool.stopEvent();
    QVERIFY(!pool.Create(8, nullptr));
    QCOMPARE(pool.capacity(), 4);
    QCOMPARE(pool.stopEvent(), own);
    CloseHandle(own); // the pool never closes its event
}

void TestFramePool::fifoOrder()
{
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FrameBuf bufs[4];
    {
        CBufQueue pool;
        QVERIFY(pool.Create(4, stop));
        QCOMPARE(pool.stopEvent(), stop);
        for (FrameBuf &b : bufs)
            QCOMPARE(pool.Put(&b), 0);
        QCOMPARE(pool.registry().size(), std::size_t(4));
        for (FrameBuf &b : bufs)
            QCOMPARE(pool.Get(0), &b);
        QVERIFY(pool.Get(0) == nullptr);
        QVERIFY(pool.Get(20) == nullptr); // a real wait that times out
        // Putting the same records again does not grow the registry.
        for (FrameBuf &b : bufs)
            pool.Put(&b);
        QCOMPARE(pool.registry().size(), std::size_t(4));
        QCOMPARE(pool.registry().front(), &bufs[0]);
    }
    // The records are untouched by the pool's destruction.
    QCOMPARE(bufs[0].planeCount, 3);
    QCOMPARE(bufs[0].frameRate, 25.0);
    CloseHandle(stop);
}

void TestFramePool::putBackGoesToTheEnd()
{
    FrameBuf a, b, c, d;
    CBufQueue pool;
    QVERIFY(pool.Create(4, nullptr));
    for (FrameBuf *p : {&a, &b, &c, &d})
        pool.Put(p);
    QCOMPARE(pool.Get(0), &a);
    pool.Put(&a);
    QCOMPARE(pool.Get(0), &b);
    QCOMPARE(pool.Get(0), &c);
    QCOMPARE(pool.Get(0), &d);
    QCOMPARE(pool.Get(0), &a);
    QVERIFY(pool.Get(0) == nullptr);
    CloseHandle(pool.stopEvent());
}

void TestFramePool::stopEventBlocksGet()
{
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FrameBuf bufs[4];
    CBufQueue pool;
    QVERIFY(pool.Create(4, stop));
    for (FrameBuf &b : bufs)
        pool.Put(&b);
    SetEvent(stop);
    QVERIFY(pool.Get(0) == nullptr);
    QVERIFY(pool.Get(10) == nullptr);
    ResetEvent(stop);
    for (FrameBuf &b : bufs)
        QCOMPARE(pool.Get(0), &b);
    CloseHandle(stop);
}

void TestFramePool::getWaitsForPut()
{
    FrameBuf buf;
    CBufQueue pool;
    QVERIFY(pool.Create(1, nullptr));
    FrameBuf *got = nullptr;
    std::thread taker([&] { got = pool.Get(30000); });
    QTest::qWait(20);
    pool.Put(&buf);
    taker.join();
    QCOMPARE(got, &buf);
    CloseHandle(pool.stopEvent());
}

// A producer thread takes records and a consumer thread hands them back, as
// the capture thread and its deliveries do; records must keep their FIFO
// rotation and none may be handed out twice.
void TestFramePool::orderUnderTwoThreads()
{
    constexpr int kRounds = 20000;
    FrameBuf bufs[4];
    CBufQueue pool;
    QVERIFY(pool.Create(4, nullptr));
    for (FrameBuf &b : bufs)
        pool.Put(&b);

    std::vector<FrameBuf *> takenOrder;
    std::vector<FrameBuf *> returnedOrder;
    takenOrder.reserve(kRounds);
    returnedOrder.reserve(kRounds);
    std::atomic<int> outstanding{0};
    std::atomic<bool> doubleIssue{false};
    std::atomic<bool> inUse[4] = {};

    // Handoff from taker to returner through a small lock-free ring.
    std::atomic<FrameBuf *> ring[4] = {};
    std::atomic<int> produced{0};

    std::thread taker([&] {
        for (int i = 0; i < kRounds;) {
            FrameBuf *b = pool.Get(1000);
            if (!b)
                continue;
            const int idx = int(b - bufs);
            if (inUse[idx].exchange(true))
                doubleIssue = true;
            takenOrder.push_back(b);
            ring[i % 4].store(b);
            produced.store(i + 1);
            ++outstanding;
            ++i;
        }
    });
    std::thread returner([&] {
        for (int i = 0; i < kRounds; ++i) {
            while (produced.load() <= i)
                std::this_thread::yield();
            FrameBuf *b = ring[i % 4].exchange(nullptr);
            returnedOrder.push_back(b);
            inUse[int(b - bufs)] = false;
            --outstanding;
            pool.Put(b);
        }
    });
    taker.join();
    returner.join();

    QVERIFY(!doubleIssue);
    QCOMPARE(int(takenOrder.size()), kRounds);
    // Records come back in the order they went out, and go out again in the
    // order they came back: the rotation A, B, C, D never changes.
    for (int i = 0; i < kRounds; ++i)
        QCOMPARE(takenOrder[std::size_t(i)], &bufs[i % 4]);
    QCOMPARE(returnedOrder, takenOrder);
    for (FrameBuf &b : bufs)
        QCOMPARE(pool.Get(0), &b);
    CloseHandle(pool.stopEvent());
}

QTEST_GUILESS_MAIN(TestFramePool)
#include "tst_framepool.moc"
