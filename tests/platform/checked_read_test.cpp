// A file read through the checked opener is read as its opening found it: the size and the
// stamp come from that status, a file that grows or shrinks meanwhile gives the bytes it had
// (or still has), and the one read that reaches the size is the last. What a name stands for
// before such an opening (there, no folder, not private) is answered from one look.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/checked_file.h"
#include "platform/file_ops.h"
#include "platform/runtime_private_files.h"
#include "platform/system_calls.h"
#include "platform/win32_error.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

namespace fs = std::filesystem;

using tessaro::test::WriteFileText;

// What the fakes do; each test sets them afresh.
std::atomic<int> g_preads{0};
std::atomic<std::size_t> g_largestRead{0};  // 0: as asked
std::function<void()> g_beforeFirstRead;
std::atomic<int> g_statfs{0};

ssize_t ChangingPread(int fd, void* buffer, size_t n, off_t offset) {
    if (g_preads++ == 0 && g_beforeFirstRead) g_beforeFirstRead();
    const std::size_t largest = g_largestRead.load();
    return SystemCalls().pread.Real()(fd, buffer, largest != 0 && n > largest ? largest : n, offset);
}

int CountedStatfs(int fd, struct statfs* fs) {
    ++g_statfs;
    return SystemCalls().fstatfs.Real()(fd, fs);
}

class CheckedRead : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (HasFatalFailure()) return;
        work = home() + "/web";
        fs::create_directories(work);
        g_preads = 0;
        g_largestRead = 0;
        g_beforeFirstRead = nullptr;
        g_statfs = 0;
    }
    void TearDown() override { g_beforeFirstRead = nullptr; }

    // Changes the file by its name, outside the opener's table.
    static void Append(const std::string& path, const std::string& bytes) {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }

    std::string work;
};

TEST_F(CheckedRead, AFileChangedAfterItsOpeningIsReadAsTheOpeningFoundIt) {
    const std::string big(200000, 'b');
    const struct {
        const char* name;
        std::string atOpening;
        std::function<void(const std::string&)> meanwhile;
        std::size_t largestRead;
        std::string expected;
    } cases[] = {
        {"unchanged", "plain text", nullptr, 0, "plain text"},
        {"grows", "first part", [](const std::string& p) { Append(p, " and more"); }, 0, "first part"},
        {"grows, read in small pieces", big, [](const std::string& p) { Append(p, "tail"); }, 1000, big},
        {"shrinks", "first part", [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 5), 0); }, 0, "first"},
        // No size to go by: read to the end, whatever is there by then.
        {"empty at opening", "", [](const std::string& p) { Append(p, "late"); }, 0, "late"},
    };
    ScopedSystemCall pread(SystemCalls().pread, &ChangingPread);
    for (const auto& c : cases) {
        const std::string path = work + "/page.tsm";
        WriteFileText(path, c.atOpening);
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        g_preads = 0;
        g_largestRead = c.largestRead;
        g_beforeFirstRead = c.meanwhile ? std::function<void()>([&] { c.meanwhile(path); }) : nullptr;
        std::string bytes;
        FileStamp stamp;
        ASSERT_EQ(ReadCheckedFile(path, 1 << 20, NotPrivateCheck(), &bytes, &stamp), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(bytes, c.expected) << c.name;
        // The stamp is the opening's: the size it read up to, the file it read.
        EXPECT_EQ(stamp.size, static_cast<std::uint64_t>(before.st_size)) << c.name;
        EXPECT_EQ(stamp.identity, (FileIdentity{before.st_dev, before.st_ino})) << c.name;
        EXPECT_EQ(stamp.modifiedSeconds, before.st_mtim.tv_sec) << c.name;
        EXPECT_EQ(stamp.modifiedNanoseconds, before.st_mtim.tv_nsec) << c.name;
        ASSERT_EQ(::unlink(path.c_str()), 0);
    }
}

