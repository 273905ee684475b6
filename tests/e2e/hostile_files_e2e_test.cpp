// Requests an attacker would send against the engine's files and its limits, through the
// whole road (browser -> lighttpd -> ksml -> tsengine): paths with a zero byte, private
// runtime files named on every road that opens a file, links and special files swapped in
// where a template writes, folders of a path swapped for links while the roads run, uploads
// named as templates (past white space or with control characters), report values that try to become
// formulas, oversized headers and table columns, large bodies, connections that trickle,
// and a data source added to odbc.ini after a request asked for it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/folder_swapper.h"
#include "tests/common/text_matchers.h"

namespace {

namespace fs = std::filesystem;

using tessaro::test::ContainsText;
using ::testing::HasSubstr;
using ::testing::Not;

using tessaro::test::ReadFileText;
using tessaro::test::WriteFileText;

// A value of /proc/<pid>/status in kB (VmRSS, RssAnon, ...), 0 when not found.
long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    return 0;
}

const std::string kNul = "%00";

class HostileFiles : public e2e::SiteTest {
protected:
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        ASSERT_EQ(site.Get("/x.tsm").status, 200) << site.WebServerLog();
    }
    // A form posted url-encoded; the web server refuses a zero byte in the address, not in a body.
    e2e::HttpResponse Post(const std::string& target, const std::string& form) {
        return e2e::HttpRequest(site.port(), "POST", target, {"Content-Type: application/x-www-form-urlencoded"},
                                form);
    }
    // The engine's error page, and not the web server's (a 502 or an empty answer).
    static bool IsEngineErrorPage(const e2e::HttpResponse& response) {
        return response.status == 500 && e2e::StatusOfPage(response.body) == 500;
    }
};

}  // namespace

TEST_F(HostileFiles, PathsWithAZeroByteAreRefusedOnEveryRoad) {
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "MailServer", "127.0.0.1"));
    Start();
    const std::string docs = site.document_root();
    fs::create_directories(docs + "/notes");
    WriteFileText(docs + "/notes/kept.txt", "kept-content");
    site.WriteDocument("inner.tsm", "inner-content");
    WriteFileText(docs + "/staff.rpt",
                  "[Report]\nColumns={t.a}\n[Table]\nDatabaseLibrary=x\nFields=a\nFile=rows.csv\n");
    struct Case {
        const char* name;
        std::string page;
        std::string query;
    } const cases[] = {
        {"write", "<TSFILE ACTION=\"WRITE\" FILE=\"" + docs + "/notes/#FORM.n#.txt\" OUTPUT=\"<TSOUTPUT>x</TSOUTPUT>\">",
         "n=evil.tsm" + kNul},
        {"append", "<TSFILE ACTION=\"APPEND\" FILE=\"" + docs + "/notes/#FORM.n#.txt\" OUTPUT=\"x\">",
         "n=evil.tsm" + kNul},
        {"read", "<TSFILE ACTION=\"READ\" FILE=\"" + docs + "/notes/#FORM.n#\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
         "n=kept.txt" + kNul + ".x"},
        {"copy", "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/notes/kept.txt\" DESTINATION=\"" + docs +
                     "/notes/#FORM.n#.txt\">",
         "n=copy.tsm" + kNul},
        {"delete", "<TSFILE ACTION=\"DELETE\" FILE=\"" + docs + "/notes/#FORM.n#\">", "n=kept.txt" + kNul + ".x"},
        {"include", "<TSINCLUDE TEMPLATE=\"#FORM.n#\">", "n=inner.tsm" + kNul + ".txt"},
        {"content", "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + docs + "/notes/#FORM.n#\">",
         "n=kept.txt" + kNul + ".x"},
        {"mimeattach",
         "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"s\" MIMEATTACH=\"" + docs +
             "/notes/#FORM.n#\">body</TSMAIL>",
         "n=kept.txt" + kNul + ".x"},
        {"report", "<TSREPORT REPORT=\"" + docs + "/#FORM.n#\"></TSREPORT>", "n=staff.rpt" + kNul + ".x"},
    };
    for (const Case& c : cases) {
        site.WriteDocument(std::string(c.name) + ".tsm", c.page);
        auto response = Post("/" + std::string(c.name) + ".tsm", c.query);
        EXPECT_TRUE(IsEngineErrorPage(response)) << c.name << "\n" << response.body;
        EXPECT_THAT(response.body, Not(HasSubstr("-content"))) << c.name;
    }
    EXPECT_FALSE(fs::exists(docs + "/notes/evil.tsm"));
    EXPECT_FALSE(fs::exists(docs + "/notes/copy.tsm"));
    EXPECT_EQ(ReadFileText(docs + "/notes/kept.txt"), "kept-content");
    EXPECT_FALSE(fs::exists(site.home() + "/Mail/SPOOL") && !fs::is_empty(site.home() + "/Mail/SPOOL"));

    site.WriteDocument("exists.tsm", "<TSOUTPUT>#FileExists(FORM.n)#/#FileExists(FORM.m)#</TSOUTPUT>");
    auto exists = Post("/exists.tsm", "n=" + e2e::FormEncode(docs + "/notes/kept.txt") + kNul + "x&m=" +
                                          e2e::FormEncode(docs + "/notes/kept.txt"));
    EXPECT_EQ(exists.body, "NO/YES");
    // The web server itself refuses a zero byte in the address, so GetGraphic's name cannot carry one.
    auto graphic = site.Get("/x.tsm?action=GetGraphic&FILE=chart.gif" + kNul + "x");
    EXPECT_NE(graphic.status, 200) << graphic.body;
}

