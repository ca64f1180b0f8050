// The single-instance lock: an exclusive lock on a file for as long as the process lives.
// The kernel releases it however the process ends.
#pragma once

#include <string>

#include "platform/qt/qt_fd.h"

namespace pelmora::qt {

// The lock file of this user: in $XDG_RUNTIME_DIR, else /tmp/pelmora-<uid>.lock.
std::string defaultLockPath();

class InstanceLock {
  public:
    // Tries to take the lock at once. An empty path takes no lock.
    explicit InstanceLock(const std::string& path);

    // True when another process holds the lock.
    bool heldElsewhere() const noexcept { return heldElsewhere_; }
    bool held() const noexcept { return static_cast<bool>(fd_); }
    // Why the lock could not be taken or checked; empty when it was.
    const std::string& problem() const noexcept { return problem_; }

  private:
    UniqueFd fd_;
    bool heldElsewhere_ = false;
    std::string problem_;
};

}  // namespace pelmora::qt
