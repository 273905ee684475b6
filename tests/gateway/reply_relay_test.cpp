#include "gateway/reply_relay.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::string_literals;

// Feeds the pieces through a relay and returns what reached the web server.
std::string Relay(const std::vector<std::string>& pieces, bool finish = true,
                  size_t maxHeader = ksml::ReplyRelay::kMaxHeaderBytes) {
    std::string out;
    ksml::ReplyRelay relay([&out](const char* d, size_t n) { out.append(d, n); }, maxHeader);
    for (const std::string& piece : pieces) relay.RelayReplyData(piece.data(), piece.size());
    if (finish) relay.Finish();
    return out;
}

struct RelayCase {
    const char* name;
    std::vector<std::string> pieces;
    std::string expected;
};

class ReplyRelayTest : public ::testing::TestWithParam<RelayCase> {};

TEST_P(ReplyRelayTest, WritesWhatTheWebServerShouldSee) {
    EXPECT_EQ(Relay(GetParam().pieces), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyRelayTest,
    ::testing::Values(
        RelayCase{"PlainHeaderPassesUnchanged",
                  {"Content-type: text/html\nSet-Cookie: a=b\n\n<P>hi"},
                  "Content-type: text/html\nSet-Cookie: a=b\n\n<P>hi"},
        RelayCase{"RedirectDropsTheContentType",
                  {"Location: http://x/\nContent-type: text/html\n\n"},
                  "Location: http://x/\n\n"},
        RelayCase{"RedirectKeepsCookies",
                  {"Location: /next.tsm\nContent-type: text/html\nSet-Cookie: TSID=12\nSet-Cookie: TSTOKEN=7\n\n"},
                  "Location: /next.tsm\nSet-Cookie: TSID=12\nSet-Cookie: TSTOKEN=7\n\n"},
        RelayCase{"LocationNotFirstIsUntouched",
                  {"Content-type: text/html\nLocation: http://x/\n\nbody"},
                  "Content-type: text/html\nLocation: http://x/\n\nbody"},
        RelayCase{"LocationPrefixIsCaseSensitive",
                  {"location: http://x/\nContent-type: text/html\n\n"},
                  "location: http://x/\nContent-type: text/html\n\n"},
        RelayCase{"HeaderSplitAcrossPieces",
                  {"Content-ty", "pe: text/html\n", "\n", "<HTML>", "</HTML>"},
                  "Content-type: text/html\n\n<HTML></HTML>"},
        RelayCase{"BlankLineSplitBetweenPieces",
                  {"Location: /a\nContent-type: text/html\n", "\nrest"},
                  "Location: /a\n\nrest"},
        RelayCase{"BodyKeepsNulBytes",
                  {"Content-type: application/octet-stream\n\nA\0B"s, "\0\0C"s},
                  "Content-type: application/octet-stream\n\nA\0B\0\0C"s},
        RelayCase{
            "NulInsideTheHeaderPiece", {"Content-type: text/plain\n\nx\0y"s}, "Content-type: text/plain\n\nx\0y"s},
        RelayCase{
            "EmptyPiecesAreIgnored", {"", "Content-type: text/html\n\n", "", "b"}, "Content-type: text/html\n\nb"},
        RelayCase{
            "HeaderWithoutBlankLineIsFlushedAtTheEnd", {"Content-type: text/html\n"}, "Content-type: text/html\n"}),
    [](const ::testing::TestParamInfo<RelayCase>& info) { return std::string(info.param.name); });

TEST(ReplyRelay, HoldsTheHeaderUntilItsBlankLineArrives) {
    std::string out;
    ksml::ReplyRelay relay([&out](const char* d, size_t n) { out.append(d, n); });
    relay.WriteReplyText("Content-type: text/html\n");
    EXPECT_EQ(out, "");
    EXPECT_FALSE(relay.header_done());
    EXPECT_TRUE(relay.has_pending_header());
    relay.WriteReplyText("\n");
    EXPECT_EQ(out, "Content-type: text/html\n\n");
    EXPECT_TRUE(relay.header_done());
}

TEST(ReplyRelay, LongHeaderBlockSurvivesWhole) {
    std::string header = "Content-type: text/html\n";
    for (int i = 0; i < 300; ++i) header += "Set-Cookie: C" + std::to_string(i) + "=" + std::string(40, 'v') + "\n";
    header += "\n";
    ASSERT_GT(header.size(), 4096u);
    std::vector<std::string> pieces;
    for (size_t at = 0; at < header.size(); at += 4096) pieces.push_back(header.substr(at, 4096));
    pieces.push_back("<BODY>");
    EXPECT_EQ(Relay(pieces), header + "<BODY>");
}

TEST(ReplyRelay, RedirectTargetIsCutAt4000Characters) {
    std::string url(5000, 'u');
    EXPECT_EQ(Relay({"Location: " + url + "\nSet-Cookie: a=1\n\n"}),
              "Location: " + url.substr(0, 4000) + "\nSet-Cookie: a=1\n\n");
}

TEST(ReplyRelay, OversizedHeaderWithoutBlankLinePassesOnAsItIs) {
    std::string big(100, 'h');
    EXPECT_EQ(Relay({big, "more\n\nbody"}, false, 64), big + "more\n\nbody");
}

TEST(ReplyRelay, DiscardForgetsAPendingHeader) {
    std::string out;
    ksml::ReplyRelay relay([&out](const char* d, size_t n) { out.append(d, n); });
    relay.WriteReplyText("Content-type: te");
    relay.DiscardPendingHeader();
    relay.WriteReplyText("Content-type: text/plain\n\nok");
    relay.Finish();
    EXPECT_EQ(out, "Content-type: text/plain\n\nok");
}

TEST(ReplyRelay, WebServerOutputWritesAllAndWarnsOnAShortWrite) {
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::vector<std::string> warnings;
    auto out = ksml::WebServerOutput(fds[1], [&](std::string_view severity, std::string_view text) {
        warnings.push_back(std::string(severity) + ": " + std::string(text));
    });
    out("hello", 5);
    char buf[8] = {};
    ASSERT_EQ(::read(fds[0], buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_TRUE(warnings.empty());
    ::close(fds[0]);
    out("gone", 4);  // reader closed: EPIPE
    ::close(fds[1]);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(
        warnings[0],
        "Warning: The number of bytes written to the web server (0) was less than the number of bytes to write (4).");
}

}  // namespace
