#include "safewrite.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link is written through: the file it names is replaced, the link stays.
std::string Target(const std::string &path)
{
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

// A fresh file beside dst.  Created with the mode any new file gets (0666
// less the umask); O_EXCL makes sure it is nobody else's.  -1 with errno.
int CreateBeside(const std::string &dst, std::string &tmp)
{
    static std::atomic<unsigned> serial{0};
    const size_t slash = dst.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : dst.substr(0, slash + 1);
    const std::string base = dst.substr(dir.size()).substr(0, NAME_MAX - 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = dir + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".tmp";
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// What the system says about writing the existing file dst (a folder gives
// EISDIR): 0 or an errno.  Pipes and devices are written as they are, so only
// they keep fd open.
int ProbeExisting(const std::string &dst, const struct stat &st, int &fd)
{
    fd = ::open(dst.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return 0;
    ::close(fd);
    fd = -1;
    return 0;
}

// fill, then everything onto the disk and the stream closed.  0 or an errno.
int Fill(std::FILE *fp, const std::function<bool(std::FILE *)> &fill, bool sync)
{
    errno = 0;
    int err = fill(fp) ? 0 : (errno != 0 ? errno : ECANCELED);
    if (err == 0 && std::fflush(fp) != 0)
        err = errno;
    if (err == 0 && sync && ::fsync(::fileno(fp)) != 0)
        err = errno;
    if (std::fclose(fp) != 0 && err == 0)
        err = errno;
    return err;
}

int WriteInPlace(int fd, const std::function<bool(std::FILE *)> &fill)
{
    std::FILE *fp = ::fdopen(fd, "w");
    if (!fp) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    return Fill(fp, fill, false);
}

} // namespace

int WriteFileSafely(const std::string &path, const std::function<bool(std::FILE *)> &fill)
{
    const std::string dst = Target(path);
    struct stat old;
    const bool exists = ::stat(dst.c_str(), &old) == 0;
    if (exists) {
        int fd = -1;
        if (const int err = ProbeExisting(dst, old, fd))
            return err;
        if (fd >= 0)
            return WriteInPlace(fd, fill);
    }
    std::string tmp;
    const int fd = CreateBeside(dst, tmp);
    if (fd < 0)
        return errno;
    if (exists) {
        // The new file looks like the one it replaces (owner only where allowed).
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd, old.st_uid, old.st_gid);
        (void)!::fchmod(fd, old.st_mode & 07777);
    }
    std::FILE *fp = ::fdopen(fd, "w");
    int err = fp ? Fill(fp, fill, true) : errno;
    if (!fp)
        ::close(fd);
    if (err == 0 && std::rename(tmp.c_str(), dst.c_str()) != 0)
        err = errno;
    if (err != 0)
        std::remove(tmp.c_str());
    return err;
}