TEST_F(CheckedRead, TheReadThatReachesTheSizeIsTheLast) {
    ScopedSystemCall pread(SystemCalls().pread, &ChangingPread);
    const std::string path = work + "/page.tsm";
    for (std::size_t size : {1u, 294u, 65536u, 65537u, 300000u}) {
        WriteFileText(path, std::string(size, 'x'));
        g_preads = 0;
        std::string bytes;
        ASSERT_EQ(ReadCheckedFile(path, 1 << 20, NotPrivateCheck(), &bytes), ERROR_SUCCESS) << size;
        EXPECT_EQ(bytes.size(), size);
        EXPECT_EQ(g_preads.load(), 1) << size;
    }
    // Past the limit nothing is read, and nothing kept.
    WriteFileText(path, std::string(5000, 'x'));
    g_preads = 0;
    std::string bytes = "old";
    EXPECT_EQ(ReadCheckedFile(path, 4999, NotPrivateCheck(), &bytes), ERROR_FILE_TOO_LARGE);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(g_preads.load(), 0);
    EXPECT_EQ(ReadCheckedFile(path, 5000, NotPrivateCheck(), &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes.size(), 5000u);
}

TEST_F(CheckedRead, AFileOpenedForReadingKeepsTheFlagThatOpenedItWithoutWaiting) {
    const std::string path = work + "/page.tsm";
    WriteFileText(path, std::string(100000, 'r'));
    CheckedFile reading;
    ASSERT_EQ(OpenCheckedFile(path, FileAccess::Read, NotPrivateCheck(), &reading), ERROR_SUCCESS);
    // A regular file's reads never wait, whatever the flag says: it reads in full.
    EXPECT_NE(::fcntl(reading.Descriptor(), F_GETFL) & O_NONBLOCK, 0);
    std::string bytes;
    EXPECT_EQ(reading.ReadAsOpened(1 << 20, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, std::string(100000, 'r'));
    EXPECT_EQ(reading.OpenedStamp().size, 100000u);
    // Writes wait for room like any other file's.
    for (FileAccess access : {FileAccess::Write, FileAccess::Append}) {
        CheckedFile writing;
        ASSERT_EQ(OpenCheckedFile(work + "/out.txt", access, NotPrivateCheck(), &writing), ERROR_SUCCESS);
        EXPECT_EQ(::fcntl(writing.Descriptor(), F_GETFL) & O_NONBLOCK, 0);
    }
}

TEST_F(CheckedRead, AFileBesideItsJudgedFolderTakesTheFolderFileSystemKind) {
    const std::string path = work + "/page.tsm";
    WriteFileText(path, "page");
    std::vector<OpenedObject> seen;
    const OpenedObjectCheck record = [&](const OpenedObject& object) {
        seen.push_back(object);
        return NotPrivateCheck()(object);
    };
    ScopedSystemCall statfs(SystemCalls().fstatfs, &CountedStatfs);
    CheckedFile file;
    ASSERT_EQ(OpenCheckedFile(path, FileAccess::Read, record, &file), ERROR_SUCCESS);
    ASSERT_EQ(seen.size(), 2u);
    ASSERT_EQ(seen[0].identity.device, seen[1].identity.device);
    EXPECT_EQ(seen[1].onKernelFileSystem, seen[0].onKernelFileSystem);
    EXPECT_FALSE(seen[1].onKernelFileSystem);
    EXPECT_EQ(g_statfs.load(), 1);
    // A kernel file is still refused wherever it is reached from.
    std::string bytes;
    EXPECT_EQ(ReadCheckedFile("/proc/self/status", 1 << 20, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadCheckedFile("/proc/self/status", 1 << 20, {}, &bytes), ERROR_SUCCESS);
}

TEST_F(CheckedRead, ANameIsANonPrivateFileOnlyWhenItIsThereNoFolderAndNotPrivate) {
    WriteFileText(work + "/page.tsm", "page");
    fs::create_directories(work + "/folder.tsm");
    ASSERT_EQ(::mkfifo((work + "/fifo.tsm").c_str(), 0600), 0);
    fs::create_directories(home() + "/windows");
    WriteFileText(home() + "/windows/KSML.INI", "private");
    fs::create_directories(home() + "/tmp/templates");
    WriteFileText(home() + "/tmp/templates/own.tsm", "own");
    WriteFileText(home() + "/loose.txt", "in the root");
    fs::create_symlink(work + "/page.tsm", work + "/link.tsm");
    fs::create_symlink(work + "/gone.tsm", work + "/dangling.tsm");
    fs::create_symlink(work + "/folder.tsm", work + "/folderlink.tsm");
    fs::create_symlink(home() + "/windows/KSML.INI", work + "/private.tsm");
    ASSERT_EQ(::link((home() + "/windows/KSML.INI").c_str(), (work + "/hard.tsm").c_str()), 0);
    const std::pair<std::string, bool> cases[] = {
        {work + "/page.tsm", true},
        {work + "/link.tsm", true},
        // There and no folder: what opening it makes of it is the opener's to say.
        {work + "/fifo.tsm", true},
        {home() + "/tmp/templates/own.tsm", true},
        {work + "/missing.tsm", false},
        {work + "/missing/page.tsm", false},
        {work + "/page.tsm/page.tsm", false},
        {work + "/dangling.tsm", false},
        {work + "/folder.tsm", false},
        {work + "/folderlink.tsm", false},
        {work + "/private.tsm", false},
        {home() + "/windows/KSML.INI", false},
        {home() + "/loose.txt", false},
        {"/proc/self/environ", false},
        {"", false},
        {work + std::string("/page.tsm\0x", 11), false},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(IsNonPrivateFile(path), expected) << path;
    // A hard link of a private file, judged by its name, is the opener's to refuse.
    std::string bytes;
    EXPECT_EQ(ReadCheckedFile(work + "/hard.tsm", 1000, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED);
}

}  // namespace
