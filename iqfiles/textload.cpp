// Two channels of a two-file text format on two threads.  Kept apart from
// textscan.cpp, which depends on nothing else of the library.
#include "textscan.h"

#include <atomic>
#include <climits>
#include <thread>

// ---------------------------------------------------------------------------
// Two channels on two threads
// ---------------------------------------------------------------------------

int ReadTwoChannels(int n, const std::function<int(const std::function<bool(int)> &)> &readI,
                    const std::function<int(const std::function<bool(int)> &)> &readQ)
{
    std::atomic<int> done{0}; // Q samples finished, INT_MAX at the end
    std::atomic<bool> stop{false};
    auto workerTick = [&](int k) {
        done.store(k + 1);
        done.notify_one();
        return !stop.load();
    };
    auto worker = [&] {
        readQ(workerTick);
        done.store(INT_MAX);
        done.notify_one();
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
    for (int k = 0; st == 0 && k < n; k += 25000) {
        for (int d = done.load(); d <= k; d = done.load())
            done.wait(d);
        st = EscPressed(k);
    }
    stop.store(true);
    t.join();
    return st;
}

bool BothOf(const std::function<bool()> &a, const std::function<bool()> &b)
{
    bool rb = false;
    std::thread t;
    try {
        t = std::thread([&] { rb = b(); });
    } catch (...) {
        bool ra = a();
        return b() && ra;
    }
    bool ra = a();
    t.join();
    return ra && rb;
}
