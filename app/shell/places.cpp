#include "shell/places.h"

#include "state/globals.h"

#include <filesystem>

#ifndef KALMIRA_DATA_FROM_BIN
#define KALMIRA_DATA_FROM_BIN "../share/kalmira"
#endif

namespace {

std::filesystem::path Beside()
{
    return std::filesystem::path(WrkDir) / "doc" / "manual.html";
}

// The installation's data folder as seen from the program's folder.
std::filesystem::path DataFolder()
{
    return (std::filesystem::path(WrkDir) / KALMIRA_DATA_FROM_BIN).lexically_normal();
}

bool IsFile(const std::filesystem::path &p)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

bool ProgramInstalled()
{
    std::error_code ec;
    return std::filesystem::is_directory(DataFolder(), ec);
}

std::string ManualPath()
{
    if (IsFile(Beside()))
        return Beside().string();
    const std::filesystem::path installed = DataFolder() / "manual.html";
    return IsFile(installed) ? installed.string() : "";
}
