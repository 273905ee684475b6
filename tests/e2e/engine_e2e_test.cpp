// The whole road: browser -> lighttpd -> ksml -> tsengine and back, with the engine's
// diagnostic echo page (action=Echo) answering.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <sys/stat.h>
#include <thread>

#include "child_process.h"
#include "e2e_site.h"
#include "platform/service_manager.h"
#include "tests/common/service_account_home.h"
#include "tests/common/text_matchers.h"

namespace {

namespace plat = tessaro::platform;
using namespace std::string_literals;

using tessaro::test::ContainsText;
using ::testing::HasSubstr;
using ::testing::Not;

// Printable bytes the echo page shows as they are.
std::string TextData(size_t size) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    std::mt19937 random(7);
    std::string data(size, ' ');
    for (char& c : data) c = kChars[random() % (sizeof kChars - 1)];
    return data;
}

std::string MultipartText(const std::string& field, const std::string& data, std::string* contentType) {
    std::string body = e2e::MultipartFileBody(field, "notes.txt", data, contentType);
    // Declared as text so that the engine hands the file's text over as the field's value.
    size_t at = body.find("application/octet-stream");
    return body.replace(at, std::string("application/octet-stream").size(), "text/plain");
}

class EngineThroughWebServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(e2e::Site::SetSetting("Debug", "EchoPage", "1")); }
    void InstallEngine() { ASSERT_TRUE(site.InstallEngine()); }

    e2e::Site site;
};

TEST_F(EngineThroughWebServer, FirstRequestStartsTheEngineAndTheNextUsesTheSameProcess) {
    InstallEngine();
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    auto first = site.Get("/x.tsm?action=Echo&a=1");
    ASSERT_EQ(first.status, 200) << first.error << site.WebServerLog();
    EXPECT_EQ(first.body.substr(0, 5), "ECHO\n") << first.body;
    EXPECT_THAT(first.body, HasSubstr("URL:A=1\n"));
    EXPECT_THAT(first.body, HasSubstr("CGI:SCRIPT_NAME=/x.tsm\n"));
    EXPECT_THAT(first.body, HasSubstr("CGI:TS_TEMPLATE_PATH=\n"));
    EXPECT_EQ(site.EngineState(), plat::SERVICE_RUNNING);
    pid_t engine = site.EnginePid();
    ASSERT_GT(engine, 0);

    auto second = site.Get("/sub/z.tsm?action=Echo&b=2");
    ASSERT_EQ(second.status, 200) << second.error;
    EXPECT_THAT(second.body, HasSubstr("URL:B=2\n"));
    EXPECT_EQ(site.EnginePid(), engine);
    EXPECT_TRUE(e2e::ProcessRunning(engine));
    // Nothing went wrong on the way, not even a first attempt.
    EXPECT_THAT(site.ReadHomeFile("log/KSML.LOG"), Not(HasSubstr("\"Error\"")))
        << site.ReadHomeFile("log/KSML.LOG") << site.ReadHomeFile("log/SERVER.LOG");
}

