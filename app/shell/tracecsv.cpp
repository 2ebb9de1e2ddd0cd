#include "shell/tracecsv.h"

#include "safewrite.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

std::string ColumnName(std::string name, const std::string &unit)
{
    for (char &c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return unit.empty() ? name : name + "_" + unit;
}

void Append(std::string &line, double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    line.append(buf, r.ptr);
}

// Lines are gathered into blocks of about a megabyte before each write.
bool WritePoints(std::FILE *fp, const GraphTrace &trace, int64_t first, int64_t last, GraphProgress &progress)
{
    const double *v = trace.values.get();
    std::string block;
    block.reserve(1 << 20);
    for (int64_t k = first; k < last; ++k) {
        Append(block, trace.x0 + static_cast<double>(k) * trace.dx);
        block += ',';
        Append(block, v[k]);
        block += '\n';
        if (block.size() >= (1u << 20) - 64 || k + 1 == last) {
            if (std::fwrite(block.data(), 1, block.size(), fp) != block.size())
                return false;
            block.clear();
            if (!progress.report(static_cast<double>(k + 1 - first) / (last - first)))
                return false;
        }
    }
    return true;
}

} // namespace

std::string WriteTraceCsv(const GraphTrace &trace, int64_t first, int64_t last, const std::string &path,
                          GraphProgress &progress)
{
    first = std::clamp<int64_t>(first, 0, trace.count);
    last = std::clamp<int64_t>(last, first, trace.count);
    const std::string header = ColumnName(trace.xName, trace.xUnit) + "," + ColumnName(trace.yName, trace.yUnit) + "\n";
    const int err = WriteFileSafely(path, [&](std::FILE *fp) {
        return std::fputs(header.c_str(), fp) >= 0 && WritePoints(fp, trace, first, last, progress);
    });
    if (err == 0)
        return "";
    return "The trace could not be written to\n" + path + "\n" + (progress.cancelled() ? "Cancelled." : std::strerror(err));
}
