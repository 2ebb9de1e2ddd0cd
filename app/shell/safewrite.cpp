#include "shell/safewrite.h"

#include <cerrno>
#include <unistd.h>

int WriteFileSafely(const std::string &path, const std::function<bool(std::FILE *)> &fill)
{
    const std::string tmp = path + ".tmp" + std::to_string(getpid());
    std::FILE *fp = std::fopen(tmp.c_str(), "w");
    if (!fp)
        return errno;
    errno = 0;
    bool ok = fill(fp);
    int err = ok ? 0 : (errno != 0 ? errno : ECANCELED);
    auto step = [&](bool done) {
        if (ok && !done) {
            ok = false;
            err = errno;
        }
    };
    step(std::fflush(fp) == 0);
    step(fsync(fileno(fp)) == 0);
    step(std::fclose(fp) == 0);
    step(!ok || std::rename(tmp.c_str(), path.c_str()) == 0);
    if (!ok)
        std::remove(tmp.c_str());
    return ok ? 0 : err;
}
