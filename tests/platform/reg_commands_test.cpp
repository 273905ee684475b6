// The registry commands without the command line: import applies a file all or nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/reg_commands.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

const std::string kServer = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Server";

class RegCommandsTest : public TempHomeTest {
protected:
    RegCommandResult Import(const std::string& text) {
        std::istringstream in(text);
        return registry.Import(in, "fixture.reg");
    }
    std::string Everything() { return registry.Export("HKLM").output; }

    RegCommands registry;
};

TEST_F(RegCommandsTest, AGoodFileIsAppliedWhole) {
    RegCommandResult r =
        Import("[" + kServer +
               "]\n\"MaxRequests\"=\"15\"\n@=\"default\"\n"
               "[HKLM\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Logging]\n\"LogFilePath\"=\"/var/log\"\n");
    ASSERT_EQ(r.status, 0) << r.message;
    EXPECT_EQ(registry.Get(kServer, "maxrequests").output, "15\n");
    EXPECT_EQ(registry.Get(kServer, "").output, "default\n");
    EXPECT_EQ(registry.Get("HKLM\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Logging", "LogFilePath").output,
              "/var/log\n");
}

TEST_F(RegCommandsTest, AFileThatFailsAnywhereLeavesTheStoreAsItWas) {
    ASSERT_EQ(registry.Set(kServer, "MaxRequests", "7").status, 0);
    const std::string before = Everything();
    struct Case {
        const char* what;
        std::string text;
        int status;
        std::string message;
    };
    const std::string tooLong(kRegMaxValueSize + 1, 'x');
    const Case cases[] = {
        {"a bad line 3", "[" + kServer + "]\n\"MaxRequests\"=\"15\"\nnot a value\n", 1, "fixture.reg:3: "},
        {"a value before any key", "\"A\"=\"1\"\n", 1, "fixture.reg:1: value before any [KEY] line"},
        {"a key of no root", "[" + kServer + "]\n\"A\"=\"1\"\n[HKEY_NOWHERE\\X]\n", 2, "HKEY_NOWHERE\\X: "},
        {"a write the store refuses",
         "[" + kServer + "]\n\"MaxRequests\"=\"15\"\n[HKLM\\New]\n\"Big\"=\"" + tooLong + "\"\n", 1, "value \"Big\": "},
    };
    for (const Case& c : cases) {
        RegCommandResult r = Import(c.text);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.message.rfind(c.message, 0), 0u) << c.what << ": " << r.message;
        EXPECT_EQ(Everything(), before) << c.what;
    }
    EXPECT_EQ(registry.Get(kServer, "MaxRequests").output, "7\n");
    EXPECT_EQ(registry.Get("HKLM\\New", "Big").status, 1);
}

TEST_F(RegCommandsTest, CommandsReportLikeTheCommandLine) {
    RegCommandResult missing = registry.Get(kServer, "MaxRequests");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.message, "key " + kServer + ": not found (error 2)");
    EXPECT_EQ(registry.Get("HKEY_NOWHERE\\X", "Y").status, 2);
    EXPECT_EQ(registry.DeleteKey("HKLM").message, "HKLM: a root key cannot be deleted");
    ASSERT_EQ(registry.Set(kServer + "\\Sub", "B", "2").status, 0);
    ASSERT_EQ(registry.Set(kServer, "A", "1").status, 0);
    EXPECT_EQ(registry.List(kServer).output, "Sub\\\n\"A\"=\"1\"\n");
    EXPECT_EQ(RegCommands("FARAWAY").List("HKLM").status, 1);
}

}  // namespace
