// Files the program writes itself (its configuration, exported traces and
// pictures) go through a temporary file beside the target, renamed over it
// only once everything has reached the disk: a failure never leaves a
// half-written or emptied file where the old one was.  A file the user may
// not write is refused as opening it for writing would be refused, even
// where the folder would let a new file take its place; a replaced file
// keeps its permissions.  No Qt here: the program uses it as well.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// fill writes the contents and returns false when it could not.  Returns 0,
// or the errno of the failure (ECANCELED when fill gave up without one).
int WriteFileSafely(const std::string &path, const std::function<bool(std::FILE *)> &fill);
