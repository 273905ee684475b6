// Spool files of the mail spooler: layout, round trips, refusal of files that
// have lost their CR LF line ends, and header values that try to add lines.
#include <gtest/gtest.h>

#include "engine/server/mail_message.h"
#include "tests/common/file_text.h"
#include "tests/common/registry_home_fixture.h"

namespace {

using tessaro::test::ReadFileText;

const char* const kHeaders = "X-Mailer: Brendlow Tessaro 2.0\r\n\r\n";

}  // namespace

TEST(MailSpoolText, LayoutWithAndWithoutOptionalLines) {
    CMailMessage plain("mx", 25, -1, "a", "b", "", "s", kHeaders, "body", "");
    EXPECT_EQ(plain.SpoolText(),
              std::string("Server: mx\r\nPort: 25\r\nFrom: a\r\nTo: b\r\nSubject: s\r\n") + kHeaders + "body");
    CMailMessage full("", -1, 60, "a", "b", "c", "s", kHeaders, "", "/tmp/f.gif");
    EXPECT_EQ(full.SpoolText(), std::string("Timeout: 60\r\nFrom: a\r\nTo: b\r\nSubject: s\r\nCC: c\r\n"
                                            "Attach: /tmp/f.gif\r\n") +
                                    kHeaders);
    // Without extra lines the header part still ends in its empty line.
    CMailMessage bare("", -1, -1, "a", "b", "", "s", "", "x", "");
    EXPECT_EQ(bare.SpoolText(), "From: a\r\nTo: b\r\nSubject: s\r\n\r\nx");
    CMailMessage unended("", -1, -1, "a", "b", "", "s", "X-A: 1", "x", "");
    EXPECT_EQ(unended.SpoolText(), "From: a\r\nTo: b\r\nSubject: s\r\nX-A: 1\r\n\r\nx");
}

TEST(MailSpoolText, RoundTripKeepsEveryFieldAndTheBodyAsWritten) {
    struct Case {
        CMailMessage message;
    } cases[] = {
        {CMailMessage("mx.example.test", 2525, 30, "from@x", "to@y", "cc@z", "Subject: with colon", kHeaders,
                      "line1\n.line2\r\n.\r\n\n..dots\n", "/srv/a.gif")},
        {CMailMessage("", -1, -1, "f", "t", "", "s",
                      "X-Mailer: Brendlow Tessaro 2.0\r\nMIME-Version: 1.0\r\nContent-Type: text/html; "
                      "charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\n",
                      "\n\nleading line feeds stay", "")},
    };
    for (const Case& c : cases) {
        CMailMessage back;
        ASSERT_TRUE(back.ParseSpoolText(c.message.SpoolText()));
        EXPECT_TRUE(back.valid);
        EXPECT_EQ(back.server, c.message.server);
        EXPECT_EQ(back.port, c.message.port);
        EXPECT_EQ(back.timeout, c.message.timeout);
        EXPECT_EQ(back.from, c.message.from);
        EXPECT_EQ(back.to, c.message.to);
        EXPECT_EQ(back.cc, c.message.cc);
        EXPECT_EQ(back.subject, c.message.subject);
        EXPECT_EQ(back.extraHeaders, c.message.extraHeaders);
        EXPECT_EQ(back.body, c.message.body);
        EXPECT_EQ(back.attachment, c.message.attachment);
    }
}

TEST(MailSpoolText, HeaderNamesAndNumbersAsTheReaderTakesThem) {
    CMailMessage m;
    ASSERT_TRUE(
        m.ParseSpoolText("to:  a@b \r\ncc:c@d\r\nport: x\r\ntimeout: -5s\r\nno colon line\r\n"
                         "X-Custom :  value \r\n\r\nbody"));
    EXPECT_EQ(m.to, "a@b");
    EXPECT_EQ(m.cc, "c@d");
    EXPECT_EQ(m.port, 0);
    EXPECT_EQ(m.timeout, -5);
    EXPECT_EQ(m.extraHeaders, "X-Custom: value\r\n\r\n");
    EXPECT_EQ(m.body, "body");
}

TEST(MailSpoolText, LineFeedOnlyFileIsRefused) {
    CMailMessage m;
    EXPECT_FALSE(m.ParseSpoolText("From: a\nTo: b\nSubject: s\n\nbody"));
    EXPECT_EQ(m.GetTextField(), "Message file had invalid file format (no <CR><LF><CR><LF> delimiter found).");
}

TEST(MailSpoolText, LineBreaksInHeaderValuesAddNoLines) {
    CMailMessage m("mx\r\nAttach: /etc/passwd", 25, -1, "a\r\nServer: evil", "b\nBcc: x@example.test", "c\rCC: d",
                   "s\r\nBcc: x@example.test", kHeaders, "body", "/tmp/a\r\nServer: evil");
    CMailMessage back;
    ASSERT_TRUE(back.ParseSpoolText(m.SpoolText()));
    EXPECT_EQ(back.server, "mx  Attach: /etc/passwd");
    EXPECT_EQ(back.subject, "s  Bcc: x@example.test");
    EXPECT_EQ(back.to, "b Bcc: x@example.test");
    EXPECT_EQ(back.attachment, "/tmp/a  Server: evil");
    EXPECT_EQ(back.extraHeaders, kHeaders);
}

class MailSpoolFileTest : public RegistryHomeTest {};

TEST_F(MailSpoolFileTest, WriteNamesTheFileAndReadsItBack) {
    std::string dir = home() + "/spool";
    std::filesystem::create_directories(dir);
    CMailMessage m("mx", 25, 10, "a", "b", "", "s", kHeaders, "x\r\n.\r\ny", "");
    std::string path;
    ASSERT_TRUE(m.WriteToSpool(dir, path));
    std::string name = std::filesystem::path(path).filename().string();
    EXPECT_EQ(name.substr(0, 3), "TSM");
    EXPECT_EQ(name.substr(name.size() - 4), ".TMP");
    EXPECT_EQ(ReadFileText(path), m.SpoolText());
    CMailMessage back;
    ASSERT_TRUE(back.ReadFromSpool(path));
    EXPECT_EQ(back.body, "x\r\n.\r\ny");

    CMailMessage missing;
    EXPECT_FALSE(missing.ReadFromSpool(dir + "/TSMFFFF.TMP"));
    EXPECT_FALSE(missing.GetTextField().empty());
    std::string none;
    EXPECT_FALSE(m.WriteToSpool(home() + "/no/such/dir", none));
    EXPECT_FALSE(m.GetTextField().empty());
}

TEST_F(MailSpoolFileTest, DefaultTreeIsMadeAndRecorded) {
    std::string error;
    ASSERT_TRUE(CreateDefaultMailDirectories(error)) << error;
    for (const char* sub : {"LOG", "SPOOL", "UNDELIVR"}) EXPECT_TRUE(Exists(home() + "/Mail/" + sub)) << sub;
}
