#include <fstream>
#include <thread>

#include "platform/ini_file.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class IniFileTest : public TempHomeTest {
protected:
    std::string Path() const { return home() + "/KSML.INI"; }
    void Write(const std::string& text) { std::ofstream(Path()) << text; }
    std::string Read() const { return tessaro::test::ReadFileText(Path()); }
};

TEST_F(IniFileTest, LookupIgnoresCaseAndBlanks) {
    Write("; comment\r\n[Logins]\r\n  User = scott \r\nQuoted=\"  padded \"\r\n[Other]\r\nUser=x\r\n");
    EXPECT_EQ(IniGetString(Path(), "LOGINS", "user", "d"), "scott");
    EXPECT_EQ(IniGetString(Path(), "logins", "QUOTED", "d"), "  padded ");
    EXPECT_EQ(IniGetString(Path(), "Other", "User", "d"), "x");
    EXPECT_EQ(IniGetString(Path(), "Missing", "User", "d"), "d");
    EXPECT_EQ(IniGetString(home() + "/NONE.INI", "A", "B", "d"), "d");
}

TEST_F(IniFileTest, ReadsAreCutToTheBuffer) {
    Write("[S]\nK=" + std::string(300, 'v') + "\n");
    EXPECT_EQ(IniGetString(Path(), "S", "K", "").size(), 254u);
    EXPECT_EQ(IniGetString(Path(), "S", "K", "", 10), std::string(9, 'v'));
}

TEST_F(IniFileTest, NumbersUseTheLeadingDigits) {
    Write("[S]\nA=42abc\nB=abc\nC= -7\n");
    EXPECT_EQ(IniGetInt(Path(), "S", "A", 5), 42);
    EXPECT_EQ(IniGetInt(Path(), "S", "B", 5), 0);
    EXPECT_EQ(IniGetInt(Path(), "S", "C", 5), -7);
    EXPECT_EQ(IniGetInt(Path(), "S", "D", 5), 5);
}

TEST_F(IniFileTest, WritesUpdateInPlaceAndKeepOtherLines) {
    Write("; keep me\n[Spool]\nFILE1=1\n\n[Other]\nx=y\n");
    ASSERT_TRUE(IniWriteString(Path(), "SPOOL", "file1", "2"));
    ASSERT_TRUE(IniWriteString(Path(), "Spool", "FILE2", "3"));
    ASSERT_TRUE(IniWriteString(Path(), "New", "k", "v"));
    EXPECT_EQ(Read(), "; keep me\n[Spool]\nfile1=2\nFILE2=3\n\n[Other]\nx=y\n\n[New]\nk=v\n");
    ASSERT_TRUE(IniDeleteKey(Path(), "spool", "FILE1"));
    ASSERT_TRUE(IniDeleteSection(Path(), "OTHER"));
    EXPECT_EQ(IniSectionNames(Path()), (std::vector<std::string>{"Spool", "New"}));
    EXPECT_EQ(IniKeyNames(Path(), "spool"), std::vector<std::string>{"FILE2"});
}

TEST_F(IniFileTest, WritesCreateTheFileAndRejectLineBreaks) {
    ASSERT_TRUE(IniWriteString(Path(), "S", "K", "V"));
    EXPECT_EQ(Read(), "[S]\nK=V\n");
    EXPECT_FALSE(IniWriteString(Path(), "S", "K", "two\nlines"));
    EXPECT_FALSE(IniWriteString(Path(), "S", "K=J", "v"));
    EXPECT_FALSE(IniWriteString(Path(), "S]", "K", "v"));
    EXPECT_EQ(IniGetString(Path(), "S", "K", ""), "V");
    EXPECT_TRUE(IniDeleteSection(home() + "/ABSENT.INI", "S"));
    EXPECT_FALSE(std::ifstream(home() + "/ABSENT.INI").good());
}

TEST_F(IniFileTest, WholeSectionsAreReadAndReplacedInOneGo) {
    Write("; keep me\n[Attempts]\nA=1\nb = 2\n\n[Other]\nx=y\n");
    const std::string longValue(300, 'v');
    EXPECT_EQ(IniSectionEntries(Path(), "ATTEMPTS"),
              (std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"b", "2"}}));
    ASSERT_TRUE(IniReplaceSection(Path(), "attempts", {{"C", "3"}, {"D", longValue}}));
    EXPECT_EQ(Read(), "; keep me\n[attempts]\nC=3\nD=" + longValue + "\n\n[Other]\nx=y\n");
    EXPECT_EQ(IniSectionEntries(Path(), "Attempts").back().second, longValue) << "values are not cut";
    ASSERT_TRUE(IniReplaceSection(Path(), "Attempts", {}));
    EXPECT_EQ(Read(), "; keep me\n[Other]\nx=y\n");
    ASSERT_TRUE(IniReplaceSection(Path(), "New", {{"k", "v"}}));
    EXPECT_EQ(Read(), "; keep me\n[Other]\nx=y\n\n[New]\nk=v\n");
    EXPECT_FALSE(IniReplaceSection(Path(), "New", {{"k", "two\nlines"}}));
    EXPECT_FALSE(IniReplaceSection(Path(), "New", {{"k=j", "v"}}));
    EXPECT_EQ(IniGetString(Path(), "New", "k", ""), "v");
    EXPECT_TRUE(IniReplaceSection(home() + "/ABSENT.INI", "S", {}));
    EXPECT_FALSE(std::ifstream(home() + "/ABSENT.INI").good());
    EXPECT_TRUE(IniSectionEntries(home() + "/ABSENT.INI", "S").empty());
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 25; ++i) IniWriteString(Path(), "S", "K" + std::to_string(t * 100 + i), "v");
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(IniKeyNames(Path(), "S").size(), 100u);
}

TEST_F(IniFileTest, AByteOrderMarkIsKeptButNotRead) {
    Write("\xEF\xBB\xBF[S]\r\nK=V\r\n");
    EXPECT_EQ(IniGetString(Path(), "S", "K", "d"), "V");
    ASSERT_TRUE(IniWriteString(Path(), "S", "J", "W"));
    EXPECT_EQ(Read(), "\xEF\xBB\xBF[S]\r\nK=V\r\nJ=W\n");
}

TEST_F(IniFileTest, FileNamesResolveCaseInsensitively) {
    Write("[S]\nK=V\n");
    EXPECT_EQ(IniGetString(home() + "\\ksml.ini", "S", "K", "d"), "V");
}

}  // namespace
