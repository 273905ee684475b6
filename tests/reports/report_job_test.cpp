// The report job: the request's sort list, formulas and HTML type as the print engine gets
// them, and whole runs through the project's print engine with their responses.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "database/access/request_data_sources.h"
#include "platform/ini_file.h"
#include "reports/print_engine_binding.h"
#include "reports/report_files.h"
#include "reports/report_job.h"
#include "support/registry.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::reports;

namespace {

TEST(ReportJobRules, SortListsBecomeBracedFieldsWithDirections) {
    using Fields = std::vector<std::pair<std::string, short>>;
    EXPECT_EQ(CReportJob::SortFields("Name DESC, {City}"), (Fields{{"{Name}", 0}, {"{City}", 1}}));
    EXPECT_EQ(CReportJob::SortFields(" a asc ,, {b}desc "), (Fields{{"{a}", 1}, {"{b}", 0}}));
    EXPECT_TRUE(CReportJob::SortFields("").empty());
    EXPECT_TRUE(CReportJob::SortFields(" , ").empty());
}

TEST(ReportJobRules, AQuotedFormulaInTheReportMakesTheValueAText) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"'x'", "Sales", "\"Sales\""},
        {"\"x\"", "Sales", "\"Sales\""},
        {"x", "Sales", "Sales"},
        {"'x'", "'Sales'", "\"Sales\""},
        {"'x'", "\"Sales\"", "\"Sales\""},
        {"'x'", "", "\"\""},
        {"'", "Sales", "Sales"},
        // A quote inside the value is the quote itself, never the end of the text.
        {"'x'", "x\" & {staff.salary} & \"y", "\"x\"\" & {staff.salary} & \"\"y\""},
        {"'x'", "a\"b", "\"a\"\"b\""},
        {"'x'", "'a'b'", "\"a'b\""},
        {"'x'", "\"", "\"\"\"\""},
        // A quote at one end only opens or closes the text all the same.
        {"'x'", "'Sales", "\"Sales\""},
        {"'x'", "Sales'", "\"Sales\""},
        {"'x'", "\"Sales", "\"Sales\""},
        {"\"x\"", "Sales\"", "\"Sales\""},
        {"'x'", "'\"", "\"\""},
        {"'x'", "'", "\"'\""},
        // A value that is one whole text already (as the engine makes a request's) stays that text.
        {"'x'", "\"O'Neil said \"\"hi\"\"\"", "\"O'Neil said \"\"hi\"\"\""},
        {"'x'", "'it''s'", "\"it's\""},
        {"'x'", "\"'Sales\"", "\"'Sales\""},
    };
    for (const auto& [current, value, expected] : cases)
        EXPECT_EQ(CReportJob::FormulaText(current, value), expected) << current << value;
}

TEST(ReportJobRules, HtmlTypes) {
    EXPECT_EQ(CReportJob::HtmlSubtype("netscape", "NETSCAPE"), 2u);
    EXPECT_EQ(CReportJob::HtmlSubtype("Standard", "NETSCAPE"), 0u);
    EXPECT_EQ(CReportJob::HtmlSubtype("MICROSOFT", "NETSCAPE"), 1u);
    EXPECT_EQ(CReportJob::HtmlSubtype("", "STANDARD"), 0u);
    try {
        CReportJob::HtmlSubtype("FOO", "NETSCAPE");
        FAIL();
    } catch (const CPrintEngineException& e) {
        EXPECT_EQ(e.Number(), 0);
        EXPECT_EQ(e.Text(),
                  "The HTMLTYPE you specified (FOO) is invalid. Please use one of the following values for the "
                  "HTMLTYPE attribute: <UL><LI>STANDARD<LI>NETSCAPE<LI>MICROSOFT</UL>If you do not specify an "
                  "HTMLTYPE attribute then the default type (NETSCAPE) will be used.");
    }
}

using tessaro::test::ReadFileText;

class ReportJobRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = OpenTessaroRootKey();
        m_settings = std::make_unique<CRegistrySettings>(m_root.get());
        // Read once per process: every run here names the same library.
        m_settings->Set("Reports", "CrystalEngineDLL", std::string(TESSARO_BINARY_DIR) + "/bin/libtsprint.so");
        m_report = m_folder.write("staff.rpt",
                                  "[Report]\nTitle=T\nColumns={name}, {@Label}\n[Table]\nDatabaseLibrary=TEXTFILE\n"
                                  "Fields=id, name\nFile=staff.csv\n[Formulas]\nLabel='x'\n");
        m_folder.write("staff.csv", "1,Ann\n2,Bob\n3,Cy\n");
        m_folder.write("events.rpt",
                       "[Report]\nColumns={a}\n[Table]\nDatabaseLibrary=pdsevt.dll\nFields=a\nFile=staff.csv\n");
    }
    void TearDown() override { CPrintEngine::Close(); }

    std::unique_ptr<CReportJob> Job() {
        long error = 0;
        auto job = std::make_unique<CReportJob>(CreateRequestFolder(&error), m_settings.get(), nullptr);
        job->m_reportPath = m_report;
        return job;
    }
    std::string Status(CReportJob& job, const char* key) {
        return tessaro::platform::IniGetString(job.GetResponsePath(), "ReportStatus", key, "<none>", 4096);
    }

    tessaro::test::TempHome m_home;
    tessaro::test::TempFolder m_folder{"tsjob"};
    std::unique_ptr<CRegistryKey> m_root;
    std::unique_ptr<CRegistrySettings> m_settings;
    std::string m_report;
};

