// The one save policy and the one read-error policy that every writer and
// every reader shares, checked writer by writer and reader by reader: files
// the caller may not write, folders without room for a temporary file, full
// disks, links, pipes and devices, abort requests, folders and pipes as
// input, and reads that fail.
#include "VmKalLib.h"
#include "common/as_user.h"
#include "common/small_disk.h"
#include "common/test_files.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- writers

void Put(const fs::path &p, const std::string &text) { std::ofstream(p, std::ios::binary) << text; }

// The loader of a writer's format, loading i (and q).
int LoadBack(const Writer &w, const fs::path &i, const fs::path &q, Rec &out)
{
    std::snprintf(out.INam, sizeof out.INam, "%s", i.c_str());
    std::snprintf(out.QNam, sizeof out.QNam, "%s", q.c_str());
    out.Typ = w.typ;
    return LoadDatFile(&out);
}

class Safety : public IqFilesTest {
protected:
    Safety() : IqFilesTest("iqsafe") {}
    void SetUp() override
    {
        IqFilesTest::SetUp();
        FillData(data);
    }
    // What the writer writes to a regular file, as a reference.
    std::string Reference(const Writer &w, int file = 0)
    {
        fs::path i = dir / "ref.i", q = dir / "ref.q";
        EXPECT_EQ(w.save(Named(data, w, i, q)), 0);
        std::string text = Undated(FileText(file == 0 ? i : q));
        fs::remove(i);
        fs::remove(q);
        return text;
    }
    size_t Entries() const { return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator())); }
    Rec data;
};

// Files of another user, or read-only ones, are refused as open() refuses
// them, whatever the writer; a two-file writer then creates neither file.
TEST_F(Safety, EveryWriterRefusesAFileTheCallerMayNotWrite)
{
    TestUser u = UnprivilegedUser();
    if (!u.ok)
        GTEST_SKIP() << u.why;
    fs::permissions(dir, fs::perms::all);
    struct Case {
        const char *name;
        uid_t owner;
        mode_t mode;
    };
    std::vector<Case> cases = {{"own-0444", u.uid, 0444}};
    if (geteuid() == 0) // only root can give a file to another user
        cases.push_back({"other-0644", 0, 0644});
    for (const Case &c : cases)
        for (const char *suffix : {".i", ".q"}) {
            fs::path p = dir / (std::string(c.name) + suffix);
            Put(p, "precious\n");
            ASSERT_EQ(chown(p.c_str(), c.owner, c.owner == u.uid ? u.gid : 0), 0);
            ASSERT_EQ(chmod(p.c_str(), c.mode), 0);
        }
    size_t before = Entries();
    EXPECT_UNPRIVILEGED(AsUnprivileged([&]() -> std::string {
        std::string fails;
        for (const Writer &w : Writers())
            for (const Case &c : cases) {
                fs::path i = dir / (std::string(c.name) + ".i"), q = dir / (std::string(c.name) + ".q");
                // Two-file writers: a new I file beside a Q file that may not be written.
                if (w.files == 2)
                    i = dir / "new.i";
                errno = 0;
                int st = w.save(Named(data, w, i, q));
                int err = errno;
                std::string where = std::string(IqFormatAt(w.typ)->name) + " " + c.name + ": ";
                if (st != -1 || err != EACCES)
                    fails += where + "status " + std::to_string(st) + " errno " + strerror(err) + "\n";
                if (FileText(q) != "precious\n" || (w.files == 1 && FileText(i) != "precious\n"))
                    fails += where + "the file changed\n";
                if (Entries() != before)
                    fails += where + "a file was left behind\n";
            }
        return fails;
    }));
}

