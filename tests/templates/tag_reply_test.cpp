#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "support/runtime_file_gate.h"
#include "engine/server/client_id_source.h"
#include "engine/server/client_scope.h"
#include "engine/server/reply_channel.h"
#include "engine/server/reply_writer.h"
#include "support/web_exception.h"
#include "engine/templates/core/reply_header_rules.h"
#include "engine/templates/tags/reply/reply_engine.h"
#include "tests/common/temp_home.h"
#include "tests/common/web_error_capture.h"

namespace {

TEST(TagReplyTest, HeaderLinesAreTrimmedGetOneColonAndStayOnOneLine) {
    struct Case {
        const char* name;
        const char* value;
        const char* line;
    } cases[] = {
        {"Refresh", " 5 ", "Refresh: 5\n"},
        {"X-A:", "b", "X-A: b\n"},
        {" X-B ", "one\r\ntwo\nthree", "X-B: onetwothree\n"},
        {"X-C\r\nSet-Cookie: evil=1", "v", "X-CSet-Cookie: evil=1: v\n"},
        {"X-D", "", "X-D: \n"},
    };
    for (const Case& c : cases) EXPECT_EQ(BuildHeaderLine(c.name, c.value), c.line) << c.name;
    Thrown t = WebErrorOf([] { BuildHeaderLine("", "x"); });
    EXPECT_EQ(t.message, "Invalid TSHEADER tag<P>");
}

TEST(TagReplyTest, OtherControlCharactersInHeadersAndRedirectsRefuseTheTag) {
    using namespace std::string_literals;
    struct Case {
        std::string name, value;
        const char* detail;
    } const cases[] = {
        {"X-A", "a\vb", "The VALUE attribute of the TSHEADER tag holds a control character (VT), which is not "
                        "allowed there.<P>"},
        {"X-A", "a\fb", "The VALUE attribute of the TSHEADER tag holds a control character (FF), which is not "
                        "allowed there.<P>"},
        {"X-A", "a\0b"s, "The VALUE attribute of the TSHEADER tag holds a control character (NUL), which is not "
                        "allowed there.<P>"},
        {"X-A", "a\xc2\x85" "b", "The VALUE attribute of the TSHEADER tag holds a control character (NEL), which "
                                 "is not allowed there.<P>"},
        {"X\tA", "b", "The NAME attribute of the TSHEADER tag holds a control character (TAB), which is not "
                     "allowed there.<P>"},
        {"X\x7f", "b", "The NAME attribute of the TSHEADER tag holds a control character (DEL), which is not "
                      "allowed there.<P>"},
    };
    for (const Case& c : cases) {
        Thrown t = WebErrorOf([&] { BuildHeaderLine(c.name, c.value); });
        EXPECT_EQ(t.message, "Invalid TSHEADER tag<P>") << c.value;
        EXPECT_EQ(t.detail, c.detail) << c.value;
    }
    // White space at either end is trimmed as before, and text in UTF-8 stays as it is.
    EXPECT_EQ(BuildHeaderLine("X-A", "\v\xc3\x85ngstr\xc3\xb6m\f"), "X-A: \xc3\x85ngstr\xc3\xb6m\n");
    EXPECT_EQ(LocationUrl("next.tsm?a=1\r\n"), "next.tsm?a=1");
    for (const std::string& url : {"java\tscript:x"s, "next.tsm\v"s, "/a\0b"s, "/a\x85"s, "/\x1b"s}) {
        Thrown t = WebErrorOf([&] { LocationUrl(url); });
        EXPECT_EQ(t.message, "Invalid TSLOCATION tag<P>") << url;
    }
}

class ContentTagTest : public TempFolderTest {
protected:
    std::string MakeFile(const std::string& name) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << "GIF89a";
        return path;
    }
    CMemoryReplyChannel channel_;
    CRuntimeFileGate files_;
};

TEST_F(ContentTagTest, TypeOnlyDropsEarlierOutputAndKeepsGoing) {
    CReplyWriter writer(&channel_);
    writer.BeginOutput();
    writer.GetCurrentChannel()->Write("before", 6);
    ContentTagState state;
    state.type = "text/plain";
    EXPECT_FALSE(ExecuteContent(state, writer, files_));
    writer.GetCurrentChannel()->Write("after", 5);
    EXPECT_EQ(writer.GetBufferedBody(), "after");
    EXPECT_EQ(writer.GetContentType(), "text/plain");
}

TEST_F(ContentTagTest, FileRepliesStopThePageAndAreCheckedFirst) {
    CReplyWriter writer(&channel_);
    writer.BeginOutput();
    writer.GetCurrentChannel()->Write("kept", 4);
    ContentTagState state;
    state.type = "image/gif";
    state.file = dir_ + "/missing.gif";
    Thrown t = WebErrorOf([&] { ExecuteContent(state, writer, files_); });
    EXPECT_EQ(t.message, "Invalid TSCONTENT tag<P>");
    EXPECT_NE(t.detail.find("missing.gif) does not exist or is not accessible to the Tessaro Engine."),
              std::string::npos);
    EXPECT_EQ(writer.GetBufferedBody(), "kept");

    for (const std::string& bad : {dir_ + "/../x.gif", dir_ + "//x.gif", std::string("C:\\\\x.gif")}) {
        state.file = bad;
        Thrown p = WebErrorOf([&] { ExecuteContent(state, writer, files_); });
        EXPECT_EQ(p.message, "Invalid TSCONTENT tag<P>") << bad;
        EXPECT_NE(p.detail.find("is illegal."), std::string::npos) << bad;
    }

    state.file = MakeFile("a.gif");
    EXPECT_TRUE(ExecuteContent(state, writer, files_));
    EXPECT_EQ(writer.GetContentType(), "image/gif");
    EXPECT_EQ(writer.GetBufferedBody(), "");

    state.type.clear();
    Thrown noType = WebErrorOf([&] { ExecuteContent(state, writer, files_); });
    EXPECT_EQ(noType.message, "Invalid TSCONTENT tag<P>");
    EXPECT_NE(noType.detail.find("TYPE=\"image/gif\""), std::string::npos);
}

