#include "gateway/error_page.h"

#include <gtest/gtest.h>

#include "gateway/reply_relay.h"

namespace {

const std::string kBusyPage =
    "Status: 503 Service Unavailable\nContent-type: text/html; charset=utf-8\n\n<HTML><HEAD><TITLE>Error Occurred While Processing "
    "Request</TITLE></HEAD><BODY><HR>"
    "<H3>Error Occurred While Processing Request</H3><P> <TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4>"
    "<P>Server busy or unable to fulfill request<P>The server is unable to fulfill your request due to extremely high "
    "traffic or an unexpected internal error. Please attempt your request again (if you are repeatedly unsucessful "
    "you should notify the site administrator).<P></TD></TR></TABLE><P>\n</BODY></HTML>";

TEST(ErrorPage, BrokenPipeGivesTheServerBusyPageExactly) {
    EXPECT_EQ(ksml::FormatErrorPage({{"Error attempting to read data sent by server.", 109}}, true, ""), kBusyPage);
}

TEST(ErrorPage, DiagnosticText) {
    EXPECT_EQ(ksml::ErrorDiagnosticText({"Plain.", 0}), "Plain.");
    // The number comes with its words, when the table has them.
    EXPECT_EQ(ksml::ErrorDiagnosticText({"Failed.", 1060}),
              "Failed. <P>Windows NT error number 1060 occurred (the service does not exist).");
    EXPECT_EQ(ksml::ErrorDiagnosticText({"Odd.", 99999}), "Odd. <P>Windows NT error number 99999 occurred.");
    EXPECT_EQ(ksml::ErrorDiagnosticText({"Ignored.", 109}), std::string(ksml::kServerBusyText));
}

TEST(ErrorPage, AdministratorAddressFollowsTheClosingTags) {
    std::string page = ksml::FormatErrorPage({{"Oops.", 0}}, true, "web@example.org");
    const std::string tail =
        "</BODY></HTML>Please inform the <a href=\"mailto:web@example.org\">site administrator</a> that this error "
        "has occurred (be sure to include the contents of this page in your message to the administrator).<P><HR>";
    ASSERT_GE(page.size(), tail.size());
    EXPECT_EQ(page.substr(page.size() - tail.size()), tail);
}

TEST(ErrorPage, SeveralFailuresShareOneReply) {
    std::string page = ksml::FormatErrorPage({{"First.", 1060}, {"Second.", 2}}, true, "");
    // No engine service: the site was taken down, and is unavailable rather than broken.
    EXPECT_EQ(page,
              "Status: 503 Service Unavailable\nContent-type: text/html; charset=utf-8\n\n<HTML><HEAD><TITLE>Error Occurred While "
              "Processing Request</TITLE></HEAD>"
              "<BODY><HR><H3>Error Occurred While Processing Request</H3><P> "
              "<TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4><P>First. <P>Windows NT error number 1060 "
              "occurred (the service does not exist).<P></TD></TR></TABLE><P>\n"
              "<TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4><P>Second. <P>Windows NT error number 2 "
              "occurred (the file was not found).<P></TD></TR></TABLE><P>\n</BODY></HTML>");
}

TEST(ErrorPage, EachFailureIsLoggedWhenItHappens) {
    std::vector<std::string> lines;
    ksml::ErrorReport errors([&](std::string_view severity, std::string_view text) {
        lines.push_back(std::string(severity) + "|" + std::string(text));
    });
    errors.Add("Failed to set server termination event.", 2);
    errors.Add("Read failed.", 109);
    errors.Add(std::string(3000, 'x'), 0);  // too long for a log line
    errors.Warn("Read loop has executed 100 times");
    ASSERT_EQ(lines.size(), 3u);
    // Log lines are plain text, without the page's markup.
    EXPECT_EQ(lines[0],
              "Error|Failed to set server termination event. Windows NT error number 2 occurred (the file was not "
              "found).");
    EXPECT_EQ(lines[1],
              "Error|Server busy or unable to fulfill request The server is unable to fulfill your request "
              "due to extremely high traffic or an unexpected internal error. Please attempt your request "
              "again (if you are repeatedly unsucessful you should notify the site administrator).");
    EXPECT_EQ(lines[2], "Warning|Read loop has executed 100 times");
    EXPECT_EQ(errors.errors().size(), 3u);
}

struct PageRun {
    std::string out;
    ksml::ReplyRelay relay{[this](const char* d, size_t n) { out.append(d, n); }};
    ksml::ErrorReport errors{nullptr};
};

TEST(ErrorPage, WrittenWithItsOwnHeaderWhenNothingWasSent) {
    PageRun run;
    run.errors.Add("x", 109);
    ksml::WriteErrorPage(run.relay, run.errors, "");
    EXPECT_EQ(run.out, kBusyPage);
}

TEST(ErrorPage, ReplacesAHalfReceivedHeader) {
    PageRun run;
    run.relay.WriteReplyText("Content-type: text/ht");
    run.errors.Add("x", 109);
    ksml::WriteErrorPage(run.relay, run.errors, "");
    EXPECT_EQ(run.out, kBusyPage);
}

TEST(ErrorPage, ContinuesAReplyWhoseHeaderWentOut) {
    PageRun run;
    run.relay.WriteReplyText("Content-type: text/html\n\n<P>partial");
    run.errors.Add("x", 109);
    ksml::WriteErrorPage(run.relay, run.errors, "");
    EXPECT_EQ(run.out, "Content-type: text/html\n\n<P>partial" + kBusyPage.substr(kBusyPage.find("<HTML>")));
}

}  // namespace
