#include "twothreads.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace {

// Items [first, last) of one part; progress (on the calling thread only) as
// the share of this part done.
bool RunPart(int part, int first, int last, const std::function<void(int, int)> &item,
             const NumProgress *progress, std::atomic<bool> &stop)
{
    for (int k = first; k < last; ++k) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        item(part, k);
        if (progress && *progress && !(*progress)(static_cast<double>(k - first + 1) / (last - first))) {
            stop.store(true, std::memory_order_relaxed);
            return false;
        }
    }
    return true;
}

} // namespace

bool SplitInTwo(int count, const std::function<void(int part, int k)> &item, const NumProgress &progress)
{
    std::atomic<bool> stop{false};
    const int mid = (count + 1) / 2;
    std::thread helper;
    try {
        helper = std::thread([&] { RunPart(1, mid, count, item, nullptr, stop); });
    } catch (const std::system_error &) {
        // No second thread: both halves here, in order.
        return RunPart(0, 0, mid, item, &progress, stop) && RunPart(1, mid, count, item, nullptr, stop);
    }
    const bool done = RunPart(0, 0, mid, item, &progress, stop);
    helper.join();
    return done && !stop.load();
}