TEST_F(ContentTagTest, ControlCharactersInTheTypeRefuseTheTagBeforeTheOutputIsDropped) {
    using namespace std::string_literals;
    CReplyWriter writer(&channel_);
    writer.BeginOutput();
    writer.GetCurrentChannel()->Write("kept", 4);
    struct Case {
        std::string type;
        const char* name;
    } const cases[] = {
        {"text/plain\vX-A: 1", "VT"},      {"text/plain\f", "FF"},
        {"text/\0plain"s, "NUL"},          {"text/plain\xc2\x85", "NEL"},
        {"text/plain;\tcharset=x", "TAB"}, {"text/plain\x7f", "DEL"},
    };
    for (const Case& c : cases) {
        ContentTagState state;
        state.type = c.type;
        Thrown t = WebErrorOf([&] { ExecuteContent(state, writer, files_); });
        EXPECT_EQ(t.message, "Invalid TSCONTENT tag<P>") << c.name;
        EXPECT_EQ(t.detail, std::string("The TYPE attribute of the TSCONTENT tag holds a control character (") +
                                c.name + "), which is not allowed there.<P>")
            << c.name;
        state.file = MakeFile("a.gif");
        EXPECT_EQ(WebErrorOf([&] { ExecuteContent(state, writer, files_); }).message, "Invalid TSCONTENT tag<P>") << c.name;
    }
    EXPECT_EQ(writer.GetBufferedBody(), "kept");
    // Line breaks only go, as from every header line; text beyond ASCII stays.
    ContentTagState broken;
    broken.type = "text/plain\r\n; charset=\xc3\x85";
    EXPECT_FALSE(ExecuteContent(broken, writer, files_));
    EXPECT_EQ(writer.GetContentType(), "text/plain; charset=\xc3\x85");
}

TEST(ContentTagStateTest, OnlyYesDeletesTheFile) {
    for (const char* yes : {"YES", "yes", "Yes"}) {
        ContentTagState s;
        s.SetDeleteFile(yes);
        EXPECT_TRUE(s.deleteFile) << yes;
    }
    for (const char* no : {"true", "1", "", "no"}) {
        ContentTagState s;
        s.SetDeleteFile(no);
        EXPECT_FALSE(s.deleteFile) << no;
    }
}

class TokenSource : public CClientIdSource {
public:
    std::map<std::string, std::string> cookies;
    bool UrlParameterExists(const std::string&) override { return false; }
    std::string GetUrlParameter(const std::string&) override { return {}; }
    bool CookieExists(const std::string&) override { return false; }
    std::string GetCookie(const std::string&) override { return {}; }
    void SetCookie(const std::string& n, const std::string& v) override { cookies[n] = v; }
    int Random() override { return 0; }
};

// Client management keeps its state in the registry below a home of the test's own.
class LocationTagTest : public TempHomeTest {};

TEST_F(LocationTagTest, TokenGoesIntoTemplateUrlsOnlyWhenClientManagementIsOn) {
    TokenSource source;
    tessaro::platform::TimedMutex idLock;
    CClientScope scope(source, idLock);
    EXPECT_EQ(AddClientToken("next.tsm", "", &scope), "next.tsm");
    EXPECT_EQ(AddClientToken("next.tsm", "", nullptr), "next.tsm");
    scope.EnableClientManagement(true);
    const std::string token = "TSID=1&TSTOKEN=" + source.cookies["TSTOKEN"];
    struct Case {
        const char* url;
        const char* addToken;
        std::string expected;
    } cases[] = {
        {"next.tsm?a=1#top", "", "next.tsm?a=1&" + token + "#top"},
        {"next.TSM", "Yes", "next.TSM?" + token},
        {"/app/page.ksm#x#y", "", "/app/page.ksm?" + token + "#x#y"},
        {"page.html", "yes", "page.html"},
        {"next.tsm", "no", "next.tsm"},
        {"next.tsm", "NO", "next.tsm"},
    };
    for (const Case& c : cases) EXPECT_EQ(AddClientToken(c.url, c.addToken, &scope), c.expected) << c.url;
}

TEST(LocationTagStateTest, AddTokenAcceptsYesNoOrNothing) {
    LocationTagState state;
    for (const char* good : {"", "yes", "NO", "No"}) {
        EXPECT_EQ(WebErrorOf([&] { state.SetAddToken(good, "at line 3<P>"); }).message, "") << good;
    }
    Thrown t = WebErrorOf([&] { state.SetAddToken("maybe", "at line 3<P>"); });
    EXPECT_EQ(t.message, "Invalid attribute value.<P>");
    EXPECT_EQ(t.detail, "at line 3<P>The ADDTOKEN attribute of the TSLOCATION tag must be either \"Yes or \"No\".<P>");
}

TEST(LocationTagStateTest, RedirectUrlsCarryNoLineBreaks) {
    EXPECT_EQ(RedirectUrl("next.tsm\r\nSet-Cookie: a=b"), "next.tsmSet-Cookie: a=b");
}

}  // namespace
