// Hostile requests along the whole road: browser -> lighttpd -> ksml -> tsengine,
// answered by the engine's diagnostic echo page (action=Echo).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "child_process.h"
#include "e2e_site.h"
#include "platform/service_manager.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The line of the echo page that starts with prefix, without its line end.
std::string EchoLine(const std::string& body, const std::string& prefix) {
    size_t at = body.find("\n" + prefix);
    if (at == std::string::npos) return "";
    size_t end = body.find('\n', at + 1);
    return body.substr(at + 1, end - at - 1);
}

class HostileThroughWebServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(e2e::Site::SetSetting("Debug", "EchoPage", "1")); }
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        ASSERT_EQ(site.Get("/x.tsm?action=Echo").status, 200);  // the engine is up
    }
    e2e::HttpResponse Post(const std::string& contentType, const std::string& body) {
        return e2e::HttpRequest(site.port(), "POST", "/x.tsm?action=Echo", {"Content-Type: " + contentType}, body);
    }

    e2e::Site site;
};

}  // namespace

TEST_F(HostileThroughWebServer, LineBreaksInARedirectNeverSplitTheHeader) {
    // The web server refuses encoded line breaks in a URL; another one may not, so the
    // gateway is run here as a CGI program with the raw query string.
    ASSERT_TRUE(site.InstallEngine());
    const std::string out = site.home() + "/ksml.out";
    int status = e2e::RunProgram(
        {e2e::BuiltProgram("ksml")},
        {{"REQUEST_METHOD", "GET"},
         {"SCRIPT_NAME", "/x.tsm"},
         {"QUERY_STRING", "action=Echo&redirect=http://127.0.0.1/next.tsm%0D%0ASet-Cookie:%20evil%3D1%0A%0Abody"}},
        out);
    EXPECT_EQ(status, 0);
    std::string reply = site.ReadHomeFile("ksml.out");
    EXPECT_EQ(reply, "Location: http://127.0.0.1/next.tsmSet-Cookie: evil=1body\n\n");
}

TEST_F(HostileThroughWebServer, UploadNamesNeverChooseWhereTheFileGoes) {
    Start();
    const std::string body =
        "--b0\r\nContent-Disposition: form-data; name=\"a\"; filename=\"../../../evil.txt\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\nAAA\r\n"
        "--b0\r\nContent-Disposition: form-data; name=\"b\"; filename=\"..\\..\\evil2.txt\"\r\n\r\nBBB\r\n"
        "--b0\r\nContent-Disposition: form-data; name=\"c\"; filename=\"/etc/x%00y.txt\"\r\n\r\nCCC\r\n"
        "--b0--\r\n";
    // The boundary is quoted, as some clients send it.
    auto response = Post("multipart/form-data; boundary=\"b0\"", body);
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    for (const char* field : {"FILE:A=", "FILE:B=", "FILE:C="}) {
        std::string line = EchoLine(response.body, field);
        ASSERT_FALSE(line.empty()) << field << "\n" << response.body;
        std::string temp = line.substr(7, line.find('|') - 7);
        EXPECT_EQ(std::filesystem::path(temp).filename().string().rfind("BTS", 0), 0u) << line;
        EXPECT_THAT(line, HasSubstr("|exists|"));
    }
    EXPECT_THAT(EchoLine(response.body, "FILE:A="), HasSubstr("|../../..|evil|txt")) << response.body;
    for (const std::string& dir :
         {site.home(), site.document_root(), std::filesystem::path(site.home()).parent_path().string()}) {
        EXPECT_FALSE(std::filesystem::exists(dir + "/evil.txt")) << dir;
        EXPECT_FALSE(std::filesystem::exists(dir + "/evil2.txt")) << dir;
    }
}

TEST_F(HostileThroughWebServer, MalformedBodiesGetAPageAndTheEngineStaysUp) {
    Start();
    pid_t engine = site.EnginePid();
    struct Case {
        std::string contentType;
        std::string body;
        std::string expected;
    } cases[] = {
        {"multipart/form-data", "--x\r\n\r\n", "No multipart boundary was declared."},
        {"multipart/form-data; boundary=", "--x\r\n\r\n", "No multipart boundary was declared."},
        {"multipart/form-data; boundary=zz", "no marker", "Invalid multi-part data."},
        {"multipart/form-data; boundary=zz", "--zz\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nnever closed",
         "Invalid multipart data."},
        {"multipart/form-data; boundary=zz", "--zz\r\nContent-Disposition: form-data\r\n\r\nv\r\n--zz--",
         "Invalid MIME section."},
        {"multipart/form-data; boundary=zz",
         "--zz\r\nContent-Disposition: form-data; name=\"a\"; filename=\"" + std::string(300000, 'h') +
             "\"\r\n\r\nv\r\n--zz--",
         "FILE:A="},
        {"application/x-www-form-urlencoded", "a=%&b=%4&c=%zz&d=%%41&e=1%", "FORM:B=%4\n"},
        {"application/x-www-form-urlencoded; charset=UTF-8", "a=1&a=&a=3", "FORM:A=1,3\n"},
    };
    for (const auto& c : cases) {
        auto response = Post(c.contentType, c.body);
        EXPECT_EQ(response.status, e2e::StatusOfPage(response.body)) << c.contentType << response.error;
        EXPECT_THAT(response.body, HasSubstr(c.expected)) << c.contentType << "\n" << response.body.substr(0, 600);
    }
    EXPECT_EQ(site.EnginePid(), engine);
    EXPECT_EQ(site.Get("/x.tsm?action=Echo").status, 200);
}

TEST_F(HostileThroughWebServer, SilentConnectionToTheEngineDoesNotMakeOthersBusy) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "1"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "1"));
    Start();
    // A local client connects to the engine's socket and sends nothing.
    const std::string path = site.home() + "/run/PIPE/Tessaro/StubToServer20";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    int idle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(idle, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    auto response = site.Get("/x.tsm?action=Echo&after=idle");
    ::close(idle);
    EXPECT_EQ(response.status, 200);
    EXPECT_THAT(response.body, HasSubstr("URL:AFTER=idle\n"));
    EXPECT_THAT(site.ReadHomeFile("log/SERVER.LOG"), Not(HasSubstr("Timed out while waiting for thread semaphore")));
}
