// Requests an attacker would send, through the whole road (browser -> lighttpd -> ksml ->
// tsengine): private runtime files named by a request, TSINCLUDE paths that climb out of
// the template folders, forms at the field cap, SQL values that imitate date literals,
// GetGraphic with a planted link, and connections that stall before their request is whole.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "child_process.h"
#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/text_matchers.h"

namespace {

namespace fs = std::filesystem;
using e2e::CookieValue;

using tessaro::test::ContainsText;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// What a program prints, run to completion.
std::string Output(const e2e::Site& site, const std::vector<std::string>& argv) {
    const std::string name = "program.out";
    e2e::RunProgram(argv, {{"TESSARO_HOME", site.home()}}, site.home() + "/" + name);
    std::string text = site.ReadHomeFile(name);
    fs::remove(site.home() + "/" + name);
    return text;
}

const char* const kClientsKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\Clients";

constexpr const char* kClientPage =
    "<TSAPPLICATION NAME=\"shop\" CLIENTMANAGEMENT=\"yes\"><TSPARAM NAME=\"Client.visits\" DEFAULT=\"0\">"
    "<TSSET Client.visits = Client.visits + 1><TSOUTPUT>#Client.visits#/#Client.TSID#</TSOUTPUT>";

class HostileRequests : public e2e::SiteTest {
protected:
    // With echo, every request is answered by the engine's diagnostic echo page.
    void Start(bool echo = false) {
        if (echo) {
            ASSERT_TRUE(e2e::Site::SetSetting("Debug", "EchoPage", "1"));
        }
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        ASSERT_EQ(site.Get("/x.tsm").status, 200) << site.WebServerLog();
    }

    // Registry store files the engine holds open although they were deleted.
    std::vector<std::string> DeletedStoreFilesOpenInEngine() const {
        std::vector<std::string> deleted;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(site.EnginePid()) + "/fd", ec)) {
            std::string target = fs::read_symlink(entry.path(), ec).string();
            if (!ec && ContainsText(target, "registry.db") && ContainsText(target, "(deleted)"))
                deleted.push_back(target);
        }
        return deleted;
    }
};

}  // namespace

TEST_F(HostileRequests, PrivateRuntimeFilesStayClosedAndTheRegistryKeepsEveryClient) {
    Start();
    const std::string home = site.home(), docs = site.document_root();
    site.WriteDocument("client.tsm", kClientPage);
    site.WriteDocument("content.tsm", "<TSCONTENT TYPE=\"text/plain\" FILE=\"#URL.f#\">");
    site.WriteDocument("include.tsm", "before<TSINCLUDE TEMPLATE=\"#URL.t#\">after");
    // The store is open in the engine, with its WAL files, before the attempts.
    ASSERT_EQ(site.Get("/client.tsm").body, "1/1");
    ASSERT_TRUE(fs::exists(home + "/registry.db-wal"));
    // Links planted where templates live.
    fs::create_symlink(home + "/registry.db", docs + "/store.tsm");
    fs::create_symlink(home + "/registry.db-wal", docs + "/wal.tsm");
    fs::create_symlink(home, docs + "/homelink");
    std::string scmFile;
    for (const auto& entry : fs::recursive_directory_iterator(home + "/scm"))
        if (entry.is_regular_file()) scmFile = entry.path().string();
    ASSERT_FALSE(scmFile.empty());

    const std::string contentCases[] = {
        home + "/registry.db", home + "/registry.db-wal",      home + "/registry.db-shm",          docs + "/store.tsm",
        docs + "/wal.tsm",     docs + "/homelink/registry.db", docs + "/homelink/registry.db-shm", scmFile};
    for (const std::string& file : contentCases) {
        auto response = site.Get("/content.tsm?f=" + e2e::FormEncode(file));
        EXPECT_EQ(response.status, 500) << file;
        EXPECT_THAT(response.body, Not(HasSubstr("SQLite format 3"))) << file;
        EXPECT_THAT(response.body, HasSubstr("Invalid TSCONTENT tag")) << file;
    }
    const std::string includeCases[] = {"../../registry.db",
                                        "../../registry.db-wal",
                                        "store.tsm",
                                        "wal.tsm",
                                        "homelink/registry.db",
                                        "homelink/registry.db-shm",
                                        "../../" + fs::relative(scmFile, home).string()};
    for (const std::string& t : includeCases) {
        auto response = site.Get("/include.tsm?t=" + e2e::FormEncode(t));
        EXPECT_EQ(response.status, 500) << t;
        EXPECT_THAT(response.body, Not(HasSubstr("SQLite format 3"))) << t;
        EXPECT_THAT(e2e::WithoutQuotedLines(response.body), Not(HasSubstr("after"))) << t << "\n" << response.body;
    }

    // 200 client-management requests from 8 clients, all while other processes read.
    constexpr int kClients = 8, kVisits = 25;
    std::atomic<int> failures{0};
    std::vector<std::string> ids(kClients);
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            auto first = site.Get("/client.tsm");
            ids[c] = CookieValue(first, "TSID");
            std::string token = CookieValue(first, "TSTOKEN");
            if (first.status != 200 || first.body != "1/" + ids[c] || ids[c].empty()) ++failures;
            for (int v = 2; v <= kVisits; ++v) {
                auto next = e2e::HttpRequest(site.port(), "GET", "/client.tsm",
                                             {"Cookie: TSID=" + ids[c] + "; TSTOKEN=" + token});
                if (next.status != 200 || next.body != std::to_string(v) + "/" + ids[c]) ++failures;
            }
        });
    }
    for (int r = 0; r < 5; ++r) Output(site, {e2e::BuiltProgram("tsreg"), "list", kClientsKey});
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);

    // Another process sees every client, and the store is whole.
    std::string listed = Output(site, {e2e::BuiltProgram("tsreg"), "list", kClientsKey});
    std::set<std::string> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kClients));
    for (const std::string& id : ids)
        EXPECT_THAT(listed, AnyOf(HasSubstr("\n" + id + "\\\n"), StartsWith(id + "\\\n"))) << id;
    EXPECT_EQ(Output(site, {"/usr/bin/sqlite3", home + "/registry.db", "PRAGMA integrity_check"}), "ok\n");
    auto deleted = DeletedStoreFilesOpenInEngine();
    EXPECT_TRUE(deleted.empty()) << deleted.front();
    EXPECT_EQ(site.Get("/client.tsm").body, "1/10");
}

