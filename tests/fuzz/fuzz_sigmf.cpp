// SigMF recordings: the input is the metadata, and the same bytes are the
// dataset beside it, so that counts in the metadata meet datasets of every
// size.  Nothing in the metadata may lead to a crash, a hang or an
// allocation beyond what the dataset holds.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string meta = fuzz::TempPath() + ".sigmf-meta", dataset = fuzz::TempPath() + ".sigmf-data";
    static const int cleanup = atexit([] {
        unlink(meta.c_str());
        unlink(dataset.c_str());
    });
    (void)cleanup;
    fuzz::WriteFile(meta, data, size);
    fuzz::WriteFile(dataset, data, size);
    fuzz::Detect(meta);
    fuzz::Detect(dataset);
    fuzz::LoadAs(24);
    return 0;
}
