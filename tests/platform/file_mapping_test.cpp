#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>

#include "platform/file_mapping.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using tessaro::platform::FileMapping;

namespace {

class FileMappingTest : public TempHomeTest {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        std::string path = home() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
};

}  // namespace

TEST_F(FileMappingTest, MapsTheWholeFile) {
    const std::string content = std::string("line one\n\0binary", 16);
    FileMapping mapping;
    long error = 0;
    ASSERT_EQ(mapping.Map(Write("data.txt", content), &error), FileMapping::Failure::None);
    EXPECT_EQ(std::string(mapping.Data(), mapping.Size()), content);
}

TEST_F(FileMappingTest, EachFailureNamesItsStepAndError) {
    const std::string fifo = home() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        FileMapping::Failure failure;
        long error;
    } cases[] = {
        {home() + "/missing.txt", FileMapping::Failure::Open, tessaro::platform::ERROR_FILE_NOT_FOUND},
        {Write("empty.txt", ""), FileMapping::Failure::Create, 1006},
        {home(), FileMapping::Failure::Create, tessaro::platform::ERROR_ACCESS_DENIED},
        {fifo, FileMapping::Failure::Create, 1006},  // refused without waiting for a writer
    };
    for (const Case& c : cases) {
        FileMapping mapping;
        long error = 0;
        EXPECT_EQ(mapping.Map(c.path, &error), c.failure) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        EXPECT_EQ(mapping.Data(), nullptr) << c.path;
        EXPECT_EQ(mapping.Size(), 0u) << c.path;
    }
}

TEST_F(FileMappingTest, MappingAgainReplacesTheFirstView) {
    FileMapping mapping;
    long error = 0;
    ASSERT_EQ(mapping.Map(Write("a.txt", "first"), &error), FileMapping::Failure::None);
    ASSERT_EQ(mapping.Map(Write("b.txt", "second one"), &error), FileMapping::Failure::None);
    EXPECT_EQ(std::string(mapping.Data(), mapping.Size()), "second one");
    EXPECT_EQ(mapping.Map(home() + "/none", &error), FileMapping::Failure::Open);
    EXPECT_EQ(mapping.Size(), 0u);
}
