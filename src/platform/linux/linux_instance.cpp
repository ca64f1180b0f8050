#include "platform/linux/linux_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pelmora::linux_os {

namespace {

// An absolute path from the environment, else empty.
std::string absolutePath(const char* value) {
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// Makes dir 0700 when missing; true when it then is this user's alone.
bool makePrivateDirectory(const std::string& dir) {
    if (dir.empty()) {
        return false;
    }
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    return privateDirectory(dir);
}

// Clears what stands at path in place of a lock file; the directory is this user's alone.
void clearEntry(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno == EISDIR) {
        ::rmdir(path.c_str());
    }
}

}  // namespace

LockPlaces lockPlacesFromEnvironment() {
    LockPlaces places;
    places.runtimeDir = absolutePath(std::getenv("XDG_RUNTIME_DIR"));
    places.cacheDir = absolutePath(std::getenv("XDG_CACHE_HOME"));
    if (places.cacheDir.empty()) {
        const std::string home = absolutePath(std::getenv("HOME"));
        places.cacheDir = home.empty() ? std::string() : home + "/.cache";
    }
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) == 0) {
        places.host = host.data();
    }
    return places;
}

bool privateDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

std::string chooseLockPath(const LockPlaces& places, std::string& problem) {
    if (!places.runtimeDir.empty() && privateDirectory(places.runtimeDir)) {
        return places.runtimeDir + "/pelmora.lock";
    }
    const std::string tmp = places.tmpDir + "/pelmora-" + std::to_string(::geteuid());
    if (makePrivateDirectory(tmp)) {
        return tmp + "/pelmora.lock";
    }
    if (!places.cacheDir.empty()) {
        ::mkdir(places.cacheDir.c_str(), 0700);
        const std::string cache = places.cacheDir + "/pelmora";
        if (makePrivateDirectory(cache)) {
            const std::string host = places.host.empty() ? "host" : places.host;
            return cache + "/" + host + ".lock";
        }
    }
    problem = "no folder of this user's alone holds the single-instance lock (" + tmp +
              " belongs to someone else or is open to others, and XDG_RUNTIME_DIR is not set "
              "to a private folder); another copy of Pelmora would not be noticed";
    return {};
}

UniqueFd InstanceLock::openLockFile(const std::string& path) {
    const bool ownDirectory = privateDirectory(parentOf(path));
    for (int attempt = 0; attempt < 2; ++attempt) {
        // No links, and a pipe must not block the start.
        UniqueFd fd(
            ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
        struct stat info {};
        const bool usable = fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
                            info.st_uid == ::geteuid();
        if (usable) {
            return fd;
        }
        if (!ownDirectory) {
            problem_ = path + " is not a lock file of this user, in a folder others can change";
            return {};
        }
        // Only this user can have put it there: it is stale, not an attack.
        clearEntry(path);
    }
    problem_ = "cannot make the lock file " + path + ": " + std::strerror(errno);
    return {};
}

InstanceLock::InstanceLock(const std::string& path) {
    if (path.empty()) {
        return;
    }
    UniqueFd fd = openLockFile(path);
    if (!fd) {
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

}  // namespace pelmora::linux_os