TEST_F(HostileFiles, PrivateFilesStayClosedOnEveryRoad) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_files", site.home() + "/files.db");
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "MailServer", "127.0.0.1"));
    Start();
    const std::string home = site.home(), docs = site.document_root();
    // One file in each private place; the engine has made its folders by now.
    const std::vector<std::string> privateFiles = {
        home + "/registry.db",        home + "/windows/KSML.INI",     home + "/log/SERVER.LOG",
        home + "/odbc/odbc.ini",      home + "/odbc/odbcinst.ini",    home + "/Mail/LOG/PRIVATE.LOG",
        home + "/tsr/chart.gif",      home + "/tmp/work.dat",         home + "/tmp/tsr/request.dat",
    };
    for (const std::string& file : privateFiles) {
        fs::create_directories(fs::path(file).parent_path());
        if (!fs::exists(file)) WriteFileText(file, "private-bytes");
    }
    std::vector<std::string> before;
    for (const std::string& file : privateFiles) before.push_back(ReadFileText(file));
    fs::create_directories(docs + "/out");
    // Every road that opens a file for a template, the file named by the request.
    const std::string roads[] = {
        "<TSFILE ACTION=\"READ\" FILE=\"#URL.f#\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
        "<TSFILE ACTION=\"APPEND\" FILE=\"#URL.f#\" OUTPUT=\"[Evil]\">",
        "<TSFILE ACTION=\"WRITE\" FILE=\"#URL.f#\" OUTPUT=\"[Evil]\">",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"#URL.f#\" DESTINATION=\"" + docs + "/out/copy.txt\">",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/x.tsm\" DESTINATION=\"#URL.f#\">",
        "<TSFILE ACTION=\"MOVE\" SOURCE=\"#URL.f#\" DESTINATION=\"" + docs + "/out/moved.txt\">",
        "<TSFILE ACTION=\"DELETE\" FILE=\"#URL.f#\">",
        "<TSCONTENT TYPE=\"text/plain\" FILE=\"#URL.f#\">",
        "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"s\" MIMEATTACH=\"#URL.f#\">b</TSMAIL>",
        "<TSREPORT REPORT=\"#URL.f#\"></TSREPORT>",
    };
    for (std::size_t r = 0; r < std::size(roads); ++r) {
        site.WriteDocument("road" + std::to_string(r) + ".tsm", roads[r]);
        for (const std::string& file : privateFiles) {
            auto response = site.Get("/road" + std::to_string(r) + ".tsm?f=" + e2e::FormEncode(file));
            EXPECT_TRUE(IsEngineErrorPage(response)) << roads[r] << "\n" << file << "\n" << response.body;
            EXPECT_THAT(response.body, Not(HasSubstr("private-bytes"))) << roads[r] << " " << file;
            EXPECT_THAT(response.body, Not(HasSubstr("SQLite format 3"))) << roads[r] << " " << file;
        }
    }
    for (std::size_t i = 0; i < privateFiles.size(); ++i)
        if (privateFiles[i] != home + "/registry.db" && privateFiles[i] != home + "/log/SERVER.LOG") {
            EXPECT_EQ(ReadFileText(privateFiles[i]), before[i]) << privateFiles[i];
        }
    EXPECT_TRUE(fs::is_empty(docs + "/out"));
    EXPECT_TRUE(!fs::exists(home + "/Mail/SPOOL") || fs::is_empty(home + "/Mail/SPOOL"));
    // A report whose rows come from a private file is refused as well.
    WriteFileText(docs + "/rows.rpt",
                  "[Report]\nColumns={t.a}\n[Table]\nDatabaseLibrary=x\nFields=a\nFile=" + home + "/odbc/odbc.ini\n");
    auto rows = Page("rows.tsm", "<TSREPORT REPORT=\"" + docs + "/rows.rpt\"></TSREPORT>");
    EXPECT_TRUE(IsEngineErrorPage(rows)) << rows.body;
    // GetTempFile in a private folder fails; the templates' own temporary folder works.
    auto temp = Page("temp.tsm", "<TSOUTPUT>#GetTempFile(URL.d, 'x')#</TSOUTPUT>", "d=" + e2e::FormEncode(home + "/tmp/"));
    EXPECT_TRUE(IsEngineErrorPage(temp)) << temp.body;
    auto own = Page("own.tsm",
                    "<TSSET p = GetTempDirectory() & 'note.txt'><TSFILE ACTION=\"WRITE\" FILE=\"#p#\" OUTPUT=\"mine\">"
                    "<TSFILE ACTION=\"READ\" FILE=\"#p#\" VARIABLE=\"v\"><TSOUTPUT>#p#=#v#</TSOUTPUT>");
    EXPECT_EQ(own.body, home + "/tmp/templates/note.txt=mine\n");
}

