#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/mapped_file.h"
#include "tests/common/registry_home_fixture.h"

namespace {

class MappedFileTest : public RegistryHomeTest {
protected:
    // The exception's (number, text) from mapping path.
    std::pair<long, std::string> Failure(const std::string& path) {
        try {
            CMappedFile file(path);
        } catch (CMappedFileException* e) {
            std::pair<long, std::string> result{e->GetErrorNumber(), e->GetText()};
            e->Delete();
            return result;
        }
        return {0, ""};
    }
};

TEST_F(MappedFileTest, MapsTheWholeFile) {
    std::ofstream(home() + "/page.htm", std::ios::binary) << std::string("abc\0def", 7);
    CMappedFile file(home() + "\\page.htm");
    ASSERT_EQ(file.GetSize(), 7u);
    EXPECT_EQ(std::string(file.GetData(), file.GetSize()), std::string("abc\0def", 7));
}

TEST_F(MappedFileTest, FailuresCarryTheirStepText) {
    EXPECT_EQ(Failure(home() + "/absent"),
              std::make_pair(2L, std::string("Error attempting to open file to be mapped.")));
    std::ofstream(home() + "/empty");
    EXPECT_EQ(Failure(home() + "/empty").second, "Error attempting to create file mapping.");
    std::filesystem::create_directories(home() + "/folder");
    EXPECT_EQ(Failure(home() + "/folder").second, "Error attempting to create file mapping.");
    // A FIFO nobody writes to is refused at once instead of blocking the thread.
    ASSERT_EQ(::mkfifo((home() + "/fifo").c_str(), 0600), 0);
    EXPECT_EQ(Failure(home() + "/fifo").second, "Error attempting to create file mapping.");
}

}  // namespace
