#include <filesystem>
#include <fstream>

#include "support/registry.h"
#include "support/text_helpers.h"
#include "support/web_log.h"
#include "platform/event_log.h"
#include "tests/common/file_text.h"
#include "tests/common/registry_home_fixture.h"

namespace plat = tessaro::platform;

namespace {

using tessaro::test::ReadFileText;

class WebLogTest : public RegistryHomeTest {
protected:
    void Set(const std::string& name, const std::string& value) {
        auto root = OpenTessaroRootKey();
        CRegistrySettings(root.get()).Set("Logging", name, value);
    }
    std::string MakeFile(const std::string& name, std::size_t size) {
        std::string path = home() + "/" + name;
        std::ofstream(path) << std::string(size, 'x');
        return path;
    }
};

TEST(WebLogFormatTest, MarkupAndLineBreaksBecomeBlanks) {
    EXPECT_EQ(CWebLog::FormatLine(WEBLOG_ERROR, "12/09/25", "21:14:05", "127.0.0.1", "Agent \"X\"", "a<P>b\nc<li>"),
              "\"Error\",\"12/09/25\",\"21:14:05\",\"127.0.0.1\",\"Agent \"\"X\"\"\",\"a b c \"\n");
    EXPECT_EQ(CWebLog::FormatLine(7, "d", "t", "", "", "x<BR>y\r<br>"), "\"\",\"d\",\"t\",\"\",\"\",\"x y  \"\n");
}

// The log is plain text: no tag of an error page's detail reaches it, and the escaped
// characters read as themselves.
TEST(WebLogFormatTest, ErrorPageMarkupLeavesPlainText) {
    const struct {
        const char* detail;
        const char* logged;
    } cases[] = {
        {"Error resolving parameter <B>X</B>", "Error resolving parameter X"},
        {"<UL><LI>one<LI>two</UL><b>Hint</b>: see", "  one two Hint: see"},
        {"<PRE>  a &lt;script&gt; &amp; &quot;b&quot; &#39;c&#39;</PRE>", "   a <script> & \"\"b\"\" 'c' "},
        {"a < b and 3<4 > 2, <!-- note --> done", "a < b and 3<4 > 2,   done"},
        {"<FONT COLOR=\"red\">red</FONT> &amp;lt;", "red &lt;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWebLog::FormatLine(WEBLOG_ERROR, "d", "t", "", "", c.detail),
                  std::string("\"Error\",\"d\",\"t\",\"\",\"\",\"") + c.logged + "\"\n")
            << c.detail;
}

TEST(WebLogLevelTest, SeverityNamesAreCaseSensitive) {
    EXPECT_EQ(WebLogLevelFromText("Information"), 0);
    EXPECT_EQ(WebLogLevelFromText("Warning"), 1);
    EXPECT_EQ(WebLogLevelFromText("Error"), 2);
    EXPECT_EQ(WebLogLevelFromText("error"), 1);
    EXPECT_EQ(WebLogLevelFromText(""), 1);
}

TEST_F(WebLogTest, OversizedLogIsEmptiedAtStartAndTheLimitIsKept) {
    std::string big = MakeFile("BIG.LOG", 1000001);
    std::string limit = MakeFile("LIMIT.LOG", 1000000);
    CWebLog first(big, WEBLOG_WARNING, false);
    CWebLog second(limit, WEBLOG_WARNING, false);
    EXPECT_EQ(std::filesystem::file_size(big), 0u);
    EXPECT_EQ(std::filesystem::file_size(limit), 1000000u);
}

TEST_F(WebLogTest, LinesBelowTheLevelAreDropped) {
    CWebLog log(home() + "/engine.log", WEBLOG_WARNING, false);
    EXPECT_EQ(log.GetPath(), home() + "/ENGINE.LOG");
    EXPECT_EQ(log.GetPhysicalPath(), home() + "/ENGINE.LOG");
    log.Write(WEBLOG_INFORMATION, "1.2.3.4", "ua", "dropped", "CWebException");
    log.Write(WEBLOG_ERROR, "1.2.3.4", "ua", "kept<P>", "CWebException");
    std::string text = ReadFileText(home() + "/ENGINE.LOG");
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_NE(text.find("\"1.2.3.4\",\"ua\",\"kept \"\n"), std::string::npos) << text;
    EXPECT_TRUE(plat::ReadEventLogFile().empty());
}

TEST_F(WebLogTest, EventLogGetsTheDetailAsWell) {
    CWebLog log(home() + "/ENGINE.LOG", WEBLOG_INFORMATION, true);
    log.Write(WEBLOG_WARNING, "addr", "ua", "the detail<P>", "title");
    auto events = plat::ReadEventLogFile();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, "Error");
    EXPECT_EQ(events[0].source, "Tessaro");
    // Plain text there too.
    EXPECT_EQ(events[0].strings, std::vector<std::string>{"the detail "});
    EXPECT_NE(ReadFileText(home() + "/ENGINE.LOG").find("the detail "), std::string::npos);
}

TEST_F(WebLogTest, CreateWebLogUsesTheWindowsDirectoryWithoutLogFilePath) {
    auto log = CreateWebLog(false);
    EXPECT_EQ(log->GetPhysicalPath(), home() + "/windows/TEST_SUPPORT.LOG");
    EXPECT_EQ(log->GetLevel(), WEBLOG_WARNING);
    EXPECT_TRUE(Exists(home() + "/windows/TEST_SUPPORT.LOG"));
    EXPECT_FALSE(Exists(home() + "/windows/SERVER.LOG"));
}

TEST_F(WebLogTest, CreateWebLogFollowsTheLoggingSettings) {
    std::filesystem::create_directories(home() + "/Logs");
    Set("LogFilePath", home() + "/Logs");
    Set("LogSeverity", "Error");
    auto log = CreateWebLog(true);
    EXPECT_EQ(log->GetPhysicalPath(), home() + "/Logs/TEST_SUPPORT.LOG");
    EXPECT_EQ(log->GetLevel(), WEBLOG_ERROR);
    EXPECT_TRUE(log->UsesEventLog());
    Set("LogFilePath", home() + "\\LOGS\\");
    EXPECT_EQ(CreateWebLog(false)->GetPhysicalPath(), home() + "/Logs/TEST_SUPPORT.LOG");
    Set("LogFilePath", home() + "/NoSuchFolder");
    EXPECT_EQ(CreateWebLog(false)->GetPhysicalPath(), home() + "/windows/TEST_SUPPORT.LOG");
}

TEST_F(WebLogTest, ARemovedLogIsNotRecreatedByWrite) {
    CWebLog log(home() + "/GONE.LOG", WEBLOG_INFORMATION, false);
    std::filesystem::remove(home() + "/GONE.LOG");
    log.Write(WEBLOG_ERROR, "", "", "x", "");
    EXPECT_FALSE(Exists(home() + "/GONE.LOG"));
}

}  // namespace
