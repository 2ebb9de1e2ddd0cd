// The window dispatcher works on the program's current record, so it is built
// with the program (and the numeric tests), not into the numeric library.
#include <cstdlib>

#include "numeric/window.h"
#include "state/globals.h"

void CnvWin(int which)
{
    int n = s.Len;
    float *samples = which ? s.Q : s.I;
    if (n <= 0 || samples == nullptr || win < 1 || win >= kWindowTypes)
        return;
    // Without a working array the samples stay unwindowed rather than lost.
    double *x = static_cast<double *>(std::calloc(static_cast<size_t>(n), sizeof(double)));
    if (x == nullptr)
        return;
    for (int k = 0; k < n; ++k)
        x[k] = samples[k];
    // The routine's result is not looked at: a record too short for a window
    // is simply left as it is.
    ApplyWindowType(x, n, win);
    for (int k = 0; k < n; ++k)
        samples[k] = static_cast<float>(x[k]);
    std::free(x);
}
