// The opener every template file road takes, with the private-file gate as its check: a
// folder of the path swapped for a link to a private folder, before or while the file is
// opened, another name of a private file, the kernel's own files and the runtime root.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "platform/checked_file.h"
#include "platform/file_ops.h"
#include "platform/runtime_private_files.h"
#include "platform/win32_error.h"
#include "tests/common/file_text.h"
#include "tests/common/folder_swapper.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

namespace fs = std::filesystem;

using tessaro::test::ReadFileText;
using tessaro::test::WriteFileText;

// Makes a socket file at path; false when the system cannot.
bool MakeSocketFile(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool made = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return made;
}

struct stat EntryStat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Every file below folder with its bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadFileText(entry.path().string());
    return files;
}

class CheckedFileTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (HasFatalFailure()) return;
        windows = home() + "/windows";
        work = home() + "/web/work";
        fs::create_directories(windows);
        fs::create_directories(work + "/sub");
        fs::create_directories(home() + "/tmp");
        WriteFileText(windows + "/KSML.INI", "private-bytes");
        WriteFileText(windows + "/secret.ini", "private-bytes");
        WriteFileText(work + "/sub/KSML.INI", "decoy");
        WriteFileText(work + "/src.txt", "source");
        WriteFileText(home() + "/tmp/own.tmp", "uploaded");
    }

    // What each road does with the file work/sub/<name>, answering its error number.
    std::vector<std::pair<std::string, std::function<long(int)>>> Roads() {
        const std::string sub = work + "/sub";
        const OpenedObjectCheck& gate = NotPrivateCheck();
        return {
            {"read",
             [=, this](int) {
                 std::string bytes;
                 long err = ReadCheckedFile(sub + "/KSML.INI", 1000, gate, &bytes);
                 EXPECT_EQ(bytes.find("private"), std::string::npos);
                 return err;
             }},
            {"write", [=, this](int) { return WriteTextFile(sub + "/KSML.INI", "evil", false, gate); }},
            {"append new",
             [=, this](int n) { return WriteTextFile(sub + "/new" + std::to_string(n), "evil", true, gate); }},
            {"copy over", [=, this](int) { return CopyFileReplacing(work + "/src.txt", sub + "/KSML.INI", gate); }},
            {"copy new", [=, this](int) { return CopyFileReplacing(work + "/src.txt", sub + "/copied.txt", gate); }},
            {"move over",
             [=, this](int n) {
                 const std::string from = work + "/m" + std::to_string(n);
                 WriteFileText(from, "moved");
                 return MoveFileReplacing(from, sub + "/KSML.INI", gate);
             }},
            {"move out",
             [=, this](int) {
                 return MoveFileReplacing(sub + "/secret.ini", work + "/taken" + std::string(".ini"), gate);
             }},
            {"delete", [=, this](int) { return DeleteCheckedFile(sub + "/KSML.INI", gate); }},
            {"save",
             [=, this](int) {
                 CheckedFolder folder;
                 long err = OpenCheckedFolder(sub, gate, &folder);
                 return err != ERROR_SUCCESS
                            ? err
                            : SaveCopyInFolder(home() + "/tmp/own.tmp", folder, "KSML.INI", true, gate);
             }},
            {"temp file",
             [=, this](int) {
                 std::string path;
                 return CreateUniqueFileIn(sub, "tmp", gate, &path);
             }},
        };
    }

    std::string windows, work;
};

TEST_F(CheckedFileTest, AFolderThatIsALinkToAPrivateFolderIsRefusedOnEveryRoad) {
    fs::remove_all(work + "/sub");
    fs::create_directory_symlink(windows, work + "/sub");
    const auto before = Contents(windows);
    int n = 0;
    for (const auto& [name, road] : Roads()) EXPECT_EQ(road(n++), ERROR_ACCESS_DENIED) << name;
    EXPECT_EQ(Contents(windows), before);
}

