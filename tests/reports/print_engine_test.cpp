// The print engine through its C entry points: report definitions, selection and sorting,
// the exported page, record sizes, versions and error texts. The table is a text file here;
// print_engine_odbc_test.cpp reads one through ODBC.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "interfaces/print_api.h"
#include "printengine/report_definition.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::print;

namespace {

const char* kDefinition = R"([Report]
Title=Staff & pay
Columns={staff.id}, {staff.name}, {@Yearly}
Headings=Id, Name, Yearly
Selection={staff.dept} = 'Sales'
Sort={staff.name} DESC

[Table]
DatabaseLibrary=CSVFILE
Name=staff
Description=Staff list
DatabaseType=2
Fields=id, name, dept, salary
Server=nowhere
User=reader
File=staff.csv

[Formulas]
Yearly={staff.salary} * 12
Label='x'
Plain={staff.name}
)";

const char* kRows = "1,Ann,Sales,100\n2,Bob,Sales,200\n3,\"Cy, Jr\",Sales,300\n4,Dee,Lab,400\n5,Bob,Sales,50\n";

using tessaro::test::ReadFileText;

std::string ErrorText(short job) {
    void* handle = nullptr;
    short length = 0;
    if (!PEGetErrorText(job, &handle, &length)) return {};
    std::string text(size_t(length), '\0');
    PEGetHandleString(handle, text.data(), length);
    return text.c_str();
}

class PrintEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PEOpenEngine());
        m_report = m_folder.write("staff.rpt", kDefinition);
        m_folder.write("staff.csv", kRows);
        m_out = m_folder.path() + "/REPORT.HTM";
    }
    void TearDown() override { PECloseEngine(); }

    short Open() {
        short job = PEOpenPrintJob(m_report.c_str());
        EXPECT_GT(job, 0) << ErrorText(0);
        return job;
    }
    int Export(short job, uint32_t subtype) {
        PEHtmlOptions html{sizeof(PEHtmlOptions), m_out.c_str()};
        PEDiskOptions disk{sizeof(PEDiskOptions), m_out.c_str()};
        PEExportOptions options{};
        options.StructSize = sizeof options;
        options.formatType = subtype;
        options.formatOptions = &html;
        options.destinationOptions = &disk;
        return PEExportTo(job, &options);
    }
    std::string Print(short job, uint32_t subtype = 2) {
        EXPECT_TRUE(Export(job, subtype)) << ErrorText(job);
        EXPECT_TRUE(PEStartPrintJob(job, 1)) << ErrorText(job);
        return ReadFileText(m_out);
    }

    tessaro::test::TempFolder m_folder{"tsprint"};
    std::string m_report, m_out;
};

TEST_F(PrintEngine, PrintsSelectedRowsStablySortedIntoTheEnginesPageShape) {
    short job = Open();
    std::string html = Print(job);
    // Descending by name; the two Bobs keep their table order.
    size_t cy = html.find("<TD>Cy, Jr</TD>"), bob2 = html.find("<TD>2</TD>"), bob5 = html.find("<TD>5</TD>"),
           ann = html.find("<TD>Ann</TD>");
    ASSERT_NE(cy, std::string::npos) << html;
    EXPECT_LT(cy, bob2);
    EXPECT_LT(bob2, bob5);
    EXPECT_LT(bob5, ann);
    EXPECT_EQ(html.find("Dee"), std::string::npos);
    EXPECT_NE(html.find("<TD>2400</TD>"), std::string::npos);
    EXPECT_NE(html.find("<TH>Yearly</TH>"), std::string::npos);
    EXPECT_NE(html.find("<H2>Staff &amp; pay</H2>"), std::string::npos);
    size_t body = html.find("<BODY"), table = html.find("<TABLE"),
           trailer = html.find("<HR>This report was created using <");
    EXPECT_LT(body, table);
    EXPECT_LT(table, trailer);
    EXPECT_NE(trailer, std::string::npos);
    EXPECT_TRUE(PEClosePrintJob(job));
}

