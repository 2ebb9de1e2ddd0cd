// The window dispatcher works on the program's current record, so it is built
// with the program (and the numeric tests), not into the numeric library.
#include <cstdlib>

#include "numeric/window.h"
#include "state/globals.h"

namespace {

void ApplyWindow(double *x, int n)
{
    // The routines' results are not looked at: a record too short for a
    // window is simply left as it is.
    switch (win) {
    case 1: TriWin(x, n); break;
    case 2: HanWin(x, n); break;
    case 3: HamWin(x, n); break;
    case 4: BkmanWin(x, n); break;
    case 5: KsrWin(x, n, 4.86); break;
    case 6: BlkHarrisWin(x, n); break;
    case 7: CosTaperedWin(x, n); break;
    case 8: ExBkmanWin(x, n); break;
    case 9: ExpWin(x, n, 0.01); break;
    case 10: FlatTopWin(x, n); break;
    case 11: ForceWin(x, n, 50.0); break;
    default: break;
    }
}

} // namespace

void CnvWin(int which)
{
    int n = s.Len;
    float *samples = which ? s.Q : s.I;
    if (n <= 0 || samples == nullptr || win < 1 || win > 11)
        return;
    // Without a working array the samples stay unwindowed rather than lost.
    double *x = static_cast<double *>(std::calloc(static_cast<size_t>(n), sizeof(double)));
    if (x == nullptr)
        return;
    for (int k = 0; k < n; ++k)
        x[k] = samples[k];
    ApplyWindow(x, n);
    for (int k = 0; k < n; ++k)
        samples[k] = static_cast<float>(x[k]);
    std::free(x);
}
