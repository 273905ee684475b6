#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/descriptor.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

using tessaro::test::ReadFileText;

class FileSystemTest : public TempHomeTest {
protected:
    std::string PathOf(const std::string& name) const { return home() + "/" + name; }
    std::string Write(const std::string& name, const std::string& content) {
        std::ofstream(PathOf(name), std::ios::binary) << content;
        return PathOf(name);
    }
    static unsigned ModeOf(const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
};

}  // namespace

TEST_F(FileSystemTest, KindsAndSizesOfWhatAPathNames) {
    const std::string file = Write("file.txt", "12345");
    const std::string fifo = PathOf("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(file.c_str(), PathOf("link").c_str()), 0);
    ASSERT_EQ(::symlink(PathOf("nowhere").c_str(), PathOf("dangling").c_str()), 0);
    struct Case {
        std::string path;
        FileKind kind;
        std::uint64_t size;
    } cases[] = {
        {file, FileKind::Regular, 5},
        {PathOf("link"), FileKind::Regular, 5},
        {Write("empty.txt", ""), FileKind::Regular, 0},
        {home(), FileKind::Directory, 0},
        {fifo, FileKind::Other, 0},
        {PathOf("dangling"), FileKind::Missing, 0},
        {PathOf("missing"), FileKind::Missing, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFileKind(c.path), c.kind) << c.path;
        EXPECT_EQ(RegularFileSize(c.path), c.size) << c.path;
        EXPECT_EQ(ReadableFileSize(c.path), c.size) << c.path;
    }
}

TEST_F(FileSystemTest, CreateNewFileRefusesAnExistingOne) {
    const std::string path = PathOf("new.txt");
    EXPECT_EQ(CreateNewFile(path, 0600), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(path) & 0077, 0u);
    EXPECT_EQ(CreateNewFile(path, 0600), ERROR_FILE_EXISTS);
    EXPECT_EQ(CreateNewFile(PathOf("no/folder/x"), 0600), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSystemTest, RemoveFileReportsWhatWasMissing) {
    const std::string path = Write("gone.txt", "x");
    EXPECT_EQ(RemoveFile(path), ERROR_SUCCESS);
    EXPECT_EQ(GetFileKind(path), FileKind::Missing);
    EXPECT_EQ(RemoveFile(path), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSystemTest, WriteFromStartKeepsOrCutsTheRest) {
    const std::string path = Write("w.txt", "abcdefgh");
    EXPECT_EQ(WriteFileFromStart(path, "XY", 2, true), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(path), "XYcdefgh");
    EXPECT_EQ(WriteFileFromStart(path, "XY", 2, false), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(path), "XY");
    EXPECT_EQ(WriteFileFromStart(PathOf("fresh.txt"), "new", 3, true), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(PathOf("fresh.txt")), "new");
    EXPECT_EQ(WriteFileFromStart(PathOf("no/folder/x"), "x", 1, false), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSystemTest, OverwriteEmptiesAFileButRefusesALink) {
    const std::string target = Write("target.txt", "secret");
    ASSERT_EQ(::symlink(target.c_str(), PathOf("link").c_str()), 0);
    EXPECT_EQ(OpenForOverwrite(PathOf("link"), 0644), -1);
    EXPECT_EQ(ReadFileText(target), "secret");
    int fd = OpenForOverwrite(target, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(WriteSome(fd, "new", 3), 3);
    CloseDescriptor(fd);
    EXPECT_EQ(ReadFileText(target), "new");
}

TEST_F(FileSystemTest, OpenForReadingReadsAndSetFileModeChangesBits) {
    const std::string path = Write("r.txt", "content");
    int fd = OpenForReading(path);
    ASSERT_GE(fd, 0);
    char buffer[16];
    EXPECT_EQ(ReadSome(fd, buffer, sizeof buffer), 7);
    EXPECT_EQ(ReadSome(fd, buffer, sizeof buffer), 0);
    CloseDescriptor(fd);
    EXPECT_EQ(OpenForReading(PathOf("missing")), -1);
    EXPECT_TRUE(SetFileMode(path, 0620));
    EXPECT_EQ(ModeOf(path), 0620u);
    EXPECT_FALSE(SetFileMode(PathOf("missing"), 0600));
}
