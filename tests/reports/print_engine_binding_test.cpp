// The report server's binding to the print engine library: the 400-404 failures, unloading
// after a failed load, the library line, and calls through the real library.
#include <gtest/gtest.h>

#include <regex>

#include "reports/print_engine_binding.h"
#include "tests/common/temp_home.h"

using namespace tessaro::reports;

namespace {

std::string Built(const std::string& file) {
    return std::string(TESSARO_BINARY_DIR) + "/" + file;
}

class PrintEngineBinding : public ::testing::Test {
protected:
    void TearDown() override { CPrintEngine::Close(); }
};

TEST_F(PrintEngineBinding, LoadFailuresAreNumberedAndRetried) {
    const std::string missing = "/nonexistent/libnothing.so";
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            CPrintEngine::Load(missing);
            FAIL() << "loaded";
        } catch (const CPrintEngineException& e) {
            EXPECT_EQ(e.Number(), 400);
            EXPECT_EQ(e.Text(), "The library file '" + missing + "' could not be located.");
        }
        EXPECT_FALSE(CPrintEngine::IsLoaded());
    }
    try {
        CPrintEngine::Load("libnothing-at-all.so");
        FAIL() << "loaded";
    } catch (const CPrintEngineException& e) {
        EXPECT_EQ(e.Number(), 400);
    }
    tessaro::test::TempFolder folder("tsbind");
    std::string notALibrary = folder.write("libfake.so", "not a library");
    try {
        CPrintEngine::Load(notALibrary);
        FAIL() << "loaded";
    } catch (const CPrintEngineException& e) {
        EXPECT_EQ(e.Number(), 401);
        EXPECT_EQ(e.Text().rfind(
                      "Windows NT error number 193 occurred while attempting to load the library " + notALibrary, 0),
                  0u)
            << e.Text();
        EXPECT_NE(e.Text().find(notALibrary), std::string::npos);
    }
}

TEST_F(PrintEngineBinding, AMissingJobProcedureIs403AndUnloads) {
    CPrintEngine::Load(Built("lib/libtsprint_lacking_export.so"));
    EXPECT_TRUE(CPrintEngine::IsLoaded());
    try {
        CPrintJob job("/any.rpt");
        FAIL() << "opened";
    } catch (const CPrintEngineException& e) {
        EXPECT_EQ(e.Number(), 403);
        EXPECT_EQ(e.Text(),
                  "The procedure named 'PEExportTo' could not be found in the Crystal Engine library DLL. "
                  "Please verify that you are using the correct version of the Crystal Engine.");
    }
    EXPECT_FALSE(CPrintEngine::IsLoaded());
    EXPECT_EQ(CPrintEngine::Bound().OpenEngine, nullptr);
}

TEST_F(PrintEngineBinding, AFailedOpenWithoutTextGivesItsNumberAndAnEmptyText) {
    try {
        CPrintEngine::Load(Built("lib/libtsprint_refuses_open.so"));
        FAIL() << "opened";
    } catch (const CPrintEngineException& e) {
        EXPECT_EQ(e.Number(), 599);
        EXPECT_EQ(e.Text(), "");
    }
    EXPECT_FALSE(CPrintEngine::IsLoaded());
}

TEST_F(PrintEngineBinding, TheLibraryLineNamesTheLoadedLibrary) {
    EXPECT_EQ(CPrintEngine::LibraryLine(), "<P>Crystal Library =  () <BR>DLL Version = , Engine Version = ");
    CPrintEngine::Load(Built("lib/libtsprint_lacking_export.so"));
    std::string line = CPrintEngine::LibraryLine();
    EXPECT_TRUE(std::regex_match(line, std::regex("<P>Crystal Library = .*/libtsprint_lacking_export\\.so "
                                                  "\\(\\d{1,2}/\\d{1,2}/\\d{4} [ \\d]\\d:[ \\d]\\d\\) "
                                                  "<BR>DLL Version = 2\\.3, Engine Version = 2\\.3")))
        << line;
}

TEST_F(PrintEngineBinding, RunsTheProjectsOwnLibraryAndReloadsAfterClose) {
    tessaro::test::TempFolder folder("tsbind");
    std::string report = folder.write("r.rpt",
                                      "[Report]\nColumns={a}\n[Table]\nDatabaseLibrary=FILE\nFields=a\nFile=r.csv\n"
                                      "[Formulas]\nTitle='x'\n");
    folder.write("r.csv", "1\n2\n");
    for (int round = 0; round < 2; ++round) {
        CPrintEngine::Load(Built("bin/libtsprint.so"));
        ASSERT_TRUE(CPrintEngine::IsLoaded());
        CPrintJob job(report);
        EXPECT_EQ(job.GetFormula("@Title"), "'x'");
        try {
            job.SetFormula("@Missing", "1");
            FAIL() << "set";
        } catch (const CPrintEngineException& e) {
            EXPECT_EQ(e.Number(), 510);
        }
        EXPECT_NE(CPrintEngine::LibraryLine().find("DLL Version = 1.0, Engine Version = 1.0"), std::string::npos);
        job.Close();
        CPrintEngine::Close();
        EXPECT_FALSE(CPrintEngine::IsLoaded());
    }
}

}  // namespace
