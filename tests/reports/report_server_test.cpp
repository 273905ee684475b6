// The report server program itself: one instance per runtime root, a request whose file
// cannot be read, requests naming folders outside the work folder, and closing on request.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/ini_file.h"
#include "platform/private_file.h"
#include "platform/process_spawn.h"
#include "platform/window.h"
#include "reports/report_files.h"
#include "reports/report_server.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro;

namespace {

std::string ServerWindow(int waitMs) {
    for (int waited = 0; waited <= waitMs; waited += 50) {
        std::string window = platform::FindWindow("", reports::kReportServerWindow);
        if (!window.empty()) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

int ExitCode(long pid) {
    int status = 0;
    if (::waitpid(static_cast<pid_t>(pid), &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ReportServerProgram, AnswersWhatItCanAndClosesWhenTold) {
    test::TempHome home;
    const std::string program = std::string(TESSARO_BINARY_DIR) + "/bin/tsreports";
    long error = 0;
    long pid = platform::SpawnProgram(program, {program}, &error);
    ASSERT_NE(pid, 0) << error;
    std::string window = ServerWindow(10000);
    ASSERT_FALSE(window.empty());

    // A second instance finds the first and ends at once.
    long second = platform::SpawnProgram(program, {program}, &error);
    ASSERT_NE(second, 0);
    EXPECT_EQ(ExitCode(second), 0);

    // A request folder without its request: the answer says why.
    std::string folder = reports::CreateRequestFolder(&error);
    ASSERT_FALSE(folder.empty());
    bool ok = false;
    EXPECT_EQ(platform::SendCopyDataWithin(window, 0, reports::WM_DOREPORT, folder, 30, &ok), 1);
    EXPECT_TRUE(ok);
    std::string response = folder + "/RESPONSE.INI";
    EXPECT_EQ(platform::IniGetString(response, "ReportStatus", "ReportSucceeded", ""), "0");
    EXPECT_EQ(platform::IniGetString(response, "ReportStatus", "ReportErrNumber", ""), "0");
    std::string text;
    platform::ReadRegularFileNoFollow(folder + "/ERROR.TXT", &text);
    EXPECT_EQ(text.rfind("Unexpected error occurred while attempting to restore report request parameters (", 0), 0u)
        << text;

    // A folder outside the work folder is refused, and nothing is written there.
    test::TempFolder outside("tsrout");
    EXPECT_EQ(platform::SendCopyDataWithin(window, 0, reports::WM_DOREPORT, outside.path(), 30, &ok), 0);
    EXPECT_TRUE(platform::IniSectionNames(outside.path() + "/RESPONSE.INI").empty());

    EXPECT_TRUE(platform::PostMessage(window, reports::WM_CLOSEREPORTSERVER, 0, 0));
    EXPECT_EQ(ExitCode(pid), 0);
    reports::RemoveRequestFolder(folder);
}

// Each request opens the registry for itself: while the store cannot be opened the request
// is left without an answer (the engine then reports the refusal), and the next request after
// the store is mended is answered by the same process.
TEST(ReportServerRequest, OpensTheRegistryForEachRequest) {
    test::TempHome home;
    long error = 0;
    const std::string folder = reports::CreateRequestFolder(&error);
    ASSERT_FALSE(folder.empty()) << error;
    const std::string store = home.path() + "/registry.db";
    const std::string response = folder + "/RESPONSE.INI";
    test::WriteFileText(store, "this is no registry store, and no database at all\n");
    EXPECT_EQ(reports::DoReport(nullptr, folder), 0);
    EXPECT_TRUE(platform::IniSectionNames(response).empty());
    std::string text;
    EXPECT_NE(platform::ReadRegularFileNoFollow(folder + "/ERROR.TXT", &text), 0) << text;

    ASSERT_EQ(std::remove(store.c_str()), 0);
    EXPECT_EQ(reports::DoReport(nullptr, folder), 1);
    EXPECT_EQ(platform::IniGetString(response, "ReportStatus", "ReportSucceeded", ""), "0");
    reports::RemoveRequestFolder(folder);
}

}  // namespace
