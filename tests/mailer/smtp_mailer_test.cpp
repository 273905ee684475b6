// The mailer library against a real SMTP server (aiosmtpd) and the scripted fake
// one: what arrives, byte for byte, and the error texts of every failure.
#include <gtest/gtest.h>

#include <atomic>

#include "engine/server/mail_message.h"
#include "mailer/mail_text.h"
#include "mailer/smtp_mailer.h"
#include "platform/module_library.h"
#include "tests/mailer/smtp_servers.h"
#include "tests/common/temp_home.h"

namespace {

const char* const kExtra = "X-Mailer: Brendlow Tessaro 2.0\r\n\r\n";

std::string Base64Decode(const std::string& text) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else
            continue;
        value = (value << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

class MailerTest : public TempHomeTest {
protected:
    std::string Dir(const std::string& name) {
        std::string dir = home() + "/" + name;
        std::filesystem::create_directories(dir);
        return dir;
    }
};

}  // namespace

TEST(MailText, DataStreamEndsLinesInCrLfAndStuffsEachLeadingDotOnce) {
    struct Case {
        const char* text;
        const char* stream;
    } cases[] = {
        {"line1\r\n.line2", "line1\r\n..line2\r\n.\r\n"},
        {"a\n.\nb", "a\r\n..\r\nb\r\n.\r\n"},
        {"a\r\n.\r\nrset\r\n", "a\r\n..\r\nrset\r\n.\r\n"},
        {".", "..\r\n.\r\n"},
        {"bare\rcr", "bare\r\ncr\r\n.\r\n"},
        {"", ".\r\n"},
        {"mid.dot .x\r\n", "mid.dot .x\r\n.\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(DataStream(c.text), c.stream) << c.text;
}

TEST(MailText, Base64LinesOf72) {
    EXPECT_EQ(Base64Lines(""), "");
    EXPECT_EQ(Base64Lines("M"), "TQ==\r\n");
    EXPECT_EQ(Base64Lines("Ma"), "TWE=\r\n");
    EXPECT_EQ(Base64Lines("Man"), "TWFu\r\n");
    std::string bytes(100, '\xff');
    std::string lines = Base64Lines(bytes);
    EXPECT_EQ(lines.find("\r\n"), 72u);
    EXPECT_EQ(Base64Decode(lines), bytes);
}

TEST_F(MailerTest, ExportsCreateAndDelete) {
    long error = 0;
    void* library = tessaro::platform::LoadModule(std::string(TESSARO_BINARY_DIR) + "/lib/libtssmtp.so", &error);
    ASSERT_NE(library, nullptr) << error;
    auto create =
        reinterpret_cast<CreateSMTPMailerProc>(tessaro::platform::GetModuleProcedure(library, kCreateSMTPMailerName));
    auto remove =
        reinterpret_cast<DeleteSMTPMailerProc>(tessaro::platform::GetModuleProcedure(library, kDeleteSMTPMailerName));
    ASSERT_TRUE(create && remove);
    CMailer* mailer = create(nullptr, nullptr, 5);
    ASSERT_NE(mailer, nullptr);
    remove(&mailer);
    EXPECT_EQ(mailer, nullptr);
    remove(&mailer);
    EXPECT_EQ(mailer, nullptr);
    tessaro::platform::FreeModule(library);
}

TEST_F(MailerTest, RealServerReceivesTheMessageByteForByte) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running()) << "aiosmtpd (python3-aiosmtpd) must run under /usr/bin/python3";
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", sink.port())) << mailer.GetErrorText();
    CMailMessage first("", -1, -1, "s@example.test", "a@example.test", "b@example.test", "Hello", kExtra,
                       "line1\r\n.line2\n.\n..two\r\nend", "");
    ASSERT_TRUE(mailer.SendMessage(&first)) << mailer.GetErrorText();
    CMailMessage second("", -1, -1, "s@example.test", "c@example.test", "", "Again", kExtra, "second", "");
    ASSERT_TRUE(mailer.SendMessage(&second)) << mailer.GetErrorText();
    EXPECT_TRUE(mailer.Close()) << mailer.GetErrorText();
    ASSERT_EQ(sink.WaitForMessages(2), 2);
    EXPECT_EQ(sink.Envelope(1), "s@example.test\na@example.test\nb@example.test\n");
    EXPECT_EQ(sink.Message(1), std::string("From: s@example.test\r\nTo: a@example.test\r\nCC: b@example.test\r\n"
                                           "Subject: Hello\r\n") +
                                   kExtra + "line1\r\n.line2\r\n.\r\n..two\r\nend\r\n");
    EXPECT_EQ(sink.Envelope(2), "s@example.test\nc@example.test\n");
    EXPECT_EQ(sink.Message(2),
              std::string("From: s@example.test\r\nTo: c@example.test\r\nSubject: Again\r\n") + kExtra + "second\r\n");
}

TEST_F(MailerTest, AttachmentsTravelAsBase64Parts) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running());
    std::string bytes;
    for (int i = 0; i < 700; ++i) bytes += static_cast<char>(i * 7);
    std::string file = Dir("files") + "/pic.gif";
    std::ofstream(file, std::ios::binary) << bytes;
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", sink.port())) << mailer.GetErrorText();
    CMailMessage m("", -1, -1, "s@x.test", "a@x.test", "b@x.test,c@x.test", "Pics", kExtra, "see\r\n.attached", file);
    ASSERT_TRUE(mailer.SendMessage(&m)) << mailer.GetErrorText();
    mailer.Close();
    ASSERT_EQ(sink.WaitForMessages(1), 1);
    std::string got = sink.Message(1);
    const std::string boundary = "==========_080815456==_";
    EXPECT_EQ(got.substr(0, got.find("X-Attachments")),
              "From: s@x.test\r\nTo: a@x.test\r\nCC: b@x.test,c@x.test\r\nSubject: Pics\r\n");
    EXPECT_NE(
        got.find("X-Attachments: " + file + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
                 boundary + "\"\r\n\r\n--" + boundary + "\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n"),
        std::string::npos);
    EXPECT_NE(got.find("see\r\n.attached\r\n"), std::string::npos);
    std::string partHead =
        "Content-Type: image/gif; name=\"pic.gif\"\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"pic.gif\"\r\n\r\n";
    std::size_t start = got.find(partHead);
    ASSERT_NE(start, std::string::npos) << got;
    start += partHead.size();
    std::size_t end = got.find("--" + boundary + "--", start);
    ASSERT_NE(end, std::string::npos);
    std::string encoded = got.substr(start, end - start);
    EXPECT_EQ(encoded.find("\r\n"), 72u);
    EXPECT_EQ(Base64Decode(encoded), bytes);
}