TEST_F(CheckedFileTest, AFolderSwappedForALinkWhileTheRoadRunsNeverReachesThePrivateFolder) {
    const auto before = Contents(windows);
    // The real folder by descriptor, whatever name it has at the moment.
    const int real = ::open((work + "/sub").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(real, 0);
    auto decoy = [real](const char* name) {
        int fd = ::openat(real, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "decoy", 5), 5);
        ::close(fd);
    };
    int n = 0;
    for (const auto& [name, road] : Roads()) {
        {
            tessaro::test::FolderSwapper swapper(work + "/sub", windows);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
            while (std::chrono::steady_clock::now() < end) {
                // Between tries the real folder gets its files back.
                decoy("KSML.INI");
                decoy("secret.ini");
                road(n++);
            }
            EXPECT_GT(swapper.Swaps(), 0) << name;
        }
        EXPECT_EQ(Contents(windows), before) << name;
        // With the folder left alone the road does its work.
        decoy("KSML.INI");
        decoy("secret.ini");
        EXPECT_EQ(road(n++), ERROR_SUCCESS) << name;
    }
    ::close(real);
    EXPECT_EQ(ReadFileText(work + "/taken.ini"), "decoy");
}

// A private file outside the private folders (the ODBC files): its folder may be used, but the
// file itself is never replaced, written or made.
TEST_F(CheckedFileTest, APrivateFileInAnOrdinaryFolderIsNeverReplacedOrMade) {
    const std::string cfg = home() + "/cfg";
    fs::create_directories(cfg);
    WriteFileText(cfg + "/odbc.ini", "[private]");
    const char* saved = std::getenv("ODBCINI");
    const std::string old = saved ? saved : "";
    ::setenv("ODBCINI", (cfg + "/odbc.ini").c_str(), 1);
    // Reached through a folder of the path that leads there.
    fs::remove_all(work + "/sub");
    fs::create_directory_symlink(cfg, work + "/sub");
    const OpenedObjectCheck& gate = NotPrivateCheck();
    WriteFileText(work + "/m.txt", "moved");
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(work + "/sub", gate, &folder), ERROR_SUCCESS);
    EXPECT_EQ(CopyFileReplacing(work + "/src.txt", work + "/sub/odbc.ini", gate), ERROR_ACCESS_DENIED);
    EXPECT_EQ(MoveFileReplacing(work + "/m.txt", work + "/sub/odbc.ini", gate), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SaveCopyInFolder(home() + "/tmp/own.tmp", folder, "odbc.ini", true, gate), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteTextFile(work + "/sub/odbc.ini", "evil", false, gate), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadFileText(cfg + "/odbc.ini"), "[private]");
    EXPECT_EQ(ReadFileText(work + "/m.txt"), "moved");
    // One that does not exist yet is not made either; another name beside it is.
    fs::remove(cfg + "/odbc.ini");
    EXPECT_EQ(CopyFileReplacing(work + "/src.txt", work + "/sub/odbc.ini", gate), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteTextFile(work + "/sub/odbc.ini", "evil", true, gate), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(fs::exists(cfg + "/odbc.ini"));
    EXPECT_EQ(CopyFileReplacing(work + "/src.txt", work + "/sub/other.ini", gate), ERROR_SUCCESS);
    if (saved)
        ::setenv("ODBCINI", old.c_str(), 1);
    else
        ::unsetenv("ODBCINI");
}