// A folder the caller may not write takes no temporary file: a file in it
// that the caller may write is written in place (same file, no leftovers,
// no tail of the old contents); a new name there is refused.
TEST_F(Safety, AWritableFileInAFolderWithoutRoomForATemporaryFileIsWrittenInPlace)
{
    TestUser u = UnprivilegedUser();
    if (!u.ok)
        GTEST_SKIP() << u.why;
    std::map<int, std::string> refI, refQ;
    for (const Writer &w : Writers()) {
        refI[w.typ] = Reference(w, 0);
        refQ[w.typ] = Reference(w, 1);
        for (const char *name : {"x.i", "x.q"}) {
            Put(dir / name, std::string(size_t(2 << 20), 'o')); // longer than any new contents
            ASSERT_EQ(chown((dir / name).c_str(), u.uid, u.gid), 0);
        }
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        struct stat before;
        ASSERT_EQ(stat((dir / "x.i").c_str(), &before), 0);
        EXPECT_UNPRIVILEGED(AsUnprivileged([&]() -> std::string {
            std::string fails, where = std::string(IqFormatAt(w.typ)->name) + ": ";
            if (int st = w.save(Named(data, w, dir / "x.i", dir / "x.q")); st != 0)
                return where + "status " + std::to_string(st) + " " + strerror(errno);
            if (Undated(FileText(dir / "x.i")) != refI[w.typ] ||
                (w.files == 2 && Undated(FileText(dir / "x.q")) != refQ[w.typ]))
                fails += where + "the contents differ from a normal save\n";
            errno = 0;
            if (w.save(Named(data, w, dir / "new.i", dir / "new.q")) != -1 || errno != EACCES)
                fails += where + "a new name in the folder was not refused with EACCES\n";
            return fails;
        }));
        struct stat after;
        ASSERT_EQ(stat((dir / "x.i").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "written in place, not replaced";
        EXPECT_EQ(Entries(), 2u) << "no temporary file left";
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove(dir / "x.i");
        fs::remove(dir / "x.q");
    }
}

// A disk too full for the new contents: the old file stays byte for byte,
// whether the save goes through a temporary file or, in a folder without
// room for one, in place (where the space is reserved first).
TEST_F(Safety, AFullDiskLeavesTheOldFileAsItWas)
{
    fs::create_directories(dir / "disk");
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec); // the way in for the unprivileged part
    std::string r = OnSmallDisk(dir / "disk", [&]() -> std::string {
        std::string fails;
        fs::path d = dir / "disk";
        Rec big;
        FillData(big, 40000); // 320 KB as KAL, more in every other format
        const std::string old(100 << 10, 'o');
        for (const Writer &w : Writers()) {
            Put(d / "f.i", old);
            Put(d / "f.q", old);
            errno = 0;
            int st = w.save(Named(big, w, d / "f.i", d / "f.q"));
            if (st != -1 || errno != ENOSPC)
                fails += std::string(IqFormatAt(w.typ)->name) + ": status " + std::to_string(st) + " " +
                         strerror(errno) + "\n";
            if (FileText(d / "f.i") != old || FileText(d / "f.q") != old)
                fails += std::string(IqFormatAt(w.typ)->name) + ": the old file changed\n";
            if (std::distance(fs::directory_iterator(d), fs::directory_iterator()) != 2)
                fails += std::string(IqFormatAt(w.typ)->name) + ": a temporary file was left\n";
        }
        // In place: the file belongs to the unprivileged user, the folder to root.
        TestUser u = UnprivilegedUser();
        fs::remove(d / "f.q");
        Put(d / "fill", std::string(120 << 10, 'x'));
        if (!u.ok || chown((d / "f.i").c_str(), u.uid, u.gid) != 0)
            return fails + "skip: no unprivileged user for the in-place case";
        // Every one-file writer, the text ones with the most their file can take.
        return fails + AsUnprivileged([&]() -> std::string {
                   Rec r;
                   FillData(r, 40000); // 160 KB as WAV, the smallest: 60 KB more than the file has, about 36 KB free
                   std::string bad;
                   for (const Writer &w : Writers()) {
                       if (w.files != 1)
                           continue;
                       Put(d / "f.i", old);
                       errno = 0;
                       int st = w.save(Named(r, w, d / "f.i"));
                       const std::string name = IqFormatAt(w.typ)->name;
                       if (st != -1 || errno != ENOSPC)
                           bad += name + " in place: status " + std::to_string(st) + " " + strerror(errno) + "\n";
                       if (FileText(d / "f.i") != old)
                           bad += name + " in place: the old file changed\n";
                   }
                   return bad;
               });
    });
    EXPECT_UNPRIVILEGED(r);
}

// Through a symbolic link every writer replaces the file it points to and
// keeps the link; a link to nothing yet gets its target created.
TEST_F(Safety, EveryWriterSavesThroughALinkIntoItsTarget)
{
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        fs::create_directories(dir / "t");
        Put(dir / "t" / "a.i", "old\n");
        Put(dir / "t" / "a.q", "old\n");
        fs::create_symlink("t/a.i", dir / "link.i");      // relative
        fs::create_symlink(dir / "t" / "a.q", dir / "link.q"); // absolute
        ASSERT_EQ(w.save(Named(data, w, dir / "link.i", dir / "link.q")), 0);
        EXPECT_TRUE(fs::is_symlink(dir / "link.i"));
        EXPECT_TRUE(fs::is_symlink(dir / "link.q") || w.files == 1);
        Rec back;
        ASSERT_EQ(LoadBack(w, dir / "t" / "a.i", dir / "t" / "a.q", back), 0);
        EXPECT_EQ(back.Len, kSamples);

        fs::remove_all(dir / "t");
        fs::create_directories(dir / "t");
        ASSERT_EQ(w.save(Named(data, w, dir / "link.i", dir / "link.q")), 0);
        EXPECT_TRUE(fs::is_symlink(dir / "link.i"));
        EXPECT_TRUE(fs::is_regular_file(dir / "t" / "a.i"));
        fs::remove_all(dir / "t");
        fs::remove(dir / "link.i");
        fs::remove(dir / "link.q");
    }
}