// As the README says: a stopped service comes back at the next request, so a site is taken
// down by removing the service, and brought up again by installing and starting it.
TEST_F(EngineThroughWebServer, AStoppedEngineComesBackAndARemovedOneKeepsTheSiteDown) {
    InstallEngine();
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    ASSERT_EQ(site.Get("/x.tsm?action=Echo").status, 200);
    const std::string service = "Brendlow Tessaro 2.0";
    ASSERT_EQ(e2e::RunProgram({e2e::BuiltProgram("tsscm"), "stop", service, "--wait", "15"}), 0);
    EXPECT_EQ(site.EngineState(), plat::SERVICE_STOPPED);
    auto back = site.Get("/x.tsm?action=Echo");
    EXPECT_EQ(back.status, 200) << back.body;
    EXPECT_EQ(site.EngineState(), plat::SERVICE_RUNNING);

    ASSERT_EQ(e2e::RunProgram({e2e::BuiltProgram("tsengine"), "-REMOVE"}), 0);
    for (int i = 0; i < 150 && e2e::ProcessRunning(site.EnginePid()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Taken down, the site is unavailable, not broken.
    auto down = site.Get("/x.tsm?action=Echo");
    EXPECT_EQ(down.status, 503) << down.body;
    EXPECT_THAT(down.body, HasSubstr("Windows NT error number 1060 occurred (the service does not exist)."));
    EXPECT_EQ(site.Get("/x.tsm?action=Echo").status, 503);

    ASSERT_EQ(e2e::RunProgram({e2e::BuiltProgram("tsengine"), "-INSTALL"}), 0);
    ASSERT_EQ(e2e::RunProgram({e2e::BuiltProgram("tsscm"), "start", service, "--wait", "30"}), 0);
    EXPECT_EQ(site.Get("/x.tsm?action=Echo").status, 200);
}

TEST_F(EngineThroughWebServer, SeveralFirstRequestsAtOnceAllGetTheEnginesPage) {
    InstallEngine();
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    std::vector<std::future<e2e::HttpResponse>> requests;
    for (int i = 0; i < 6; ++i)
        requests.push_back(std::async(std::launch::async,
                                      [this, i] { return site.Get("/x.tsm?action=Echo&n=" + std::to_string(i)); }));
    for (int i = 0; i < 6; ++i) {
        auto response = requests[static_cast<size_t>(i)].get();
        EXPECT_EQ(response.status, 200) << response.error;
        EXPECT_THAT(response.body, HasSubstr("URL:N=" + std::to_string(i) + "\n"));
    }
    EXPECT_EQ(site.EngineState(), plat::SERVICE_RUNNING);
}

TEST_F(EngineThroughWebServer, FiveMegabyteUploadReachesTheEngineWhole) {
    InstallEngine();
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    std::string data = TextData(5 * 1024 * 1024);
    std::string contentType;
    std::string body = MultipartText("NOTES", data, &contentType);
    auto response =
        e2e::HttpRequest(site.port(), "POST", "/up.tsm?action=Echo", {"Content-Type: " + contentType}, body);
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    EXPECT_THAT(response.body, HasSubstr("\nFORM:NOTES=" + data + "\n")) << response.body.substr(0, 300);
    EXPECT_THAT(response.body, HasSubstr("\nCGI:CONTENT_LENGTH=" + std::to_string(body.size()) + "\n"));
    EXPECT_THAT(site.ReadHomeFile("log/KSML.LOG"), Not(HasSubstr("\"Error\"")))
        << site.ReadHomeFile("log/KSML.LOG") << site.ReadHomeFile("log/SERVER.LOG");
}

TEST_F(EngineThroughWebServer, RedirectFromTheEngineKeepsItsCookie) {
    InstallEngine();
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    auto response = site.Get("/x.tsm?action=Echo&header=Set-Cookie:%20TSID%3D42&redirect=http://127.0.0.1/next.tsm");
    EXPECT_EQ(response.status, 302) << response.error << response.headers << response.body;
    EXPECT_EQ(response.Header("Location"), "http://127.0.0.1/next.tsm");
    EXPECT_EQ(response.Header("Set-Cookie"), "TSID=42");
}

TEST_F(EngineThroughWebServer, RequestOverTheLimitGetsTheBusyPage) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "1"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "1"));
    InstallEngine();
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    ASSERT_EQ(site.Get("/x.tsm?action=Echo").status, 200);  // the engine is up
    auto slow = std::async(std::launch::async, [this] { return site.Get("/x.tsm?action=Echo&sleep=4000"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto quick = site.Get("/x.tsm?action=Echo");
    auto first = slow.get();
    // Whichever came second waited past MaxSeconds and was dropped.
    int busy = ContainsText(first.body, "Server busy or unable to fulfill request") +
               ContainsText(quick.body, "Server busy or unable to fulfill request");
    EXPECT_EQ(busy, 1) << first.body << "\n----\n" << quick.body;
    EXPECT_THAT(site.ReadHomeFile("log/SERVER.LOG"),
                HasSubstr("Timed out while waiting for thread semaphore (1 requests are active)"));
}

TEST_F(EngineThroughWebServer, Windows95RoadOnBothSides) {
    // Started by root, the desktop engine serves only from a root its account owns.
    tessaro::test::GiveHomeToServiceAccount(site.home());
    e2e::BackgroundProgram engine({e2e::BuiltProgram("tsengine"), "-desktop"}, {{"TESSARO_WIN95", "1"}},
                                  site.home() + "/log/desktop.out");
    const std::string window = site.home() + "/run/WND/class/TessaroWClass20";
    struct stat st {};
    for (int i = 0; i < 500 && ::stat(window.c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(engine.Alive());
    ASSERT_TRUE(site.StartWebServer({{"TESSARO_WIN95", "1"}})) << site.WebServerLog();

    auto get = site.Get("/x.tsm?action=Echo&a=95");
    ASSERT_EQ(get.status, 200) << get.error << site.WebServerLog();
    EXPECT_THAT(get.body, HasSubstr("URL:A=95\n"));
    EXPECT_THAT(get.body, HasSubstr("CGI:TESSARO_WIN95=1\n"));

    std::string data = TextData(5 * 1024 * 1024);
    std::string contentType;
    std::string body = MultipartText("NOTES", data, &contentType);
    auto upload = e2e::HttpRequest(site.port(), "POST", "/up.tsm?action=Echo", {"Content-Type: " + contentType}, body);
    ASSERT_EQ(upload.status, 200) << upload.error;
    EXPECT_THAT(upload.body, HasSubstr("\nFORM:NOTES=" + data + "\n")) << upload.body.substr(0, 300);

    auto redirect = site.Get("/x.tsm?action=Echo&header=Set-Cookie:%20W%3D1&redirect=http://127.0.0.1/w.tsm");
    EXPECT_EQ(redirect.status, 302);
    EXPECT_EQ(redirect.Header("Set-Cookie"), "W=1");
    EXPECT_EQ(engine.Stop(), 0);
}

}  // namespace
