#include "platform/qt/qt_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pelmora::qt {

std::string defaultLockPath() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/') {
        return std::string(runtimeDir) + "/pelmora.lock";
    }
    return "/tmp/pelmora-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock::InstanceLock(const std::string& path) {
    if (path.empty()) {
        return;
    }
    // No symbolic links and only a file of our own: another user cannot plant the lock.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        problem_ = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        problem_ = path + " is not a file of this user";
        return;
    }
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno == EWOULDBLOCK) {
            heldElsewhere_ = true;
        } else {
            problem_ = "cannot lock " + path + ": " + std::strerror(errno);
        }
        return;
    }
    fd_ = std::move(fd);
}

}  // namespace pelmora::qt