TEST_F(CheckedFileTest, AnotherNameOfAPrivateFileIsPrivateButTwoOrdinaryNamesAreNot) {
    const std::string hard = work + "/hard.ini";
    ASSERT_EQ(::link((windows + "/secret.ini").c_str(), hard.c_str()), 0);
    std::string bytes;
    EXPECT_EQ(ReadCheckedFile(hard, 1000, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteTextFile(hard, "evil", true, NotPrivateCheck()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CopyFileReplacing(hard, work + "/copy.ini", NotPrivateCheck()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(MoveFileReplacing(hard, work + "/moved.ini", NotPrivateCheck()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(DeleteCheckedFile(hard, NotPrivateCheck()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadFileText(windows + "/secret.ini"), "private-bytes");
    EXPECT_TRUE(fs::exists(hard));
    EXPECT_FALSE(fs::exists(work + "/copy.ini") || fs::exists(work + "/moved.ini"));
    // A store file of the root the same way.
    WriteFileText(home() + "/registry.db", "store");
    ASSERT_EQ(::link((home() + "/registry.db").c_str(), (work + "/store.tsm").c_str()), 0);
    EXPECT_EQ(ReadCheckedFile(work + "/store.tsm", 1000, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED);

    ASSERT_EQ(::link((work + "/src.txt").c_str(), (work + "/sub/same.txt").c_str()), 0);
    EXPECT_EQ(ReadCheckedFile(work + "/sub/same.txt", 1000, NotPrivateCheck(), &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, "source");
}

TEST_F(CheckedFileTest, TheKernelsFilesAndTheRuntimeRootItselfArePrivate) {
    std::string bytes;
    for (const char* file : {"/proc/self/environ", "/proc/self/cmdline", "/proc/self/status"})
        EXPECT_EQ(ReadCheckedFile(file, 1 << 20, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED) << file;
    EXPECT_TRUE(IsPrivatePath("/proc/self/environ"));
    EXPECT_TRUE(IsPrivatePath("/sys/kernel"));
    // In the root nothing is made, read or written; its folders are judged for themselves.
    std::string path;
    EXPECT_EQ(CreateUniqueFileIn(home(), "x", NotPrivateCheck(), &path), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateUniqueFileIn(home() + "/", "x", NotPrivateCheck(), &path), ERROR_ACCESS_DENIED);
    EXPECT_EQ(WriteTextFile(home() + "/note.txt", "x", false, NotPrivateCheck()), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(fs::exists(home() + "/note.txt"));
    WriteFileText(home() + "/plain.txt", "root file");
    EXPECT_EQ(ReadCheckedFile(home() + "/plain.txt", 100, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(IsPrivatePath(home()));
    EXPECT_TRUE(IsPrivatePath(home() + "/plain.txt"));
    EXPECT_TRUE(IsPrivatePath(home() + "/later.txt"));
    EXPECT_FALSE(IsPrivatePath(home() + "/web"));
    EXPECT_FALSE(IsPrivatePath(fs::path(home()).parent_path().string()));
    fs::create_directories(home() + "/tmp/templates");
    EXPECT_EQ(CreateUniqueFileIn(home() + "/tmp/templates", "x", NotPrivateCheck(), &path), ERROR_SUCCESS);
    EXPECT_EQ(CreateUniqueFileIn(home() + "/tmp", "x", NotPrivateCheck(), &path), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateUniqueFileIn(work, "x", NotPrivateCheck(), &path), ERROR_SUCCESS);
    EXPECT_EQ(path.rfind(work + "/x", 0), 0u) << path;
}

TEST_F(CheckedFileTest, TheCheckSeesWhatWasOpened) {
    ASSERT_EQ(::link((work + "/src.txt").c_str(), (work + "/second.txt").c_str()), 0);
    std::vector<OpenedObject> seen;
    const OpenedObjectCheck record = [&](const OpenedObject& object) {
        seen.push_back(object);
        return true;
    };
    CheckedFile file;
    ASSERT_EQ(OpenCheckedFile(work + "/src.txt", FileAccess::Read, record, &file), ERROR_SUCCESS);
    ASSERT_EQ(seen.size(), 2u);  // the folder, then the file
    FileIdentity folder, root;
    ASSERT_TRUE(PathIdentity(work, &folder));
    ASSERT_TRUE(PathIdentity("/", &root));
    EXPECT_TRUE(seen[0].isDirectory);
    EXPECT_EQ(seen[0].realPath, fs::canonical(work).string());
    EXPECT_TRUE(seen[1].isRegular);
    EXPECT_EQ(seen[1].links, 2u);
    EXPECT_FALSE(seen[1].onKernelFileSystem);
    EXPECT_EQ(seen[1].identity, file.Identity());
    ASSERT_FALSE(seen[1].folders.empty());
    EXPECT_EQ(seen[1].folders.front(), folder);
    EXPECT_EQ(seen[1].folders.back(), root);
    // The folder lies in what holds it: its own list starts one higher.
    ASSERT_FALSE(seen[0].folders.empty());
    EXPECT_EQ(seen[0].folders.size() + 1, seen[1].folders.size());
    std::string bytes;
    EXPECT_EQ(file.ReadAll(100, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, "source");
    EXPECT_EQ(file.Size(), 6u);
    // The name goes only while it is still this file.
    WriteFileText(work + "/other.txt", "other");
    ASSERT_EQ(::rename((work + "/other.txt").c_str(), (work + "/src.txt").c_str()), 0);
    EXPECT_EQ(file.RemoveName(), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(work + "/src.txt"), "other");
}

TEST_F(CheckedFileTest, MovesKeepTheFileAndFailWithoutChangingAnything) {
    WriteFileText(work + "/a.txt", "a");
    struct stat before {};
    ASSERT_EQ(::stat((work + "/a.txt").c_str(), &before), 0);
    ASSERT_EQ(MoveFileReplacing(work + "/a.txt", work + "/sub/b.txt", NotPrivateCheck()), ERROR_SUCCESS);
    struct stat after {};
    ASSERT_EQ(::stat((work + "/sub/b.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 1u);
    EXPECT_FALSE(fs::exists(work + "/a.txt"));
    // Onto itself nothing happens.
    EXPECT_EQ(MoveFileReplacing(work + "/sub/b.txt", work + "/sub/b.txt", NotPrivateCheck()), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(work + "/sub/b.txt"), "a");
    // From a folder whose names cannot change: refused, and both places as they were.
    if (::geteuid() != 0) {
        WriteFileText(work + "/sub/c.txt", "c");
        fs::permissions(work + "/sub", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(MoveFileReplacing(work + "/sub/c.txt", work + "/c.txt", NotPrivateCheck()), ERROR_ACCESS_DENIED);
        fs::permissions(work + "/sub", fs::perms::owner_all);
        EXPECT_EQ(ReadFileText(work + "/sub/c.txt"), "c");
        EXPECT_FALSE(fs::exists(work + "/c.txt"));
    }
    for (const auto& entry : fs::directory_iterator(work + "/sub"))
        EXPECT_NE(entry.path().filename().string().rfind(".BTS", 0), 0u) << entry.path();
}

TEST_F(CheckedFileTest, SavedCopiesTakeAFreeNameReplaceOrChooseOne) {
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(work + "/sub", NotPrivateCheck(), &folder), ERROR_SUCCESS);
    const std::string own = home() + "/tmp/own.tmp";
    EXPECT_EQ(SaveCopyInFolder(own, folder, "KSML.INI", false, NotPrivateCheck()), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadFileText(work + "/sub/KSML.INI"), "decoy");
    EXPECT_EQ(SaveCopyInFolder(own, folder, "KSML.INI", true, NotPrivateCheck()), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(work + "/sub/KSML.INI"), "uploaded");
    EXPECT_EQ(SaveCopyInFolder(own, folder, "fresh.gif", false, NotPrivateCheck()), ERROR_SUCCESS);
    std::string name;
    ASSERT_EQ(SaveCopyUnderUniqueName(own, folder, "BTS", "gif", &name), ERROR_SUCCESS);
    EXPECT_EQ(name.size(), 15u) << name;
    EXPECT_EQ(name.rfind("BTS", 0), 0u);
    EXPECT_EQ(ReadFileText(work + "/sub/" + name), "uploaded");
    FileStatus status;
    ASSERT_EQ(GetEntryStatus(folder, name, &status), ERROR_SUCCESS);
    EXPECT_EQ(status.size, 8u);
    struct stat st {};
    ASSERT_EQ(::stat((work + "/sub/fresh.gif").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, kTemplateFileMode);
    for (const std::string& bad : {std::string(".."), std::string("a/b"), std::string()})
        EXPECT_EQ(SaveCopyInFolder(own, folder, bad, true, NotPrivateCheck()), ERROR_ACCESS_DENIED) << bad;
    // Nothing is left beside the names.
    for (const auto& entry : fs::directory_iterator(work + "/sub"))
        EXPECT_NE(entry.path().filename().string().rfind(".BTS", 0), 0u) << entry.path();
}

// Where a copy, a move or a saved upload would replace a device, a FIFO, a socket, a link or
// a folder, nothing changes, with or without a check; the road names why.
TEST_F(CheckedFileTest, OnlyARegularFileIsEverReplaced) {
    const std::string at = work + "/sub/";
    ASSERT_EQ(::mkfifo((at + "fifo").c_str(), 0600), 0);
    ASSERT_TRUE(MakeSocketFile(at + "sock"));
    fs::create_symlink(work + "/src.txt", at + "link");
    fs::create_directories(at + "folder");
    std::vector<std::string> names = {"fifo", "sock", "link", "folder"};
    if (::geteuid() == 0) {
        ASSERT_EQ(::mknod((at + "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0) << std::strerror(errno);
        names.push_back("null");
    }
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(work + "/sub", NotPrivateCheck(), &folder), ERROR_SUCCESS);
    for (const OpenedObjectCheck& check : {OpenedObjectCheck(), NotPrivateCheck()}) {
        for (const std::string& name : names) {
            const struct stat before = EntryStat(at + name);
            WriteFileText(work + "/m.txt", "moved");
            EXPECT_EQ(CopyFileReplacing(work + "/src.txt", at + name, check), ERROR_BAD_FILE_TYPE) << name;
            EXPECT_EQ(MoveFileReplacing(work + "/m.txt", at + name, check), ERROR_BAD_FILE_TYPE) << name;
            EXPECT_EQ(SaveCopyInFolder(home() + "/tmp/own.tmp", folder, name, true, check), ERROR_BAD_FILE_TYPE)
                << name;
            const struct stat after = EntryStat(at + name);
            EXPECT_EQ(after.st_ino, before.st_ino) << name;
            EXPECT_EQ(after.st_mode, before.st_mode) << name;
            EXPECT_EQ(after.st_rdev, before.st_rdev) << name;
            EXPECT_EQ(ReadFileText(work + "/m.txt"), "moved") << name;
        }
    }
    EXPECT_EQ(ReadFileText(work + "/src.txt"), "source");
    for (const auto& entry : fs::directory_iterator(work + "/sub"))
        EXPECT_NE(entry.path().filename().string().rfind(".BTS", 0), 0u) << entry.path();
    // A regular file is replaced as before.
    EXPECT_EQ(CopyFileReplacing(work + "/src.txt", at + "KSML.INI", {}), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(at + "KSML.INI"), "source");
}

// What is replaced is judged as the rename finds it: a FIFO put under the name after the name
// was judged (here by the check itself, the moment it was asked) stays, and so does the file
// that was to replace it.
TEST_F(CheckedFileTest, AnObjectSwappedInAfterTheJudgementIsNotReplaced) {
    const std::string target = work + "/sub/target.txt", fifo = work + "/ready.fifo";
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(work + "/sub", NotPrivateCheck(), &folder), ERROR_SUCCESS);
    const std::map<std::string, std::function<long(const OpenedObjectCheck&)>> roads = {
        {"copy", [&](const OpenedObjectCheck& check) { return CopyFileReplacing(work + "/src.txt", target, check); }},
        {"move", [&](const OpenedObjectCheck& check) { return MoveFileReplacing(work + "/m.txt", target, check); }},
        {"save",
         [&](const OpenedObjectCheck& check) {
             return SaveCopyInFolder(home() + "/tmp/own.tmp", folder, "target.txt", true, check);
         }},
    };
    const std::string real = fs::canonical(work + "/sub").string() + "/target.txt";
    for (const auto& [name, road] : roads) {
        WriteFileText(target, "judged");
        WriteFileText(work + "/m.txt", "moved");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const struct stat made = EntryStat(fifo);
        // Every look at the name before the rename sees the file; the swap comes after the last.
        int looks = 0, swapAt = 0;
        const OpenedObjectCheck swapping = [&](const OpenedObject& object) {
            if (object.realPath == real && ++looks == swapAt) {
                EXPECT_EQ(::rename(fifo.c_str(), target.c_str()), 0);
            }
            return !IsPrivateObject(object);
        };
        // First count the looks, undoing what the road did; then swap at the last of them.
        ASSERT_EQ(road(swapping), ERROR_SUCCESS) << name;
        swapAt = looks;
        looks = 0;
        WriteFileText(target, "judged");
        WriteFileText(work + "/m.txt", "moved");
        EXPECT_EQ(road(swapping), ERROR_BAD_FILE_TYPE) << name;
        const struct stat after = EntryStat(target);
        EXPECT_TRUE(S_ISFIFO(after.st_mode)) << name;
        EXPECT_EQ(after.st_ino, made.st_ino) << name;
        EXPECT_EQ(ReadFileText(work + "/m.txt"), "moved") << name;
        fs::remove(target);
    }
    for (const auto& entry : fs::directory_iterator(work + "/sub"))
        EXPECT_NE(entry.path().filename().string().rfind(".BTS", 0), 0u) << entry.path();
}

}  // namespace
