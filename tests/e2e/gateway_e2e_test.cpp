// The real gateway behind the real web server, with a stand-in engine in the test process.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "child_process.h"
#include "e2e_site.h"

namespace {

using namespace std::string_literals;
using gateway_test::FakeEngineSocket;
using gateway_test::FakeEngineWindow;

const std::vector<gateway_test::ReplyFrame> kPage = {
    {1, "Content-type: text/html\n\n"}, {1, "<P>engine page"}, {2, ""}};

using ::testing::HasSubstr;
using ::testing::Not;

class GatewayThroughWebServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog(); }
    e2e::Site site;
};

TEST_F(GatewayThroughWebServer, TemplateRequestReachesTheEngineAndItsPageTheBrowser) {
    FakeEngineSocket engine(kPage);
    auto response = site.Get("/x.tsm?a=1&b=two");
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    EXPECT_EQ(response.body, "<P>engine page");
    EXPECT_EQ(response.Header("Content-type"), "text/html");
    auto received = engine.Received();
    ASSERT_EQ(received.size(), 1u);
    const std::string& env = received[0];
    EXPECT_THAT(env, HasSubstr("\0SCRIPT_NAME=/x.tsm\0TS_TEMPLATE_PATH=\0"s));
    EXPECT_THAT(env, HasSubstr("\0QUERY_STRING=a=1&b=two\0"s));
    EXPECT_THAT(env, HasSubstr("\0TESSARO_HOME=" + site.home() + "\0"s));
    EXPECT_THAT(env, HasSubstr("\0REMOTE_ADDR=127.0.0.1\0"s));
    EXPECT_EQ(env.substr(env.size() - 2), "\0\0"s);
}

TEST_F(GatewayThroughWebServer, KsmFilesAndTheUrlTemplateFormAlsoReachTheEngine) {
    FakeEngineSocket engine(kPage);
    for (const char* target : {"/y.ksm", "/sub/z.tsm", "/cgi-bin/ksml?TEMPLATE=/x.tsm"}) {
        auto response = site.Get(target);
        EXPECT_EQ(response.status, 200) << target << " " << response.error;
        EXPECT_EQ(response.body, "<P>engine page") << target;
    }
    auto received = engine.Received();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_THAT(received[0], HasSubstr("\0SCRIPT_NAME=/y.ksm\0TS_TEMPLATE_PATH=\0"s));
    EXPECT_THAT(received[1], HasSubstr("\0SCRIPT_NAME=/sub/z.tsm\0TS_TEMPLATE_PATH=\0"s));
    EXPECT_THAT(received[2], HasSubstr("\0QUERY_STRING=TEMPLATE=/x.tsm\0"s));
}

TEST_F(GatewayThroughWebServer, FiveMegabyteUploadArrivesWhole) {
    FakeEngineSocket engine(kPage);
    std::string data(5 * 1024 * 1024, '\0');
    std::mt19937 random(42);
    for (char& c : data) c = static_cast<char>(random());
    std::string contentType;
    std::string body = e2e::MultipartFileBody("PHOTO", "C:\\My Docs\\big.bin", data, &contentType);
    auto response = e2e::HttpRequest(site.port(), "POST", "/up.tsm", {"Content-Type: " + contentType}, body);
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    EXPECT_EQ(response.body, "<P>engine page");
    auto received = engine.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_THAT(received[0], HasSubstr("\0CONTENT_LENGTH=" + std::to_string(body.size()) + "\0"s));
    EXPECT_TRUE(received[1] == body) << "body of " << received[1].size() << " bytes differs";
}

TEST_F(GatewayThroughWebServer, RedirectKeepsItsCookies) {
    FakeEngineSocket engine({{1,
                              "Location: http://127.0.0.1/next.tsm\nContent-type: text/html\nSet-Cookie: "
                              "TSID=17\nSet-Cookie: TSTOKEN=99\n\n"},
                             {2, ""}});
    auto response = site.Get("/x.tsm");
    EXPECT_EQ(response.status, 302) << response.error;
    EXPECT_EQ(response.Header("Location"), "http://127.0.0.1/next.tsm");
    EXPECT_EQ(response.Headers("Set-Cookie"), (std::vector<std::string>{"TSID=17", "TSTOKEN=99"}));
}

