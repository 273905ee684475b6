// TSMAIL through the whole road: browser -> lighttpd -> ksml -> tsengine, whose
// mail spooler delivers through libtssmtp.so to a real SMTP server (aiosmtpd).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/file_text.h"
#include "tests/common/text_matchers.h"
#include "tests/mailer/parsed_message.h"
#include "tests/mailer/smtp_servers.h"

namespace {

// The message's body: what follows the header part, less the line end that
// closes the last line.
std::string BodyOf(const std::string& message) {
    std::size_t start = message.find("\r\n\r\n");
    if (start == std::string::npos) return "<no header end>";
    std::string body = message.substr(start + 4);
    if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) body.resize(body.size() - 2);
    return body;
}

// The header part after the Date and Message-ID lines the mailer writes first.
std::string HeadOf(const std::string& message) {
    std::string head = message.substr(0, message.find("\r\n\r\n") + 2);
    std::size_t first = head.find("\r\n");
    std::size_t second = first == std::string::npos ? first : head.find("\r\n", first + 2);
    if (head.rfind("Date: ", 0) != 0 || second == std::string::npos || head.compare(first + 2, 12, "Message-ID: ") != 0)
        return "<no Date/Message-ID>" + head;
    return head.substr(second + 2);
}

class MailThroughWebServer : public e2e::SiteTest {
protected:
    void StartSite(int smtpPort) {
        ASSERT_TRUE(e2e::Site::SetSetting("Mail", "MailServer", "127.0.0.1"));
        ASSERT_TRUE(e2e::Site::SetSetting("Mail", "SMTPPort", std::to_string(smtpPort)));
        ASSERT_TRUE(e2e::Site::SetSetting("Mail", "Timeout", "10"));
        ASSERT_TRUE(e2e::Site::SetSetting("Mail", "TimerSeconds", "2"));
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
    std::string SinkDir() {
        std::string dir = site.home() + "/sink";
        std::filesystem::create_directories(dir);
        return dir;
    }
    int SpooledFiles() const {
        int n = 0;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(site.home() + "/Mail/SPOOL", ec))
            if (entry.path().filename().string().rfind("TSM", 0) == 0) ++n;
        return n;
    }
    bool WaitForEmptySpool() const {
        for (int i = 0; i < 100; ++i) {
            if (SpooledFiles() == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_F(MailThroughWebServer, TsmailIsDeliveredWithItsDotsAndLineEnds) {
    mailtest::SinkServer sink(SinkDir());
    ASSERT_TRUE(sink.Running()) << "aiosmtpd (python3-aiosmtpd) must run under /usr/bin/python3";
    StartSite(sink.port());
    auto page = Page("mail.tsm",
                     "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"s\">line1\n.line2"
                     "</TSMAIL>sent");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "sent");
    ASSERT_EQ(sink.WaitForMessages(1), 1) << site.ReadHomeFile("Mail/LOG/ERRORS.LOG");
    EXPECT_EQ(sink.Envelope(1), "b@example.test\na@example.test\n");
    EXPECT_EQ(HeadOf(sink.Message(1)),
              "From: b@example.test\r\nTo: a@example.test\r\nSubject: s\r\n"
              "X-Mailer: Brendlow Tessaro 2.0\r\n");
    EXPECT_EQ(BodyOf(sink.Message(1)), "line1\r\n.line2");
    EXPECT_TRUE(WaitForEmptySpool());
}

TEST_F(MailThroughWebServer, PostedSubjectWithLineBreakAddsNoHeader) {
    mailtest::SinkServer sink(SinkDir());
    ASSERT_TRUE(sink.Running());
    StartSite(sink.port());
    site.WriteDocument("inject.tsm",
                       "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" "
                       "SUBJECT=\"#FORM.subj#\">hello</TSMAIL>sent");
    auto page =
        e2e::HttpRequest(site.port(), "POST", "/inject.tsm", {"Content-Type: application/x-www-form-urlencoded"},
                         "subj=Hi%0D%0ABcc%3A+x%40example.test");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "sent");
    ASSERT_EQ(sink.WaitForMessages(1), 1) << site.ReadHomeFile("Mail/LOG/ERRORS.LOG");
    EXPECT_EQ(sink.Envelope(1), "b@example.test\na@example.test\n");
    std::string head = HeadOf(sink.Message(1));
    EXPECT_EQ(head.find("\nBcc:"), std::string::npos) << head;
    EXPECT_NE(head.find("Subject: Hi"), std::string::npos) << head;
    EXPECT_NE(head.find("Bcc: x@example.test\r\nX-Mailer"), std::string::npos) << "kept inside the subject: " << head;
    EXPECT_EQ(BodyOf(sink.Message(1)), "hello");
}

TEST_F(MailThroughWebServer, TimerDeliversWhatTheServerCouldNotTakeAtFirst) {
    int port = mailtest::FreePort();
    StartSite(port);
    auto page = Page("later.tsm",
                     "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"later\">"
                     "kept</TSMAIL>sent");
    ASSERT_EQ(page.status, 200) << page.error;
    // Nothing listens yet: the message waits in the spool for the next pass.
    for (int i = 0; i < 100 && site.ReadHomeFile("Mail/LOG/ERRORS.LOG").find("[NV_CONNREFUSED]") == std::string::npos;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(site.ReadHomeFile("Mail/LOG/ERRORS.LOG").find("[NV_CONNREFUSED]"), std::string::npos);
    EXPECT_EQ(SpooledFiles(), 1);
    mailtest::SinkServer sink(SinkDir(), port);
    ASSERT_TRUE(sink.Running());
    ASSERT_EQ(sink.WaitForMessages(1, 15000), 1) << site.ReadHomeFile("Mail/LOG/ERRORS.LOG");
    EXPECT_EQ(BodyOf(sink.Message(1)), "kept");
    EXPECT_TRUE(WaitForEmptySpool());
}

// The mailer reads an attachment when it delivers: a folder of its path swapped for a link
// to a private folder while the message waited in the spool sends nothing private.
TEST_F(MailThroughWebServer, AnAttachmentIsJudgedAgainWhenItIsDelivered) {
    int port = mailtest::FreePort();
    StartSite(port);
    const std::string folder = site.document_root() + "/attach", windows = site.home() + "/windows";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/secret.ini") << "decoy";
    std::ofstream(windows + "/secret.ini") << "private-bytes";
    auto page =
        Page("later.tsm", "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"later\" MIMEATTACH=\"" +
                              folder + "/secret.ini\">kept</TSMAIL>sent");
    ASSERT_EQ(page.status, 200) << page.body;
    for (int i = 0; i < 100 && site.ReadHomeFile("Mail/LOG/ERRORS.LOG").find("[NV_CONNREFUSED]") == std::string::npos;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(SpooledFiles(), 1);
    std::filesystem::rename(folder, folder + ".real");
    std::filesystem::create_directory_symlink(windows, folder);
    mailtest::SinkServer sink(SinkDir(), port);
    ASSERT_TRUE(sink.Running());
    for (int i = 0; i < 200 && site.ReadHomeFile("Mail/LOG/ERRORS.LOG").find("could not be read") == std::string::npos;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(site.ReadHomeFile("Mail/LOG/ERRORS.LOG").find("could not be read"), std::string::npos)
        << site.ReadHomeFile("Mail/LOG/ERRORS.LOG");
    EXPECT_EQ(sink.WaitForMessages(1, 500), 0);
}

TEST_F(MailThroughWebServer, QueryDrivenMessagesWithCopiesAndAnAttachment) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the project's setup";
    mailtest::SinkServer sink(SinkDir());
    ASSERT_TRUE(sink.Running());
    e2e::SQLiteDataSource odbc(site.home(), "e2e_mail", site.home() + "/mail.db");
    StartSite(sink.port());
    std::string attachment = site.document_root() + "/report.bin";
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
    std::ofstream(attachment, std::ios::binary) << bytes;
    auto query = [](const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + "DATASOURCE=\"e2e_mail\">" +
               sql + "</TSQUERY>";
    };
    auto setup = Page("setup.tsm", query("", "CREATE TABLE people (id INTEGER, name VARCHAR(20))") +
                                       query("", "INSERT INTO people VALUES (1, 'ann')") +
                                       query("", "INSERT INTO people VALUES (2, 'bob')") + "ready");
    ASSERT_EQ(setup.body, "ready") << setup.body;
    auto page = Page("rows.tsm", query("q", "SELECT name FROM people ORDER BY id") +
                                     "<TSMAIL QUERY=\"q\" TO=\"#name#@example.test\" CC=\"boss@example.test\" "
                                     "FROM=\"shop@example.test\" SUBJECT=\"For #name#\" MIMEATTACH=\"" +
                                     attachment + "\">Dear #name#\n.signed</TSMAIL>sent");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "sent");
    ASSERT_EQ(sink.WaitForMessages(2), 2) << site.ReadHomeFile("Mail/LOG/ERRORS.LOG");
    std::set<std::string> envelopes{sink.Envelope(1), sink.Envelope(2)};
    EXPECT_EQ(envelopes, (std::set<std::string>{"shop@example.test\nann@example.test\nboss@example.test\n",
                                                "shop@example.test\nbob@example.test\nboss@example.test\n"}));
    for (int n = 1; n <= 2; ++n) {
        std::string message = sink.Message(n);
        std::string name = message.find("To: ann@") != std::string::npos ? "ann" : "bob";
        EXPECT_NE(message.find("Subject: For " + name + "\r\n"), std::string::npos) << message;
        EXPECT_NE(message.find("CC: boss@example.test\r\n"), std::string::npos);
        EXPECT_NE(message.find("\r\nDear " + name + "\r\n.signed\r\n"), std::string::npos) << message;
        EXPECT_NE(message.find("Content-Disposition: attachment; filename=\"report.bin\""), std::string::npos);
    }
    EXPECT_TRUE(WaitForEmptySpool());
}

// One visitor's TSMAIL pages, each starting a delivery pass, while the mail server is down:
// a message that waits counts its attempts on its own schedule (one per timer period) and
// stays spooled until they are spent, however many passes the others start.
TEST_F(MailThroughWebServer, AFloodOfTsmailPagesDoesNotSpendAWaitingMessagesAttempts) {
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "MailServer", "127.0.0.1"));
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "SMTPPort", std::to_string(mailtest::FreePort())));
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "TimerSeconds", "1"));
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "ConnectAttempts", "8"));
    ASSERT_TRUE(e2e::Site::SetSetting("Mail", "LogSeverity", "0"));
    ASSERT_TRUE(site.InstallEngine());
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    site.WriteDocument("mail.tsm",
                       "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"#URL.s#\">kept</TSMAIL>sent");
    auto log = [this] { return site.ReadHomeFile("Mail/LOG/ERRORS.LOG"); };
    auto passes = [&] { return tessaro::test::CountOf(log(), "\"Entered mail processing loop.\""); };
    const auto spooled = std::chrono::steady_clock::now();
    ASSERT_EQ(site.Get("/mail.tsm?s=first").body, "sent");
    for (int i = 0; i < 100 && log().find("[NV_CONNREFUSED]") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(SpooledFiles(), 1) << log();
    std::string first;
    for (const auto& entry : std::filesystem::directory_iterator(site.home() + "/Mail/SPOOL"))
        if (entry.path().filename().string().rfind("TSM", 0) == 0) first = entry.path().string();
    // When it leaves the spool, looked at between the pages and afterwards.
    std::optional<std::chrono::steady_clock::duration> stayed;
    auto look = [&] {
        if (!stayed && !std::filesystem::exists(first)) stayed = std::chrono::steady_clock::now() - spooled;
    };
    const std::size_t passesBefore = passes();
    for (int page = 0; page < 19; ++page) {
        EXPECT_EQ(site.Get("/mail.tsm?s=flood" + std::to_string(page)).body, "sent");
        look();
    }
    for (int i = 0; i < 100 && passes() < passesBefore + 8; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // More passes than its attempts have run: each would have spent one.
    EXPECT_GE(passes(), passesBefore + 8) << log();
    for (int i = 0; i < 400 && !stayed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        look();
    }
    // Its eight attempts, at least 0.9 s apart, spent on its own clock.
    ASSERT_TRUE(stayed.has_value()) << log();
    EXPECT_GE(*stayed, std::chrono::milliseconds(6300)) << log();
    bool archived = false;
    for (const auto& entry : std::filesystem::directory_iterator(site.home() + "/Mail/UNDELIVR"))
        archived = archived ||
                   tessaro::test::ReadFileText(entry.path().string()).find("Subject: first\r\n") != std::string::npos;
    EXPECT_TRUE(archived);
    EXPECT_NE(log().find("Message not delivered due to error in establishing connection - Undelivered message file "
                         "archived to '"),
              std::string::npos);
    // Every entry of the log is one line.
    EXPECT_EQ(log().find("\n\n"), std::string::npos);
}

// A TSMAIL with a UTF-8 subject and body and one attachment, as a mail reader sees it.
TEST_F(MailThroughWebServer, Utf8SubjectBodyAndAnAttachmentArriveAsWritten) {
    mailtest::SinkServer sink(SinkDir());
    ASSERT_TRUE(sink.Running());
    StartSite(sink.port());
    std::string attachment = site.document_root() + "/plan.pdf";
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += static_cast<char>((i * 13) ^ (i >> 2));
    std::ofstream(attachment, std::ios::binary) << bytes;
    const std::string subject = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC";
    const std::string body = "Liebe Gr\xC3\xBC\xC3\x9F" "e,\nda ist der Plan \xE2\x9C\x93";
    auto page = Page("utf8.tsm", "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"" + subject +
                                     "\" MIMEATTACH=\"" + attachment + "\">" + body + "</TSMAIL>sent");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "sent");
    ASSERT_EQ(sink.WaitForMessages(1), 1) << site.ReadHomeFile("Mail/LOG/ERRORS.LOG");
    mailtest::ParsedMessage parsed = mailtest::ParseWithPython(SinkDir() + "/1.eml");
    ASSERT_TRUE(parsed.ran) << parsed.output;
    EXPECT_TRUE(parsed.dateParses) << parsed.output;
    EXPECT_NE(parsed.messageId.find("@example.test>"), std::string::npos) << parsed.output;
    EXPECT_EQ(parsed.subject, subject);
    EXPECT_EQ(parsed.charset, "utf-8");
    EXPECT_NE(parsed.body.find("Liebe Gr\xC3\xBC\xC3\x9F" "e,\r\nda ist der Plan \xE2\x9C\x93"), std::string::npos)
        << parsed.output;
    ASSERT_EQ(parsed.attachments.size(), 1u) << parsed.output;
    EXPECT_EQ(parsed.attachments[0].name, "plan.pdf");
    EXPECT_TRUE(parsed.attachments[0].bytes == bytes);
    EXPECT_EQ(parsed.defects, 0) << parsed.output;
    EXPECT_NE(sink.Message(1).find("Subject: =?utf-8?B?"), std::string::npos) << sink.Message(1);
    EXPECT_TRUE(WaitForEmptySpool());
}

}  // namespace