TEST_F(HostileRequests, IncludesStayInsideTheTemplateFolders) {
    Start();
    const std::string docs = site.document_root();
    site.WriteDocument("include.tsm", "[<TSINCLUDE TEMPLATE=\"#URL.t#\">]");
    site.WriteDocument("sub/inner.tsm", "inner");
    site.WriteDocument("sub/climb.tsm", "<TSINCLUDE TEMPLATE=\"../../../../../../../etc/passwd\">");
    fs::create_symlink("/etc/passwd", docs + "/passwd.tsm");
    fs::create_symlink("/etc", docs + "/etclink");
    fs::create_symlink("/", docs + "/sub/rootlink");

    struct Case {
        std::string query;     // raw, as the browser sends it
        const char* expected;  // the page, or nullptr for an error page without the file
    } const cases[] = {
        {"t=../../../../../../../etc/passwd", nullptr},
        {"t=..%2f..%2f..%2f..%2f..%2f..%2f..%2fetc%2fpasswd", nullptr},
        {"t=%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/passwd", nullptr},
        {"t=%2E%2E%5C%2E%2E%5C%2E%2E%5C%2E%2E%5C%2E%2E%5C%2E%2E%5C%2E%2E%5Cetc%5Cpasswd", nullptr},
        {"t=sub/../../../../../../../../etc/passwd", nullptr},
        {"t=/../../../../../../../etc/passwd", nullptr},
        {"t=passwd.tsm", nullptr},
        {"t=etclink/passwd", nullptr},
        {"t=sub/rootlink/etc/passwd", nullptr},
        {"t=sub/climb.tsm", nullptr},
        {"t=../../registry.db", nullptr},
        // Inside the folders every spelling still works, absolute ones through the mapping.
        {"t=sub/inner.tsm", "[inner]"},
        {"t=sub/../sub/inner.tsm", "[inner]"},
        {"t=/sub/inner.tsm", "[inner]"},
        {"t=../docs/sub/inner.tsm", "[inner]"},
    };
    for (const Case& c : cases) {
        auto response = site.Get("/include.tsm?" + c.query);
        EXPECT_EQ(response.status, e2e::StatusOfPage(response.body)) << c.query;
        if (c.expected) {
            EXPECT_EQ(response.body, c.expected) << c.query;
            continue;
        }
        EXPECT_THAT(response.body, Not(HasSubstr("root:"))) << c.query;
        EXPECT_THAT(response.body, Not(HasSubstr("SQLite format 3"))) << c.query;
        EXPECT_THAT(e2e::WithoutQuotedLines(response.body), Not(HasSubstr("]"))) << c.query << "\n" << response.body;
    }
}

