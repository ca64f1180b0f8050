// The single-instance lock: an exclusive lock on a file for as long as the process lives,
// in a directory that no other local user can write, so that nobody else can hold or
// defeat it. The kernel releases it however the process ends.
#pragma once

#include <string>

#include "platform/linux/linux_fd.h"

namespace pelmora::linux_os {

// The directories the lock may live in, first choice first.
struct LockPlaces {
    std::string runtimeDir;  // $XDG_RUNTIME_DIR
    std::string tmpDir = "/tmp";
    std::string cacheDir;  // $XDG_CACHE_HOME, else ~/.cache
    std::string host;      // a home may be shared between machines
};

LockPlaces lockPlacesFromEnvironment();

// The lock file in the first directory that is this user's alone: $XDG_RUNTIME_DIR, else
// <tmp>/pelmora-<uid> (made 0700 if missing), else <cache>/pelmora (made if missing). Empty
// when none is safe; *problem then says why, in words a user can act on.
std::string chooseLockPath(const LockPlaces& places, std::string& problem);

// True when path is a directory (not a link) of this user that nobody else can write.
bool privateDirectory(const std::string& path);

class InstanceLock {
  public:
    // Tries to take the lock at once. An empty path takes no lock. Whatever stands at the
    // path in place of a lock file (a link, a directory, a pipe, someone else's file) is
    // cleared first when the directory is this user's alone, and refused otherwise.
    explicit InstanceLock(const std::string& path);

    // True when another process holds the lock.
    bool heldElsewhere() const noexcept { return heldElsewhere_; }
    bool held() const noexcept { return static_cast<bool>(fd_); }
    // Why the lock could not be taken or checked; empty when it was.
    const std::string& problem() const noexcept { return problem_; }

  private:
    // Opens the lock file as a regular file of this user, or says why not.
    UniqueFd openLockFile(const std::string& path);

    UniqueFd fd_;
    bool heldElsewhere_ = false;
    std::string problem_;
};

}  // namespace pelmora::linux_os
