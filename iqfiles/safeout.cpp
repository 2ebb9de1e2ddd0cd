// SafeOut: a save never destroys the file it replaces.  The new contents go
// to a temporary file beside the destination (same directory, so the final
// rename stays on one file system and is atomic) and replace it only once
// every byte is written and on disk.
#include "iqinternal.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The permission bits a file created with open(…, 0666) would get: the
// temporary file is created 0600, and a saved file should look like any other.
static mode_t CreateMode()
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

SafeOut::SafeOut(const char *path)
{
    if (!path || !*path) {
        failed_ = true;
        return;
    }
    dst_ = path;
    // Saving through a symbolic link replaces the file it points to, not the link.
    struct stat lst;
    if (::lstat(path, &lst) == 0 && S_ISLNK(lst.st_mode))
        if (char *real = ::realpath(path, nullptr)) {
            dst_ = real;
            std::free(real);
        }
    std::string dir = ".";
    std::string base = dst_;
    if (size_t slash = dst_.rfind('/'); slash != std::string::npos) {
        dir = slash == 0 ? "/" : dst_.substr(0, slash);
        base = dst_.substr(slash + 1);
    }
    tmp_ = dir + "/." + base + ".XXXXXX";
    int fd = mkstemp(tmp_.data());
    if (fd < 0) {
        tmp_.clear();
        failed_ = true;
        return;
    }
    struct stat st;
    fchmod(fd, ::stat(dst_.c_str(), &st) == 0 ? (st.st_mode & 07777) : CreateMode());
    fp_ = fdopen(fd, "wb");
    if (!fp_) {
        ::close(fd);
        ::unlink(tmp_.c_str());
        tmp_.clear();
        failed_ = true;
        return;
    }
    setvbuf(fp_, nullptr, _IOFBF, 1 << 16);
}

SafeOut::~SafeOut()
{
    if (fp_)
        std::fclose(fp_);
    if (!tmp_.empty())
        ::unlink(tmp_.c_str());
}

bool SafeOut::write(const void *data, size_t n)
{
    if (!ok())
        return false;
    if (n > 0 && std::fwrite(data, 1, n, fp_) != n)
        failed_ = true;
    return ok();
}

bool SafeOut::puts(const char *text)
{
    return write(text, std::strlen(text));
}

bool SafeOut::printf(const char *fmt, ...)
{
    if (!ok())
        return false;
    va_list ap;
    va_start(ap, fmt);
    if (std::vfprintf(fp_, fmt, ap) < 0)
        failed_ = true;
    va_end(ap);
    return ok();
}

int SafeOut::commit()
{
    if (!fp_)
        return -1;
    bool good = !failed_ && std::fflush(fp_) == 0 && fsync(fileno(fp_)) == 0;
    good = std::fclose(fp_) == 0 && good;
    fp_ = nullptr;
    if (!good || std::rename(tmp_.c_str(), dst_.c_str()) != 0) {
        failed_ = true;
        return -1; // the destructor removes the temporary file
    }
    tmp_.clear();
    return 0;
}
