// SafeOut: the one save policy of every writer (see iqinternal.h).  A save
// never destroys the file it replaces: the new contents go to a temporary
// file beside the destination (same folder, so the final rename stays on one
// file system and is atomic) and replace it only once every byte is on disk.
// What cannot be replaced by a rename (a pipe, a device, the caller's
// standard output, a file in a folder that takes no new one) is written in
// place, and what the caller may not write is refused as open() would
// refuse it.
#include "iqinternal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------------------
// The files a save would leave behind if the process ended at once
// ---------------------------------------------------------------------------
//
// Kept where a signal handler can reach them without locks or allocation: a
// fixed table of names, each guarded by a sequence number that is odd while
// the name changes, so the handler never acts on half a name.

namespace {

constexpr int kSlots = 16; // saves in progress at once (two files each)

struct Slot {
    std::atomic<bool> used{false};
    std::atomic<unsigned> seq{0};
    std::atomic<char> name[PATH_MAX];
};
Slot g_slots[kSlots];
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<char>::is_always_lock_free,
              "the signal handler reads the table without locks");

// name is shorter than PATH_MAX (Remember keeps longer ones out): a name cut
// short would make the handler remove some other file.
void SetName(Slot &s, const std::string &name)
{
    s.seq.fetch_add(1); // odd: the handler keeps off
    size_t n = name.size();
    for (size_t k = 0; k < n; ++k)
        s.name[k].store(name[k], std::memory_order_relaxed);
    s.name[n].store('\0', std::memory_order_relaxed);
    s.seq.fetch_add(1);
}

// A slot holding name, or -1 when all are taken or the name is too long for
// one (that save's files are then not removed by IqRemoveTemporaries,
// nothing else changes; such a name would not open anyway).
int Remember(const std::string &name)
{
    for (int k = 0; name.size() < size_t(PATH_MAX) && k < kSlots; ++k) {
        bool expected = false;
        if (g_slots[k].used.compare_exchange_strong(expected, true)) {
            SetName(g_slots[k], name);
            return k;
        }
    }
    return -1;
}

void Forget(int &slot)
{
    if (slot < 0)
        return;
    SetName(g_slots[slot], "");
    g_slots[slot].used.store(false);
    slot = -1;
}

} // namespace

extern "C" void IqRemoveTemporaries(void)
{
    for (Slot &s : g_slots) {
        unsigned before = s.seq.load();
        if ((before & 1) != 0 || !s.used.load())
            continue;
        char name[PATH_MAX];
        size_t n = 0;
        while (n < PATH_MAX - 1 && (name[n] = s.name[n].load(std::memory_order_relaxed)) != '\0')
            ++n;
        name[n] = '\0';
        if (n > 0 && s.seq.load() == before)
            ::unlink(name);
    }
}

// ---------------------------------------------------------------------------
// Where the bytes go
// ---------------------------------------------------------------------------