TEST_F(PrintEngine, SelectionSortAndFormulasSetOnTheJobReplaceTheDefinitions) {
    short job = Open();
    ASSERT_TRUE(PESetSelectionFormula(job, "{staff.id} <= 3"));
    ASSERT_TRUE(PESetNthSortField(job, 0, "{staff.salary}", PE_SF_ASCENDING));
    ASSERT_TRUE(PESetNthSortField(job, 1, "{staff.id}", PE_SF_DESCENDING));
    ASSERT_TRUE(PESetFormula(job, "@Yearly", "{staff.name} & '!'"));
    std::string html = Print(job);
    size_t ann = html.find("<TD>Ann!</TD>"), bob = html.find("<TD>Bob!</TD>"), cy = html.find("<TD>Cy, Jr!</TD>");
    ASSERT_NE(cy, std::string::npos) << html;
    EXPECT_LT(ann, bob);
    EXPECT_LT(bob, cy);
    EXPECT_EQ(html.find("Dee"), std::string::npos);
}

TEST_F(PrintEngine, TheThreeHtmlSubtypesDiffer) {
    short job = Open();
    std::string standard = Print(job, 0), microsoft = Print(job, 1), netscape = Print(job, 2);
    EXPECT_NE(standard, microsoft);
    EXPECT_NE(microsoft, netscape);
    EXPECT_NE(standard, netscape);
    EXPECT_NE(standard.find("html subtype: standard"), std::string::npos);
    EXPECT_NE(microsoft.find("html subtype: microsoft"), std::string::npos);
    EXPECT_NE(netscape.find("html subtype: netscape"), std::string::npos);
    EXPECT_FALSE(Export(job, 3));
}