TEST_F(HostileFiles, FilesAreOpenedAsCheckedAndReadsAreBounded) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxFunctionResultBytes", "4096"));
    Start();
    const std::string home = site.home(), docs = site.document_root();
    const std::string shared = docs + "/shared";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all);
    WriteFileText(home + "/log/TARGET.LOG", "target\n");
    const std::string before = ReadFileText(home + "/log/TARGET.LOG");
    site.WriteDocument("append.tsm", "<TSFILE ACTION=\"APPEND\" FILE=\"" + shared + "/log.txt\" OUTPUT=\"line\">ok");
    site.WriteDocument("read.tsm",
                       "<TSFILE ACTION=\"READ\" FILE=\"#URL.f#\" VARIABLE=\"v\"><TSOUTPUT>#Len(v)#</TSOUTPUT>");
    // A link swapped in where the file was checked: the write never follows it.
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const std::string link = shared + "/log.txt", tmp = shared + "/log.tmp";
        while (!stop) {
            std::error_code ec;
            fs::remove(tmp, ec);
            fs::create_symlink(home + "/log/TARGET.LOG", tmp, ec);
            fs::rename(tmp, link, ec);
            fs::remove(link, ec);
            WriteFileText(link, "");
            site.GiveToEngineAccount(link);  // the page's own file, put back
        }
    });
    int ok = 0;
    for (int i = 0; i < 60; ++i) ok += site.Get("/append.tsm").body == "ok";
    stop = true;
    swapper.join();
    EXPECT_GT(ok, 0);
    EXPECT_EQ(ReadFileText(home + "/log/TARGET.LOG"), before);

    // A FIFO, a device, a folder and a file past the limit: each answers at once with an error.
    const std::string fifo = shared + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    WriteFileText(shared + "/big.txt", std::string(5000, 'b'));
    WriteFileText(shared + "/small.txt", std::string(100, 's'));
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : {fifo, std::string("/dev/zero"), shared, shared + "/big.txt"}) {
        auto response = site.Get("/read.tsm?f=" + e2e::FormEncode(file));
        EXPECT_TRUE(IsEngineErrorPage(response)) << file << "\n" << response.body;
    }
    for (const char* road : {"COPY", "MOVE"}) {
        auto response = Page("road.tsm",
                             "<TSFILE ACTION=\"" + std::string(road) + "\" SOURCE=\"" + fifo +
                                 "\" DESTINATION=\"" + shared + "/copy\">");
        EXPECT_TRUE(IsEngineErrorPage(response)) << road << "\n" << response.body;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(site.Get("/read.tsm?f=" + e2e::FormEncode(shared + "/small.txt")).body, "100");
}

