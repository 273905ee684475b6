// The report request file and the response files, as the engine and the report server
// exchange them.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include <filesystem>

#include "platform/ini_file.h"
#include "reports/report_files.h"
#include "support/registry.h"
#include "reports/report_request.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::reports;

namespace {

class Request : public CReportRequest {
public:
    using CReportRequest::CReportRequest;
    void Run() override {}
};

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

using tessaro::test::ReadFileText;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

TEST(ReportArchive, StringAndCountPrefixes) {
    const std::pair<size_t, std::string> cases[] = {
        {1, Bytes({0x01})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {300, Bytes({0xFF, 0x2C, 0x01})},
        {65533, Bytes({0xFF, 0xFD, 0xFF})},
        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const auto& [length, prefix] : cases) {
        std::string out;
        AppendArchiveString(out, std::string(length, 'a'));
        EXPECT_EQ(out.substr(0, prefix.size()), prefix) << length;
        EXPECT_EQ(out.size(), prefix.size() + length) << length;
    }
    std::string count;
    AppendArchiveCount(count, 0);
    EXPECT_EQ(count, Bytes({0, 0}));
    count.clear();
    AppendArchiveCount(count, 0x10000);
    EXPECT_EQ(count, Bytes({0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}));
}

TEST(ReportArchive, RoundTripsEveryFieldThroughTheFile) {
    tessaro::test::TempHome home;
    long error = 0;
    std::string folder = CreateRequestFolder(&error);
    ASSERT_EQ(error, 0);
    Request out(folder), in(folder);
    out.m_reportPath = "/r/sales.rpt";
    out.m_title = "Sales";
    out.m_htmlType = "netscape";
    out.m_selection = std::string(300, 's');
    out.m_orderBy = "name DESC";
    out.m_dataSource = "dsn";
    out.m_userName = "u";
    out.m_password = "p";
    out.m_formulas = {{"@Title", "'x'"}, {"Plain", ""}};
    ASSERT_TRUE(out.Write());
    EXPECT_EQ(ReadFileText(out.GetRequestPath()).substr(0, 14), Bytes({0x0C}) + "/r/sales.rpt" + Bytes({0x05}));
    ASSERT_TRUE(in.Read()) << in.m_errorText;
    EXPECT_FALSE(Exists(in.GetRequestPath()));
    EXPECT_EQ(EncodeRequest(in), EncodeRequest(out));
    EXPECT_EQ(in.m_formulas, out.m_formulas);

    Request empty(folder), back(folder);
    ASSERT_TRUE(empty.Write());
    EXPECT_EQ(ReadFileText(empty.GetRequestPath()), std::string(8, '\0') + Bytes({0, 0}));
    ASSERT_TRUE(back.Read());
    EXPECT_TRUE(back.m_formulas.empty());
    RemoveRequestFolder(folder);
    EXPECT_FALSE(Exists(folder));
}

TEST(ReportArchive, DamagedRequestsFailAndStay) {
    tessaro::test::TempHome home;
    long error = 0;
    std::string folder = CreateRequestFolder(&error);
    Request good(folder);
    good.m_formulas = {{"a", "b"}};
    std::string whole = EncodeRequest(good);
    const std::string cases[] = {
        "",
        whole.substr(0, whole.size() - 1),
        whole + "x",
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + "abc",           // a 4 GiB string in a tiny file
        std::string(8, '\0') + Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),  // a huge count
    };
    for (const std::string& bytes : cases) {
        std::ofstream(folder + "/REQUEST.DAT", std::ios::binary) << bytes;
        Request in(folder);
        EXPECT_FALSE(in.Read()) << bytes.size();
        EXPECT_FALSE(in.m_errorText.empty());
        EXPECT_TRUE(Exists(in.GetRequestPath()));
    }
    Request missing(CreateRequestFolder(&error));
    EXPECT_FALSE(missing.Read());
}

TEST(ReportArchive, FileErrorsAreDescribedByTheirCause) {
    tessaro::test::TempHome home;
    long error = 0;
    Request missing(CreateRequestFolder(&error));
    EXPECT_FALSE(missing.Read());
    EXPECT_EQ(missing.m_errorText, "A file could not be located.");

    Request nowhere(home.path() + "/no/such/folder");
    EXPECT_FALSE(nowhere.Write());
    EXPECT_EQ(nowhere.m_errorText, "A file could not be located.");

    std::string folder = CreateRequestFolder(&error);
    ASSERT_EQ(::mkdir((folder + "/REQUEST.DAT").c_str(), 0700), 0);  // a folder where the file belongs
    Request blocked(folder);
    EXPECT_FALSE(blocked.Write());
    EXPECT_EQ(blocked.m_errorText, "The file could not be accessed.");
    EXPECT_FALSE(blocked.Read());
    EXPECT_EQ(blocked.m_errorText, "The file could not be accessed.");
}

TEST(ReportResponse, SuccessLeavesOneKeyAndFailureAllThree) {
    tessaro::test::TempHome home;
    long error = 0;
    Request r(CreateRequestFolder(&error));
    EXPECT_FALSE(r.GetReportSucceeded());  // no file yet
    r.WriteFailure(40000, "<B>bad</B>", "<P>lib");
    EXPECT_EQ(tessaro::platform::IniGetString(r.GetResponsePath(), "ReportStatus", "ReportErrNumber", ""), "-25536");
    EXPECT_EQ(ReadFileText(r.GetErrorPath()), "<B>bad</B>");
    r.ClearResponse();
    r.WriteSuccess();
    EXPECT_EQ(tessaro::platform::IniKeyNames(r.GetResponsePath(), "ReportStatus"),
              std::vector<std::string>{"ReportSucceeded"});
    EXPECT_TRUE(r.GetReportSucceeded());
    for (const char* value : {"0", "2", ""}) {
        tessaro::platform::IniWriteString(r.GetResponsePath(), "ReportStatus", "ReportSucceeded", value);
        EXPECT_FALSE(r.GetReportSucceeded()) << value;
    }
}

TEST(ReportResponse, TheEngineReadsTheErrorAndClearsEverything) {
    tessaro::test::TempHome home;
    long error = 0;
    Request r(CreateRequestFolder(&error));
    r.WriteFailure(40000, "text", "<P>Crystal Library = x");
    short number = 0;
    std::string text, lib;
    r.GetReportError(number, text, lib);
    EXPECT_EQ(number, -25536);
    EXPECT_EQ(text, "text");
    EXPECT_EQ(lib, "<P>Crystal Library = x");
    EXPECT_FALSE(Exists(r.GetErrorPath()));
    EXPECT_TRUE(tessaro::platform::IniKeyNames(r.GetResponsePath(), "ReportStatus").empty());

    // An empty (or missing) ERROR.TXT is an empty text, and the section still goes.
    for (bool writeEmpty : {true, false}) {
        r.WriteFailure(515, "", "lib");
        if (!writeEmpty) std::remove(r.GetErrorPath().c_str());
        r.GetReportError(number, text, lib);
        EXPECT_EQ(number, 515);
        EXPECT_EQ(text, "");
        EXPECT_EQ(lib, "lib");
        EXPECT_TRUE(tessaro::platform::IniKeyNames(r.GetResponsePath(), "ReportStatus").empty());
    }
}

TEST(ReportWorkFolder, IsPrivateToTheRootAndEachRequestHasItsOwn) {
    tessaro::test::TempHome home;
    long error = 0;
    std::string root = ReportWorkDirectory(&error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(root, home.path() + "/tmp/tsr");
    std::string a = CreateRequestFolder(&error), b = CreateRequestFolder(&error);
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    for (const std::string& dir : {root, a}) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
    }
    EXPECT_TRUE(IsRequestFolder(a));
    EXPECT_FALSE(IsRequestFolder(root));
    EXPECT_FALSE(IsRequestFolder(a + "/.."));
    EXPECT_FALSE(IsRequestFolder("/tmp"));
}

TEST(ReportWorkFolder, AFolderThatCannotBeMadeIsLogged) {
    tessaro::test::TempHome home;
    std::filesystem::create_directories(home.path() + "/log");
    {
        auto root = OpenTessaroRootKey();
        CRegistrySettings(root.get()).Set("Logging", "LogFilePath", home.path() + "/log");
    }
    // A file where the work folder should be.
    std::filesystem::create_directories(home.path() + "/tmp");
    std::ofstream(home.path() + "/tmp/tsr") << "x";
    long error = 0;
    EXPECT_TRUE(CreateRequestFolder(&error).empty());
    EXPECT_NE(error, 0);
    const std::string log = ReadFileText(home.path() + "/log/REPORTS.LOG");
    EXPECT_NE(log.find("\"Error\""), std::string::npos) << log;
    EXPECT_NE(log.find("Windows NT error number " + std::to_string(error) +
                       " occurred while attempting to create the temporary directory " + home.path() + "/tmp/tsr."),
              std::string::npos)
        << log;
}

}  // namespace
