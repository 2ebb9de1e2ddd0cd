// SPW and ADS signal files: the ASCII readers (one and two files) and the
// binary reader.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::WriteInput(data, size);
    fuzz::Detect(fuzz::TempPath());
    for (int typ : {11, 12, 13})
        fuzz::LoadAs(typ);
    return 0;
}
