#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/byte_buffer.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/web_exception.h"
#include "tests/common/server_test_home.h"

namespace {

// A reader over an environment block and a body held in memory.
class MemoryReader : public CRequestReader {
public:
    MemoryReader(std::string environment, std::string body) : env_(std::move(environment)), body_(std::move(body)) {}

protected:
    void ReadEnvironment() override { SplitEnvironmentBlock(env_.data(), env_.size()); }
    void ReadContent(CByteBuffer& buffer) override { buffer.Append(body_.data(), body_.size()); }

private:
    std::string env_, body_;
};

std::string Block(const std::vector<std::string>& entries) {
    std::string b;
    for (const auto& e : entries) b += e + std::string(1, '\0');
    return b + std::string(1, '\0');
}

std::string PostBlock(const std::string& type, std::size_t length) {
    return Block({"REQUEST_METHOD=POST", "CONTENT_TYPE=" + type, "CONTENT_LENGTH=" + std::to_string(length)});
}

}  // namespace

TEST(UrlDecodeTest, DecodesPlusPercentAndKeepsATrailingPercent) {
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"%41+B", "A B"}, {"%4a%4A", "JJ"}, {"%ZZ", "\xFF"}, {"50%", "50%"},
        {"a%4", "a%4"},   {"%", "%"},       {"%2", "%2"},    {"x%00y", std::string("x\0y", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(UrlDecode(c.in), c.out) << c.in;
}

TEST(IsValidationFieldTest, RecognisesTheSuffixesOnly) {
    for (const char* yes : {"age_integer", "X_REQUIRED", "d_eurodate", "t_Time", "n_FLOAT", "r_range", "d_date"})
        EXPECT_TRUE(IsValidationField(yes)) << yes;
    for (const char* no : {"age", "INTEGER", "first_name", "_INTEGERS", "a_datex"})
        EXPECT_FALSE(IsValidationField(no)) << no;
}

TEST(IsSafePathTest, RejectsClimbingAndDoubledSeparators) {
    for (const char* bad : {"../etc/passwd", "a/../b", "a//b", "a\\\\b", "a/\\b", "C:\\x\\..\\y"})
        EXPECT_FALSE(IsSafePath(bad)) << bad;
    for (const char* good : {"/srv/www/t.tsm", "C:\\web\\t.tsm", "dir/file.tsm"}) EXPECT_TRUE(IsSafePath(good)) << good;
}

TEST(RequestReaderTest, QueryStringRules) {
    MemoryReader r(Block({"QUERY_STRING=a=1&b&c=%41+B&x=1&X=2&e=%26%3D"}), "");
    r.ParseCgiEnvironment();
    EXPECT_EQ(r.GetUrlParameter("a"), "1");
    EXPECT_EQ(r.GetUrlParameter("C"), "A B");
    EXPECT_FALSE(r.HasUrlParameter("B"));
    EXPECT_EQ(r.GetUrlParameter("x"), "2");
    EXPECT_EQ(r.GetUrlParameter("E"), "&=");
}

TEST(RequestReaderTest, EnvironmentNamesAndExclusions) {
    MemoryReader r(Block({"HTTP_USER-AGENT=x", "PATH=/bin", "LIBPATH=/lib", "S=1", "NOEQUALS", "REMOTE_ADDR=1.2.3.4"}),
                   "");
    r.ParseCgiEnvironment();
    EXPECT_EQ(r.GetCgiVariable("HTTP_USER_AGENT"), "x");
    EXPECT_EQ(r.GetCgiVariable("user_agent"), "x");
    EXPECT_TRUE(r.HasCgiVariable("User_Agent"));
    EXPECT_FALSE(r.HasCgiVariable("PATH"));
    EXPECT_FALSE(r.HasCgiVariable("LIBPATH"));
    EXPECT_FALSE(r.HasCgiVariable("S"));
    EXPECT_EQ(r.GetCgiVariable("remote_addr"), "1.2.3.4");
}

TEST(RequestReaderTest, HeadersNeverStandInForServerVariables) {
    MemoryReader r(Block({"HTTP_REMOTE_USER=admin", "HTTP_AUTH_TYPE=Basic", "HTTP_TS_TEMPLATE_PATH=/etc/passwd",
                          "HTTP_REMOTE_ADDR=10.0.0.1"}),
                   "");
    r.ParseCgiEnvironment();
    for (const char* name : {"REMOTE_USER", "AUTH_TYPE", "TS_TEMPLATE_PATH", "REMOTE_ADDR"}) {
        EXPECT_EQ(r.GetCgiVariable(name), "") << name;
        EXPECT_FALSE(r.HasCgiVariable(name)) << name;
    }
}

TEST(RequestReaderTest, LongEntryCannotPlantAnotherVariable) {
    std::string value(1500, 'q');
    MemoryReader r(Block({"QUERY_STRING=" + value + "TS_TEMPLATE_PATH=/etc/passwd", "SCRIPT_NAME=/t.tsm"}), "");
    r.ParseCgiEnvironment();
    EXPECT_FALSE(r.HasCgiVariable("TS_TEMPLATE_PATH"));
    EXPECT_EQ(r.GetCgiVariable("QUERY_STRING").size(), value.size() + 28);
    EXPECT_EQ(r.GetCgiVariable("SCRIPT_NAME"), "/t.tsm");
}

TEST(RequestReaderTest, EnvironmentBlockEndsAtEmptyEntryAndDropsAnUnterminatedTail) {
    std::string block = std::string("A=1\0\0B=2\0", 9);
    MemoryReader r(block, "");
    r.ParseCgiEnvironment();
    EXPECT_TRUE(r.HasCgiVariable("A"));
    EXPECT_FALSE(r.HasCgiVariable("B"));

    MemoryReader tail(std::string("A=1\0B=2", 7), "");
    tail.ParseCgiEnvironment();
    EXPECT_TRUE(tail.HasCgiVariable("A"));
    EXPECT_FALSE(tail.HasCgiVariable("B"));
}

TEST(RequestReaderTest, UrlEncodedBodyJoinsAndListsFieldNames) {
    struct Case {
        std::string body;
        std::vector<std::pair<std::string, std::string>> fields;
    } cases[] = {
        {"a=1&&a=2&b", {{"A", "1,2"}, {"FIELDNAMES", "A,A"}}},
        {"age=&age_integer=Enter+a+number", {{"AGE", ""}, {"AGE_INTEGER", "Enter a number"}, {"FIELDNAMES", "AGE"}}},
        {"A=1&A=&A=3", {{"A", "1,3"}}},
        {"A=&A=2", {{"A", "2"}}},
        {"n%61me=v%3Dx", {{"NAME", "v=x"}}},
    };
    for (const auto& c : cases) {
        MemoryReader r(PostBlock("application/x-www-form-urlencoded", c.body.size()), c.body);
        r.ParseCgiEnvironment();
        for (const auto& [name, value] : c.fields) EXPECT_EQ(r.GetFormField(name), value) << c.body << " " << name;
    }
}

TEST(RequestReaderTest, UrlEncodedWithCharsetIsStillRead) {
    std::string body = "a=1";
    MemoryReader r(PostBlock("application/x-www-form-urlencoded; charset=UTF-8", body.size()), body);
    r.ParseCgiEnvironment();
    EXPECT_EQ(r.GetFormField("A"), "1");
}

TEST(RequestReaderTest, NoBodyWithoutPostTypeAndLength) {
    struct Case {
        std::string env;
    } cases[] = {
        {Block({"REQUEST_METHOD=GET", "CONTENT_TYPE=application/x-www-form-urlencoded", "CONTENT_LENGTH=3"})},
        {Block({"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded", "CONTENT_LENGTH=0"})},
        {Block({"REQUEST_METHOD=POST", "CONTENT_LENGTH=3"})},
    };
    for (const auto& c : cases) {
        MemoryReader r(c.env, "a=1");
        r.ParseCgiEnvironment();
        EXPECT_EQ(r.GetFormFields().GetCount(), 0);
    }
}

TEST(RequestReaderTest, MultipartWithoutBoundaryIsRejected) {
    MemoryReader r(PostBlock("multipart/form-data", 4), "abcd");
    try {
        r.ParseCgiEnvironment();
        FAIL() << "no exception";
    } catch (CWebException* e) {
        EXPECT_EQ(e->GetMessage(), "Invalid multipart MIME data.<P>");
        EXPECT_EQ(e->GetDetail(), "No multipart boundary was declared.<P>");
        e->Delete();
    }
}

TEST(RequestReaderTest, TokenLimitStopsAt32000) {
    std::string body;
    for (int i = 0; i < 32005; ++i) body += "f=" + std::to_string(i % 10) + "&";
    MemoryReader r(PostBlock("application/x-www-form-urlencoded", body.size()), body);
    r.ParseCgiEnvironment();
    std::string names = r.GetFormField("FIELDNAMES");
    EXPECT_EQ(std::count(names.begin(), names.end(), ','), 31999);
}

class DumpRequestTest : public ServerTestHome {};

TEST_F(DumpRequestTest, LayoutAndEscaping) {
    std::string body = "x=%3Cb%3E";
    std::string env =
        Block({"QUERY_STRING=q=1", "REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
               "CONTENT_LENGTH=" + std::to_string(body.size())});
    MemoryReader r(env, body);
    r.ParseCgiEnvironment();
    CMemoryReplyChannel sink;
    CReplyWriter writer(&sink);
    writer.BeginOutput();
    r.DumpRequest(writer);
    EXPECT_EQ(writer.GetBufferedBody(),
              "<PRE><B>Form Fields:</B>\n\nFIELDNAMES=X\nX=&lt;b&gt;\n\n<B>URL Parameters:</B>\n\nQ=1\n\n"
              "<B>CGI Variables:</B>\n\nQUERY_STRING=q=1\nREQUEST_METHOD=POST\n"
              "CONTENT_TYPE=application/x-www-form-urlencoded\nCONTENT_LENGTH=9\n</PRE>");
}

namespace {

// Settings with one number of the Server section set; every other value is its default.
class OneServerNumber : public CServerSettings {
public:
    OneServerNumber(std::string name, long value) : CServerSettings(nullptr), name_(std::move(name)), value_(value) {}
    long GetNumber(const std::string& section, const std::string& name, long defaultValue) override {
        return section == "Server" && name == name_ ? value_ : defaultValue;
    }

private:
    std::string name_;
    long value_;
};

class SettingsReader : public CRequestReader {
public:
    SettingsReader(CServerSettings* settings, std::string environment, std::string body)
        : CRequestReader(settings), env_(std::move(environment)), body_(std::move(body)) {}

protected:
    void ReadEnvironment() override { SplitEnvironmentBlock(env_.data(), env_.size()); }
    void ReadContent(CByteBuffer& buffer) override { buffer.Append(body_.data(), body_.size()); }

private:
    std::string env_, body_;
};

std::string MultipartFields(int count) {
    std::string body;
    for (int i = 0; i < count; ++i)
        body += "--B\r\nContent-Disposition: form-data; name=\"f" + std::to_string(i) + "\"\r\n\r\nv\r\n";
    return body + "--B--\r\n";
}

std::string UrlEncodedFields(int count) {
    std::string body;
    for (int i = 0; i < count; ++i) body += "f" + std::to_string(i) + "=v&";
    return body;
}

}  // namespace

TEST(RequestReaderTest, OneFieldCapForUrlEncodedAndMultipartForms) {
    struct Case {
        const char* type;
        std::string body;
        int expectedFields;  // FIELDNAMES counts itself for URL-encoded forms
    };
    OneServerNumber cap("MaxFormFields", 10);
    const Case cases[] = {
        {"application/x-www-form-urlencoded", UrlEncodedFields(25), 11},
        {"multipart/form-data; boundary=B", MultipartFields(25), 10},
        {"application/x-www-form-urlencoded", UrlEncodedFields(9), 10},
        {"multipart/form-data; boundary=B", MultipartFields(9), 9},
    };
    for (const Case& c : cases) {
        SettingsReader r(&cap, PostBlock(c.type, c.body.size()), c.body);
        r.ParseCgiEnvironment();
        EXPECT_EQ(r.GetFormFields().GetCount(), c.expectedFields) << c.type;
        EXPECT_TRUE(r.HasFormField("F0")) << c.type;
    }
    // Without the setting both kinds stop at 32000.
    OneServerNumber none("Unrelated", 1);
    std::string many = MultipartFields(32003);
    SettingsReader multipart(&none, PostBlock("multipart/form-data; boundary=B", many.size()), many);
    multipart.ParseCgiEnvironment();
    EXPECT_EQ(multipart.GetFormFields().GetCount(), 32000);
    EXPECT_FALSE(multipart.HasFormField("F32000"));
}

TEST(RequestReaderTest, RepeatedNamesJoinInPlace) {
    // Every repeat appends to the joined value; blanks never add a comma.
    std::string body;
    for (int i = 0; i < 2000; ++i) body += "n=" + std::to_string(i % 3) + "&n=+&";
    MemoryReader r(PostBlock("application/x-www-form-urlencoded", body.size()), body);
    r.ParseCgiEnvironment();
    std::string joined = r.GetFormField("N");
    EXPECT_EQ(std::count(joined.begin(), joined.end(), ','), 1999);
    EXPECT_EQ(joined.substr(0, 6), "0,1,2,");
}
