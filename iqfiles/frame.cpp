// The frame every loader shares: the abort flag and the event hook, the
// record's arrays, the status texts and the load dispatcher.
#include "iqinternal.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iterator>

int EscFlg = 0;

// Registered by the program; called on the thread that called the library
// only, never on one the library started.
static std::atomic<IqEventHook> g_hook{nullptr};
static thread_local bool t_worker = false;
// When the hook last ran on this thread (EscDue's clock).
static thread_local std::chrono::steady_clock::time_point t_lastHook{};

void IqSetEventHook(IqEventHook hook)
{
    g_hook.store(hook);
}

void MarkWorkerThread()
{
    t_worker = true;
}

static void RunHook(std::chrono::steady_clock::time_point now)
{
    if (t_worker)
        return;
    if (IqEventHook hook = g_hook.load())
        hook();
    t_lastHook = now;
}

// Events are processed only once per 25000 samples: often enough to keep a
// window alive during a load of millions of samples, rarely enough to cost
// nothing measurable.
int EscPressed(int i)
{
    if (i % 25000 != 0)
        return 0;
    RunHook(std::chrono::steady_clock::now());
    return AbortRequested() ? IQ_ERR_ABORT : 0;
}

int EscDue()
{
    if (!t_worker && g_hook.load()) {
        auto now = std::chrono::steady_clock::now();
        if (now - t_lastHook >= std::chrono::milliseconds(50))
            RunHook(now);
    }
    return AbortRequested() ? IQ_ERR_ABORT : 0;
}

void FreeArr(IqRec *rec)
{
    std::free(rec->I);
    rec->I = nullptr;
    std::free(rec->Q);
    rec->Q = nullptr;
}

void FreeIqRec(IqRec *rec)
{
    if (!rec)
        return;
    FreeArr(rec);
    rec->Len = 0;
}

void RevArr(unsigned char *bytes, int n)
{
    for (int a = 0, b = n - 1; a < b; ++a, --b) {
        unsigned char t = bytes[a];
        bytes[a] = bytes[b];
        bytes[b] = t;
    }
}

int MaxMin1D(const double *x, int n, double *max, int *imax, double *min, int *imin)
{
    if (n < 1)
        return -20003;
    int hi = 0, lo = 0;
    for (int k = 1; k < n; ++k) {
        if (x[k] > x[hi])
            hi = k;
        if (x[k] < x[lo])
            lo = k;
    }
    *max = x[hi];
    *imax = hi;
    *min = x[lo];
    *imin = lo;
    return 0;
}

// An empty record still gets one element per channel, so that a successful
// load always leaves valid pointers behind.
int AllocIq(IqRec *rec, int n)
{
    if (n < 0)
        return IQ_ERR_ALLOC_I;
    size_t cnt = n > 0 ? size_t(n) : 1;
    float *i = static_cast<float *>(std::calloc(cnt, sizeof(float)));
    if (!i)
        return IQ_ERR_ALLOC_I;
    float *q = static_cast<float *>(std::calloc(cnt, sizeof(float)));
    if (!q) {
        std::free(i);
        return IQ_ERR_ALLOC_Q;
    }
    rec->I = i;
    rec->Q = q;
    rec->Len = n;
    return 0;
}

// A failed load leaves an empty record (no arrays, Len 0) rather than a
// count without arrays behind it.
int EndLoad(IqRec *rec, int status)
{
    if (status != 0) {
        FreeArr(rec);
        rec->Len = 0;
    }
    __atomic_store_n(&EscFlg, 0, __ATOMIC_RELAXED);
    return status;
}

const char *IqStatusText(int status)
{
    static const char *const text[] = {
        "success",
        "the file cannot be opened",
        "the second file cannot be opened",
        "aborted",
        "not a WAV file of a supported layout",
        "the second MAT file holds no variable",
        "the Tessera header is not valid",
        "not enough memory for the I channel",
        "not enough memory for the Q channel",
        "not a file of this format",
        "the samples are not complex (I/Q) of a type that can be read",
        "the data file is shorter than the metadata says",
        "not the name of a SigMF recording: give NAME.sigmf-meta or NAME.sigmf-data "
        "(unpack a .sigmf archive first)",
    };
    if (status > 0 || -(long long)status >= (long long)std::size(text))
        return "unknown status";
    return text[-status];
}

int LoadDatFile(IqRec *rec)
{
    if (!rec)
        return IQ_ERR_OPEN1;
    FreeIqRec(rec);
    const IqFormat *f = IqFormatAt(rec->Typ);
    if (!f)
        return 0;
    if (!f->load)
        return IQ_ERR_FORMAT;
    return f->load(rec);
}