TEST_F(HostileRequests, UrlEncodedAndMultipartFormsShareTheFieldCap) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxFormFields", "10"));
    Start(true);
    std::string encoded;
    for (int i = 0; i < 15; ++i) encoded += "u" + std::to_string(i) + "=" + std::to_string(i) + "&";
    std::string multipart;
    for (int i = 0; i < 15; ++i)
        multipart += "--b0\r\nContent-Disposition: form-data; name=\"m" + std::to_string(i) + "\"\r\n\r\n" +
                     std::to_string(i) + "\r\n";
    multipart += "--b0--\r\n";
    struct Case {
        const char* type;
        std::string body;
        const char* prefix;
    } const cases[] = {{"application/x-www-form-urlencoded", encoded, "U"},
                       {"multipart/form-data; boundary=b0", multipart, "M"}};
    for (const Case& c : cases) {
        auto response = e2e::HttpRequest(site.port(), "POST", "/x.tsm?action=Echo",
                                         {"Content-Type: " + std::string(c.type)}, c.body);
        ASSERT_EQ(response.status, 200) << response.error;
        EXPECT_THAT(response.body, HasSubstr("FORM:" + std::string(c.prefix) + "9=9\n"));
        EXPECT_THAT(response.body, Not(HasSubstr("FORM:" + std::string(c.prefix) + "10=")));
    }
}

TEST_F(HostileRequests, SqlValuesThatImitateDateLiteralsKeepTheirQuotesDoubled) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_staff", site.home() + "/staff.db");
    Start();
    auto query = [](const std::string& name, const std::string& sql) {
        return "<TSQUERY NAME=\"" + name + "\" DATASOURCE=\"e2e_staff\">" + sql + "</TSQUERY>";
    };
    site.WriteDocument("setup.tsm", query("t", "CREATE TABLE staff (name VARCHAR(20), dept VARCHAR(10))") +
                                        query("r",
                                              "INSERT INTO staff VALUES ('Ann', 'Sales'), ('Bob', 'Sales'), "
                                              "('Cy', 'Ops'), ('Di', 'Ops'), ('Ed', 'Ops')") +
                                        "ready");
    ASSERT_EQ(site.Get("/setup.tsm").body, "ready");
    site.WriteDocument("count.tsm",
                       query("q", "SELECT COUNT(*) AS c FROM staff WHERE name <> '#URL.n#' AND dept = 'Sales'") +
                           "<TSOUTPUT QUERY=\"q\">#c#</TSOUTPUT>");
    const char* const lookAlikes[] = {
        "plain",
        "{d '--'}",
        "{d '-- '}",
        "{d ''}",
        "{t '--:--'}",
        "{ts '-- --:--:--.--'}",
        "{d '2000-13-45'}",
        "{d '1999-12-31'} OR 'a'='a'",
        "{d '1999-12-31'}' OR '1'='1",
        " {d '--'} ",
        "{D '--'}",
        "{d  '--'}",
        "O'Neil",
    };
    for (const char* n : lookAlikes) {
        auto response = site.Get("/count.tsm?n=" + e2e::FormEncode(n));
        EXPECT_EQ(response.status, 200) << n;
        EXPECT_EQ(response.body, "2") << n;
    }
}