// Everything a named pipe delivers until its writer closes it.  The test
// holds the pipe open for writing too (an anchor), so that the reader never
// waits for a writer that does not come (a save that fails, or one that
// replaces the pipe by a file); the anchor is let go once the save is done.
class PipeReader {
public:
    explicit PipeReader(const fs::path &fifo)
        : anchor_(open(fifo.c_str(), O_RDWR)), fd_(open(fifo.c_str(), O_RDONLY)), t_([this] {
              char buf[65536];
              for (ssize_t n; fd_ >= 0 && (n = read(fd_, buf, sizeof buf)) > 0;)
                  text_.append(buf, size_t(n));
          })
    {
    }
    const std::string &text()
    {
        finish();
        return text_;
    }
    ~PipeReader() { finish(); }

private:
    void finish()
    {
        if (anchor_ >= 0)
            close(anchor_);
        anchor_ = -1;
        if (t_.joinable())
            t_.join();
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    int anchor_, fd_;
    std::string text_;
    std::thread t_;
};

// Pipes, devices and the caller's descriptors are written in place: the
// reader at the other end gets exactly the bytes of a normal save, and the
// pipe or device node stays what it was.
TEST_F(Safety, PipesAndDevicesAreWrittenInPlace)
{
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        std::string wantI = Reference(w, 0), wantQ = Reference(w, 1);
        ASSERT_EQ(mkfifo((dir / "p.i").c_str(), 0600), 0);
        ASSERT_EQ(mkfifo((dir / "p.q").c_str(), 0600), 0);
        {
            PipeReader ri(dir / "p.i");
            std::unique_ptr<PipeReader> rq(w.files == 2 ? new PipeReader(dir / "p.q") : nullptr);
            ASSERT_EQ(w.save(Named(data, w, dir / "p.i", dir / "p.q")), 0) << strerror(errno);
            EXPECT_TRUE(Undated(ri.text()) == wantI) << ri.text().size() << " bytes, not " << wantI.size();
            if (rq) {
                EXPECT_TRUE(Undated(rq->text()) == wantQ) << rq->text().size() << " bytes, not " << wantQ.size();
            }
        }
        EXPECT_TRUE(fs::is_fifo(dir / "p.i"));
        fs::remove(dir / "p.i");
        fs::remove(dir / "p.q");
        EXPECT_EQ(Entries(), 0u);

        // A writer that replaced device nodes would replace the system's
        // /dev/null when run as root: root gets a private one.
        fs::path null = "/dev/null";
        if (geteuid() == 0 && mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
            null = dir / "null";
        EXPECT_EQ(w.save(Named(data, w, null, null)), 0);
        EXPECT_TRUE(fs::is_character_file(null));
        fs::remove(dir / "null");

        // One of the caller's descriptors, by its /dev/fd name.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::string got;
        std::thread drain([&] {
            char buf[65536];
            for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
                got.append(buf, size_t(n));
        });
        std::string name = "/dev/fd/" + std::to_string(fds[1]);
        int st = w.files == 1 ? w.save(Named(data, w, name)) : 0;
        close(fds[1]);
        drain.join();
        close(fds[0]);
        if (w.files == 1) {
            EXPECT_EQ(st, 0);
            EXPECT_TRUE(Undated(got) == wantI) << got.size() << " bytes, not " << wantI.size();
        }
    }
}

// An abort request stops every writer before anything is replaced.
TEST_F(Safety, AnAbortRequestStopsEverySave)
{
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        Put(dir / "f.i", "old\n");
        Put(dir / "f.q", "old\n");
        EscFlg = 1;
        errno = 0;
        EXPECT_EQ(w.save(Named(data, w, dir / "f.i", dir / "f.q")), -1);
        EXPECT_EQ(errno, EINTR);
        EXPECT_EQ(EscFlg, 0);
        EXPECT_EQ(FileText(dir / "f.i"), "old\n");
        EXPECT_EQ(FileText(dir / "f.q"), "old\n");
        EXPECT_EQ(Entries(), 2u);
    }
}

