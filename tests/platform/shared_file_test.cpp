#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/home.h"
#include "platform/named_event.h"
#include "platform/shared_file.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class SharedFileTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        oldMask_ = umask(077);
    }
    void TearDown() override {
        umask(oldMask_);
        TempHomeTest::TearDown();
    }
    static unsigned ModeOf(const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    mode_t oldMask_ = 0;
};

TEST_F(SharedFileTest, GroupKeepsItsAccessWhateverTheUmask) {
    std::string path = home() + "/shared.log";
    ASSERT_TRUE(AppendShared(path, "a\n"));
    ASSERT_TRUE(AppendShared(path, "b\n"));
    EXPECT_EQ(ModeOf(path), 0660u);
    ASSERT_EQ(EnsureDirectory(home() + "/x/y"), 0);
    EXPECT_EQ(ModeOf(home() + "/x"), 0770u);
    EXPECT_EQ(ModeOf(home() + "/x/y"), 0770u);
    auto event = NamedEvent::Create("Mode");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(ModeOf(NamedEvent::PathOf("Mode")), 0620u);
}

TEST_F(SharedFileTest, ExclusiveCreationRefusesAnExistingFile) {
    std::string path = home() + "/once";
    int fd = OpenShared(path, O_WRONLY | O_CREAT | O_EXCL);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(OpenShared(path, O_WRONLY | O_CREAT | O_EXCL), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(OpenShared(home() + "/absent", O_RDONLY), -1);
}

TEST_F(SharedFileTest, AppendToExistingNeverCreatesAndTouchKeepsContent) {
    std::string path = home() + "/web.log";
    EXPECT_FALSE(AppendToExisting(path, "lost\n"));
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    ASSERT_TRUE(TouchShared(path));
    EXPECT_EQ(ModeOf(path), 0660u);
    EXPECT_TRUE(AppendToExisting(path, "one\n"));
    ASSERT_TRUE(TouchShared(path));
    EXPECT_TRUE(AppendToExisting(path, "two\n"));
    std::string text = tessaro::test::ReadFileText(path);
    EXPECT_EQ(text, "one\ntwo\n");
    EXPECT_FALSE(TouchShared(home() + "/no/folder/file"));
}

}  // namespace
