// Plain-number, free-form, DaDisp, DAB and no-line-feed text readers.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::WriteInput(data, size);
    fuzz::Detect(fuzz::TempPath());
    for (int typ : {1, 2, 7, 8, 9, 19, 23})
        fuzz::LoadAs(typ);
    return 0;
}