// COPY, MOVE, RENAME and UPLOAD whose destination names a device node, a FIFO or a link in a
// folder of the test: each stays what it was (the same object, the same kind, the same device
// numbers), the file that was to replace it is kept where it was, and the page says why.
TEST_F(HostileFiles, DestinationsThatAreNoRegularFileStayAsTheyAre) {
    ASSERT_EQ(::geteuid(), 0u) << "making a device node needs root, as the tests run here and in CI";
    Start();
    const std::string docs = site.document_root(), nodes = docs + "/nodes";
    fs::create_directories(nodes);
    fs::create_directories(docs + "/m");
    WriteFileText(docs + "/src.txt", "source");
    WriteFileText(nodes + "/target.txt", "target");
    // The numbers of the null device, in a folder of the test: writes to it would go nowhere.
    ASSERT_EQ(::mknod((nodes + "/null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0) << std::strerror(errno);
    ASSERT_EQ(::mkfifo((nodes + "/fifo").c_str(), 0666), 0);
    fs::create_symlink(nodes + "/target.txt", nodes + "/link");
    struct Node {
        std::string name;
        struct stat st;
    };
    std::vector<Node> before;
    for (const char* name : {"null", "fifo", "link"}) {
        Node node{name, {}};
        ASSERT_EQ(::lstat((nodes + "/" + name).c_str(), &node.st), 0);
        before.push_back(node);
    }
    site.WriteDocument("copy.tsm",
                       "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/src.txt\" DESTINATION=\"#URL.d#\">copied");
    site.WriteDocument("move.tsm", "<TSFILE ACTION=\"WRITE\" FILE=\"" + docs +
                                       "/m/#URL.n#.txt\" OUTPUT=\"moved\"><TSFILE ACTION=\"MOVE\" SOURCE=\"" + docs +
                                       "/m/#URL.n#.txt\" DESTINATION=\"#URL.d#\">moved");
    site.WriteDocument("rename.tsm", "<TSFILE ACTION=\"WRITE\" FILE=\"" + nodes +
                                         "/r#URL.n#.txt\" OUTPUT=\"renamed\"><TSFILE ACTION=\"RENAME\" SOURCE=\"" +
                                         nodes + "/r#URL.n#.txt\" DESTINATION=\"#URL.d#\">renamed");
    site.WriteDocument("upload.tsm", "<TSFILE ACTION=\"UPLOAD\" FILEFIELD=\"doc\" DESTINATION=\"" + nodes +
                                         "/\" NAMECONFLICT=\"OVERWRITE\">uploaded");
    int n = 0;
    for (const Node& node : before) {
        const std::string path = nodes + "/" + node.name;
        std::vector<std::pair<std::string, e2e::HttpResponse>> answers;
        answers.emplace_back("copy", site.Get("/copy.tsm?d=" + e2e::FormEncode(path)));
        ++n;
        answers.emplace_back("move", site.Get("/move.tsm?n=" + std::to_string(n) + "&d=" + e2e::FormEncode(path)));
        EXPECT_EQ(ReadFileText(docs + "/m/" + std::to_string(n) + ".txt"), "moved\n") << node.name;
        answers.emplace_back("rename", site.Get("/rename.tsm?n=" + std::to_string(n) + "&d=" + node.name));
        EXPECT_EQ(ReadFileText(nodes + "/r" + std::to_string(n) + ".txt"), "renamed\n") << node.name;
        std::string contentType;
        std::string body = e2e::MultipartFileBody("doc", node.name, "uploaded", &contentType);
        answers.emplace_back(
            "upload", e2e::HttpRequest(site.port(), "POST", "/upload.tsm", {"Content-Type: " + contentType}, body));
        for (const auto& [road, response] : answers) {
            EXPECT_TRUE(IsEngineErrorPage(response)) << road << " " << node.name << "\n" << response.body;
            EXPECT_THAT(response.body, HasSubstr("The destination is not a regular file")) << road << " " << node.name;
        }
        struct stat now {};
        ASSERT_EQ(::lstat(path.c_str(), &now), 0) << node.name;
        EXPECT_EQ(now.st_ino, node.st.st_ino) << node.name;
        EXPECT_EQ(now.st_mode & S_IFMT, node.st.st_mode & S_IFMT) << node.name;
        EXPECT_EQ(now.st_rdev, node.st.st_rdev) << node.name;
    }
    EXPECT_EQ(fs::read_symlink(nodes + "/link"), nodes + "/target.txt");
    EXPECT_EQ(ReadFileText(nodes + "/target.txt"), "target");
    // Nothing staged is left beside them; a regular file there is replaced as before.
    for (const auto& entry : fs::directory_iterator(nodes))
        EXPECT_NE(entry.path().filename().string().rfind(".BTS", 0), 0u) << entry.path();
    EXPECT_EQ(site.Get("/copy.tsm?d=" + e2e::FormEncode(nodes + "/target.txt")).body, "copied");
    EXPECT_EQ(ReadFileText(nodes + "/target.txt"), "source");
}

// /dev is the kernel's, like /proc and /sys: no file below it is read, copied or made, a
// regular one (in shared memory) included.
TEST_F(HostileFiles, FilesBelowDevAreTheKernelsOwn) {
    Start();
    const std::string shm = "/dev/shm/tessaro-e2e-" + std::to_string(::getpid());
    ASSERT_TRUE(fs::is_directory("/dev/shm")) << "Linux keeps shared memory in /dev/shm";
    fs::create_directories(shm);
    WriteFileText(shm + "/note.txt", "shared-bytes");
    const std::string docs = site.document_root();
    fs::create_directories(docs + "/out");
    const std::string pages[] = {
        "<TSFILE ACTION=\"READ\" FILE=\"" + shm + "/note.txt\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + shm + "/note.txt\" DESTINATION=\"" + docs + "/out/note.txt\">",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/x.tsm\" DESTINATION=\"" + shm + "/copy.txt\">",
        "<TSFILE ACTION=\"WRITE\" FILE=\"" + shm + "/written.txt\" OUTPUT=\"x\">",
        "<TSFILE ACTION=\"READ\" FILE=\"/dev/null\" VARIABLE=\"v\">",
        "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + shm + "/note.txt\">",
    };
    for (const std::string& page : pages) {
        auto response = Page("dev.tsm", page);
        EXPECT_TRUE(IsEngineErrorPage(response)) << page << "\n" << response.body;
        EXPECT_THAT(response.body, Not(HasSubstr("shared-bytes"))) << page;
    }
    EXPECT_EQ(Page("exists.tsm", "<TSOUTPUT>#FileExists('" + shm + "/note.txt')#</TSOUTPUT>").body, "NO");
    EXPECT_TRUE(fs::is_empty(docs + "/out"));
    EXPECT_FALSE(fs::exists(shm + "/copy.txt"));
    EXPECT_FALSE(fs::exists(shm + "/written.txt"));
    fs::remove_all(shm);
}

TEST_F(HostileFiles, UploadsNamedAsTemplatesNeedATemplateTypeInAccept) {
    Start();
    const std::string folder = site.document_root() + "/uploads";
    fs::create_directories(folder);
    const std::string shell = std::string("GIF89a") + "<TSOUTPUT>#1+1#</TSOUTPUT>";
    struct Case {
        const char* fileName;
        const char* attributes;
        bool saved;
    } const cases[] = {
        {"shell.tsm", "ACCEPT=\"image/gif\"", false},
        {"SHELL.KsM", "ACCEPT=\"image/gif\"", false},
        {"shell.tsm", "", false},
        // White space after the extension, which a file system or web server may drop, and
        // control characters anywhere in the name.
        {"shell.tsm\t", "ACCEPT=\"image/gif\"", false},
        {"shell.tsm\v", "ACCEPT=\"image/gif\"", false},
        {"shell.tsm\r\n", "ACCEPT=\"image/gif\"", false},
        {"shell.tsm\xC2\xA0", "ACCEPT=\"image/gif\"", false},
        {"shell.tsm\xA0", "ACCEPT=\"image/gif\"", false},
        {"shell.tsm%09", "ACCEPT=\"image/gif\"", false},
        {"pic\x01.gif", "ACCEPT=\"image/gif\"", false},
        {"pic.gif", "ACCEPT=\"image/gif\" NAMECONFLICT=\"MAKEUNIQUE\"", true},
        {"page.tsm", "ACCEPT=\"text/x-tsml\"", true},
    };
    for (const Case& c : cases) {
        site.WriteDocument("up.tsm", "<TSFILE ACTION=\"UPLOAD\" FILEFIELD=\"doc\" DESTINATION=\"" + folder + "/\" " +
                                         c.attributes + "><TSOUTPUT>saved #File.ServerFile#</TSOUTPUT>");
        std::string contentType;
        std::string body = e2e::MultipartFileBody("doc", c.fileName, shell, &contentType);
        // The declared type the attributes ask for.
        const std::string declared = ContainsText(c.attributes, "x-tsml") ? "text/x-tsml" : "image/gif";
        std::string withType = body;
        const std::string generic = "application/octet-stream";
        withType.replace(withType.find(generic), generic.size(), declared);
        auto response = e2e::HttpRequest(site.port(), "POST", "/up.tsm", {"Content-Type: " + contentType}, withType);
        EXPECT_EQ(ContainsText(e2e::WithoutQuotedLines(response.body), "saved "), c.saved)
            << c.fileName << " " << c.attributes << "\n"
            << response.body;
        if (!c.saved) {
            EXPECT_TRUE(IsEngineErrorPage(response)) << response.body;
        }
    }
    int templates = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string ext = entry.path().extension().string();
        for (char& ch : ext) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (ext == ".TSM" || ext == ".KSM") ++templates;
    }
    EXPECT_EQ(templates, 1);  // only the one ACCEPT asked for
}

TEST_F(HostileFiles, ReportValuesStayTexts) {
    REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
    e2e::SQLiteDataSource odbc(site.home(), "e2e_staff", site.home() + "/staff.db");
    Start();
    const std::string docs = site.document_root();
    WriteFileText(docs + "/staff.rpt",
                  "[Report]\nTitle=Staff\nColumns={staff.name}, {@Label}\nHeadings=Name, Label\n\n[Table]\n"
                  "DatabaseLibrary=PDSODBC.DLL\nName=staff\nFields=id, name, salary\nServer=e2e_staff\nTable=staff\n\n"
                  "[Formulas]\nLabel='none'\n");
    auto setup = Page("setup.tsm",
                      "<TSQUERY DATASOURCE=\"e2e_staff\">CREATE TABLE staff (id INTEGER, name VARCHAR(20), salary "
                      "INTEGER)</TSQUERY><TSQUERY DATASOURCE=\"e2e_staff\">INSERT INTO staff VALUES (1, 'Ann', "
                      "987654)</TSQUERY>ready");
    ASSERT_EQ(setup.body, "ready");
    site.WriteDocument("report.tsm", "<TSREPORT REPORT=\"" + docs + "/staff.rpt\" DATASOURCE=\"e2e_staff\" " +
                                         "@Label=\"#URL.l#\"></TSREPORT>");
    for (const std::string& value : {std::string("x\" & {staff.salary} & \"y"), std::string("\"")}) {
        auto page = site.Get("/report.tsm?l=" + e2e::FormEncode(value));
        EXPECT_EQ(page.status, 200) << page.body;
        EXPECT_THAT(page.body, Not(HasSubstr("987654")));
        EXPECT_THAT(page.body, HasSubstr("<TD>Ann</TD>"));
    }
}

TEST_F(HostileFiles, OversizedHeadersAndColumnsAreRefusedOrBounded) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_rows", site.home() + "/rows.db");
    Start();
    struct Case {
        const char* name;
        const char* page;
    } const cases[] = {
        {"header", "<TSHEADER NAME=\"X-Big\" VALUE=\"#RepeatString('a', 100000)#\">page"},
        {"headers", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"10\"><TSHEADER NAME=\"X-#i#\" "
                    "VALUE=\"#RepeatString('a', 7000)#\"></TSLOOP>page"},
        {"cookie", "<TSCOOKIE NAME=\"big\" VALUE=\"#RepeatString('a', 100000)#\">page"},
        {"cookies", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"10\"><TSCOOKIE NAME=\"c#i#\" "
                    "VALUE=\"#RepeatString('a', 7000)#\"></TSLOOP>page"},
    };
    for (const Case& c : cases) {
        auto response = Page(std::string(c.name) + ".tsm", c.page);
        EXPECT_TRUE(IsEngineErrorPage(response)) << c.name << " " << response.status << "\n" << response.body;
    }
    auto fits = Page("fits.tsm", "<TSHEADER NAME=\"X-Fits\" VALUE=\"#RepeatString('a', 4000)#\">page");
    EXPECT_EQ(fits.status, 200);
    EXPECT_EQ(fits.Header("X-Fits").size(), 4000u);

    auto table = Page("table.tsm",
                      "<TSQUERY NAME=\"q\" DATASOURCE=\"e2e_rows\">SELECT 1 AS x</TSQUERY>"
                      "<TSTABLE QUERY=\"q\" COLSPACING=\"100000000\"><TSCOL TEXT=\"#x#\" WIDTH=\"100000000\">"
                      "</TSTABLE>");
    EXPECT_EQ(table.status, 200) << table.body;
    EXPECT_THAT(table.body, HasSubstr("1"));
    EXPECT_LT(table.body.size(), 100000u);
}

TEST_F(HostileFiles, LargeBodiesWaitInFilesNotInMemory) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxBodyMemoryBytes", "4194304"));
    Start();
    const std::string folder = site.document_root() + "/uploads";
    fs::create_directories(folder);
    site.WriteDocument("up.tsm", "<TSFILE ACTION=\"UPLOAD\" FILEFIELD=\"doc\" DESTINATION=\"" + folder +
                                     "/\" NAMECONFLICT=\"MAKEUNIQUE\"><TSOUTPUT>#File.FileSize#</TSOUTPUT>");
    const pid_t engine = site.EnginePid();
    ASSERT_GT(engine, 0);
    const long baseline = StatusKb(engine, "RssAnon");
    constexpr int kPosts = 6;
    constexpr std::size_t kBytes = 24u << 20;
    std::atomic<bool> done{false};
    std::atomic<long> peak{baseline};
    std::thread sampler([&] {
        while (!done) {
            long now = StatusKb(engine, "RssAnon");
            if (now > peak) peak = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::vector<std::thread> posts;
    std::atomic<int> saved{0};
    for (int i = 0; i < kPosts; ++i) {
        posts.emplace_back([&, i] {
            std::string data(kBytes, static_cast<char>('a' + i));
            std::string contentType;
            std::string body = e2e::MultipartFileBody("doc", "big.bin", data, &contentType);
            auto response =
                e2e::HttpRequest(site.port(), "POST", "/up.tsm", {"Content-Type: " + contentType}, body);
            if (response.body == std::to_string(kBytes)) ++saved;
        });
    }
    for (auto& post : posts) post.join();
    done = true;
    sampler.join();
    EXPECT_EQ(saved.load(), kPosts);
    // Six bodies of 24 MB went through; the engine's own memory grew by far less than one of them.
    EXPECT_LT(peak.load() - baseline, 20L * 1024) << "kB above the baseline of " << baseline;
    EXPECT_TRUE(!fs::exists(site.home() + "/tmp/body") || fs::is_empty(site.home() + "/tmp/body"));
}

TEST_F(HostileFiles, TricklingConnectionsAreBoundedAndDropped) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxArrivingConnections", "16"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "RequestArrivalSeconds", "4"));
    Start();
    const std::string path = site.home() + "/run/PIPE/Tessaro/StubToServer20";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const pid_t engine = site.EnginePid();
    ASSERT_GT(engine, 0);
    auto openSockets = [engine] {
        int n = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(engine) + "/fd", ec))
            if (fs::read_symlink(entry.path(), ec).string().rfind("socket:", 0) == 0) ++n;
        return n;
    };
    const int socketsBefore = openSockets();
    // Each sends the start of a frame header, then one byte a second: never a stall, never whole.
    constexpr int kTricklers = 60;
    std::vector<int> fds;
    for (int i = 0; i < kTricklers; ++i) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
        fds.push_back(fd);
    }
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        const char header[8] = {1, 0, 0, 0, 100, 0, 0, 0};
        for (int second = 0; !stop && second < 40; ++second) {
            for (int fd : fds) ::send(fd, header + (second % 8), 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            for (int t = 0; t < 10 && !stop; ++t) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    // The engine holds no more of them at once than the limit of arriving connections. At the
    // limit it takes a waiting connection in place of the oldest one, so a listing of its
    // descriptors may catch the newcomer before the one it replaces is closed.
    int most = 0;
    for (int i = 0; i < 15; ++i) {
        most = std::max(most, openSockets() - socketsBefore);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_LE(most, 16 + 4);
    EXPECT_GE(most, 8) << "the tricklers are being served";
    const auto start = std::chrono::steady_clock::now();
    auto normal = site.Get("/x.tsm");
    EXPECT_EQ(normal.status, 200) << normal.error << normal.body << site.ReadHomeFile("log/KSML.LOG");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    // Every trickling connection is closed by the engine within its deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int closed = 0;
    for (int fd : fds) {
        char buffer[4096];
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            timeval tv{0, 200000};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                ++closed;
                break;
            }
        }
    }
    stop = true;
    trickle.join();
    for (int fd : fds) ::close(fd);
    EXPECT_EQ(closed, kTricklers);
}

