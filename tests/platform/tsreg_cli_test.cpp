#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
};

class TsregCliTest : public TempHomeTest {
protected:
    // Runs tsreg with the arguments (already quoted for the shell); stderr joins stdout.
    Result Run(const std::string& arguments) {
        std::string command = "'" + std::string(TESSARO_BINARY_DIR) + "/bin/tsreg' " + arguments + " 2>&1";
        Result r;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return r;
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
        int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
};

const char* const kServer = "'HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Server'";

TEST_F(TsregCliTest, SetThenGetPrintsTheValue) {
    EXPECT_EQ(Run(std::string("set ") + kServer + " MaxRequests 7").status, 0);
    Result got = Run(std::string("get ") + kServer + " maxrequests");
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "7\n");
}

TEST_F(TsregCliTest, MissingValuesAndKeysFailClearly) {
    Result missingKey = Run(std::string("get ") + kServer + " MaxRequests");
    EXPECT_EQ(missingKey.status, 1);
    EXPECT_NE(missingKey.out.find("not found"), std::string::npos) << missingKey.out;
    Run(std::string("set ") + kServer + " Other 1");
    Result missingValue = Run(std::string("get ") + kServer + " MaxRequests");
    EXPECT_EQ(missingValue.status, 1);
    EXPECT_NE(missingValue.out.find("value \"MaxRequests\" not found"), std::string::npos) << missingValue.out;
    EXPECT_EQ(Run("get 'HKEY_NOWHERE\\X' Y").status, 2);
    EXPECT_EQ(Run("frobnicate").status, 2);
}

TEST_F(TsregCliTest, ExportAndImportRoundTrip) {
    std::string file = home() + "/fixture.reg";
    std::ofstream(file) << "; fixture\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Server]\n"
                           "\"MaxRequests\"=\"15\"\n"
                           "\"Quote\"=\"a \\\"b\\\" c\\\\d\"\n"
                           "@=\"default\"\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Logging]\n"
                           "\"LogFilePath\"=\"/var/log\"\n";
    ASSERT_EQ(Run("import '" + file + "'").status, 0);
    EXPECT_EQ(Run(std::string("get ") + kServer + " Quote").out, "a \"b\" c\\d\n");
    Result exported = Run("export 'HKLM\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion'");
    EXPECT_EQ(exported.out,
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Logging]\n"
              "\"LogFilePath\"=\"/var/log\"\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Server]\n"
              "\"MaxRequests\"=\"15\"\n\"Quote\"=\"a \\\"b\\\" c\\\\d\"\n@=\"default\"\n\n");
    // Deleting the tree and importing the export gives the same tree back.
    std::ofstream(file) << exported.out;
    ASSERT_EQ(Run("delkey 'HKLM\\SOFTWARE\\Brendlow'").status, 0);
    EXPECT_EQ(Run("list 'HKLM\\SOFTWARE'").out, "");
    ASSERT_EQ(Run("import '" + file + "'").status, 0);
    EXPECT_EQ(Run("export 'HKLM\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion'").out, exported.out);
}

TEST_F(TsregCliTest, BadImportLinesAreReportedWithTheirNumber) {
    std::string file = home() + "/bad.reg";
    std::ofstream(file) << "[HKLM\\X]\n\"ok\"=\"1\"\nnot a value\n";
    Result r = Run("import '" + file + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(":3:"), std::string::npos) << r.out;
}

TEST_F(TsregCliTest, ImportAppliesTheWholeFileOrNothing) {
    std::string file = home() + "/partly.reg";
    std::ofstream(file) << "[HKLM\\X]\n\"ok\"=\"1\"\nnot a value\n";
    EXPECT_EQ(Run("import '" + file + "'").status, 1);
    EXPECT_EQ(Run("list HKLM").out, "");
    std::ofstream(file) << "[HKLM\\X]\n\"ok\"=\"1\"\n[HKLM\\Y]\n\"two\"=\"2\"\n";
    ASSERT_EQ(Run("import - < '" + file + "'").status, 0);
    EXPECT_EQ(Run("get 'HKLM\\X' ok").out, "1\n");
    EXPECT_EQ(Run("get 'HKLM\\Y' two").out, "2\n");
}

TEST_F(TsregCliTest, ListDelAndOtherMachines) {
    Run(std::string("set ") + kServer + " A 1");
    Run(std::string("set ") + kServer + "'\\Sub' B 2");
    EXPECT_EQ(Run(std::string("list ") + kServer).out, "Sub\\\n\"A\"=\"1\"\n");
    EXPECT_EQ(Run(std::string("del ") + kServer + " A").status, 0);
    EXPECT_EQ(Run(std::string("del ") + kServer + " A").status, 1);
    EXPECT_EQ(Run("-m FARAWAY list HKLM").status, 1);
    ASSERT_EQ(Run("newmachine FARAWAY").status, 0);
    EXPECT_EQ(Run("-m FARAWAY set 'HKLM\\K' V remote").status, 0);
    EXPECT_EQ(Run("-m \\\\\\\\faraway get 'HKLM\\K' V").out, "remote\n");
    EXPECT_EQ(Run("get 'HKLM\\K' V").status, 1);
}

}  // namespace

namespace {

// The README's way to export the settings without the client variables, run as written.
TEST_F(TsregCliTest, ReadmeExportOfTheSettingsLeavesTheClientsOut) {
    std::string commands;
    for (const std::string& line : tessaro::test::SourceLines("README.md")) {
        if (line.rfind("    R='HKEY_LOCAL_MACHINE", 0) == 0) commands = line.substr(4) + "\n";
        if (!commands.empty() && line.rfind("    tsreg export \"$R\" | awk", 0) == 0) {
            commands += line.substr(4) + "\n";
            break;
        }
    }
    ASSERT_NE(commands.find("awk"), std::string::npos) << "README has no settings-only export";
    const std::string root = "'HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion";
    ASSERT_EQ(Run("set " + root + "\\Server' MaxRequests 20").status, 0);
    ASSERT_EQ(Run("set " + root + "\\Clients' LastID 2").status, 0);
    ASSERT_EQ(Run("set " + root + "\\Clients\\2' TSTOKEN secret-token").status, 0);
    ASSERT_EQ(Run("set " + root + "\\ClientsNote' Kept yes").status, 0);
    std::ofstream(home() + "/export.sh") << "cd '" << home() << "'\nexport PATH='" << TESSARO_BINARY_DIR
                                         << "/bin':\"$PATH\"\n"
                                         << commands;
    ASSERT_EQ(std::system(("bash '" + home() + "/export.sh'").c_str()), 0);
    std::string settings = tessaro::test::ReadFileText(home() + "/settings.reg");
    EXPECT_NE(settings.find("\\CurrentVersion\\Server]\n\"MaxRequests\"=\"20\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("\\CurrentVersion\\ClientsNote]"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("\\Clients]"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("secret-token"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("LastID"), std::string::npos) << settings;
}

}  // namespace