TEST_F(PrintEngine, FormulasAreReadAsWritten) {
    short job = Open();
    for (auto [name, text] :
         {std::pair{"@Label", "'x'"}, std::pair{"Plain", "{staff.name}"}, std::pair{"yearly", "{staff.salary} * 12"}}) {
        void* handle = nullptr;
        short length = 0;
        ASSERT_TRUE(PEGetFormula(job, name, &handle, &length)) << name;
        char buffer[128];
        ASSERT_TRUE(PEGetHandleString(handle, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, text);
    }
}

TEST_F(PrintEngine, FailuresLeaveTheirNumberAndText) {
    short job = Open();
    struct Case {
        const char* what;
        std::function<int()> call;
        short number;
    };
    const Case cases[] = {
        {"syntax", [&] { return PESetSelectionFormula(job, "{staff.id} <="); }, kErrFormulaSyntax},
        {"field", [&] { return PESetSelectionFormula(job, "{staff.bonus} > 1"); }, kErrUnknownField},
        {"sort", [&] { return PESetNthSortField(job, 0, "{nothing}", 1); }, kErrUnknownField},
        {"sort gap", [&] { return PESetNthSortField(job, 5, "{staff.id}", 1); }, kErrUnknownField},
        {"formula name", [&] { return PESetFormula(job, "@Missing", "1"); }, kErrUnknownFormula},
        {"get formula", [&] { return PEGetFormula(job, "@Missing", nullptr, nullptr); }, kErrUnknownFormula},
        {"formula text", [&] { return PESetFormula(job, "@Yearly", "1 +"); }, kErrFormulaSyntax},
        {"table",
         [&] {
             PETableType t{};
             t.StructSize = sizeof t;
             return PEGetNthTableType(job, 1, &t);
         },
         kErrBadTableNumber},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(PEGetErrorCode(job), c.number) << c.what;
        EXPECT_FALSE(ErrorText(job).empty()) << c.what;
    }
    EXPECT_FALSE(PEStartPrintJob(job, 1));
    EXPECT_EQ(PEGetErrorCode(job), kErrExport);
    EXPECT_FALSE(PEClosePrintJob(short(job + 100)));
    EXPECT_EQ(PEGetErrorCode(0), kErrBadJobNumber);
}

TEST_F(PrintEngine, AMissingOrMalformedReportCannotBeOpened) {
    EXPECT_EQ(PEOpenPrintJob((m_folder.path() + "/none.rpt").c_str()), 0);
    EXPECT_EQ(PEGetErrorCode(0), kErrReportFile);
    EXPECT_NE(ErrorText(0).find("none.rpt"), std::string::npos);
    std::string bad = m_folder.write(
        "bad.rpt", "[Report]\nColumns={x}\n[Table]\nDatabaseLibrary=A\nFields=x\n[Formulas]\nF=1 +\nTable=t\n");
    EXPECT_EQ(PEOpenPrintJob(bad.c_str()), 0);
}

TEST_F(PrintEngine, EveryRecordsSizeIsChecked) {
    short job = Open();
    PETableType type{};
    type.StructSize = 323;
    EXPECT_FALSE(PEGetNthTableType(job, 0, &type));
    EXPECT_EQ(PEGetErrorCode(job), kErrRecordSize);
    PELogOnInfo logOn{};
    logOn.StructSize = 512;
    EXPECT_FALSE(PEGetNthTableLogOnInfo(job, 0, &logOn));
    EXPECT_FALSE(PESetNthTableLogOnInfo(job, 0, &logOn, 0));
    PEExportOptions options{};
    options.StructSize = 150;  // the 32-bit size
    EXPECT_FALSE(PEExportTo(job, &options));
    EXPECT_EQ(PEGetErrorCode(job), kErrRecordSize);
    PEHtmlOptions html{6, "x"};
    options.StructSize = sizeof options;
    options.formatOptions = &html;
    EXPECT_FALSE(PEExportTo(job, &options));
    EXPECT_EQ(sizeof(PEExportOptions), 158u);
    EXPECT_EQ(sizeof(PEHtmlOptions), 10u);
    EXPECT_EQ(sizeof(PEDiskOptions), 10u);
}

TEST_F(PrintEngine, TableRecordsComeFromTheDefinitionAndLogOnCanBeReplaced) {
    short job = Open();
    PETableType type{};
    type.StructSize = sizeof type;
    ASSERT_TRUE(PEGetNthTableType(job, 0, &type));
    EXPECT_STREQ(type.DLLName, "CSVFILE");
    EXPECT_STREQ(type.DescriptiveName, "Staff list");
    EXPECT_EQ(type.DBType, 2);
    PELogOnInfo logOn{};
    logOn.StructSize = sizeof logOn;
    ASSERT_TRUE(PEGetNthTableLogOnInfo(job, 0, &logOn));
    EXPECT_STREQ(logOn.ServerName, "nowhere");
    EXPECT_STREQ(logOn.UserID, "reader");
    std::memset(logOn.UserID, 'u', sizeof logOn.UserID);  // no terminator: read up to the field's end
    ASSERT_TRUE(PESetNthTableLogOnInfo(job, 0, &logOn, 0));
    PELogOnInfo back{};
    back.StructSize = sizeof back;
    ASSERT_TRUE(PEGetNthTableLogOnInfo(job, 0, &back));
    EXPECT_EQ(std::strlen(back.UserID), sizeof back.UserID - 1);
}

TEST_F(PrintEngine, VersionsAndTheClosedEngine) {
    EXPECT_EQ(PEGetVersion(PE_GV_DLL), 0x0100);
    EXPECT_EQ(PEGetVersion(PE_GV_ENGINE), 0x0100);
    EXPECT_EQ(PEGetVersion(7), 0);
    PECloseEngine();
    EXPECT_EQ(PEOpenPrintJob(m_report.c_str()), 0);
    EXPECT_EQ(PEGetErrorCode(0), kErrEngineNotOpen);
    EXPECT_TRUE(PEOpenEngine());
}

TEST_F(PrintEngine, HandleStringsAreCutToTheBuffer) {
    EXPECT_EQ(PEOpenPrintJob((m_folder.path() + "/none.rpt").c_str()), 0);
    void* handle = nullptr;
    short length = 0;
    ASSERT_TRUE(PEGetErrorText(0, &handle, &length));
    char small[8];
    ASSERT_TRUE(PEGetHandleString(handle, small, sizeof small));
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_FALSE(PEGetHandleString(&length, small, sizeof small));
}

// The report server reads the definition, its rows and its picture long after the engine
// judged the report's path: each is judged again as the print engine opens it.
TEST_F(PrintEngine, FilesThatAreOrLeadToPrivateFilesAreNotRead) {
    tessaro::test::TempHome home;
    const std::string windows = home.path() + "/windows";
    std::filesystem::create_directories(windows);
    std::ofstream(windows + "/rows.csv") << "9,Eve,Sales,999\n";
    std::ofstream(windows + "/pic.gif") << "GIF89a-private";
    std::ofstream(windows + "/secret.rpt") << kDefinition;
    std::filesystem::create_directory_symlink(windows, m_folder.path() + "/priv");
    ASSERT_EQ(::link((windows + "/rows.csv").c_str(), (m_folder.path() + "/hard.csv").c_str()), 0);

    EXPECT_EQ(PEOpenPrintJob((m_folder.path() + "/priv/secret.rpt").c_str()), 0);
    EXPECT_EQ(PEGetErrorCode(0), kErrReportFile);
    std::string definition = kDefinition;
    for (const char* rows : {"File=priv/rows.csv", "File=hard.csv"}) {
        std::string text = definition;
        text.replace(text.find("File=staff.csv"), 14, rows);
        m_report = m_folder.write("private.rpt", text);
        short job = Open();
        ASSERT_GT(job, 0);
        ASSERT_TRUE(Export(job, 2)) << ErrorText(job);
        EXPECT_FALSE(PEStartPrintJob(job, 1)) << rows;
        EXPECT_EQ(PEGetErrorCode(job), kErrLogOn) << rows;
        EXPECT_EQ(ReadFileText(m_out).find("Eve"), std::string::npos) << rows;
        PEClosePrintJob(job);
    }
    m_report = m_folder.write("picture.rpt", definition + "[Report]\nPicture=priv/pic.gif\n");
    short job = Open();
    ASSERT_GT(job, 0);
    ASSERT_TRUE(Export(job, 2)) << ErrorText(job);
    EXPECT_FALSE(PEStartPrintJob(job, 1));
    EXPECT_EQ(PEGetErrorCode(job), kErrExport);
    EXPECT_FALSE(std::filesystem::exists(m_folder.path() + "/pic.gif"));
    PEClosePrintJob(job);
}

TEST(ReportDefinitionFormat, RejectsWhatCannotBeRun) {
    const std::pair<const char*, const char*> cases[] = {
        {"[Report]\nColumns={a}\n", "no [Table]"},
        {"[Report]\nColumns={a}\n[Table]\nFields=a\nTable=t\n", "DatabaseLibrary"},
        {"[Report]\nColumns={a}\n[Table]\nDatabaseLibrary=X\nFields=a\nTable=t\nSQL=select 1\n", "exactly one"},
        {"[Report]\nColumns={a}\n[Table]\nDatabaseLibrary=X\nFields=a\nTable=t; drop table t\n", "not a name"},
        {"[Report]\nColumns={a}\n[Table]\nDatabaseLibrary=X\nFields=a b\nTable=t\n", "not a name"},
        {"[Report]\n[Table]\nDatabaseLibrary=X\nFields=a\nTable=t\n", "no Columns"},
        {"[Report]\nColour=red\n", "unknown key"},
        {"Title=x\n", "before the first section"},
        {"[Other]\n", "unknown section"},
        {"[Formulas]\nA=1\na=2\n", "twice"},
    };
    for (const auto& [text, why] : cases) {
        ReportDefinition def;
        std::string error;
        EXPECT_FALSE(ParseReportDefinition(text, &def, &error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

TEST(ReportDefinitionFormat, SplitsListsOnlyAtTopLevelCommas) {
    EXPECT_EQ(SplitTopLevel("{a}, 'x,y' & {b}, (1,2)"), (std::vector<std::string>{"{a}", "'x,y' & {b}", "(1,2)"}));
    EXPECT_TRUE(SplitTopLevel("  ").empty());
}

}  // namespace
