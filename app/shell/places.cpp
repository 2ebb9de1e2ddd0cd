#include "shell/places.h"

#include "state/globals.h"

#include <filesystem>

#ifndef KALMIRA_DOC_FROM_BIN
#define KALMIRA_DOC_FROM_BIN "../share/doc/kalmira"
#endif

namespace {

std::filesystem::path Beside()
{
    return std::filesystem::path(WrkDir) / "doc" / "manual.html";
}

// The installation's documentation folder as seen from the program's folder.
std::filesystem::path Installed()
{
    return (std::filesystem::path(WrkDir) / KALMIRA_DOC_FROM_BIN / "manual.html").lexically_normal();
}

bool IsFile(const std::filesystem::path &p)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

bool ProgramInstalled()
{
    return !IsFile(Beside()) && IsFile(Installed());
}

std::string ManualPath()
{
    if (IsFile(Beside()))
        return Beside().string();
    return IsFile(Installed()) ? Installed().string() : "";
}
