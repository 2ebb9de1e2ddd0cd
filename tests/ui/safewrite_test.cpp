// The one safe write of the files the program writes itself: what a replaced
// file keeps, and what is written where it stands instead of replaced.
#include "common/test_files.h"
#include "safewrite.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

int WriteText(const fs::path &path, const std::string &text)
{
    return WriteFileSafely(path.string(), [&text](std::FILE *fp) {
        return std::fwrite(text.data(), 1, text.size(), fp) == text.size();
    });
}

class SafeWrite : public ::testing::Test {
protected:
    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
};

// A private file stays private; a link keeps pointing at the new contents.
TEST_F(SafeWrite, AReplacedFileKeepsItsPermissionsAndItsLinks)
{
    const fs::path file = dir / "private.cfg";
    std::ofstream(file) << "old";
    ::chmod(file.c_str(), 0600);
    ASSERT_EQ(WriteText(file, "new"), 0);
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(FileText(file), "new");

    fs::create_symlink("private.cfg", dir / "link.cfg");
    ASSERT_EQ(WriteText(dir / "link.cfg", "through the link"), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
    EXPECT_EQ(FileText(file), "through the link");
    EXPECT_EQ(Entries(), 2u);
}

// A pipe has no contents to keep and cannot be renamed over: the bytes go
// into it, and it stays a pipe.
TEST_F(SafeWrite, APipeIsWrittenIntoNotReplaced)
{
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reading end first, so that the write finds a reader; the few bytes
    // wait in the pipe until they are read.
    const int rd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rd, 0);
    EXPECT_EQ(WriteText(fifo, "into the pipe"), 0);
    char buf[64] = {};
    const ssize_t n = ::read(rd, buf, sizeof buf);
    ::close(rd);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "into the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Entries(), 1u);
}

// A folder of that name is no file to replace; a fill that gives up leaves
// the old file and no temporary one.
TEST_F(SafeWrite, FailuresLeaveEverythingAsItWas)
{
    fs::create_directory(dir / "folder");
    EXPECT_EQ(WriteText(dir / "folder", "x"), EISDIR);
    const fs::path file = dir / "kept";
    std::ofstream(file) << "kept";
    EXPECT_EQ(WriteFileSafely(file.string(), [](std::FILE *) { return false; }), ECANCELED);
    EXPECT_EQ(FileText(file), "kept");
    EXPECT_EQ(Entries(), 2u);
}

}  // namespace