TEST_F(HostileFiles, ADataSourceAddedAfterARequestAskedForItIsFound) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_first", site.home() + "/first.db");
    Start();
    const std::string page = "<TSQUERY NAME=\"q\" DATASOURCE=\"e2e_late\">SELECT 40 + 2 AS n</TSQUERY>"
                             "<TSOUTPUT QUERY=\"q\">#n#</TSOUTPUT>";
    auto before = Page("late.tsm", page);
    EXPECT_TRUE(IsEngineErrorPage(before)) << before.body;
    std::ofstream(site.home() + "/odbc/odbc.ini", std::ios::app)
        << "\n[e2e_late]\nDriver=Tessaro SQLite3\nDatabase=" << site.home() << "/late.db\n";
    auto after = site.Get("/late.tsm");
    EXPECT_EQ(after.status, 200) << after.body;
    EXPECT_EQ(after.body, "42");
}

// A folder of a path that a template uses, writable by another local account, swapped for a
// link to the runtime root's private windows/ folder and back as fast as the system allows
// while requests run: no road reads, writes, creates or deletes a private file, whichever
// moment it lands on. Also the engine's own environment, GetTempFile in the root, and a
// template included past the size a variable may have.
namespace {

struct Road {
    std::string name;
    // What a request answers when the road did its work on the real folder.
    std::function<bool(const e2e::HttpResponse&)> worked;
    std::function<e2e::HttpResponse(int n)> request;
};

class FileRaces : public e2e::SiteTest {
protected:
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        ASSERT_EQ(site.Get("/x.tsm").status, 200) << site.WebServerLog();
        docs = site.document_root();
        windows = site.home() + "/windows";
        sub = docs + "/shared/sub";
        fs::create_directories(sub);
        fs::create_directories(docs + "/m");
        fs::create_directories(windows);
        std::ofstream(windows + "/secret.ini") << "private-bytes";
        std::ofstream(windows + "/KSML.INI") << "private-bytes";
        std::ofstream(docs + "/src.txt") << "source";
        real = ::open(sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(real, 0);
    }
    ~FileRaces() override {
        if (real >= 0) ::close(real);
    }

