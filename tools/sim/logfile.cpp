#include "logfile.h"

#include <cstdlib>
#include <map>

namespace kalsim {

std::shared_ptr<LogFile> LogFile::open(const std::string &path) {
    static std::map<std::string, std::weak_ptr<LogFile>> open;
    if (path.empty()) return nullptr;
    if (auto f = open[path].lock()) return f;
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "kalmira-sim: cannot create log file %s\n", path.c_str());
        std::exit(2);
    }
    std::shared_ptr<LogFile> log(new LogFile(f));
    open[path] = log;
    return log;
}

LogFile::~LogFile() { std::fclose(f_); }

void LogFile::line(const std::string &text) {
    // Non-printing bytes would break the line structure of the log.
    std::string t;
    for (unsigned char c : text) {
        if (c >= 32 && c != 127) {
            t += char(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            t += esc;
        }
    }
    std::fprintf(f_, "%s\n", t.c_str());
    std::fflush(f_);
}

bool writeFileReplacing(const std::string &path, const std::string &data) {
    std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

}  // namespace kalsim