// Failures carry their cause in errno; a replaced file keeps its mode and,
// where the caller may set it, its owner.
TEST_F(Safety, SaveFailuresSayWhyAndReplacedFilesKeepModeAndOwner)
{
    Rec hollow;
    hollow.Len = 5;
    fs::create_directories(dir / "sub");
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        errno = 0;
        EXPECT_EQ(w.save(Named(hollow, w, dir / "h.i", dir / "h.q")), -1);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(w.save(Named(data, w, dir / "sub", dir / "sub")), -1);
        EXPECT_EQ(errno, EISDIR);
        EXPECT_EQ(w.save(Named(data, w, dir / "none" / "x.i", dir / "none" / "x.q")), -1);
        EXPECT_EQ(errno, ENOENT);
    }
    EXPECT_EQ(Entries(), 1u);

    TestUser u = UnprivilegedUser();
    Put(dir / "own.kal", "old");
    ASSERT_EQ(chmod((dir / "own.kal").c_str(), 0640), 0);
    if (geteuid() == 0 && u.ok) {
        ASSERT_EQ(chown((dir / "own.kal").c_str(), u.uid, u.gid), 0);
    }
    ASSERT_EQ(SaveKAL(Named(data, {22, SaveKAL, 1}, dir / "own.kal")), 0);
    struct stat st;
    ASSERT_EQ(stat((dir / "own.kal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (geteuid() == 0 && u.ok) {
        EXPECT_EQ(st.st_uid, u.uid);
    }
}

// ---------------------------------------------------------------- readers

// Each reader with a valid file of its format, and whether it goes through
// its file once (and so may read a pipe).
struct Reader {
    const char *name;
    int (*load)(IqRec *);
    int files;
    bool once;
    int typ; // the format index of the writer that makes its files, or -1
};

const Reader kReaders[] = {
    {"ibn", LoadIbn, 1, true, 0},           {"kal", LoadKAL, 1, true, 22},
    {"wav", LoadWav, 1, true, 16},          {"spw-bin", LoadBin, 1, true, 13},
    {"spw-ascii", LoadAscSg, 2, true, 11},  {"spw-ascii-mix", LoadAscMx, 1, true, 12},
    {"lecroy", LoadLeCroy, 2, true, -1},    {"awg", LoadAWG, 2, true, -1},
    {"esg", LoadEsg8Sgl, 2, true, -1},      {"dab", LoadDAB, 1, true, 19},
    {"cossap-mix", LoadCsapMix, 1, true, 10}, {"mcad", LoadMCadSgl, 2, true, 5},
    {"ddsp", LoadDDspSgl, 2, false, 7},     {"ddsp-mix", LoadDDspMix, 1, false, 8},
    {"asc-nolf", LoadAscMixNoLF, 1, false, 2}, {"cossap", LoadCsapSgl, 2, false, 9},
    {"mlab-bin", LoadMLabSgl, 2, false, 3}, {"mlab-bin-mix", LoadMLabMix, 1, false, 4},
};

void PutBE(std::string &b, size_t at, uint64_t v, int n)
{
    for (int k = 0; k < n; ++k)
        b[at + size_t(k)] = char(v >> (8 * (n - 1 - k)));
}

// A file of the read-only formats with kSamples points.
std::string ReadOnlyFile(const char *name)
{
    std::string f;
    if (std::strcmp(name, "lecroy") == 0) {
        f.assign(11 + 346, '\0');
        PutBE(f, 47, 346, 4);
        PutBE(f, 71, 2 * kSamples, 4);
        PutBE(f, 127, kSamples, 4);
    } else if (std::strcmp(name, "awg") == 0) {
        f.assign(102, '\0');
        PutBE(f, 30, kSamples, 4);
        double a = 1.0;
        uint64_t bits;
        std::memcpy(&bits, &a, 8);
        PutBE(f, 68, bits, 8);
    }
    for (int k = 0; k < kSamples; ++k) {
        f += char(k * 3);
        f += char(k >> 3);
    }
    return f;
}

class Readers : public Safety {
protected:
    // Valid files of r's format at i (and q).
    void Make(const Reader &r, const fs::path &i, const fs::path &q)
    {
        if (r.typ < 0) {
            Put(i, ReadOnlyFile(r.name));
            Put(q, ReadOnlyFile(r.name));
            return;
        }
        const IqFormat *f = IqFormatAt(r.typ);
        ASSERT_EQ(f->save(Named(data, {r.typ, f->save, f->files}, i, q)), 0);
    }
    int Load(const Reader &r, const std::string &i, const std::string &q, Rec &out)
    {
        std::snprintf(out.INam, sizeof out.INam, "%s", i.c_str());
        std::snprintf(out.QNam, sizeof out.QNam, "%s", q.c_str());
        return r.load(&out);
    }
};

// A folder is no input for any reader: -1 (or the second file's status), no
// arrays, and errno says why.
TEST_F(Readers, AFolderIsNoInput)
{
    fs::create_directories(dir / "sub");
    for (const Reader &r : kReaders) {
        SCOPED_TRACE(r.name);
        Make(r, dir / "a.i", dir / "a.q");
        Rec first;
        errno = 0;
        EXPECT_EQ(Load(r, dir / "sub", dir / "a.q", first), IQ_ERR_OPEN1);
        EXPECT_EQ(errno, EISDIR);
        EXPECT_TRUE(first.empty());
        if (r.files == 2) {
            Rec second;
            // LeCroy has always reported either file as the first.
            EXPECT_EQ(Load(r, dir / "a.i", dir / "sub", second), r.load == LoadLeCroy ? IQ_ERR_OPEN1 : IQ_ERR_OPEN2);
            EXPECT_TRUE(second.empty());
        }
    }
}

// A pipe carrying text into path's reader: a thread writes it all, then
// closes its end.
class Feed {
public:
    explicit Feed(std::string text)
    {
        if (pipe(fds_) != 0)
            fds_[0] = fds_[1] = -1;
        t_ = std::thread([this, text = std::move(text)] {
            for (size_t at = 0; at < text.size();) {
                ssize_t n = write(fds_[1], text.data() + at, text.size() - at);
                if (n <= 0)
                    break;
                at += size_t(n);
            }
            close(fds_[1]);
        });
    }
    ~Feed()
    {
        close(fds_[0]); // a reader that refused the pipe leaves the writer to EPIPE
        t_.join();
    }
    std::string path() const { return "/dev/fd/" + std::to_string(fds_[0]); }

private:
    int fds_[2];
    std::thread t_;
};

// A reader that goes through its file once reads a pipe as it reads the
// file; one that reads its file twice or seeks in it refuses the pipe with
// -1 (-2 for the second file), ESPIPE and no arrays: it never loads zeros.
TEST_F(Readers, PipesLoadWhereTheReaderGoesThroughOnce)
{
    std::signal(SIGPIPE, SIG_IGN);
    for (const Reader &r : kReaders) {
        SCOPED_TRACE(r.name);
        fs::path i = dir / "a.i", q = dir / "a.q";
        Make(r, i, q);
        Rec want;
        ASSERT_EQ(Load(r, i, q, want), 0);
        for (int which = 0; which < r.files; ++which) {
            Rec got;
            errno = 0;
            int st;
            {
                Feed feed(FileText(which == 0 ? i : q));
                st = Load(r, which == 0 ? feed.path() : i.string(), which == 1 ? feed.path() : q.string(), got);
            }
            if (r.once) {
                ASSERT_EQ(st, 0) << which;
                EXPECT_TRUE(SameSamples(got, want)) << which;
            } else {
                EXPECT_EQ(st, which == 0 ? IQ_ERR_OPEN1 : IQ_ERR_OPEN2);
                EXPECT_EQ(errno, ESPIPE);
                EXPECT_TRUE(got.empty());
            }
        }
    }
}

// Loads rec in a child process in which every read of the nth file the
// loader opens (0 the first, 1 the second) that asks for more than minCount
// bytes fails with EIO, as a failing disk fails it.  Returns the status,
// with 100 added when the record kept arrays; 1000 when the system allows no
// such filter.
int LoadWithFailingReads(int (*load)(IqRec *), IqRec rec, int nth, unsigned minCount)
{
#if defined(__x86_64__)
    pid_t pid = fork();
    if (pid == 0) {
        int a = open("/dev/null", O_RDONLY), b = open("/dev/null", O_RDONLY);
        close(a);
        close(b);
        const unsigned fd = unsigned(nth == 0 ? a : b); // the loader's files get the lowest free numbers
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_read, 0, 5),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, fd, 0, 3),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
            BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, minCount, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog prog{static_cast<unsigned short>(std::size(filter)), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
            _exit(200);
        int st = load(&rec);
        _exit(-st + (rec.I || rec.Q ? 100 : 0));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return 2000;
    int code = WEXITSTATUS(status);
    return code == 200 ? 1000 : code >= 100 ? -(code - 100) + 100 : -code;
#else
    (void)load, (void)rec, (void)nth, (void)minCount;
    return 1000;
#endif
}

// A read that fails is an error of the file it failed on, for every reader,
// at the first read or, for the binary formats, in the middle of the samples
// (after a header that read well): never a short or zeroed record.
TEST_F(Readers, AReadThatFailsIsAnErrorOfItsFile)
{
    for (const Reader &r : kReaders) {
        SCOPED_TRACE(r.name);
        fs::path i = dir / "a.i", q = dir / "a.q";
        Make(r, i, q);
        Rec rec;
        std::snprintf(rec.INam, sizeof rec.INam, "%s", i.c_str());
        std::snprintf(rec.QNam, sizeof rec.QNam, "%s", q.c_str());
        for (int nth = 0; nth < r.files; ++nth) {
            int st = LoadWithFailingReads(r.load, rec, nth, 0);
            if (st == 1000)
                GTEST_SKIP() << "a seccomp filter cannot be installed here";
            EXPECT_EQ(st, nth == 0 ? IQ_ERR_OPEN1 : IQ_ERR_OPEN2) << "file " << nth << " (100 added: arrays kept)";
        }
        static const std::set<std::string> kBinary = {"ibn", "kal", "wav", "spw-bin"};
        if (kBinary.count(r.name)) {
            EXPECT_EQ(LoadWithFailingReads(r.load, rec, 0, 4096), IQ_ERR_OPEN1) << "in the samples";
        }
    }
}

} // namespace
