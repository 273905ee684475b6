// What is known of the private files is kept between questions. A private file or folder
// replaced or made again under its name is another file with another identity: the next
// question must know the new one, through every name that reaches it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/checked_file.h"
#include "platform/file_ops.h"
#include "platform/runtime_private_files.h"
#include "platform/win32_error.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

namespace fs = std::filesystem;
using tessaro::test::WriteFileText;

// The ODBC files in <root>/odbc (the data sources through a link, as a packaged system keeps
// them), an ordinary folder web/ with a page, and a store journal file in the root.
class PrivateFilesKeptTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (HasFatalFailure()) return;
        odbc = home() + "/odbc";
        web = home() + "/web";
        fs::create_directories(odbc);
        fs::create_directories(web);
        fs::create_directories(home() + "/machines");
        WriteFileText(odbc + "/sources-1.ini", "[sources]");
        fs::create_symlink("sources-1.ini", odbc + "/odbc.ini");
        WriteFileText(odbc + "/odbcinst.ini", "[drivers]");
        WriteFileText(home() + "/registry.db-journal", "journal");
        WriteFileText(web + "/page.tsm", "page");
        Set("ODBCINI", odbc + "/odbc.ini");
        Set("ODBCSYSINI", odbc);
    }
    void TearDown() override {
        for (auto& [name, value] : saved_)
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
    }

    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), value.c_str(), 1);
    }

    // Every question asked once, so that what they learn is kept.
    void AskAll() {
        EXPECT_FALSE(IsPrivatePath(web + "/page.tsm"));
        std::string bytes;
        EXPECT_EQ(ReadCheckedFile(web + "/page.tsm", 1000, NotPrivateCheck(), &bytes), ERROR_SUCCESS);
    }

    // A hard link in web/ to what the name stands for now: private by identity alone.
    std::string OtherName(const std::string& file) {
        const std::string name = web + "/other-" + std::to_string(++links_) + ".txt";
        EXPECT_EQ(::link(fs::canonical(file).c_str(), name.c_str()), 0) << file;
        return name;
    }

    std::string odbc, web;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    int links_ = 0;
};

struct Replacement {
    const char* what;
    const char* file;  // from the root
    std::function<void(const std::string& home)> replace;
};

TEST_F(PrivateFilesKeptTest, APrivateFileMadeAgainUnderItsNameIsPrivateThroughEveryName) {
    const Replacement replacements[] = {
        {"the drivers file saved by a rename", "odbc/odbcinst.ini",
         [](const std::string& h) {
             WriteFileText(h + "/odbc/new.ini", "[drivers 2]");
             fs::rename(h + "/odbc/new.ini", h + "/odbc/odbcinst.ini");
         }},
        {"the drivers file removed and written again", "odbc/odbcinst.ini",
         [](const std::string& h) {
             fs::remove(h + "/odbc/odbcinst.ini");
             WriteFileText(h + "/odbc/odbcinst.ini", "[drivers 3]");
         }},
        {"the data sources' link pointed to a new file", "odbc/odbc.ini",
         [](const std::string& h) {
             WriteFileText(h + "/odbc/sources-2.ini", "[sources 2]");
             fs::remove(h + "/odbc/odbc.ini");
             fs::create_symlink("sources-2.ini", h + "/odbc/odbc.ini");
         }},
        {"the ODBC folder moved away and made again", "odbc/odbcinst.ini",
         [](const std::string& h) {
             fs::rename(h + "/odbc", h + "/odbc-old");
             fs::create_directories(h + "/odbc");
             WriteFileText(h + "/odbc/odbcinst.ini", "[drivers 4]");
             WriteFileText(h + "/odbc/sources-1.ini", "[sources 3]");
             fs::create_symlink("sources-1.ini", h + "/odbc/odbc.ini");
         }},
        {"the store's journal made again", "registry.db-journal",
         [](const std::string& h) {
             fs::remove(h + "/registry.db-journal");
             WriteFileText(h + "/registry.db-journal", "journal 2");
         }},
    };
    for (const Replacement& r : replacements) {
        SCOPED_TRACE(r.what);
        const std::string file = home() + "/" + r.file;
        AskAll();
        const std::string before = OtherName(file);
        EXPECT_TRUE(IsPrivatePath(before));
        r.replace(home());
        const std::string after = OtherName(file);
        EXPECT_TRUE(IsPrivatePath(after));
        std::string bytes;
        EXPECT_EQ(ReadCheckedFile(after, 1000, NotPrivateCheck(), &bytes), ERROR_ACCESS_DENIED);
        EXPECT_EQ(bytes, "");
        EXPECT_EQ(WriteTextFile(after, "evil", true, NotPrivateCheck()), ERROR_ACCESS_DENIED);
        AskAll();
    }
    // What the moved folder took with it is ordinary now.
    EXPECT_FALSE(IsPrivatePath(OtherName(home() + "/odbc-old/odbcinst.ini")));
    EXPECT_FALSE(IsPrivatePath(OtherName(home() + "/odbc-old/sources-2.ini")));
}

// The folders are known by identity too: an object whose folders include a private folder made
// again is private wherever its path says it is.
TEST_F(PrivateFilesKeptTest, APrivateFolderMadeAgainIsPrivateByIdentity) {
    AskAll();
    auto objectIn = [&](const std::string& folder) {
        OpenedObject object;
        object.realPath = web + "/page.tsm";
        object.isRegular = true;
        object.links = 1;
        EXPECT_TRUE(PathIdentity(web + "/page.tsm", &object.identity));
        FileIdentity holder, root;
        EXPECT_TRUE(PathIdentity(folder, &holder));
        EXPECT_TRUE(PathIdentity("/", &root));
        object.folders = {holder, root};
        return object;
    };
    EXPECT_TRUE(IsPrivateObject(objectIn(home() + "/machines")));
    fs::remove_all(home() + "/machines");
    fs::create_directories(home() + "/machines");
    EXPECT_TRUE(IsPrivateObject(objectIn(home() + "/machines")));
    EXPECT_FALSE(IsPrivateObject(objectIn(web)));
}

}  // namespace