TEST_F(ReportJobRun, ASuccessfulRunExportsTheReportAndAnswersWithOneKey) {
    auto job = Job();
    job->WriteFailure(7, "old", "old");  // an earlier answer in the same place goes
    job->m_selection = "  {id} >= 2 ";
    job->m_orderBy = "name DESC";
    job->m_htmlType = "standard";
    job->m_formulas = {{"@Label", "chosen"}};
    job->Run();
    EXPECT_EQ(Status(*job, "ReportSucceeded"), "1");
    EXPECT_EQ(tessaro::platform::IniKeyNames(job->GetResponsePath(), "ReportStatus"),
              std::vector<std::string>{"ReportSucceeded"});
    std::string html = ReadFileText(job->GetReportOutputPath());
    EXPECT_NE(html.find("html subtype: standard"), std::string::npos);
    size_t cy = html.find("<TD>Cy</TD><TD>chosen</TD>"), bob = html.find("<TD>Bob</TD>");
    ASSERT_NE(cy, std::string::npos) << html;
    EXPECT_LT(cy, bob);
    EXPECT_EQ(html.find("Ann"), std::string::npos);
    EXPECT_EQ(job->m_selection, "{id} >= 2");
}

TEST_F(ReportJobRun, FailuresAnswerWithTheirNumbersAndTexts) {
    struct Case {
        const char* what;
        void (*prepare)(CReportJob&, const std::string& folder);
        const char* number;
        std::string text;
    };
    const Case cases[] = {
        {"unknown formula",
         [](CReportJob& j, const std::string&) {
             j.m_formulas = {{"@Missing", "1"}};
         },
         "510", "@Missing"},
        {"syntax", [](CReportJob& j, const std::string&) { j.m_selection = "{id} +"; }, "515", ""},
        {"sort field", [](CReportJob& j, const std::string&) { j.m_orderBy = "bonus"; }, "509", ""},
        {"html type", [](CReportJob& j, const std::string&) { j.m_htmlType = "FOO"; }, "0",
         "The HTMLTYPE you specified (FOO)"},
        {"event log", [](CReportJob& j, const std::string& f) { j.m_reportPath = f + "/events.rpt"; }, "0",
         "makes use of data from the Windows NT Event Log. NT Event Log based reports cannot be executed using the "
         "TSREPORT tag."},
        {"missing report", [](CReportJob& j, const std::string& f) { j.m_reportPath = f + "/none.rpt"; }, "503",
         "none.rpt"},
    };
    for (const Case& c : cases) {
        auto job = Job();
        c.prepare(*job, m_folder.path());
        job->Run();
        EXPECT_EQ(Status(*job, "ReportSucceeded"), "0") << c.what;
        EXPECT_EQ(Status(*job, "ReportErrNumber"), c.number) << c.what;
        EXPECT_NE(ReadFileText(job->GetErrorPath()).find(c.text), std::string::npos)
            << c.what << ": " << ReadFileText(job->GetErrorPath());
        EXPECT_EQ(Status(*job, "ReportLibInfo").rfind("<P>Crystal Library = ", 0), 0u) << c.what;
        struct stat st {};
        EXPECT_NE(::stat(job->GetReportOutputPath().c_str(), &st), 0) << c.what;
    }
}

// The failure texts are the report server's own HTML: its markup stays markup, the request's
// values in them are text.
TEST_F(ReportJobRun, FailureTextsKeepTheirMarkupAndShowValuesAsText) {
    auto html = Job();
    html->m_htmlType = "<b>FOO</b>";
    html->Run();
    std::string text = ReadFileText(html->GetErrorPath());
    EXPECT_NE(text.find("The HTMLTYPE you specified (&lt;b&gt;FOO&lt;/b&gt;) is invalid."), std::string::npos) << text;
    EXPECT_NE(text.find("<UL><LI>STANDARD<LI>NETSCAPE<LI>MICROSOFT</UL>"), std::string::npos) << text;

    // An ODBC table whose connection fails: the engine's error with the data source after it,
    // closed by one paragraph mark.
    std::string odbc =
        m_folder.write("odbc.rpt",
                       "[Report]\nColumns={name}\n[Table]\nDatabaseLibrary=PDSODBC.DLL\nFields=id, name\n"
                       "Server=x\nTable=staff\n");
    CRequestDataSources dataSources(m_settings.get(), nullptr);  // no pool: the connection fails
    long error = 0;
    CReportJob job(CreateRequestFolder(&error), m_settings.get(), &dataSources);
    job.m_reportPath = odbc;
    job.m_dataSource = "<i>no such</i>";
    job.Run();
    EXPECT_EQ(Status(job, "ReportErrNumber"), "0");
    text = ReadFileText(job.GetErrorPath());
    const std::string end = "Data Source = \"&lt;i&gt;no such&lt;/i&gt;\"<P>";
    ASSERT_GE(text.size(), end.size()) << text;
    EXPECT_EQ(text.substr(text.size() - end.size()), end) << text;
    EXPECT_EQ(text.find("<i>"), std::string::npos) << text;
    EXPECT_NE(text.find("<P>"), std::string::npos) << text;
}

}  // namespace
