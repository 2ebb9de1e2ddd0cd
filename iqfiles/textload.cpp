// Work on two threads: the two channels of a two-file text format, and any
// two jobs of which the calling thread does one and waits for the other.
#include "textscan.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>

// ---------------------------------------------------------------------------
// Two channels on two threads
// ---------------------------------------------------------------------------

int ReadTwoChannels(int n, const std::function<int(const std::function<bool(int)> &)> &readI,
                    const std::function<int(const std::function<bool(int)> &)> &readQ)
{
    // k+1 of the Q channel's latest tick, with kDone set once its reading ended.
    constexpr long long kDone = 1LL << 40;
    std::atomic<long long> state{0};
    std::atomic<bool> stop{false};
    // The stop request is read before the tick is published: once this thread
    // sees the tick it may finish and ask for a stop, which must not cut off
    // the rest of a Q channel it was not waiting for.
    auto workerTick = [&](int k) {
        const bool go = !stop.load();
        state.store(k + 1);
        state.notify_one();
        return go;
    };
    auto worker = [&] {
        MarkWorkerThread();
        readQ(workerTick);
        state.fetch_or(kDone);
        state.notify_one();
    };
    std::thread t;
    try {
        t = std::thread(worker);
    } catch (...) {
        // No second thread: read one channel after the other.
        auto tick = [](int k) { return EscPressed(k) == 0; };
        int st = readI(tick);
        return st ? st : readQ(tick);
    }
    int st = readI([](int k) { return EscPressed(k) == 0; });
    for (int k = 0; st == 0 && (n < 0 || k < n); k += 25000) {
        long long s;
        while (((s = state.load()) & ~kDone) <= k && !(s & kDone))
            state.wait(s);
        if ((s & ~kDone) <= k && n < 0)
            break; // the Q channel ended before index k
        st = EscPressed(k);
    }
    stop.store(true);
    t.join();
    return st;
}

bool BothOf(const std::function<bool()> &a, const std::function<bool()> &b)
{
    struct {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    } second;
    bool rb = false;
    std::thread t;
    try {
        t = std::thread([&] {
            MarkWorkerThread();
            rb = b();
            std::lock_guard<std::mutex> lock(second.m);
            second.done = true;
            second.cv.notify_one();
        });
    } catch (...) {
        bool ra = a();
        return b() && ra;
    }
    bool ra = a();
    std::unique_lock<std::mutex> lock(second.m);
    while (!second.cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return second.done; })) {
        lock.unlock();
        EscDue();
        lock.lock();
    }
    lock.unlock();
    t.join();
    return ra && rb;
}