TEST_F(MailerTest, RefusedRecipientEndsTheMessageWithTheServersText) {
    mailtest::FakeServer fake("reject-rcpt", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    CMailMessage m("", -1, -1, "s@x", "a@x", "b@y", "s", kExtra, "body", "");
    EXPECT_FALSE(mailer.SendMessage(&m));
    EXPECT_STREQ(mailer.GetErrorText(),
                 "Error occurred while attempting to send mail message. - [NV_ERROR] General "
                 "error (550 no such user)  - Sender = 's@x', Recipients = 'a@x,b@y'");
    EXPECT_EQ(mailer.GetReplyCode(), 550);
    EXPECT_TRUE(mailer.Close());
    EXPECT_EQ(fake.Count("DATA") + fake.Count("data"), 0);
}

TEST_F(MailerTest, MultiLineRepliesAreOneReplyEvenWhenSplit) {
    mailtest::FakeServer fake("multiline", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    CMailMessage m("", -1, -1, "s@x", "a@x", "", "s", kExtra, "body", "");
    ASSERT_TRUE(mailer.SendMessage(&m)) << mailer.GetErrorText();
    EXPECT_TRUE(mailer.Close()) << mailer.GetErrorText();
    EXPECT_EQ(fake.Log(),
              "HELO 127.0.0.1\nmail from:<s@x>\nrcpt to:<a@x>\ndata\nFrom: s@x\nTo: a@x\nSubject: s\n"
              "X-Mailer: Brendlow Tessaro 2.0\n\nbody\n.\nQUIT\n");
}

TEST_F(MailerTest, ServerClosingMidDataIsAFailureAndCloseFindsNoConnection) {
    mailtest::FakeServer fake("close-in-data", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    CMailMessage m("", -1, -1, "s@x", "a@x", "", "s", kExtra, std::string(200000, 'x'), "");
    EXPECT_FALSE(mailer.SendMessage(&m));
    std::string text = mailer.GetErrorText();
    EXPECT_EQ(text.find("Error occurred while attempting to send mail message. - [NV_REMOTECLOSE] Remote host reset or "
                        "closed connection ("),
              0u)
        << text;
    EXPECT_EQ(mailer.GetReplyCode(), 0);
    EXPECT_FALSE(mailer.Close());
    EXPECT_STREQ(mailer.GetErrorText(),
                 "Error occurred while attempting to close connection. - [NV_NOTCONNECTED] Attempt made to use a "
                 "session that is not the NV_CONNECTED state (Send attempted with closed connection)  - Sender = "
                 "'s@x', Recipients = 'a@x'");
}

TEST_F(MailerTest, SilentServerTimesOutAndQuitEndsTheWait) {
    mailtest::FakeServer fake("silent", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 1);
    EXPECT_FALSE(mailer.Connect("127.0.0.1", fake.port()));
    EXPECT_STREQ(mailer.GetErrorText(),
                 "Error occurred while attempting to connect to mail server. - [NV_ERROR] "
                 "General error (Timed out while waiting for SMTP command to complete)  - "
                 "Server = '127.0.0.1'");
    std::atomic<bool> quit{true};
    MailerWaitControl control{[](void* c) { return static_cast<std::atomic<bool>*>(c)->load(); }, &quit};
    CSMTPMailer quitting(&control, 60);
    EXPECT_FALSE(quitting.Connect("127.0.0.1", fake.port()));
    EXPECT_NE(std::string(quitting.GetErrorText()).find("(WM_QUIT posted while waiting for reply from SMTP server.)"),
              std::string::npos);
}

TEST_F(MailerTest, ConnectFailuresSayWhatHappened) {
    struct Case {
        std::string host;
        int port;
        const char* expected;
    } cases[] = {
        {"127.0.0.1", mailtest::FreePort(),
         "[NV_CONNREFUSED] Connection to host refused - remote host is not listening (Connection Refused)  - "
         "Server = '127.0.0.1'"},
        {"", 25,
         "[NV_BADNAME] Name of host cannot be resolved to address (No RemoteHost or RemotePort given.)  - "
         "Server = ''"},
        {"no-such-host.invalid", 25, "[NV_BADNAME] Name of host cannot be resolved to address ("},
    };
    for (const Case& c : cases) {
        CSMTPMailer mailer(nullptr, 5);
        EXPECT_FALSE(mailer.Connect(c.host.c_str(), c.port));
        std::string text = mailer.GetErrorText();
        EXPECT_NE(text.find(std::string("Error occurred while attempting to connect to mail server. - ") + c.expected),
                  std::string::npos)
            << text;
    }
}

TEST_F(MailerTest, LineBreaksInAddressesOrSubjectAreNeverSent) {
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    CMailMessage injected[] = {
        {"", -1, -1, "s@x", "a@x", "", "s\r\nBcc: x@example.test", kExtra, "b", ""},
        {"", -1, -1, "s@x>\r\nrcpt to:<x@example.test", "a@x", "", "s", kExtra, "b", ""},
        {"", -1, -1, "s@x", "a@x\nx@example.test", "", "s", kExtra, "b", ""},
    };
    for (CMailMessage& m : injected) {
        EXPECT_FALSE(mailer.SendMessage(&m));
        EXPECT_EQ(mailer.GetReplyCode(), -1);
    }
    mailer.Close();
    EXPECT_EQ(fake.Count("mail from"), 0);
    EXPECT_EQ(fake.Count("x@example.test"), 0);
}
