// A disk that fills up, for tests of what a write does when the space runs
// out: a tmpfs of 256 KiB mounted in a private mount namespace of a child
// process, so that nothing outside the test ever sees it.
#pragma once

#include "common/as_user.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

// Runs fn in a child process with the small disk mounted on mnt (an existing
// folder).  Returns fn's result ("" or what failed), or "skip: why" when no
// such disk can be made here.
inline std::string OnSmallDisk(const std::filesystem::path &mnt, const std::function<std::string()> &fn)
{
    return InChildProcess([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            return std::string("skip: cannot mount a small tmpfs here (") + std::strerror(errno) + ")";
        return fn();
    });
}
