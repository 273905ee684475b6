// Context functions: nested evaluation through the runtime and its depth bound, variables,
// client variables, temporary files and the parts of paths.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::EvalFailure;
using exprtest::ExpectFunctionError;
using exprtest::FakeRuntime;
using exprtest::FunctionErrorCase;
using exprtest::ValueRow;

class ClientRuntime : public FakeRuntime {
public:
    std::vector<std::string> deleted;
    void DeleteClientVariable(const std::string& name) override { deleted.push_back(name); }
    void GetClientVariableList(std::string& text) override { text = "CFID,LASTVISIT,COLOR"; }
};

class ContextValues : public ::testing::TestWithParam<ValueRow> {};

TEST_P(ContextValues, Text) {
    FakeRuntime runtime;
    runtime.variables = {{"a", "5"}, {"text", "a * 2"}};
    EXPECT_EQ(Eval(GetParam().expression, &runtime), GetParam().text) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContextValues,
    ::testing::Values(
        ValueRow{"DE('')", "\"\""}, ValueRow{"DE('\"')", "\"\"\"\""}, ValueRow{"DE(\"a'b\")", "\"a'b\""},
        ValueRow{"DE('x\"y')", "\"x\"\"y\""}, ValueRow{"IIf(1 GT 2, DE('a'), DE('b'))", "b"},
        ValueRow{"IIf(TRUE, 'a + 1', '1+')", "6"}, ValueRow{"IIf(FALSE, '1+', DE('ok'))", "ok"},
        ValueRow{"IIf('yes', DE('y'), DE('n'))", "y"}, ValueRow{"Evaluate('1+2')", "3"},
        ValueRow{"Evaluate(text)", "10"}, ValueRow{"Evaluate('1', '2', 'a')", "5"},
        ValueRow{"Evaluate(DE('a') & ' & a')", "a5"}, ValueRow{"Evaluate('Evaluate(\"Evaluate(1+1)\")')", "2"},
        ValueRow{"GetFileFromPath('C:\\dir\\file.txt')", "file.txt"},
        ValueRow{"GetFileFromPath('/srv/a/b.tar.gz')", "b.tar.gz"},
        ValueRow{"GetFileFromPath('/srv/a/README')", "README"}, ValueRow{"GetFileFromPath('name')", "name"},
        ValueRow{"GetDirectoryFromPath('file.txt')", "\\"}, ValueRow{"GetDirectoryFromPath('/srv/a/b.txt')", "/srv/a/"},
        ValueRow{"GetDirectoryFromPath('C:\\dir\\file.txt')", "C:\\dir\\"},
        ValueRow{"GetDirectoryFromPath('C:\\dir\\')", "C:\\dir\\"}, ValueRow{"GetDirectoryFromPath('/file.txt')", "/"},
        ValueRow{"GetDirectoryFromPath('a\\b/c.txt')", "a\\b/"}, ValueRow{"GetTemplatePath()", "/t/page.tsm"},
        ValueRow{"ExpandPath('x.txt')", "/t/x.txt"}, ValueRow{"ExpandPath('sub\\a.txt')", "/t/sub/a.txt"},
        ValueRow{"ExpandPath('./a/../b.txt')", "/t/b.txt"}, ValueRow{"ExpandPath('images/')", "/t/images/"},
        ValueRow{"ExpandPath('.')", "/t/"}));

TEST(ContextFunctions, EvaluateRunsEveryArgumentAndSetVariableStays) {
    FakeRuntime runtime;
    EXPECT_EQ(Eval("Evaluate(\"SetVariable('a','1')\", \"a\")", &runtime), "1");
    EXPECT_EQ(runtime.variables["a"], "1");
    EXPECT_EQ(Eval("SetVariable('form.b', 2 + 3)", &runtime), "5");
    EXPECT_EQ(runtime.variables["form.b"], "5");
    EXPECT_EQ(Eval("Evaluate(\"SetVariable('x','1')\", \"SetVariable('y','2')\", \"x & y\")", &runtime), "12");
}

TEST(ContextFunctions, IIfNeverTouchesTheBranchNotTaken) {
    FakeRuntime runtime;
    EXPECT_EQ(Eval("IIf(TRUE, DE('t'), \"SetVariable('z','1')\")", &runtime), "t");
    EXPECT_EQ(runtime.variables.count("z"), 0u);
    EXPECT_EQ(Eval("IIf(FALSE, 'missing', DE('f'))", &runtime), "f");
}

// A text that evaluates itself stops at the nesting bound with an error.
TEST(ContextFunctions, SelfEvaluationStopsAtTheNestingBound) {
    FakeRuntime runtime;
    runtime.variables = {{"loop", "Evaluate(loop)"}, {"branch", "IIf(TRUE, branch, 0)"}};
    for (const char* e : {"Evaluate(loop)", "IIf(TRUE, branch, 0)"}) {
        const auto f = EvalFailure(e, &runtime);
        EXPECT_TRUE(f.thrown) << e;
        EXPECT_NE(f.text.find("32"), std::string::npos) << f.text;
    }
}

