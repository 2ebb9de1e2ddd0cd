// MAT files (v4, v5, compressed v5, v7.3): one variable per file and two
// variables in one file.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::WriteInput(data, size);
    fuzz::Detect(fuzz::TempPath());
    for (int typ : {3, 4})
        fuzz::LoadAs(typ);
    return 0;
}
