// The built program, copied into a test's own folder before it is started:
// the program keeps its configuration beside itself, and a test must never
// read or write the one beside the built program.
#pragma once

#include <filesystem>

inline std::filesystem::path CopyOfKalmira(const std::filesystem::path &dir)
{
    const std::filesystem::path exe = dir / "Kalmira";
    std::filesystem::copy_file(KALMIRA_EXE, exe, std::filesystem::copy_options::overwrite_existing);
    return exe;
}