TEST_F(GatewayThroughWebServer, RequestDroppedByTheEngineShowsTheBusyPage) {
    FakeEngineSocket engine({});
    auto response = site.Get("/x.tsm");
    EXPECT_EQ(response.status, 503) << response.error;
    EXPECT_THAT(response.body, HasSubstr("Server busy or unable to fulfill request"));
}

// No engine service: the site is unavailable (503). There is no wedged engine to end, so the
// gateway leaves the termination event alone (a desktop engine may have just come up).
TEST_F(GatewayThroughWebServer, WithoutAnInstalledEngineTheGatewayAnswersWithItsErrorPage) {
    auto response = site.Get("/x.tsm");
    ASSERT_EQ(response.status, 503) << response.error << site.WebServerLog();
    EXPECT_EQ(response.Header("Content-type"), "text/html; charset=utf-8");
    const std::string& page = response.body;
    size_t openService = page.find("Error occurred while attempt to open service.");
    size_t notRunning =
        page.find("The most likely cause of this problem is that the service is not currently running.");
    ASSERT_NE(openService, std::string::npos) << page;
    ASSERT_NE(notRunning, std::string::npos) << page;
    EXPECT_LT(openService, notRunning);
    EXPECT_THAT(page, Not(HasSubstr("Failed to set server termination event.")));
    EXPECT_EQ(page.find("Content-type"), std::string::npos) << "one reply, one header";
    std::string log = site.ReadHomeFile("log/KSML.LOG");
    EXPECT_THAT(log, HasSubstr("\"Error\",\"TID="));
    EXPECT_THAT(log, HasSubstr("Error occurred while attempt to open service."));
}

TEST(GatewayFromAShell, FailureIsAnHtmlPageAndExitStatusZero) {
    e2e::Site site;
    const std::string out = site.home() + "/ksml.out";
    EXPECT_EQ(e2e::RunProgram({e2e::BuiltProgram("ksml")}, {{"REQUEST_METHOD", "GET"}, {"SCRIPT_NAME", "/x.tsm"}}, out),
              0);
    std::string page = site.ReadHomeFile("ksml.out");
    EXPECT_EQ(page.rfind("Status: 503 Service Unavailable\nContent-type: text/html; charset=utf-8\n\n<HTML>", 0), 0u) << page;
    EXPECT_THAT(page, HasSubstr("Error occurred while attempt to open service."));
}

TEST(GatewayWindows95Road, RequestTravelsByWindowMessageAndReplyFile) {
    e2e::Site site;
    ASSERT_TRUE(site.StartWebServer({{"TESSARO_WIN95", "1"}})) << site.WebServerLog();
    FakeEngineWindow window("Content-type: text/html\nSet-Cookie: W=95\n\n<P>window page",
                            FakeEngineWindow::Mode::Answer);
    ASSERT_TRUE(window.created());
    std::string contentType;
    std::string body = e2e::MultipartFileBody("F", "a.txt", std::string(200000, 'z'), &contentType);
    auto response = e2e::HttpRequest(site.port(), "POST", "/up.tsm", {"Content-Type: " + contentType}, body);
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    EXPECT_EQ(response.body, "<P>window page");
    EXPECT_EQ(response.Header("Set-Cookie"), "W=95");
    auto received = window.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].well_formed);
    EXPECT_TRUE(received[0].body == body);
    EXPECT_THAT(received[0].environment, HasSubstr("\0TESSARO_WIN95=1\0"s));
}

TEST(GatewayWindows95Road, NoEngineWindowGivesTheNotRunningPage) {
    e2e::Site site;
    ASSERT_TRUE(site.StartWebServer({{"TESSARO_WIN95", "1"}})) << site.WebServerLog();
    auto response = site.Get("/x.tsm");
    EXPECT_EQ(response.status, 500) << response.error;
    EXPECT_THAT(response.body, HasSubstr("Tessaro server application not currently running."));
}

}  // namespace
