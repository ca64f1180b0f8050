// The single-instance lock against what may stand in its way: junk at the lock path, folders
// open to others, and places planted by another user. One copy holds it; the next sees it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <string>

#include "platform/linux/linux_instance.h"

namespace pelmora::linux_os {
namespace {

std::string makeDir(const std::string& path, mode_t mode) {
    ::mkdir(path.c_str(), mode);
    ::chmod(path.c_str(), mode);
    return path;
}

void writeFile(const std::string& path, mode_t mode) {
    std::ofstream(path) << "x";
    ::chmod(path.c_str(), mode);
}

TEST(InstanceLock, WhateverStandsAtThePathInAPrivateFolderGivesWayToTheLock) {
    const struct {
        const char* what;
        std::function<void(const std::string& lock, const std::string& elsewhere)> plant;
    } cases[] = {
        {"a link to another file",
         [](const std::string& lock, const std::string& elsewhere) {
             writeFile(elsewhere, 0600);
             ASSERT_EQ(::symlink(elsewhere.c_str(), lock.c_str()), 0);
         }},
        {"a dangling link",
         [](const std::string& lock, const std::string& elsewhere) {
             ::symlink(elsewhere.c_str(), lock.c_str());
         }},
        {"a directory", [](const std::string& lock, const std::string&) { makeDir(lock, 0700); }},
        {"a pipe",
         [](const std::string& lock, const std::string&) { ::mkfifo(lock.c_str(), 0600); }},
        {"a file someone else owns",
         [](const std::string& lock, const std::string&) {
             writeFile(lock, 0644);
             if (::geteuid() == 0) {
                 ASSERT_EQ(::chown(lock.c_str(), 65534, 65534), 0);
             }
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir scratch;
        const std::string dir = makeDir(scratch.filePath("own").toStdString(), 0700);
        const std::string lock = dir + "/pelmora.lock";
        const std::string elsewhere = scratch.filePath("elsewhere").toStdString();
        c.plant(lock, elsewhere);

        const InstanceLock first(lock);
        EXPECT_TRUE(first.held()) << first.problem();
        EXPECT_TRUE(first.problem().empty());
        const InstanceLock second(lock);
        EXPECT_TRUE(second.heldElsewhere());
        EXPECT_FALSE(second.held());
        struct stat info {};
        ASSERT_EQ(::lstat(lock.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_uid, ::geteuid());
        // A link's target is never written through.
        std::ifstream target(elsewhere);
        std::string content;
        target >> content;
        EXPECT_TRUE(content.empty() || content == "x");
    }
}

TEST(InstanceLock, InAFolderOthersCanChangeJunkIsRefusedNotCleared) {
    QTemporaryDir scratch;
    const std::string dir = makeDir(scratch.filePath("shared").toStdString(), 0777);
    const std::string lock = dir + "/pelmora.lock";
    makeDir(lock, 0700);
    const InstanceLock refused(lock);
    EXPECT_FALSE(refused.held());
    EXPECT_FALSE(refused.heldElsewhere());
    EXPECT_NE(refused.problem().find("folder others can change"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::lstat(lock.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST(LockPlace, TheFirstFolderOfThisUsersAloneHoldsTheLock) {
    const std::string uid = std::to_string(::geteuid());
    const struct {
        const char* what;
        std::function<void(const std::string& root)> prepare;
        bool runtime;          // XDG_RUNTIME_DIR is given
        const char* expected;  // under root; empty: no safe place
    } cases[] = {
        {"a private runtime folder", [](const std::string& root) { makeDir(root + "/run", 0700); },
         true, "/run/pelmora.lock"},
        {"a runtime folder open to others",
         [](const std::string& root) {
             makeDir(root + "/run", 0755);
             makeDir(root + "/tmp", 01777);
         },
         true, "/tmp/pelmora-UID/pelmora.lock"},
        {"no runtime folder", [](const std::string& root) { makeDir(root + "/tmp", 01777); }, false,
         "/tmp/pelmora-UID/pelmora.lock"},
        {"a planted link in /tmp",
         [](const std::string& root) {
             makeDir(root + "/tmp", 01777);
             makeDir(root + "/theirs", 0777);
             ::symlink((root + "/theirs").c_str(),
                       (root + "/tmp/pelmora-" + std::to_string(::geteuid())).c_str());
             makeDir(root + "/cache", 0700);
         },
         false, "/cache/pelmora/box.lock"},
        {"a planted folder open to others",
         [](const std::string& root) {
             makeDir(root + "/tmp", 01777);
             makeDir(root + "/tmp/pelmora-" + std::to_string(::geteuid()), 0777);
         },
         false, "/cache/pelmora/box.lock"},
        {"nowhere safe",
         [](const std::string& root) {
             makeDir(root + "/tmp", 01777);
             makeDir(root + "/tmp/pelmora-" + std::to_string(::geteuid()), 0777);
             makeDir(root + "/cache", 0777);
             makeDir(root + "/cache/pelmora", 0777);
         },
         false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir scratch;
        const std::string root = scratch.path().toStdString();
        c.prepare(root);
        LockPlaces places;
        places.runtimeDir = c.runtime ? root + "/run" : std::string();
        places.tmpDir = root + "/tmp";
        places.cacheDir = root + "/cache";
        places.host = "box";
        std::string problem;
        const std::string path = chooseLockPath(places, problem);
        std::string expected = c.expected;
        if (const auto at = expected.find("UID"); at != std::string::npos) {
            expected.replace(at, 3, uid);
        }
        if (expected.empty()) {
            EXPECT_EQ(path, "");
            EXPECT_NE(problem.find("would not be noticed"), std::string::npos) << problem;
            continue;
        }
        EXPECT_EQ(path, root + expected);
        EXPECT_TRUE(problem.empty()) << problem;
        EXPECT_TRUE(privateDirectory(path.substr(0, path.rfind('/'))));
    }
}

}  // namespace
}  // namespace pelmora::linux_os