TEST(ContextFunctions, ClientVariablesGoThroughTheRuntime) {
    ClientRuntime runtime;
    EXPECT_EQ(Eval("DeleteClientVariable('nosuch')", &runtime), "YES");
    EXPECT_EQ(runtime.deleted, std::vector<std::string>{"nosuch"});
    EXPECT_EQ(Eval("GetClientVariablesList()", &runtime), "CFID,LASTVISIT,COLOR");
}

TEST(ContextFunctions, TempDirectoryIsTheTemplatesFolderOfTheRuntimeRootsTmp) {
    const std::string expected = std::string(std::getenv("TESSARO_HOME")) + "/tmp/templates/";
    EXPECT_EQ(Eval("GetTempDirectory()"), expected);
    struct stat info {};
    EXPECT_EQ(::stat(expected.c_str(), &info), 0);
}

TEST(ContextFunctions, TempFilesAndFileTestsStayOutOfPrivateFolders) {
    FakeRuntime runtime;
    const std::string home = std::getenv("TESSARO_HOME");
    // The engine's own work in tmp/ and the other private folders are not the templates'.
    // Nor is the runtime root itself.
    for (const std::string& dir :
         {home + "/tmp/", home + "/tmp/tsr/", home + "/log/", home + "/run/", home, home + "/"}) {
        runtime.variables = {{"dir", dir}};
        EXPECT_EQ(Eval("GetTempFile(dir, 'rep')", &runtime), "<error>") << dir;
    }
    runtime.variables = {{"dir", Eval("GetTempDirectory()") + std::string("x\0y", 3)}};
    EXPECT_EQ(Eval("GetTempFile(dir, 'rep')", &runtime), "<error>");
    std::filesystem::create_directories(home + "/log");
    std::ofstream(home + "/log/probe.txt") << "x";
    runtime.variables = {{"p", home + "/log/probe.txt"}};
    EXPECT_EQ(Eval("FileExists(p)", &runtime), "NO");
    // Another name of a private file, and the engine's own environment, are not there either.
    const std::string other = Eval("GetTempDirectory()") + std::string("probe-link.txt");
    std::filesystem::remove(other);
    ASSERT_EQ(::link((home + "/log/probe.txt").c_str(), other.c_str()), 0);
    for (const std::string& path : {other, std::string("/proc/self/environ")}) {
        runtime.variables = {{"p", path}};
        EXPECT_EQ(Eval("FileExists(p)", &runtime), "NO") << path;
    }
    std::filesystem::remove(other);
}

TEST(ContextFunctions, TempFilesAreNewUniqueAndPrivate) {
    FakeRuntime runtime;
    runtime.variables = {{"dir", Eval("GetTempDirectory()")}};
    const std::string first = Eval("GetTempFile(dir, 'rep')", &runtime);
    const std::string second = Eval("GetTempFile(dir, 'rep')", &runtime);
    ASSERT_NE(first, "<error>");
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(runtime.variables["dir"] + "rep", 0), 0u) << first;
    struct stat info {};
    ASSERT_EQ(::stat(first.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 0);
    // A separator in the prefix cannot move the file elsewhere.
    const std::string escaped = Eval("GetTempFile(dir, '../x')", &runtime);
    EXPECT_EQ(escaped.rfind(runtime.variables["dir"] + "..", 0), 0u) << escaped;
    EXPECT_EQ(escaped.find('/', runtime.variables["dir"].size()), std::string::npos) << escaped;
}

class ContextErrors : public ::testing::TestWithParam<FunctionErrorCase> {};

TEST_P(ContextErrors, CodeAndText) {
    ExpectFunctionError(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContextErrors,
    ::testing::Values(
        FunctionErrorCase{"GetTempFile",
                          {"'/no/such/dir'", "'p'"},
                          0x4017,
                          "Cannot create a temporary file with prefix \"p\" in the directory \"/no/such/dir\""},
        FunctionErrorCase{"SetVariable",
                          {"'1a'", "'x'"},
                          0x400A,
                          "Parameter 1 of function SetVariable which is now \"1a\" must be a syntactically valid "
                          "variable name"},
        FunctionErrorCase{"DeleteClientVariable",
                          {"'a b'"},
                          0x400A,
                          "Parameter 1 of function DeleteClientVariable which is now \"a b\" must be a syntactically "
                          "valid variable name"},
        FunctionErrorCase{"IIf",
                          {"'maybe'", "'1'", "'2'"},
                          0x400A,
                          "Parameter 1 of function IIf which is now \"maybe\" must be a boolean"},
        FunctionErrorCase{"ExpandPath",
                          {"'..\\x.txt'"},
                          0x400A,
                          "Parameter 1 of function ExpandPath which is now \"..\\x.txt\" must be a relative path that "
                          "stays within the template's directory"},
        FunctionErrorCase{"ExpandPath",
                          {"'a/../../x.txt'"},
                          0x400A,
                          "Parameter 1 of function ExpandPath which is now \"a/../../x.txt\" must be a relative path "
                          "that stays within the template's directory"}));

}  // namespace
