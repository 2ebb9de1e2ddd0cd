// SafeOut: the one save policy of every writer (see iqinternal.h).  A save
// never destroys the file it replaces: the new contents go to a temporary
// file beside the destination (same folder, so the final rename stays on one
// file system and is atomic) and replace it only once every byte is on disk.
// What cannot be replaced by a rename (a pipe, a device, the caller's
// standard output) is written in place, and what the caller may not write is
// refused as open() would refuse it.
#include "iqinternal.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool Aborted()
{
    return __atomic_load_n(&EscFlg, __ATOMIC_RELAXED) != 0;
}

// The descriptor that a path such as /dev/stdout or /dev/fd/3 names, or -1.
// Such a path is written through the descriptor itself, at its position:
// resolving the link would replace the file behind it, and a pipe behind it
// has no name to resolve to.
int DescriptorOf(const std::string &path)
{
    if (path == "/dev/stdout")
        return STDOUT_FILENO;
    if (path == "/dev/stderr")
        return STDERR_FILENO;
    for (const char *prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        size_t len = std::strlen(prefix);
        if (path.compare(0, len, prefix) != 0 || path.size() == len || path.size() > len + 9)
            continue;
        int fd = 0;
        for (size_t k = len; k < path.size(); ++k) {
            if (path[k] < '0' || path[k] > '9')
                return -1;
            fd = fd * 10 + (path[k] - '0');
        }
        return fd;
    }
    return -1;
}

// The path with every symbolic link of its last component followed, also
// one that points to nothing yet (the save then creates its target).
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size())
            return path;
        target.resize(size_t(n));
        size_t slash = path.rfind('/');
        path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return path; // a loop: stat() then reports ELOOP
}

} // namespace

constexpr size_t kBuffer = size_t(1) << 16;

SafeOut::SafeOut(const char *path, long long size) : size_(size)
{
    if (!path || !*path) {
        fail(ENOENT);
        return;
    }
    if (Aborted()) {
        fail(EINTR);
        return;
    }
    if (int fd = DescriptorOf(path); fd >= 0) {
        mode_ = Mode::Stream;
        if ((fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
            fail(errno);
        return;
    }
    dst_ = FollowLinks(path);
    struct stat st;
    if (::stat(dst_.c_str(), &st) != 0) {
        if (errno == ENOENT)
            openReplace(dst_, nullptr);
        else
            fail(errno);
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        fail(EISDIR);
        return;
    }
    // Whether the caller may write the file is asked of the system itself,
    // which knows the modes, access lists and read-only mounts.
    int fd = ::open(dst_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fail(errno);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        mode_ = Mode::Stream;
        fd_ = fd;
        return;
    }
    openReplace(dst_, &st);
    if (ok() || (err_ != EACCES && err_ != EPERM)) {
        ::close(fd);
        return;
    }
    err_ = 0; // the folder takes no new file, but the file itself may be written
    openInPlace(fd);
}

SafeOut::~SafeOut()
{
    if (fd_ >= 0) {
        // A regular file written in place keeps only what was written, not a
        // tail of its old contents behind it.
        if (mode_ == Mode::InPlace && written_ > 0)
            (void)!::ftruncate(fd_, written_);
        ::close(fd_);
    }
    if (!tmp_.empty())
        ::unlink(tmp_.c_str());
}

bool SafeOut::fail(int err)
{
    if (err_ == 0)
        err_ = err != 0 ? err : EIO;
    return false;
}

// An abort request ends a save, except a regular file that is already being
// overwritten in place: stopping half-way would leave neither the old nor
// the new contents, so that one goes on.
bool SafeOut::stopped() const
{
    return Aborted() && !(mode_ == Mode::InPlace && written_ > 0);
}

void SafeOut::openReplace(const std::string &dst, const struct stat *old)
{
    mode_ = Mode::Replace;
    std::string dir = ".", base = dst;
    if (size_t slash = dst.rfind('/'); slash != std::string::npos) {
        dir = slash == 0 ? "/" : dst.substr(0, slash);
        base = dst.substr(slash + 1);
    }
    // ".<name>.XXXXXX", the name cut so that the whole stays a valid file name.
    std::string tmp = dir + "/." + base.substr(0, NAME_MAX - 8) + ".XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        fail(errno);
        return;
    }
    tmp_ = tmp;
    if (old && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()))
        (void)!::fchown(fd, old->st_uid, old->st_gid); // where allowed, the owner stays too
    ::fchmod(fd, old ? (old->st_mode & 07777) : CreateMode());
    fd_ = fd;
}

void SafeOut::openInPlace(int fd)
{
    mode_ = Mode::InPlace;
    // Space beyond the current end is reserved without changing the file, so
    // a disk too full for the new contents leaves the old ones alone.
    if (size_ > 0 && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size_) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        fail(errno);
        ::close(fd);
        return;
    }
    fd_ = fd;
}

// Every byte, in as many writes as it takes.  A signal that interrupts a
// write (also one into a pipe that nobody reads) ends it when it raised
// the abort flag.
bool SafeOut::writeAll(const char *p, size_t n)
{
    while (n > 0) {
        if (stopped())
            return fail(EINTR);
        ssize_t done = ::write(fd_, p, n);
        if (done < 0 && errno == EINTR)
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
    if (Aborted())
        return fail(EINTR);
    if (std::rename(tmp_.c_str(), dst_.c_str()) != 0)
        return fail(errno); // the destructor removes the temporary file
    tmp_.clear();
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

int EndSave(int status, int err)
{
    __atomic_store_n(&EscFlg, 0, __ATOMIC_RELAXED);
    t_saveFrequency = 0;
    if (status != 0)
        errno = err != 0 ? err : EIO;
    return status;
}
