// The real gateway behind the real web server, with a stand-in engine in the test process.

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

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

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
    EXPECT_TRUE(Contains(env, "\0SCRIPT_NAME=/x.tsm\0TS_TEMPLATE_PATH=\0"s));
    EXPECT_TRUE(Contains(env, "\0QUERY_STRING=a=1&b=two\0"s));
    EXPECT_TRUE(Contains(env, "\0TESSARO_HOME=" + site.home() + "\0"s));
    EXPECT_TRUE(Contains(env, "\0REMOTE_ADDR=127.0.0.1\0"s));
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
    EXPECT_TRUE(Contains(received[0], "\0SCRIPT_NAME=/y.ksm\0TS_TEMPLATE_PATH=\0"s));
    EXPECT_TRUE(Contains(received[1], "\0SCRIPT_NAME=/sub/z.tsm\0TS_TEMPLATE_PATH=\0"s));
    EXPECT_TRUE(Contains(received[2], "\0QUERY_STRING=TEMPLATE=/x.tsm\0"s));
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
    EXPECT_TRUE(Contains(received[0], "\0CONTENT_LENGTH=" + std::to_string(body.size()) + "\0"s));
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
    EXPECT_TRUE(Contains(response.body, "Server busy or unable to fulfill request")) << response.body;
}

TEST_F(GatewayThroughWebServer, WithoutAnInstalledEngineTheGatewayAnswersWithItsErrorPage) {
    auto response = site.Get("/x.tsm");
    ASSERT_EQ(response.status, 500) << response.error << site.WebServerLog();
    EXPECT_EQ(response.Header("Content-type"), "text/html; charset=utf-8");
    const std::string& page = response.body;
    size_t openService = page.find("Error occurred while attempt to open service.");
    size_t event = page.find("Failed to set server termination event.");
    size_t notRunning =
        page.find("The most likely cause of this problem is that the service is not currently running.");
    ASSERT_NE(openService, std::string::npos) << page;
    ASSERT_NE(event, std::string::npos) << page;
    ASSERT_NE(notRunning, std::string::npos) << page;
    EXPECT_LT(openService, event);
    EXPECT_LT(event, notRunning);
    EXPECT_EQ(page.find("Content-type"), std::string::npos) << "one reply, one header";
    std::string log = site.ReadHomeFile("log/KSML.LOG");
    EXPECT_TRUE(Contains(log, "\"Error\",\"TID=")) << log;
    EXPECT_TRUE(Contains(log, "Failed to set server termination event.")) << log;
}

TEST(GatewayFromAShell, FailureIsAnHtmlPageAndExitStatusZero) {
    e2e::Site site;
    const std::string out = site.home() + "/ksml.out";
    EXPECT_EQ(e2e::RunProgram({e2e::BuiltProgram("ksml")}, {{"REQUEST_METHOD", "GET"}, {"SCRIPT_NAME", "/x.tsm"}}, out),
              0);
    std::string page = site.ReadHomeFile("ksml.out");
    EXPECT_EQ(page.rfind("Status: 500 Internal Server Error\nContent-type: text/html; charset=utf-8\n\n<HTML>", 0), 0u) << page;
    EXPECT_TRUE(Contains(page, "Error occurred while attempt to open service.")) << page;
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
    EXPECT_TRUE(Contains(received[0].environment, "\0TESSARO_WIN95=1\0"s));
}

TEST(GatewayWindows95Road, NoEngineWindowGivesTheNotRunningPage) {
    e2e::Site site;
    ASSERT_TRUE(site.StartWebServer({{"TESSARO_WIN95", "1"}})) << site.WebServerLog();
    auto response = site.Get("/x.tsm");
    EXPECT_EQ(response.status, 500) << response.error;
    EXPECT_TRUE(Contains(response.body, "Tessaro server application not currently running.")) << response.body;
}

}  // namespace
