#include "gateway/copy_data_forwarder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include "gateway_fixtures.h"
#include "platform/home.h"

namespace {

using namespace std::string_literals;
using gateway_test::ErrorPageFor;
using gateway_test::FakeEngineWindow;
using gateway_test::FastSettings;
using gateway_test::RunKsml;
using gateway_test::ScriptedEngine;
using tessaro::test::TempHome;

ksml::GatewaySettings Windows95Settings() {
    auto settings = FastSettings();
    settings.windows95 = true;
    return settings;
}

// Names in the shared temporary folder that start with "TST".
int ReplyFilesLeft() {
    int count = 0;
    if (DIR* dir = ::opendir(tessaro::platform::HomeTempDirectory().c_str())) {
        while (dirent* e = ::readdir(dir))
            if (std::string(e->d_name).rfind("TST", 0) == 0) ++count;
        ::closedir(dir);
    }
    return count;
}

TEST(CopyDataBlock, HeaderThenNameEnvironmentAndBody) {
    std::string block = ksml::BuildCopyDataBlock(7, "/t/TST1.TMP", "A=1\0\0"s, "xy");
    EXPECT_EQ(block, "\x07\0\0\0\x0b\0\0\0\x05\0\0\0\x02\0\0\0/t/TST1.TMPA=1\0\0xy"s);
}

TEST(CopyDataRoad, RequestAndReplyTravelThroughTheWindowAndAFile) {
    TempHome home;
    FakeEngineWindow window("Content-type: text/html\n\n<P>from the window", FakeEngineWindow::Mode::Answer);
    ASSERT_TRUE(window.created());
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=POST", "SCRIPT_NAME=/w.tsm", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=5"},
                       "a\0b\0c"s, engine, Windows95Settings());
    EXPECT_EQ(run.output, "Content-type: text/html\n\n<P>from the window");
    auto received = window.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].well_formed);
    EXPECT_EQ(received[0].sender, static_cast<std::uint64_t>(::getpid()));
    EXPECT_EQ(
        received[0].environment,
        "REQUEST_METHOD=POST\0SCRIPT_NAME=/w.tsm\0TS_TEMPLATE_PATH=\0CONTENT_TYPE=text/plain\0CONTENT_LENGTH=5\0\0"s);
    EXPECT_EQ(received[0].body, "a\0b\0c"s);
    EXPECT_EQ(received[0].reply_file.rfind(tessaro::platform::HomeTempDirectory() + "/TST", 0), 0u);
    EXPECT_EQ(ReplyFilesLeft(), 0);
    EXPECT_EQ(engine.start_calls, 0);
}

TEST(CopyDataRoad, NoEngineWindow) {
    TempHome home;
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, Windows95Settings());
    EXPECT_EQ(run.output,
              ErrorPageFor({{"Tessaro server application not currently running.<P>You should start the Tessaro server "
                             "executable (tsengine.EXE) before attempting to submit requests to Tessaro. <P>Note: A "
                             "reliable way to ensure that the server is always running is to include it in your "
                             "Windows 'Startup' folder. This will make sure that the Tessaro server application is "
                             "loaded automatically when you start Windows.",
                             0}}));
    EXPECT_EQ(ReplyFilesLeft(), 0);
}

TEST(CopyDataRoad, RequestTheEngineDoesNotTakeIsNoticedAtOnce) {
    TempHome home;
    FakeEngineWindow window("", FakeEngineWindow::Mode::Drop);
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, Windows95Settings());
    EXPECT_EQ(run.output, ErrorPageFor({{"The Tessaro server application did not accept the request.", 0}}));
    EXPECT_EQ(ReplyFilesLeft(), 0);
}

TEST(CopyDataRoad, WaitForAnAnswerIsBounded) {
    TempHome home;
    FakeEngineWindow window("", FakeEngineWindow::Mode::Hold);
    ScriptedEngine engine;
    auto settings = Windows95Settings();
    settings.copy_data_wait_seconds = 1;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, settings);
    EXPECT_EQ(run.output,
              ErrorPageFor({{"The Tessaro server application did not complete the request within 1 seconds.", 258}}));
    EXPECT_EQ(ReplyFilesLeft(), 0);
}

TEST(CopyDataRoad, EmptyReplyFileMeansTheRequestWasTurnedAway) {
    TempHome home;
    FakeEngineWindow window("", FakeEngineWindow::Mode::Answer);
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, Windows95Settings());
    EXPECT_EQ(run.output, ErrorPageFor({{"", 109}}));
}

}  // namespace
