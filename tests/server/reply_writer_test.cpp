#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "engine/server/hdml_library.h"
#include "engine/server/reply_writer.h"
#include "request_test_support.h"

namespace {

class ReplyWriterTest : public ServerTestHome {
protected:
    std::string MakeFile(const std::string& name, const std::string& bytes) {
        std::string path = home() + "/tmp/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    RecordingChannel channel;
    CReplyWriter writer{&channel};
};

}  // namespace

TEST_F(ReplyWriterTest, BufferedBodyAfterTheContentType) {
    writer.BeginOutput();
    writer.GetCurrentChannel()->WriteText("ab");
    writer.Finish();
    EXPECT_EQ(channel.text, "Content-type: text/html\n\nab");
    EXPECT_EQ(channel.closed, 1);
    EXPECT_TRUE(writer.IsFinished());
}

TEST_F(ReplyWriterTest, HeadersComeBeforeTheBlankLine) {
    writer.BeginOutput();
    writer.AddHeader("Set-Cookie: A=1\n");
    writer.GetCurrentChannel()->WriteText("x");
    writer.Finish();
    EXPECT_EQ(channel.text, "Content-type: text/html\nSet-Cookie: A=1\n\nx");
}

TEST_F(ReplyWriterTest, RedirectDropsTheBody) {
    writer.BeginOutput();
    writer.GetCurrentChannel()->WriteText("gone");
    writer.Redirect("http://h/x");
    writer.Finish();
    EXPECT_EQ(channel.text, "Location: http://h/x\n\n");
}

TEST_F(ReplyWriterTest, HeaderValuesCannotSplitTheReply) {
    writer.BeginOutput();
    writer.Redirect("http://h/x\r\nSet-Cookie: evil=1\r\n\r\n<script>");
    writer.AddHeader("X-A: 1\r\n\r\nInjected: 2\n");
    writer.Finish();
    EXPECT_EQ(channel.text, "Location: http://h/xSet-Cookie: evil=1<script>\nX-A: 1\nInjected: 2\n\n");
    EXPECT_EQ(channel.text.find("\n\n"), channel.text.size() - 2);
}

TEST_F(ReplyWriterTest, BodyWithNulGoesWhole) {
    writer.BeginOutput();
    writer.GetCurrentChannel()->Write("a\0b", 3);
    writer.Finish();
    EXPECT_EQ(channel.text, std::string("Content-type: text/html\n\na\0b", 28));
}

TEST_F(ReplyWriterTest, FileReplyWithAndWithoutTheBuffer) {
    std::string path = MakeFile("pic.gif", "GIF89a");
    writer.ReplyWithFile("image/gif", path, true);
    writer.Finish();
    EXPECT_EQ(channel.text, "Content-length: 6\n\nGIF89a");
    EXPECT_FALSE(std::filesystem::exists(path));

    RecordingChannel second;
    CReplyWriter buffered(&second);
    std::string kept = MakeFile("kept.gif", "GIF");
    buffered.BeginOutput();
    buffered.ReplyWithFile("image/gif", kept, false);
    buffered.Finish();
    EXPECT_EQ(second.text, "Content-type: image/gif\nContent-length: 3\n\nGIF");
    EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(ReplyWriterTest, EmptyFileSendsLengthZero) {
    std::string path = MakeFile("empty.bin", "");
    writer.ReplyWithFile("application/octet-stream", path, true);
    writer.Finish();
    EXPECT_EQ(channel.text, "Content-length: 0\n\n");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ReplyWriterTest, MissingFileIsLoggedAndSendsNothing) {
    std::string path = home() + "/tmp/none.gif";
    writer.ReplyWithFile("image/gif", path, false);
    writer.Finish();
    EXPECT_EQ(channel.text, "");
    EXPECT_NE(ReadLog().find("Error occurred while attempting to map the file '" + path + "' into memory ("),
              std::string::npos);
}

TEST_F(ReplyWriterTest, DeckWithoutLibraryFallsBackToAnHtmlPage) {
    writer.BeginOutput();
    writer.SetContentType("application/x-hdmlc");
    writer.GetCurrentChannel()->WriteText("<HDML>");
    writer.Finish();
    EXPECT_EQ(channel.text.rfind("Content-type: text/html; charset=utf-8\nContent-length: ", 0), 0u);
    EXPECT_NE(channel.text.find("<HTML>"), std::string::npos);
    size_t bts = 0;
    for (const auto& e : std::filesystem::directory_iterator(home() + "/tmp"))
        if (e.path().filename().string().rfind("BTS", 0) == 0) ++bts;
    EXPECT_EQ(bts, 0u);
}

TEST_F(ReplyWriterTest, WritesAfterFinishGoToTheRealChannel) {
    writer.BeginOutput();
    writer.Finish();
    ASSERT_EQ(writer.GetCurrentChannel(), &channel);
    writer.GetCurrentChannel()->WriteText("late");
    EXPECT_EQ(channel.text, "Content-type: text/html\n\nlate");
}

TEST_F(ReplyWriterTest, NoOutputBufferSendsOnlyTheBlankLine) {
    writer.Finish();
    EXPECT_EQ(channel.text, "\n");
}

TEST_F(ReplyWriterTest, AHeaderPastTheBoundsBecomesTheErrorPageWhateverSetIt) {
    const std::string longText(9000, 'x');
    struct Case {
        const char* what;
        std::function<void(CReplyWriter&)> set;
    } const cases[] = {
        {"content type", [&](CReplyWriter& w) { w.SetContentType("text/plain; x=" + longText); }},
        {"redirect", [&](CReplyWriter& w) { w.Redirect("/next.tsm?a=" + longText); }},
        {"added header", [&](CReplyWriter& w) { w.AddHeader("Set-Cookie: A=" + longText + "\n"); }},
        {"many headers", [&](CReplyWriter& w) {
             for (int i = 0; i < 5; ++i) w.AddHeader("X-" + std::to_string(i) + ": " + std::string(7000, 'y') + "\n");
         }},
    };
    for (const Case& c : cases) {
        // With the dispatcher's page, and with the writer's own.
        for (bool withPage : {true, false}) {
            RecordingChannel out;
            CReplyWriter w(&out);
            std::string reported;
            if (withPage)
                w.SetErrorPageWriter([&](const std::string& title, const CWebMessage& detail) {
                    reported = title;
                    w.SetStatus(500);
                    w.BeginEnginePage();
                    w.GetCurrentChannel()->WriteText("page: " + detail.Html());
                });
            w.BeginOutput();
            w.GetCurrentChannel()->WriteText("body");
            w.AddHeader("X-Kept: no\n");
            c.set(w);
            w.Finish();
            const std::string header = out.text.substr(0, out.text.find("\n\n") + 2);
            EXPECT_EQ(header, "Status: 500 Internal Server Error\nContent-type: text/html; charset=utf-8\n\n")
                << c.what << withPage;
            EXPECT_NE(out.text.find("8000 bytes in one header"), std::string::npos) << c.what << withPage;
            EXPECT_EQ(out.text.find("body"), std::string::npos) << c.what;
            // Titled by the dispatcher's page, or by the writer's own.
            EXPECT_EQ(withPage ? reported : out.text.substr(out.text.find("Reply header"), 21), "Reply header too long")
                << c.what;
        }
    }
}

TEST_F(ReplyWriterTest, AHeaderAtTheBoundsGoesOut) {
    writer.BeginOutput();
    const std::string type = "text/plain; x=" + std::string(8000 - 14 - 14, 'x');
    writer.SetContentType(type);
    writer.GetCurrentChannel()->WriteText("ab");
    writer.Finish();
    EXPECT_EQ(channel.text, "Content-type: " + type + "\n\nab");
}

TEST(HdmlLibraryTest, OnlyAMissingFileIsNotLocated) {
    EXPECT_EQ(LibraryLoadFailureText("libtshdmlgen.so", 126), "The library file 'libtshdmlgen.so' could not be located.");
    EXPECT_EQ(LibraryLoadFailureText("libtshdmlgen.so", 193),
              "Windows NT error number 193 occurred while attempting to load the library libtshdmlgen.so.");
}
