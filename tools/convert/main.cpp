// kalmira-convert: converts I/Q files between the formats of VmKalLib.
#include "convert.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    kconv::Options opt;
    std::string err;
    if (!kconv::ParseArgs(argc, argv, opt, err)) {
        fprintf(stderr, "kalmira-convert: %s\n%s", err.c_str(), kconv::Usage());
        return 2;
    }
    return kconv::Run(opt, stdout, stderr);
}
