#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "support/byte_buffer.h"
#include "support/registry.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/web_exception.h"
#include "support/web_log.h"
#include "request_test_support.h"

namespace {

class QueryReader : public CRequestReader {
public:
    QueryReader(std::string query, std::string remote) : query_(std::move(query)), remote_(std::move(remote)) {}

protected:
    void ReadEnvironment() override {
        std::string block = "QUERY_STRING=" + query_ + std::string(1, '\0') + "REMOTE_ADDR=" + remote_ +
                            std::string(1, '\0') + "HTTP_USER_AGENT=UA" + std::string(2, '\0');
        SplitEnvironmentBlock(block.data(), block.size());
    }
    void ReadContent(CByteBuffer&) override {}

private:
    std::string query_, remote_;
};

// A page whose behaviour each test sets.
class ScriptedPage : public CDispatchedPage {
public:
    explicit ScriptedPage(std::function<void(CReplyWriter*)> body) : body_(std::move(body)) {}
    void Run(CWebLog*, CServerSettings*, CRequestReader*, CReplyWriter* writer) override {
        ran_ = true;
        body_(writer);
    }
    void Finish() override { ++finishes; }
    bool HasRun() const override { return ran_; }
    static inline int finishes = 0;

private:
    std::function<void(CReplyWriter*)> body_;
    bool ran_ = false;
};

// An error page answers with status 500: a failed request is not a success.
const std::string kPageStart =
    "Status: 500 Internal Server Error\nContent-type: text/html; charset=utf-8\n\n<HTML><HEAD><TITLE>Error Occurred While Processing "
    "Request</TITLE></HEAD>"
    "<BODY><HR><H3>Error Occurred While Processing Request</H3><P> "
    "<TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4><P>";

class DispatcherTest : public DispatcherHome {
protected:
    void SetUp() override {
        DispatcherHome::SetUp();
        ScriptedPage::finishes = 0;
    }
    void Register(const std::string& action, std::function<void(CReplyWriter*)> body, bool isDefault = false) {
        dispatcher.RegisterAction(
            action, [body] { return std::make_unique<ScriptedPage>(body); }, isDefault);
    }
    std::string Handle(const std::string& query, const std::string& remote = "10.1.1.1") {
        QueryReader reader(query, remote);
        reader.ParseCgiEnvironment();
        RecordingChannel channel;
        CReplyWriter writer(&channel);
        dispatcher.HandleRequest(&reader, &writer);
        return channel.text;
    }
};

auto Writes(const std::string& text) {
    return [text](CReplyWriter* w) {
        w->BeginOutput();
        w->GetCurrentChannel()->WriteText(text);
    };
}

auto Throws(const std::string& message, const std::string& detail, const std::string& page = "") {
    return [=](CReplyWriter* w) {
        w->BeginOutput();
        w->GetCurrentChannel()->WriteText("before|");
        throw new CWebException(CWebMessage::FromHtml(message), CWebMessage::FromHtml(detail), page);
    };
}

}  // namespace

TEST_F(DispatcherTest, MissingActionRunsTheDefaultAndAnUnknownOneIsNamedInTheError) {
    Register("Query", Writes("query"), true);
    Register("Other", Writes("other"));
    EXPECT_EQ(Handle(""), "Content-type: text/html\n\nquery");
    EXPECT_EQ(Handle("action="), "Content-type: text/html\n\nquery");
    EXPECT_EQ(Handle("action=other"), "Content-type: text/html\n\nother");
    std::string unknown = Handle("action=Bogus");
    EXPECT_NE(unknown.find("Invalid action specified.<P> The action 'Bogus' is not recognized by this script.<P>"),
              std::string::npos)
        << unknown;
    EXPECT_EQ(unknown.find("query"), std::string::npos) << unknown;
}

