#include "database/access/login_store.h"

#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "database/access/password_scrambler.h"
#include "support/ini_helpers.h"
#include "platform/home.h"
#include "tests/database/pool_fixture.h"

namespace tessaro::database::testing {
namespace {

class LoginStore : public PoolFixture {
protected:
    static constexpr const char* kSection = "DataSources\\Sales";
    std::string FileValue(const std::string& key) { return GetIniString("Sales", key, "<absent>", kLoginStoreFile); }
    std::string FilePath() const { return tessaro::platform::WindowsDirectory() + "/KSML.INI"; }
};

TEST_F(LoginStore, RegistryLoginMovesIntoTheFileOnce) {
    Set(kSection, "UserID", "alice");
    Set(kSection, "Password", PasswordScrambler().Scramble("s3cret"));

    EXPECT_EQ(GetDataSourceUserID(settings(), "Sales"), "alice");
    EXPECT_EQ(GetDataSourcePassword(settings(), "Sales"), "s3cret");
    EXPECT_EQ(FileValue("DBUserID"), "alice");
    EXPECT_EQ(FileValue("DBPassword"), PasswordScrambler().Scramble("s3cret"));
    EXPECT_EQ(Get(kSection, "UserID"), "");
    EXPECT_EQ(Get(kSection, "Password"), "");

    // Later registry changes are not seen while the file holds the login.
    Set(kSection, "UserID", "bob");
    EXPECT_EQ(GetDataSourceUserID(settings(), "Sales"), "alice");
    EXPECT_EQ(Get(kSection, "UserID"), "bob");
}

TEST_F(LoginStore, EmptyValueInTheFileIsUsedWithoutTheRegistry) {
    ASSERT_TRUE(WriteDataSourceUserID("Sales", ""));
    ASSERT_TRUE(WriteDataSourcePassword("Sales", ""));
    Set(kSection, "UserID", "alice");
    Set(kSection, "Password", PasswordScrambler().Scramble("pw"));
    EXPECT_EQ(GetDataSourceUserID(settings(), "Sales"), "");
    EXPECT_EQ(GetDataSourcePassword(settings(), "Sales"), "");
    EXPECT_EQ(Get(kSection, "UserID"), "alice");
}

TEST_F(LoginStore, NothingStoredAnywhereGivesEmptyAndCreatesNoRegistryKey) {
    EXPECT_EQ(GetDataSourceUserID(settings(), "Nowhere"), "");
    EXPECT_EQ(GetDataSourcePassword(settings(), "Nowhere"), "");
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(*settings()->GetRootKey(), "DataSources\\Nowhere"));
}

TEST_F(LoginStore, FileIsPrivateToItsOwner) {
    ASSERT_TRUE(WriteDataSourcePassword("Sales", "pw"));
    struct stat info {};
    ASSERT_EQ(::stat(FilePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(LoginStore, FailedFileWriteKeepsTheRegistryLogin) {
    std::filesystem::create_directories(FilePath());  // a folder where the file should be
    Set(kSection, "UserID", "alice");
    EXPECT_EQ(GetDataSourceUserID(settings(), "Sales"), "alice");
    EXPECT_EQ(Get(kSection, "UserID"), "alice");
}

TEST_F(LoginStore, UnusableNamesAreNeitherReadNorMigrated) {
    Set("DataSources\\a\\b", "UserID", "deep");
    EXPECT_EQ(GetDataSourceUserID(settings(), "a\\b"), "");
    EXPECT_EQ(GetDataSourceUserID(settings(), std::string(300, 'x')), "");
    EXPECT_EQ(GetDataSourceUserID(settings(), "bad]name"), "");
    EXPECT_EQ(Get("DataSources\\a\\b", "UserID"), "deep");
}

TEST_F(LoginStore, ConcurrentMigrationsNeverBlankTheLogin) {
    Set(kSection, "UserID", "alice");
    Set(kSection, "Password", PasswordScrambler().Scramble("pw"));
    std::vector<std::string> users(8), passwords(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            users[i] = GetDataSourceUserID(settings(), "Sales");
            passwords[i] = GetDataSourcePassword(settings(), "Sales");
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(users[i], "alice");
        EXPECT_EQ(passwords[i], "pw");
    }
    EXPECT_EQ(FileValue("DBUserID"), "alice");
    EXPECT_EQ(GetDataSourcePassword(settings(), "Sales"), "pw");
}

}  // namespace
}  // namespace tessaro::database::testing
