#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_ops.h"
#include "platform/win32_error.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

namespace fs = std::filesystem;

using tessaro::test::ReadFileText;
using tessaro::test::WriteFileText;

std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

class FileOpsTest : public TempHomeTest {};

TEST_F(FileOpsTest, SavingUnderANameNeverTakesAnExistingFile) {
    std::string path = home() + "/taken.txt";
    WriteFileText(path, "keep");
    WriteFileText(home() + "/own.tmp", "saved");
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(home(), {}, &folder), ERROR_SUCCESS);
    // Unreadable to the owner too: an existence test by opening would miss it.
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EQ(SaveCopyInFolder(home() + "/own.tmp", folder, "taken.txt", false, {}), ERROR_FILE_EXISTS);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadFileText(path), "keep");

    ASSERT_EQ(SaveCopyInFolder(home() + "\\own.tmp", folder, "fresh.txt", false, {}), ERROR_SUCCESS);
    struct stat st {};
    ASSERT_EQ(::stat((home() + "/fresh.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, kTemplateFileMode);
    EXPECT_EQ(ReadFileText(home() + "/fresh.txt"), "saved");
    CheckedFolder absent;
    EXPECT_EQ(OpenCheckedFolder(home() + "/absent", {}, &absent), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileOpsTest, UniqueNamesCarryPrefixRandomDigitsAndExtension) {
    WriteFileText(home() + "/own.tmp", "saved");
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(home(), {}, &folder), ERROR_SUCCESS);
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string name;
        ASSERT_EQ(SaveCopyUnderUniqueName(home() + "/own.tmp", folder, "BTS", "gif", &name), ERROR_SUCCESS);
        EXPECT_TRUE(std::regex_match(name, std::regex("BTS[0-9A-F]{8}\\.gif"))) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
    std::string bare;
    ASSERT_EQ(SaveCopyUnderUniqueName(home() + "/own.tmp", folder, "BTS", "", &bare), ERROR_SUCCESS);
    EXPECT_TRUE(std::regex_match(bare, std::regex("BTS[0-9A-F]{8}"))) << bare;
}

TEST_F(FileOpsTest, CopyAndMoveReplaceWholeAndLeaveNothingBeside) {
    const std::string dir = home() + "/work";
    fs::create_directories(dir);
    std::string from = dir + "/from.txt", to = dir + "/to.txt";
    WriteFileText(from, "new contents");
    WriteFileText(to, "old contents that are longer");
    ASSERT_EQ(CopyFileReplacing(from, to), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(to), "new contents");
    EXPECT_EQ(ReadFileText(from), "new contents");
    EXPECT_EQ(CopyFileReplacing(dir + "/none.txt", to), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadFileText(to), "new contents");

    std::string moved = dir + "/moved.txt";
    ASSERT_EQ(MoveFileReplacing(from, moved), ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(ReadFileText(moved), "new contents");
    EXPECT_EQ(Names(dir), (std::set<std::string>{"moved.txt", "to.txt"}));

    EXPECT_EQ(DeleteCheckedFile(moved, {}), ERROR_SUCCESS);
    EXPECT_EQ(DeleteCheckedFile(moved, {}), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DeleteCheckedFile(dir, {}), ERROR_ACCESS_DENIED);
}

TEST_F(FileOpsTest, MoveAcrossFileSystemsCopiesAndRemovesTheSource) {
    // /dev/shm is usually another file system than the temporary home.
    std::string from = "/dev/shm/tessaro_file_ops_" + std::to_string(::getpid()) + ".txt";
    WriteFileText(from, "travelling");
    std::string to = home() + "/arrived.txt";
    WriteFileText(to, "old");
    ASSERT_EQ(MoveFileReplacing(from, to), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(to), "travelling");
    EXPECT_FALSE(fs::exists(from));
}

TEST_F(FileOpsTest, TextIsWrittenTruncatedOrAppendedAndReadWhole) {
    std::string path = home() + "/log.txt";
    ASSERT_EQ(WriteTextFile(path, "a much longer first line\n", false), ERROR_SUCCESS);
    ASSERT_EQ(WriteTextFile(path, "one\n", false), ERROR_SUCCESS);
    ASSERT_EQ(WriteTextFile(path, "two\n", true), ERROR_SUCCESS);
    std::string text;
    ASSERT_EQ(ReadWholeFile(path, &text), ERROR_SUCCESS);
    EXPECT_EQ(text, "one\ntwo\n");
    EXPECT_EQ(ReadWholeFile(home() + "/none", &text), ERROR_FILE_NOT_FOUND);

    FileStatus status;
    CheckedFolder folder;
    ASSERT_EQ(OpenCheckedFolder(home(), {}, &folder), ERROR_SUCCESS);
    ASSERT_EQ(GetEntryStatus(folder, "log.txt", &status), ERROR_SUCCESS);
    EXPECT_EQ(status.size, 8u);
    EXPECT_FALSE(status.isDirectory);
    EXPECT_GT(status.modified, 0);
    EXPECT_GT(status.created, 0);
    std::filesystem::create_directories(home() + "/folder");
    ASSERT_EQ(GetEntryStatus(folder, "folder", &status), ERROR_SUCCESS);
    EXPECT_TRUE(status.isDirectory);
    EXPECT_EQ(GetEntryStatus(folder, "none", &status), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileOpsTest, CheckedOperationsRefuseLinksSpecialFilesAndWhatTheCheckRefuses) {
    const std::string dir = home();
    const std::string plain = dir + "/plain.txt", secret = dir + "/secret.txt", link = dir + "/link.txt";
    const std::string fifo = dir + "/fifo";
    std::ofstream(plain) << "plain";
    std::ofstream(secret) << "secret";
    fs::create_symlink(secret, link);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The check sees the real path of what was opened.
    std::set<std::string> seen;
    const OpenedObjectCheck noSecret = [&](const OpenedObject& opened) {
        seen.insert(opened.realPath);
        return opened.realPath.find("secret") == std::string::npos;
    };
    std::string bytes;
    EXPECT_EQ(ReadCheckedFile(plain, 100, noSecret, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, "plain");
    EXPECT_TRUE(seen.count(fs::canonical(plain).string()));
    for (const std::string& path : {link, secret, fifo, std::string("/dev/zero"), dir}) {
        EXPECT_EQ(ReadCheckedFile(path, 100, noSecret, &bytes), ERROR_ACCESS_DENIED) << path;
        EXPECT_TRUE(bytes.empty());
        EXPECT_EQ(WriteTextFile(path, "x", true, noSecret), ERROR_ACCESS_DENIED) << path;
        EXPECT_EQ(CopyFileReplacing(path, dir + "/copy.txt", noSecret), ERROR_ACCESS_DENIED) << path;
        EXPECT_EQ(MoveFileReplacing(path, dir + "/moved.txt", noSecret), ERROR_ACCESS_DENIED) << path;
    }
    EXPECT_EQ(ReadFileText(secret), "secret");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(fs::exists(dir + "/copy.txt"));
    EXPECT_FALSE(fs::exists(dir + "/moved.txt"));
    // Past the limit nothing is kept.
    EXPECT_EQ(ReadCheckedFile(plain, 4, noSecret, &bytes), ERROR_FILE_TOO_LARGE);
    EXPECT_TRUE(bytes.empty());
    // A file made for the write but refused by the check does not stay behind.
    const OpenedObjectCheck none = [](const OpenedObject&) { return false; };
    EXPECT_EQ(WriteTextFile(dir + "/new.txt", "x", false, none), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(fs::exists(dir + "/new.txt"));
    EXPECT_EQ(WriteTextFile(dir + "/new.txt", "x", false, noSecret), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(dir + "/new.txt"), "x");
}

}  // namespace