TEST_F(DispatcherTest, NoDefaultAndNoActionGivesTheActionError) {
    Register("Other", Writes("other"));
    std::string reply = Handle("x=1");
    EXPECT_EQ(reply.rfind(kPageStart + "Action parameter not found in the URL.<P> The URL parameter 'action'", 0), 0u);
    // An unknown action is named, escaped, in the error.
    std::string invalid = Handle("action=<b>");
    EXPECT_NE(invalid.find("Invalid action specified.<P> The action '&lt;b&gt;' is not recognized by this script.<P>"),
              std::string::npos)
        << invalid;
}

TEST_F(DispatcherTest, ErrorPageByteForByteInsteadOfWhatThePageWrote) {
    Register("Query", Throws("Bad thing.", "It went wrong here."), true);
    // What the page wrote before the error is dropped: one whole page, not a second <HTML>.
    EXPECT_EQ(Handle(""), kPageStart + "Bad thing.<P> It went wrong here.<P></TD></TR></TABLE><P><HR>\n</BODY></HTML>");
    EXPECT_EQ(ScriptedPage::finishes, 1);
}

TEST_F(DispatcherTest, AdminMailAndUnknownCause) {
    SetValue("Logging", "AdminEMail", "a@b");
    dispatcher.RegisterAction(
        "Query", [] { return std::make_unique<ScriptedPage>([](CReplyWriter*) { throw 42; }); }, true);
    std::string reply = Handle("");
    EXPECT_NE(reply.find(std::string("<P>") + kUnknownCauseText +
                         "</TD></TR></TABLE><P>Please inform the <a "
                         "href=\"mailto:a@b\">site administrator</a> that this error has occurred (be sure to include "
                         "the contents of this page in your message to the administrator).<P><HR>\n</BODY></HTML>"),
              std::string::npos);
    EXPECT_NE(std::string(kUnknownCauseText).find("funtioning"), std::string::npos);
}

TEST_F(DispatcherTest, PageTextReplacesEverything) {
    Register("Query", Throws("m", "d", "<P>only this</P>"), true);
    EXPECT_EQ(Handle(""), "Status: 500 Internal Server Error\nContent-type: text/html\n\n<P>only this</P>");
}

TEST_F(DispatcherTest, DebugFootersForListedOrLoopbackClients) {
    Register("Query", Writes("body"), true);
    std::string plain = Handle("MODE=debug", "127.0.0.1");
    EXPECT_EQ(plain, "Content-type: text/html\n\nbody");

    std::string loop = Handle("MODE=DEBUG&secret=x", "127.0.0.1");
    EXPECT_NE(loop.find("body\n<P><HR><B>Execution Time</B><P><PRE>"), std::string::npos);
    EXPECT_NE(loop.find(" milliseconds</PRE>\n<P><HR><B>Parameters</B><PRE>"), std::string::npos);

    // An empty list admits no remote client.
    EXPECT_EQ(Handle("MODE=DEBUG", "10.1.1.1"), "Content-type: text/html\n\nbody");

    SetValue("Debug\\DebugIPList", "10.1.1.1", "");
    EXPECT_NE(Handle("MODE=DEBUG", "10.1.1.1").find("<B>Parameters</B>"), std::string::npos);
    EXPECT_EQ(Handle("MODE=DEBUG", "10.1.1.2"), "Content-type: text/html\n\nbody");
}

TEST_F(DispatcherTest, ErrorsGoToTheRequestLog) {
    std::string logPath = home() + "/log/REQUESTS.LOG";
    CWebLog log(logPath, WEBLOG_INFORMATION, false);
    dispatcher.InitWith(settings.get(), &log);
    Register("Query", Throws("Bad <P>thing.", "Detail here."), true);
    Handle("", "10.1.1.7");
    std::ifstream in(logPath);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line.rfind("\"Error\",\"", 0), 0u) << line;
    EXPECT_NE(line.find("\",\"10.1.1.7\",\"UA\",\"Bad"), std::string::npos) << line;
}