TEST_F(HostileRequests, GetGraphicServesOnlyRegularFilesOfTheEnginesOwnFolder) {
    Start();
    const std::string folder = site.home() + "/tsr";
    // A folder others could write into, with a link planted in it.
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all);
    fs::create_symlink("/etc/passwd", folder + "/x.gif");
    std::ofstream(folder + "/chart.png", std::ios::binary) << "\x89PNG-bytes";
    std::ofstream(folder + "/photo.jpeg", std::ios::binary) << "JPEG-bytes";
    // The engine's own folder and files, as the report server makes them for it.
    site.GiveToEngineAccount(folder);

    auto planted = site.Get("/x.tsm?action=GetGraphic&FILE=x.gif");
    EXPECT_EQ(planted.status, 500);
    EXPECT_THAT(planted.body, Not(HasSubstr("root:")));
    EXPECT_THAT(planted.body, HasSubstr("Error in GetGraphic action"));
    EXPECT_TRUE(fs::is_symlink(folder + "/x.gif"));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    struct Case {
        const char* file;
        const char* type;
        const char* body;
    } const images[] = {{"chart.png", "image/png", "\x89PNG-bytes"}, {"photo.jpeg", "image/jpeg", "JPEG-bytes"}};
    for (const Case& c : images) {
        auto served = site.Get(std::string("/x.tsm?action=GetGraphic&FILE=") + c.file);
        EXPECT_EQ(served.status, 200) << c.file;
        EXPECT_EQ(served.Header("Content-type"), c.type) << served.headers;
        EXPECT_EQ(served.body, c.body);
        EXPECT_FALSE(fs::exists(folder + "/" + c.file)) << "served once, then deleted";
    }
    for (const char* name : {"../registry.db", "..%2fregistry.db", "REQUEST.DAT", "..%2f..%2fetc%2fpasswd.gif"}) {
        auto refused = site.Get(std::string("/x.tsm?action=GetGraphic&FILE=") + name);
        EXPECT_THAT(refused.body, Not(HasSubstr("SQLite format 3"))) << name;
        EXPECT_THAT(refused.body, HasSubstr("Error in GetGraphic action")) << name;
    }
}

namespace {

// A line "Name:   1234 kB" of /proc/<pid>/status, in bytes (0 when missing).
std::size_t ProcStatusBytes(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name + ":", 0) == 0) return std::stoul(line.substr(name.size() + 1)) * 1024;
    return 0;
}

}  // namespace

TEST_F(HostileRequests, LargeUrlEncodedPostsAreParsedWithoutCopiesOfTheirBodies) {
    // Large url-encoded posts wait on disk; parsing them holds their fields once, not the
    // several copies of each body that splitting, cutting and decoding used to make.
    Start();
    site.WriteDocument("big.tsm", "<TSOUTPUT>[#FORM.FIELDNAMES#][#FORM.b#]</TSOUTPUT>");
    constexpr int kPosts = 4;
    constexpr std::size_t kValueBytes = 16u << 20;
    const std::string body = "a=1&big=" + std::string(kValueBytes, 'x') + "&b=%41%42+c";
    const pid_t engine = site.EnginePid();
    const std::size_t before = ProcStatusBytes(engine, "VmRSS");
    ASSERT_GT(before, 0u);
    std::vector<std::thread> posts;
    std::atomic<int> answered{0};
    for (int i = 0; i < kPosts; ++i)
        posts.emplace_back([&] {
            auto response = e2e::HttpRequest(site.port(), "POST", "/big.tsm",
                                             {"Content-Type: application/x-www-form-urlencoded"}, body);
            if (response.status == 200 && ContainsText(response.body, "[A,BIG,B][AB c]")) ++answered;
        });
    for (std::thread& t : posts) t.join();
    EXPECT_EQ(answered.load(), kPosts);
    const std::size_t peak = ProcStatusBytes(engine, "VmHWM");
    EXPECT_LT(peak - before, 2 * kPosts * body.size()) << "peak " << (peak >> 20) << " MB, before " << (before >> 20);
}

namespace {

// Connections to the engine's socket that send a request a byte at a time and connect again
// at once whenever the engine drops one, as a local attacker with the socket's group would.
class Tricklers {
public:
    Tricklers(const std::string& socketPath, int count, int byteIntervalMs)
        : path_(socketPath), fds_(static_cast<std::size_t>(count), -1), sent_(fds_.size(), 0) {
        std::string environment = "REQUEST_METHOD=GET";
        environment += '\0';
        environment += "QUERY_STRING=" + std::string(400, 't');
        environment += '\0';
        environment += '\0';
        std::string head(8, '\0');
        head[0] = 1;
        for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<char>((environment.size() >> (8 * i)) & 0xFF);
        request_ = head + environment;
        thread_ = std::thread([this, byteIntervalMs] { Run(byteIntervalMs); });
    }
    ~Tricklers() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    int Reconnects() const { return reconnects_; }
    int Connected() const { return connected_; }

private:
    void Run(int byteIntervalMs) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        auto last = std::chrono::steady_clock::now() - std::chrono::hours(1);
        while (!stop_) {
            const bool byteTime = std::chrono::steady_clock::now() - last >= std::chrono::milliseconds(byteIntervalMs);
            if (byteTime) last = std::chrono::steady_clock::now();
            int connected = 0;
            for (std::size_t i = 0; i < fds_.size(); ++i) {
                int& fd = fds_[i];
                if (fd >= 0) {
                    pollfd p{fd, POLLIN, 0};
                    if (::poll(&p, 1, 0) > 0) {  // an answer or a close: dropped
                        ::close(fd);
                        fd = -1;
                    }
                }
                if (fd < 0) {
                    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                        ::close(fd);
                        fd = -1;
                        continue;
                    }
                    ++reconnects_;
                    sent_[i] = 0;
                    // The first byte at once, the rest a byte at a time.
                    if (::send(fd, request_.data(), 1, MSG_NOSIGNAL) == 1) sent_[i] = 1;
                }
                ++connected;
                if (byteTime && sent_[i] < request_.size() - 1 &&
                    ::send(fd, request_.data() + sent_[i], 1, MSG_NOSIGNAL) == 1)
                    ++sent_[i];
            }
            connected_ = connected;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::string path_;
    std::string request_;
    std::vector<int> fds_;
    std::vector<std::size_t> sent_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> reconnects_{0};
    std::atomic<int> connected_{0};
};

}  // namespace

