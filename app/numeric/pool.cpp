// Pool of work areas shared by all transforms.  An area is large (about
// 1.5 MB of scratch rows plus its tables), so a few are kept instead of being
// allocated per transform.  Only the slots are shared; the lock is held
// just long enough to take or return one.
#include <cstdlib>
#include <mutex>
#include <new>

#include "fftint.h"

namespace {

std::mutex gLock;
std::once_flag gOnce;
FFTWork *gSlot[FFT_POOL_SLOTS];
bool gReady = false;
// After the pool is torn down at exit, returned areas are freed, not kept.
bool gClosed = false;

} // namespace

FFTWork *kalfft::NewWork() { return new (std::nothrow) FFTWork; }

void kalfft::FreeWork(FFTWork *work)
{
    if (work == nullptr)
        return;
    std::free(work->tab);
    std::free(work->trig);
    delete work;
}

int CreateFFTBufferCache()
{
    std::call_once(gOnce, [] {
        std::lock_guard<std::mutex> hold(gLock);
        for (FFTWork *&slot : gSlot)
            if ((slot = kalfft::NewWork()) == nullptr)
                break;
        std::atexit(DestroyFFTBufferCache);
        gReady = true;
    });
    return gReady ? 0 : -1;
}

void DestroyFFTBufferCache()
{
    std::lock_guard<std::mutex> hold(gLock);
    for (FFTWork *&slot : gSlot) {
        kalfft::FreeWork(slot);
        slot = nullptr;
    }
    gReady = false;
    gClosed = true;
}

FFTWork *FFTBufferAcquire()
{
    CreateFFTBufferCache();
    {
        std::lock_guard<std::mutex> hold(gLock);
        for (FFTWork *&slot : gSlot)
            if (slot != nullptr) {
                FFTWork *work = slot;
                slot = nullptr;
                return work;
            }
    }
    return kalfft::NewWork();
}

void FFTBufferRelease(FFTWork *work)
{
    if (work == nullptr)
        return;
    {
        std::lock_guard<std::mutex> hold(gLock);
        if (!gClosed)
            for (FFTWork *&slot : gSlot)
                if (slot == nullptr) {
                    slot = work;
                    return;
                }
    }
    kalfft::FreeWork(work);
}

int FFTBufferCached()
{
    std::lock_guard<std::mutex> hold(gLock);
    int count = 0;
    for (FFTWork *slot : gSlot)
        count += slot != nullptr;
    return count;
}