    // The names in a folder but the logs, which the engine may write into windows/.
    static std::set<std::string> Names(const std::string& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (entry.path().extension() != ".LOG") names.insert(name);
        }
        return names;
    }

    // The real folder's own files, put back through its descriptor whatever name it has now.
    void PutDecoys() const {
        for (const char* name : {"secret.ini", "KSML.INI", "odbc.ini"}) {
            int fd = ::openat(real, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::write(fd, "decoy", 5), 5);
            // Run by root, the folder's files are the engine account's, as the folder is.
            struct stat root {};
            if (::geteuid() == 0 && ::stat(site.home().c_str(), &root) == 0 && root.st_uid != 0)
                EXPECT_EQ(::fchown(fd, root.st_uid, static_cast<gid_t>(-1)), 0);
            ::close(fd);
        }
    }

    Road GetRoad(const std::string& name, const std::string& page, const std::string& success) {
        site.WriteDocument(name + ".tsm", page);
        return {name,
                [success](const e2e::HttpResponse& r) { return r.status == 200 && ContainsText(r.body, success); },
                [this, name](int n) { return site.Get("/" + name + ".tsm?n=" + std::to_string(n)); }};
    }

    // A page that makes a file of its own and moves it to destination.
    std::string MovePage(const std::string& destination) const {
        const std::string file = docs + "/m/#URL.n#.txt";
        return "<TSFILE ACTION=\"WRITE\" FILE=\"" + file + "\" OUTPUT=\"moved\"><TSFILE ACTION=\"MOVE\" SOURCE=\"" +
               file + "\" DESTINATION=\"" + destination + "\">ok";
    }

