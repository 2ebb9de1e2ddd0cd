// Work on long arrays split between the calling thread and one helper: the
// machine the program is made for has two cores, and the spectrum views are
// the only long computations that run while the window waits.
#pragma once

#include <functional>

// Progress of a long computation, asked now and then: the fraction done
// (0 .. 1); false asks the computation to stop.
using NumProgress = std::function<bool(double fraction)>;

// Runs item(part, k) for k = 0 .. count-1: part 0 (the first half of the
// items, in order) on the calling thread, part 1 (the rest) on a helper
// thread, or after part 0 when no thread can be had.  Each part may keep its
// own buffers.  progress, when given, is asked after every item of part 0;
// false stops both parts after their current item, and the call returns
// false.
bool SplitInTwo(int count, const std::function<void(int part, int k)> &item, const NumProgress &progress);