TEST_F(HostileRequests, TricklingConnectionsLoseTheirPlaceToWholeRequests) {
    // Hundreds of connections that never finish their request, reconnecting whenever they are
    // dropped, hold every place for a request that is still arriving: a whole request takes
    // its place from the one that has taken longest and gets its page.
    Start(true);
    Tricklers tricklers(site.home() + "/run/PIPE/Tessaro/StubToServer20", 300, 1000);
    // Every place for an arriving request is taken, and the rest wait to be accepted.
    for (int i = 0; i < 300 && tricklers.Connected() < 300; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const int reconnectsBefore = tricklers.Reconnects();
    constexpr int kRequests = 4;
    for (int i = 0; i < kRequests; ++i) {
        auto response = site.Get("/x.tsm?action=Echo&visitor=" + std::to_string(i));
        EXPECT_EQ(response.status, 200) << i << "\n" << response.body;
        EXPECT_THAT(response.body, HasSubstr("URL:VISITOR=" + std::to_string(i) + "\n"));
    }
    EXPECT_GT(tricklers.Reconnects(), reconnectsBefore) << "the flood went on meanwhile";
}

TEST_F(HostileRequests, StalledConnectionsHoldNoPermitAndAreDropped) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "3"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "ReadStallSeconds", "3"));
    Start(true);
    const std::string path = site.home() + "/run/PIPE/Tessaro/StubToServer20";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    auto frame = [](std::uint32_t kind, std::uint32_t length) {
        std::string head(8, '\0');
        for (int i = 0; i < 4; ++i) {
            head[i] = static_cast<char>((kind >> (8 * i)) & 0xFF);
            head[4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
        }
        return head;
    };
    std::string environment = "REQUEST_METHOD=POST";
    environment += '\0';
    environment += "CONTENT_TYPE=application/x-www-form-urlencoded";
    environment += '\0';
    environment += "CONTENT_LENGTH=100";
    environment += '\0';
    environment += '\0';
    const std::string partial[] = {
        frame(1, 40).substr(0, 1),                                               // one byte of a header
        frame(1, 40).substr(0, 6),                                               // most of a header
        frame(1, 40) + "QUERY_STRING=a",                                         // part of the environment
        frame(1, static_cast<std::uint32_t>(environment.size())) + environment,  // no body frame
        frame(1, static_cast<std::uint32_t>(environment.size())) + environment + frame(1, 100) + "a=1",  // part of it
    };
    std::vector<int> stalled;
    for (int i = 0; i < 20; ++i) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
        const std::string& bytes = partial[i % 5];
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
        stalled.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const auto start = std::chrono::steady_clock::now();
    auto normal = site.Get("/x.tsm?action=Echo&after=stalled");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(normal.status, 200) << normal.error;
    EXPECT_THAT(normal.body, HasSubstr("URL:AFTER=stalled\n"));
    EXPECT_LT(waited, std::chrono::seconds(20));

    // Each stalled connection gets its read error and is closed by the engine.
    for (int fd : stalled) {
        timeval tv{30, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::string reply;
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
        EXPECT_EQ(n, 0) << std::strerror(errno);
        EXPECT_THAT(reply, HasSubstr("Error attempting to read the"));
        ::close(fd);
    }
    EXPECT_THAT(site.ReadHomeFile("log/SERVER.LOG"), Not(HasSubstr("Timed out while waiting for thread semaphore")));
}