    Road UploadRoad(const std::string& fileName) {
        site.WriteDocument("upload.tsm", "<TSFILE ACTION=\"UPLOAD\" FILEFIELD=\"doc\" DESTINATION=\"" + sub +
                                             "/\" NAMECONFLICT=\"OVERWRITE\">ok");
        return {"upload", [](const e2e::HttpResponse& r) { return r.status == 200 && r.body == "ok"; },
                [this, fileName](int) {
                    std::string contentType;
                    std::string body = e2e::MultipartFileBody("doc", fileName, "uploaded", &contentType);
                    return e2e::HttpRequest(site.port(), "POST", "/upload.tsm", {"Content-Type: " + contentType}, body);
                }};
    }

    // Runs each road for a while with the folder swapping under it between the real folder
    // and target, whose names and files stay as they were.
    void RunRoads(const std::vector<Road>& roads, const std::string& target) {
        const std::set<std::string> before = Names(target);
        std::map<std::string, std::string> contents;
        for (const std::string& name : before) contents[name] = ReadFileText(target + "/" + name);
        for (const Road& road : roads) {
            {
                tessaro::test::FolderSwapper swapper(sub, target);
                const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
                for (int n = 0; std::chrono::steady_clock::now() < end; ++n) {
                    PutDecoys();
                    EXPECT_THAT(road.request(n).body, Not(HasSubstr("private-bytes"))) << road.name;
                }
                EXPECT_GT(swapper.Swaps(), 0) << road.name;
            }
            // The road does its work when the folder stays what it is.
            PutDecoys();
            EXPECT_TRUE(road.worked(road.request(-1))) << road.name;
            EXPECT_EQ(Names(target), before) << road.name;
            for (const auto& [name, bytes] : contents) EXPECT_EQ(ReadFileText(target + "/" + name), bytes) << road.name;
        }
    }

