// kalmira-convert: argument parsing and the conversion itself, kept apart
// from main() so that tests can drive them directly.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kconv {

enum class Mode { Convert, Info, List, Help };

struct Options {
    Mode mode = Mode::Convert;
    int from = -1;                   // format index of the input
    int to = -1;                     // format index of the output
    int fromHow = 0;                 // how the input's format was found: IQ_FOUND_*, 0 given
    int toHow = 0;                   // the same for the output's
    std::vector<std::string> inputs; // one or two paths, as the input format needs
    std::vector<std::string> outputs;
    std::optional<double> rate;      // --rate HZ
    long long guard = 0;             // --guard N
    bool append = false;             // --append
    bool unclear = false;            // ParseArgs failed on a format the files do not tell
};

// Format index from a number 0..IQ_NFMT-1 or a short name of the format
// table; -1 when neither.
int ParseFormat(const std::string &text);

// Fills opt from the command line (argv[0] is the program).  Formats not
// given with --from and --to are found from the files (IqDetectFormat): the
// input's from its content or name, the output's from its name.  On a usage
// error, or a format that cannot be told, returns false with a one-line
// message in err; opt.unclear tells the second (the usage would not help).
bool ParseArgs(int argc, const char *const argv[], Options &opt, std::string &err);

// Formats whose files carry a sample rate.
bool ReaderGivesRate(int typ);
bool WriterStoresRate(int typ);

// Runs what opt asks for.  Results go to out, errors (one line each) and the
// progress display to err.  Returns the process exit status: 0 on success,
// 1 on a failed conversion, 2 on a usage error.
int Run(const Options &opt, FILE *out, FILE *err);

// The usage text.
const char *Usage();

} // namespace kconv
