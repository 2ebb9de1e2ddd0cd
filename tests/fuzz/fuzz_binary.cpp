// Binary sample files: Tessera, WAV, LeCroy, AWG 2000, KAL and ESG words.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::WriteInput(data, size);
    fuzz::Detect(fuzz::TempPath());
    for (int typ : {0, 16, 17, 21, 22})
        fuzz::LoadAs(typ);
    fuzz::LoadWith(LoadEsg8Sgl);
    return 0;
}
