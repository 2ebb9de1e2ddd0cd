// Files the program writes itself (its configuration, exported traces) go
// through a temporary file beside the target, renamed over it only once
// everything has reached the disk: a failure never leaves a half-written or
// emptied file where the old one was.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// fill writes the contents and returns false when it could not.  Returns 0,
// or the errno of the failure (ECANCELED when fill gave up without one).
int WriteFileSafely(const std::string &path, const std::function<bool(std::FILE *)> &fill);
