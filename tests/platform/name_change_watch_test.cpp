// The change signal behind the private files kept between questions: any change that could
// make a watched path name something else must be reported, however deep in the path or its
// links it is; changes to other names in the same folders must not be.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/name_change_watch.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

namespace fs = std::filesystem;
using tessaro::test::WriteFileText;

// d/a/b/file.ini, reached as d/rel/file.ini through d/rel -> link/b (a relative link to a link)
// and d/link -> a; d/a/b/missing/deeper.ini does not exist yet.
std::string MakeTree(const std::string& d) {
    fs::create_directories(d + "/a/b");
    fs::create_directories(d + "/other");
    WriteFileText(d + "/a/b/file.ini", "one");
    fs::create_directory_symlink("a", d + "/link");
    fs::create_directory_symlink("link/b", d + "/rel");
    return d;
}

std::vector<std::string> Watched(const std::string& d) {
    return {d + "/rel/file.ini", d + "/a/b/missing/deeper.ini"};
}

class NameChangeWatchTest : public TempFolderTest {};

struct Change {
    const char* what;
    std::function<void(const std::string&)> make;
    bool reported;
};

TEST_F(NameChangeWatchTest, EveryChangeOfWhatAWatchedPathNamesIsReportedAndNoOther) {
    const Change changes[] = {
        {"the file replaced by a rename",
         [](const std::string& d) {
             WriteFileText(d + "/a/b/new.ini", "two");
             fs::rename(d + "/a/b/new.ini", d + "/a/b/file.ini");
         },
         true},
        {"the file removed", [](const std::string& d) { fs::remove(d + "/a/b/file.ini"); }, true},
        {"the file's mode changed",
         [](const std::string& d) { fs::permissions(d + "/a/b/file.ini", fs::perms::owner_read); }, true},
        {"a folder on the way renamed", [](const std::string& d) { fs::rename(d + "/a", d + "/a2"); }, true},
        {"the first link pointed elsewhere",
         [](const std::string& d) {
             fs::remove(d + "/rel");
             fs::create_directory_symlink("other", d + "/rel");
         },
         true},
        {"the link the first one leads to pointed elsewhere",
         [](const std::string& d) {
             fs::remove(d + "/link");
             fs::create_directory_symlink("other", d + "/link");
         },
         true},
        {"a missing folder on the way made", [](const std::string& d) { fs::create_directory(d + "/a/b/missing"); },
         true},
        {"another file made beside the file", [](const std::string& d) { WriteFileText(d + "/a/b/x.ini", "x"); },
         false},
        {"another folder renamed beside the way",
         [](const std::string& d) { fs::rename(d + "/other", d + "/other2"); }, false},
        {"the file written in place", [](const std::string& d) { WriteFileText(d + "/a/b/file.ini", "three"); },
         false},
    };
    int n = 0;
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        const std::string d = MakeTree(dir_ + "/" + std::to_string(++n));
        NameChangeWatch watch;
        ASSERT_TRUE(watch.Watch(Watched(d)));
        EXPECT_TRUE(watch.Unchanged());
        change.make(d);
        EXPECT_EQ(watch.Unchanged(), !change.reported);
        // A report makes the watch forget everything: it says nothing until watched again.
        if (change.reported) {
            EXPECT_TRUE(watch.Unchanged());
        }
    }
}

TEST_F(NameChangeWatchTest, WhatCannotBeWatchedSoundlyIsSaidSo) {
    NameChangeWatch watch;
    EXPECT_FALSE(watch.Watch({"relative/file.ini"}));
    // A chain of links longer than the system follows.
    fs::create_symlink("loop2", dir_ + "/loop1");
    fs::create_symlink("loop1", dir_ + "/loop2");
    EXPECT_FALSE(watch.Watch({dir_ + "/loop1/file.ini"}));
    EXPECT_TRUE(watch.Watch({MakeTree(dir_ + "/tree") + "/a/b/file.ini"}));
}

// A forked child starts afresh: what it does to the watch leaves the parent's reports alone.
TEST_F(NameChangeWatchTest, AForkedChildLeavesTheParentsReportsAlone) {
    const std::string d = MakeTree(dir_ + "/tree");
    NameChangeWatch watch;
    ASSERT_TRUE(watch.Watch(Watched(d)));
    fs::remove(d + "/a/b/file.ini");
    const pid_t child = ::fork();
    if (child == 0) {
        watch.ForgetAfterFork();
        const bool ok = watch.Unchanged() && watch.Watch(Watched(d)) && watch.Unchanged();
        ::_exit(ok ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(watch.Unchanged());
}

// A path through a folder the process may not search (root's home, for an account started
// with HOME still naming it) names nothing it can reach, and that is kept until the folder is
// opened to it, which is reported.
TEST_F(NameChangeWatchTest, APathThroughAFolderClosedToTheProcessIsKeptUntilTheFolderOpens) {
    ::chmod(dir_.c_str(), 0755);
    const std::string closed = dir_ + "/closed";
    fs::create_directory(closed);
    WriteFileText(closed + "/file.ini", "one");
    ::chmod(closed.c_str(), 0);
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Root may search anything: the child becomes an account of no rights.
        if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(2);
        NameChangeWatch watch;
        int code = watch.Watch({closed + "/file.ini"}) && watch.Unchanged() ? 0 : 3;
        char byte = 'w';
        if (::write(toParent[1], &byte, 1) != 1 || ::read(toChild[0], &byte, 1) != 1) ::_exit(4);
        if (code == 0 && watch.Unchanged()) code = 5;  // the folder was opened, unreported
        ::_exit(code);
    }
    ASSERT_GT(child, 0);
    char byte = 0;
    ASSERT_EQ(::read(toParent[0], &byte, 1), 1);
    ::chmod(closed.c_str(), 0755);
    ASSERT_EQ(::write(toChild[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no account to become, 3: not kept, 4: pipe, 5: the opening unreported";
}

}  // namespace