namespace {

// The permission bits a file created with open(…, 0666) would get: the
// temporary file is created 0600, and a saved file should look like any other.
mode_t CreateMode()
{
    static const mode_t mode = [] {
        mode_t mask = 022;
        if (FILE *st = std::fopen("/proc/self/status", "r")) {
            char line[256];
            unsigned m;
            while (std::fgets(line, sizeof line, st))
                if (std::sscanf(line, "Umask: %o", &m) == 1)
                    mask = mode_t(m);
            std::fclose(st);
        }
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

// Creates a new file stem + six random characters, its name recorded in the
// slot before the file exists, so that a signal at any moment finds it
// there.  Returns its descriptor (name set), or -1 with errno set.
int CreateTemporary(const std::string &stem, int slot, std::string &name)
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}() ^ (unsigned long long)::getpid()};
    for (int tries = 0; tries < 100; ++tries) {
        std::string candidate = stem;
        for (unsigned long long x = random(), k = 0; k < 6; ++k, x /= 62)
            candidate += kChars[x % 62];
        if (slot >= 0)
            SetName(g_slots[slot], candidate);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool IsLink(const char *path)
{
    struct stat st;
    return ::lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

std::string FolderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Opens the destination for writing the way any program would, so that the
// kernel resolves its links and applies its checks (modes, access lists,
// read-only mounts, protected_symlinks, nosymfollow).  A link to nothing
// yet gets its target created; created is then true.
int OpenForWriting(const char *path, bool &created)
{
    created = false;
    int fd = ::open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno != ENOENT || !IsLink(path))
        return fd;
    fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    created = fd >= 0;
    if (fd < 0 && errno == EEXIST)
        errno = ENOENT;
    return fd;
}

// The descriptor a chain of links ends in (a link to /dev/stdout), or -1.
// The system cannot open a socket behind such a name again (ENXIO); the
// chain is read only to find the descriptor's name, never to pick a file.
int DescriptorBehindLinks(const char *path)
{
    std::string at = path;
    for (int hops = 0; hops < 8 && IsLink(at.c_str()); ++hops) {
        char target[PATH_MAX];
        ssize_t n = ::readlink(at.c_str(), target, sizeof target - 1);
        if (n <= 0)
            return -1;
        target[n] = '\0';
        at = target[0] == '/' ? std::string(target) : FolderOf(at) + "/" + target;
        if (int fd = DescriptorOf(at.c_str()); fd >= 0)
            return fd;
    }
    return -1;
}

// The name of the regular file fd (opened through path) by which a
// temporary file can be put beside it and renamed over it: path itself when
// its last part is no link, else the name the kernel resolved it to.  Empty,
// with errno set, when that name no longer leads to the same file.
std::string ResolvedName(const char *path, int fd, const struct stat &st)
{
    std::string name = path;
    if (IsLink(path)) {
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        name.assign(PATH_MAX, '\0');
        ssize_t n = ::readlink(proc.c_str(), name.data(), name.size());
        if (n <= 0 || n >= PATH_MAX) {
            errno = n < 0 ? errno : ENAMETOOLONG;
            return {};
        }
        name.resize(size_t(n));
    }
    struct stat now;
    if (::stat(name.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        errno = EAGAIN; // moved or replaced meanwhile
        return {};
    }
    return name;
}

// Whether a rename may put a new file in place of this one: in a folder with
// the sticky bit (/tmp) only the file's owner, the folder's owner or a
// privileged user may replace a file.  A folder that takes no new file at
// all is found when the temporary file is made.
bool MayReplace(const std::string &dst, const struct stat &st)
{
    struct stat dir;
    if (::stat(FolderOf(dst).c_str(), &dir) != 0)
        return true;
    uid_t me = ::geteuid();
    return (dir.st_mode & S_ISVTX) == 0 || st.st_uid == me || dir.st_uid == me || me == 0;
}

} // namespace

int DescriptorOf(const char *path)
{
    if (std::strcmp(path, "/dev/stdin") == 0)
        return STDIN_FILENO;
    if (std::strcmp(path, "/dev/stdout") == 0)
        return STDOUT_FILENO;
    if (std::strcmp(path, "/dev/stderr") == 0)
        return STDERR_FILENO;
    for (const char *prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        size_t len = std::strlen(prefix), size = std::strlen(path);
        if (std::strncmp(path, prefix, len) != 0 || size == len || size > len + 9)
            continue;
        int fd = 0;
        for (size_t k = len; k < size; ++k) {
            if (path[k] < '0' || path[k] > '9')
                return -1;
            fd = fd * 10 + (path[k] - '0');
        }
        return fd;
    }
    return -1;
}

constexpr size_t kBuffer = size_t(1) << 16;
// Bytes between two runs of the event hook, and the most one write() takes,
// so that even one large block lets the window live: about 25000 samples.
constexpr size_t kEventBytes = size_t(1) << 18;

SafeOut::SafeOut(const char *path, long long size) : size_(size)
{
    if (!path || !*path) {
        fail(ENOENT);
        return;
    }
    if (AbortRequested()) {
        fail(EINTR);
        return;
    }
    if (int fd = DescriptorOf(path); fd >= 0) {
        openDescriptor(fd);
        return;
    }
    openDestination(path);
}

void SafeOut::openDescriptor(int fd)
{
    mode_ = Mode::Stream;
    if ((fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
        fail(errno);
}

void SafeOut::openDestination(const char *path)
{
    bool created = false;
    int fd = OpenForWriting(path, created);
    if (fd < 0) {
        const int err = errno;
        int own = err == ENXIO ? DescriptorBehindLinks(path) : -1;
        if (own >= 0) {
            openDescriptor(own);
        } else if (err == ENOENT && !IsLink(path)) {
            dst_ = path;
            openReplace(dst_, nullptr); // a new name: its folder tells whether it may be made
        } else {
            fail(err);
        }
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        fail(errno);
        ::close(fd);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        mode_ = Mode::Stream;
        fd_ = fd;
        return;
    }
    dst_ = ResolvedName(path, fd, st);
    if (dst_.empty()) {
        fail(errno);
        ::close(fd);
        return;
    }
    if (created) {
        created_ = dst_;
        createdIno_ = st.st_ino;
        createdSlot_ = Remember(created_);
    }
    if (MayReplace(dst_, st)) {
        openReplace(dst_, &st);
        if (ok() || (err_ != EACCES && err_ != EPERM && err_ != EROFS)) {
            ::close(fd);
            return;
        }
        err_ = 0; // the folder takes no new file, but the file itself may be written
    }
    openInPlace(fd, st.st_size);
}

SafeOut::~SafeOut()
{
    if (fd_ >= 0) {
        // A regular file written in place keeps only what was written, not a
        // tail of its old contents behind it; one not begun gives back the
        // space reserved beyond its end.
        if (mode_ == Mode::InPlace)
            (void)!::ftruncate(fd_, written_ > 0 ? written_ : oldSize_);
        ::close(fd_);
    }
    if (!tmp_.empty())
        ::unlink(tmp_.c_str());
    Forget(tmpSlot_);
    if (!created_.empty()) {
        // The link's target this save created, unless another file took
        // its name meanwhile.
        struct stat st;
        if (::stat(created_.c_str(), &st) == 0 && st.st_ino == createdIno_)
            ::unlink(created_.c_str());
    }
    Forget(createdSlot_);
}

bool SafeOut::fail(int err)
{
    if (err_ == 0)
        err_ = err != 0 ? err : EIO;
    return false;
}

// An abort request ends a save until the save decides to go through (a file
// written in place, or the second of two renames, must not stop half-way).
bool SafeOut::stopped() const
{
    return AbortRequested() && !ahead_ && !(mode_ == Mode::InPlace && written_ > 0);
}

void SafeOut::openReplace(const std::string &dst, const struct stat *old)
{
    mode_ = Mode::Replace;
    size_t slash = dst.rfind('/');
    std::string dir = FolderOf(dst), base = slash == std::string::npos ? dst : dst.substr(slash + 1);
    // ".<name>.XXXXXX", the name cut so that the whole stays a valid file name.
    tmpSlot_ = Remember(dir + "/." + base.substr(0, NAME_MAX - 8) + ".XXXXXX");
    int fd = CreateTemporary(dir + "/." + base.substr(0, NAME_MAX - 8) + ".", tmpSlot_, tmp_);
    if (fd < 0) {
        Forget(tmpSlot_);
        fail(errno);
        return;
    }
    if (old && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()))
        (void)!::fchown(fd, old->st_uid, old->st_gid); // where allowed, the owner stays too
    ::fchmod(fd, old ? (old->st_mode & 07777) : CreateMode());
    fd_ = fd;
}

void SafeOut::openInPlace(int fd, long long oldSize)
{
    mode_ = Mode::InPlace;
    fd_ = fd;
    oldSize_ = oldSize;
    // Space beyond the current end is reserved without changing the file, so
    // a disk too full for the new contents leaves the old ones alone.  What
    // cannot be reserved is not risked.
    if (size_ < 0)
        fail(EOPNOTSUPP);
    else if (size_ > 0 && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size_) != 0)
        fail(errno == ENOSYS ? EOPNOTSUPP : errno);
}

// Every byte, in as many writes as it takes, the event hook running between
// them.  A signal that interrupts a write (also one into a pipe that nobody
// reads) ends it when it raised the abort flag.
bool SafeOut::writeAll(const char *p, size_t n)
{
    while (n > 0) {
        if (written_ >= nextEvent_) {
            nextEvent_ = written_ + (long long)kEventBytes;
            EscPressed(0);
        }
        if (stopped())
            return fail(EINTR);
        size_t piece = std::min(n, kEventBytes);
        // Beyond the space reserved for it a file written in place could
        // meet a full disk: a writer whose bound is wrong stops here.
        if (mode_ == Mode::InPlace && written_ + (long long)piece > size_)
            return fail(EFBIG);
        ssize_t done = ::write(fd_, p, piece);
        // A pipe that nobody reads blocks until a signal comes: one that
        // asks for an abort ends the save even where it should go through,
        // rather than leave the caller waiting for ever.
        if (done < 0 && errno == EINTR && !(mode_ == Mode::Stream && AbortRequested()))
            continue;
        if (done <= 0)
            return fail(done < 0 ? errno : EIO);
        p += done;
        n -= size_t(done);
        written_ += done;
    }
    return true;
}

bool SafeOut::drain()
{
    bool good = writeAll(buf_.data(), buf_.size());
    buf_.clear();
    return good;
}

bool SafeOut::write(const void *data, size_t n)
{
    if (!ok())
        return false;
    if (stopped())
        return fail(EINTR);
    const char *p = static_cast<const char *>(data);
    if (buf_.capacity() < kBuffer)
        buf_.reserve(kBuffer);
    if (buf_.size() + n <= kBuffer) {
        buf_.append(p, n);
        return true;
    }
    // Large blocks go straight to the file; small ones gather in the buffer.
    if (!drain())
        return false;
    if (n >= kBuffer)
        return writeAll(p, n);
    buf_.append(p, n);
    return true;
}

bool SafeOut::finish()
{
    if (fd_ < 0)
        return fail(EIO);
    if (ok() && stopped())
        fail(EINTR);
    bool good = ok() && drain();
    if (good && mode_ == Mode::InPlace && ::ftruncate(fd_, written_) != 0)
        good = fail(errno);
    // A pipe or a terminal cannot be synced, and need not be.
    if (good && ::fsync(fd_) != 0 && !(mode_ == Mode::Stream && (errno == EINVAL || errno == EROFS)))
        good = fail(errno);
    if (::close(fd_) != 0 && good)
        good = fail(errno);
    fd_ = -1;
    return good;
}

bool SafeOut::replace()
{
    if (err_ != 0 || fd_ >= 0)
        return false;
    if (mode_ != Mode::Replace)
        return true;
    if (stopped())
        return fail(EINTR);
    // The created target is about to become the saved file: no longer one
    // to remove.
    Forget(createdSlot_);
    if (std::rename(tmp_.c_str(), dst_.c_str()) != 0)
        return fail(errno); // the destructor removes the temporary file
    created_.clear();
    tmp_.clear();
    Forget(tmpSlot_);
    return true;
}

namespace {
// Per thread: a save on one thread never writes the frequency that another
// thread set for its own save.
thread_local double t_saveFrequency = 0;
} // namespace

void IqSetSaveFrequency(double hz)
{
    t_saveFrequency = std::isfinite(hz) && hz > 0 ? hz : 0;
}

double SaveFrequency()
{
    return t_saveFrequency;
}

// ---------------------------------------------------------------------------
// One save of one or two files
// ---------------------------------------------------------------------------

namespace {

// Writes and finishes the jobs whose files go through a temporary file (or
// those that do not): two on two threads, the first of them on this one,
// which alone runs the event hook.
bool RunStage(SaveJob *jobs, int n, bool direct)
{
    SaveJob *stage[2];
    int count = 0;
    for (int k = 0; k < n; ++k)
        if (jobs[k].out->direct() == direct)
            stage[count++] = &jobs[k];
    auto run = [](SaveJob *j) { return j->write(*j->out) && j->out->finish(); };
    if (count == 2)
        return BothOf([&] { return run(stage[0]); }, [&] { return run(stage[1]); });
    return count == 0 || run(stage[0]);
}

thread_local int t_failedFile = 0;

} // namespace

int SaveFiles(SaveJob *jobs, int n)
{
    bool good = true;
    for (int k = 0; k < n; ++k)
        good = good && jobs[k].out->ok();
    // First what can still be thrown away.
    good = good && RunStage(jobs, n, false);
    // The last moment at which an abort leaves every destination as it was.
    if (good && AbortRequested())
        good = jobs[0].out->fail(EINTR);
    // From here a pair goes through: once one file is new, an old second
    // one beside it would be a pair that does not belong together.
    for (int k = 0; good && n > 1 && k < n; ++k)
        jobs[k].out->goAhead();
    for (int k = 0; good && k < n; ++k)
        good = jobs[k].out->direct() || jobs[k].out->replace();
    // Last what cannot be taken back: a file written in place, a pipe.
    good = good && RunStage(jobs, n, true);
    int failed = 0;
    while (failed < n && jobs[failed].out->error() == 0)
        ++failed;
    int st = EndSave(good ? 0 : -1, failed < n ? jobs[failed].out->error() : EIO);
    t_failedFile = good ? 0 : failed < n ? failed + 1 : 1;
    return st;
}

extern "C" int IqSaveFailedFile(void)
{
    return t_failedFile;
}

int EndSave(int status, int err)
{
    __atomic_store_n(&EscFlg, 0, __ATOMIC_RELAXED);
    t_saveFrequency = 0;
    t_failedFile = status != 0 ? 1 : 0; // SaveFiles names the second file itself
    if (status != 0)
        errno = err != 0 ? err : EIO;
    return status;
}
