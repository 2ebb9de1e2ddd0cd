// The command log: one line per program message, flushed at once so that a
// test can read it while the simulator runs.  Instruments that name the
// same file share it, and their lines interleave in the order received.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace kalsim {

class LogFile {
public:
    // Null for an empty path; exits with a message when it cannot be created.
    static std::shared_ptr<LogFile> open(const std::string &path);
    ~LogFile();
    void line(const std::string &text);

private:
    explicit LogFile(FILE *f) : f_(f) {}
    FILE *f_;
};

// Writes data to path through a temporary file, so that a reader never
// sees half a file and a failed write leaves the old one.
bool writeFileReplacing(const std::string &path, const std::string &data);

}  // namespace kalsim
