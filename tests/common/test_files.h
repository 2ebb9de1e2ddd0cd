// Files of a test: a private folder per test and reading a file back whole.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

// An empty folder for the running test, <tmp>/<prefix>-<pid>-<test name>,
// so that tests running side by side never share one.  What an earlier run
// left there is removed.
inline std::filesystem::path FreshTestDir(const std::string &prefix)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (prefix + "-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Every byte of a file; empty when it cannot be read.
inline std::string FileText(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Everything a descriptor delivers until its other end is closed; closes it.
inline std::string ReadToEnd(int fd)
{
    std::string got;
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        got.append(buf, size_t(n));
    ::close(fd);
    return got;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> TextLines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}