    std::string docs, windows, sub;
    int real = -1;
};

TEST_F(FileRaces, TsfileRoadsNeverReachThePrivateFolder) {
    Start();
    std::vector<Road> roads = {
        GetRoad("read",
                "<TSFILE ACTION=\"READ\" FILE=\"" + sub + "/secret.ini\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
                "decoy"),
        GetRoad("append", "<TSFILE ACTION=\"APPEND\" FILE=\"" + sub + "/KSML.INI\" OUTPUT=\"evil\">ok", "ok"),
        GetRoad("write", "<TSFILE ACTION=\"WRITE\" FILE=\"" + sub + "/new#URL.n#.txt\" OUTPUT=\"evil\">ok", "ok"),
        GetRoad("copyover",
                "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/src.txt\" DESTINATION=\"" + sub + "/KSML.INI\">ok",
                "ok"),
        GetRoad("copynew",
                "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/src.txt\" DESTINATION=\"" + sub + "/copied.txt\">ok",
                "ok"),
        GetRoad("move", MovePage(sub + "/KSML.INI"), "ok"),
        GetRoad("delete", "<TSFILE ACTION=\"DELETE\" FILE=\"" + sub + "/KSML.INI\">ok", "ok"),
    };
    roads.push_back(UploadRoad("KSML.INI"));
    RunRoads(roads, windows);
}

// The ODBC files lie in no private folder: the folder may be used, the files never replaced
// (a data source file an attacker wrote would load the driver library it names).
TEST_F(FileRaces, CopiesMovesAndUploadsNeverReplaceTheOdbcFiles) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    // The engine starts with the data source files in its environment.
    e2e::SQLiteDataSource odbc(site.home(), "e2e_races", site.home() + "/races.db");
    Start();
    RunRoads({GetRoad("copy",
                      "<TSFILE ACTION=\"COPY\" SOURCE=\"" + docs + "/src.txt\" DESTINATION=\"" + sub + "/odbc.ini\">ok",
                      "ok"),
              GetRoad("move", MovePage(sub + "/odbc.ini"), "ok"), UploadRoad("odbc.ini")},
             site.home() + "/odbc");
}

TEST_F(FileRaces, RepliesIncludesAndTemporaryFilesNeverReachThePrivateFolder) {
    Start();
    RunRoads(
        {
            GetRoad("content", "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + sub + "/secret.ini\">", "decoy"),
            GetRoad("include", "[<TSINCLUDE TEMPLATE=\"shared/sub/secret.ini\">]", "[decoy]"),
            GetRoad("temp", "<TSOUTPUT>#GetTempFile('" + sub + "/', 'tmp')#</TSOUTPUT>", sub + "/tmp"),
        },
        windows);
}

TEST_F(FileRaces, TheEnginesEnvironmentTheRootAndLargeIncludesAreRefused) {
    Start();
    const std::string environ = "/proc/self/environ";
    for (const std::string& page :
         {"<TSFILE ACTION=\"READ\" FILE=\"" + environ + "\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
          "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + environ + "\">",
          "<TSOUTPUT>#FileExists('" + environ + "')#</TSOUTPUT>"}) {
        auto response = Page("environ.tsm", page);
        EXPECT_THAT(response.body, Not(HasSubstr("TESSARO_HOME="))) << page;
        EXPECT_TRUE(response.status == 500 || response.body == "NO") << page << "\n" << response.body;
    }
    std::size_t rootNames = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(site.home())) ++rootNames;
    auto temp = Page("temp.tsm", "<TSOUTPUT>#GetTempFile(URL.d, 'x')#</TSOUTPUT>", "d=" + e2e::FormEncode(site.home()));
    EXPECT_EQ(temp.status, 500) << temp.body;
    std::size_t after = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(site.home())) ++after;
    EXPECT_EQ(after, rootNames);

    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxFunctionResultBytes", "4096"));
    site.WriteDocument("big.tsm", std::string(200000, 'b'));
    auto big = Page("include.tsm", "<TSINCLUDE TEMPLATE=\"big.tsm\">");
    EXPECT_EQ(big.status, 500);
    EXPECT_THAT(big.body, HasSubstr("larger than the 4096 bytes")) << big.body.substr(0, 500);
    EXPECT_LT(big.body.size(), 20000u);
}

}  // namespace
