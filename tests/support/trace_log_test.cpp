#include <regex>
#include <thread>

#include "support/registry.h"
#include "support/trace_log.h"
#include "tests/common/file_text.h"
#include "tests/common/registry_home_fixture.h"

namespace {

using tessaro::test::ReadFileText;

class TraceLogTest : public RegistryHomeTest {
protected:
    void SetLogPath(const std::string& path) {
        auto root = OpenTessaroRootKey();
        CRegistrySettings(root.get()).Set("Logging", "LogFilePath", path);
    }
};

TEST(TraceLogFormatTest, FiveQuotedFieldsWithEscapes) {
    EXPECT_EQ(FormatTraceLogLine("Error", 4711, "12/09/25", "21:14:05", "text"),
              "\"Error\",\"TID=4711\",\"12/09/25\",\"21:14:05\",\"text\"\n");
    EXPECT_EQ(FormatTraceLogLine("Warning", 1, "01/02/03", "04:05:06", "say \"hi\"\r\nforged\"line"),
              "\"Warning\",\"TID=1\",\"01/02/03\",\"04:05:06\",\"say \"\"hi\"\"  forged\"\"line\"\n");
}

TEST_F(TraceLogTest, NothingIsWrittenWithoutLogFilePath) {
    WriteTraceLog("SERVER", "Error", "lost");
    EXPECT_FALSE(Exists(home() + "/windows/SERVER.LOG"));
    EXPECT_FALSE(Exists(home() + "/log/SERVER.LOG"));
}

TEST_F(TraceLogTest, LinesAreAppendedToTheNamedLog) {
    SetLogPath(home() + "\\log");
    WriteTraceLog("SERVER", "Error", "first \"one\"");
    WriteTraceLog("SERVER", "Information", "second\nline");
    std::string text = ReadFileText(home() + "/log/SERVER.LOG");
    std::regex line(
        "\"Error\",\"TID=[0-9]+\",\"[0-1][0-9]/[0-3][0-9]/[0-9][0-9]\",\"[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\","
        "\"first \"\"one\"\"\"\n"
        "\"Information\",\"TID=[0-9]+\",\"[^\"]{8}\",\"[^\"]{8}\",\"second line\"\n");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST_F(TraceLogTest, UnwritableFolderFallsBackToTheWindowsDirectory) {
    SetLogPath(home() + "/missing/folder");
    WriteTraceLog("KSML", "Warning", "here");
    EXPECT_NE(ReadFileText(home() + "/windows/KSML.LOG").find("\"here\""), std::string::npos);
}

TEST_F(TraceLogTest, RawTextIsWrittenAsItStands) {
    SetLogPath(home() + "/log");
    WriteTraceLog("RAW", "Error", "as is", 1);
    EXPECT_EQ(ReadFileText(home() + "/log/RAW.LOG"), "as is");
}

TEST_F(TraceLogTest, LogNamesCannotEscapeTheFolder) {
    SetLogPath(home() + "/log");
    WriteTraceLog("../evil", "Error", "x");
    EXPECT_FALSE(Exists(home() + "/evil.LOG"));
    EXPECT_TRUE(Exists(home() + "/log/.._evil.LOG"));
}

TEST_F(TraceLogTest, ConcurrentWritersKeepWholeLines) {
    SetLogPath(home() + "/log");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 50; ++i) WriteTraceLog("MANY", "Information", std::string(100, 'x'));
        });
    }
    for (auto& t : threads) t.join();
    std::string text = ReadFileText(home() + "/log/MANY.LOG");
    std::stringstream in(text);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        EXPECT_EQ(line.rfind("\"Information\",", 0), 0u);
    }
    EXPECT_EQ(count, 200);
}

}  // namespace
