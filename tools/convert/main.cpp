// kalmira-convert: converts I/Q files between the formats of VmKalLib.
#include "convert.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    kconv::Options opt;
    std::string err;
    if (!kconv::ParseArgs(argc, argv, opt, err)) {
        // A format the files do not tell is said in one line; the usage is
        // for a command line that is wrong in itself.
        fprintf(stderr, "kalmira-convert: %s\n%s", err.c_str(), opt.unclear ? "" : kconv::Usage());
        return 2;
    }
    return kconv::Run(opt, stdout, stderr);
}
