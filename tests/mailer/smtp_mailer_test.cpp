// The mailer library against a real SMTP server (aiosmtpd) and the scripted fake
// one: what arrives, byte for byte, and the error texts of every failure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/server/mail_message.h"
#include "mailer/mail_text.h"
#include "mailer/netvane_smtp.h"
#include "mailer/smtp_mailer.h"
#include "platform/module_library.h"
#include "platform/system_calls.h"
#include "tests/common/file_text.h"
#include "tests/mailer/parsed_message.h"
#include "tests/mailer/smtp_servers.h"
#include "tests/common/temp_home.h"

namespace {

using tessaro::test::ReadFileText;

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

// The message less its first two lines, which must be the Date and Message-ID the
// client writes; "<no Date/Message-ID>" when they are not there.
std::string AfterDateAndId(const std::string& message) {
    std::size_t first = message.find("\r\n");
    std::size_t second = first == std::string::npos ? first : message.find("\r\n", first + 2);
    if (message.rfind("Date: ", 0) != 0 || second == std::string::npos ||
        message.compare(first + 2, 13, "Message-ID: <") != 0)
        return "<no Date/Message-ID>";
    return message.substr(second + 2);
}

// A fake server's log without the Date and Message-ID lines.
std::string WithoutDateAndId(const std::string& log) {
    std::string out;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size() - 1;
        std::string line = log.substr(start, end - start + 1);
        if (line.rfind("Date: ", 0) != 0 && line.rfind("Message-ID: ", 0) != 0) out += line;
        start = end + 1;
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
    EXPECT_EQ(AfterDateAndId(sink.Message(1)), std::string("From: s@example.test\r\nTo: a@example.test\r\nCC: b@example.test\r\n"
                                           "Subject: Hello\r\n") +
                                   kExtra + "line1\r\n.line2\r\n.\r\n..two\r\nend\r\n");
    EXPECT_EQ(sink.Envelope(2), "s@example.test\nc@example.test\n");
    EXPECT_EQ(AfterDateAndId(sink.Message(2)),
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
    std::string got = AfterDateAndId(sink.Message(1));
    const std::string boundary = "==========_080815456==_";
    EXPECT_EQ(got.substr(0, got.find("X-Attachments")),
              "From: s@x.test\r\nTo: a@x.test\r\nCC: b@x.test,c@x.test\r\nSubject: Pics\r\n");
    // The recipients learn the file's name, not the server's folders.
    EXPECT_NE(got.find("X-Attachments: pic.gif\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
                       boundary + "\"\r\n\r\n--" + boundary + "\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n"),
              std::string::npos);
    EXPECT_EQ(got.find(Dir("files")), std::string::npos);
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

// The mailer reads each attachment when it delivers, which can be long after the engine
// judged the path: it judges the file again, by what it opens.
TEST_F(MailerTest, AttachmentsThatAreOrLeadToPrivateFilesAreNotSent) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running());
    const std::string windows = Dir("windows"), files = Dir("files");
    std::ofstream(windows + "/secret.ini") << "private-bytes";
    // The folder swapped for a link after the message was spooled, another name of the
    // private file, the engine's own environment.
    std::filesystem::create_directory_symlink(windows, files + "/swapped");
    ASSERT_EQ(::link((windows + "/secret.ini").c_str(), (files + "/hard.ini").c_str()), 0);
    for (const std::string& attachment :
         {files + "/swapped/secret.ini", files + "/hard.ini", std::string("/proc/self/environ")}) {
        CSMTPMailer mailer(nullptr, 10);
        ASSERT_TRUE(mailer.Connect("127.0.0.1", sink.port())) << mailer.GetErrorText();
        CMailMessage m("", -1, -1, "s@x.test", "a@x.test", "", "Secret", kExtra, "body", attachment);
        EXPECT_FALSE(mailer.SendMessage(&m)) << attachment;
        EXPECT_NE(std::string(mailer.GetErrorText()).find("could not be read"), std::string::npos)
            << mailer.GetErrorText();
        mailer.Close();
    }
    // An ordinary file goes, and only what was asked for arrived.
    std::ofstream(files + "/plain.txt") << "plain-bytes";
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", sink.port())) << mailer.GetErrorText();
    CMailMessage m("", -1, -1, "s@x.test", "a@x.test", "", "Plain", kExtra, "body", files + "/plain.txt");
    ASSERT_TRUE(mailer.SendMessage(&m)) << mailer.GetErrorText();
    mailer.Close();
    ASSERT_EQ(sink.WaitForMessages(1), 1);
    EXPECT_NE(sink.Message(1).find("Subject: Plain"), std::string::npos);
    EXPECT_EQ(sink.Message(1).find(Base64Lines("private-bytes").substr(0, 12)), std::string::npos);
}

// The library is loaded into the engine beside the engine's own registry store: a copy of
// the store's code in it would hook SQLite's file layer a second time when loaded.
TEST(MailerLibrary, CarriesNoCopyOfTheRegistryStore) {
    std::ifstream in(std::string(TESSARO_BINARY_DIR) + "/lib/libtssmtp.so", std::ios::binary);
    ASSERT_TRUE(in);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find("KeepSqliteLocksPerProcess"), std::string::npos);
    EXPECT_EQ(bytes.find("RegOpenKey"), std::string::npos);
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
    EXPECT_EQ(WithoutDateAndId(fake.Log()),
              "EHLO 127.0.0.1\nmail from:<s@x>\nrcpt to:<a@x>\ndata\nFrom: s@x\nTo: a@x\nSubject: s\n"
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
    const std::string tried = "Error occurred while attempting to connect to mail server. - ";
    // Refused before any network step: the component said no at once.
    const std::string refused = "Error occurred while attempting to connect to mail server (Connect returned FALSE). - ";
    struct Case {
        std::string host;
        int port;
        std::string expected;
    } cases[] = {
        {"127.0.0.1", mailtest::FreePort(),
         tried + "[NV_CONNREFUSED] Connection to host refused - remote host is not listening (Connection Refused)  - "
                 "Server = '127.0.0.1'"},
        {"", 25,
         refused + "[NV_BADNAME] Name of host cannot be resolved to address (No RemoteHost or RemotePort given.)  - "
                   "Server = ''"},
        {"127.0.0.1", 0,
         refused + "[NV_BADNAME] Name of host cannot be resolved to address (No RemoteHost or RemotePort given.)  - "
                   "Server = '127.0.0.1'"},
        {"no-such-host.invalid", 25, tried + "[NV_BADNAME] Name of host cannot be resolved to address ("},
    };
    for (const Case& c : cases) {
        CSMTPMailer mailer(nullptr, 5);
        EXPECT_FALSE(mailer.Connect(c.host.c_str(), c.port));
        std::string text = mailer.GetErrorText();
        EXPECT_EQ(text.find(c.expected), 0u) << text;
    }
}

namespace {

std::atomic<int> g_lookupAnswer{0};  // what the failing name lookup answers
std::atomic<int> g_lookupErrno{0};   // and the errno it leaves for EAI_SYSTEM
std::string g_lookedUp;              // the host it was asked for

int FailingLookup(const char* host, const char*, const addrinfo*, addrinfo** list) {
    g_lookedUp = host;
    *list = nullptr;
    errno = g_lookupErrno.load();
    return g_lookupAnswer.load();
}

}  // namespace

// The name server's answer, not a generic failure, is what the mail client says when a
// host's name cannot be looked up.
TEST_F(MailerTest, ANameLookupThatFailsSaysWhy) {
    const std::string tried = "Error occurred while attempting to connect to mail server. - ";
    const struct {
        int answer;
        int error;
        std::string said;
    } cases[] = {
        {EAI_NONAME, 0,
         "[NV_BADNAME] Name of host cannot be resolved to address (Authoritative Answer: Host not found)"},
        {EAI_AGAIN, 0, "[NV_BADNAME] Name of host cannot be resolved to address (Non-Authoritative: Host not found)"},
        {EAI_FAIL, 0, "[NV_PROTOCOL] Protocol software failure (Non recoverable errors)"},
        {EAI_SYSTEM, EMFILE, "[NV_ERROR] General error (MFILE)"},
    };
    for (const auto& c : cases) {
        g_lookupAnswer = c.answer;
        g_lookupErrno = c.error;
        g_lookedUp.clear();
        tessaro::platform::ScopedSystemCall lookup(tessaro::platform::SystemCalls().getaddrinfo, &FailingLookup);
        CSMTPMailer mailer(nullptr, 5);
        EXPECT_FALSE(mailer.Connect("mail.example.test", 25));
        EXPECT_EQ(std::string(mailer.GetErrorText()), tried + c.said + "  - Server = 'mail.example.test'") << c.answer;
        EXPECT_EQ(g_lookedUp, "mail.example.test");
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

TEST(MailText, EncodingsOfTextThatIsNotSevenBit) {
    // Encoded words: 7-bit text stays; UTF-8 is cut between characters, each word within 75.
    EXPECT_EQ(EncodeHeaderText("plain subject"), "plain subject");
    EXPECT_EQ(EncodeHeaderText("Gr\xC3\xBC\xC3\x9F" "e"), "=?utf-8?B?R3LDvMOfZQ==?=");
    EXPECT_EQ(EncodeHeaderText("caf\xE9"), "=?iso-8859-1?B?Y2Fm6Q==?=");
    std::string euros;
    for (int i = 0; i < 20; ++i) euros += "\xE2\x82\xAC";  // 60 bytes of three-byte characters
    std::string words = EncodeHeaderText(euros);
    EXPECT_EQ(words, "=?utf-8?B?" + Base64Plain(euros.substr(0, 45)) + "?=\r\n =?utf-8?B?" +
                         Base64Plain(euros.substr(45)) + "?=");

    // Quoted-printable: soft breaks before 76 characters, line ends kept, trailing blanks safe.
    EXPECT_EQ(QuotedPrintable("a=b \xC3\xA9\r\nend \nx"), "a=3Db =C3=A9\r\nend=20\r\nx");
    std::string longLine = QuotedPrintable(std::string(100, 'x'));
    EXPECT_EQ(longLine, std::string(75, 'x') + "=\r\n" + std::string(25, 'x'));

    struct Case {
        std::string text;
        bool eightBit;
        const char* charset;
        const char* transfer;
    } cases[] = {
        {"hello", false, "us-ascii", "7bit"},
        {"h\xC3\xA9llo", true, "utf-8", "8bit"},
        {"h\xC3\xA9llo", false, "utf-8", "quoted-printable"},
        {"h\xE9llo", true, "iso-8859-1", "8bit"},
        {"\xC3\xA9" + std::string(1000, 'x'), true, "utf-8", "quoted-printable"},  // a line too long for 8bit
    };
    for (const Case& c : cases) {
        BodyEncoding body = EncodeBody(c.text, c.eightBit);
        EXPECT_EQ(body.charset, c.charset) << c.text.substr(0, 10);
        EXPECT_EQ(body.transfer, c.transfer) << c.text.substr(0, 10);
    }

    // uuencode: 45 bytes a line, a grave accent for every blank.
    EXPECT_EQ(UuencodeLines("Cat"), "#0V%T\r\n");
    EXPECT_EQ(UuencodeLines(std::string(3, '\0')), "#````\r\n");
    EXPECT_EQ(UuencodeLines(std::string(46, 'a')).find("\r\n"), 61u);
}

// The component's whole offer against a real server: Base64, uuencoded and plain text
// attachments, a UTF-8 subject and body, the Date and Message-ID, read back by Python's
// email package as a mail reader would.
TEST_F(MailerTest, EveryAttachmentTypeAndUtf8TextArriveAsAMailReaderExpects) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running());
    std::string binary;
    for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 31) ^ (i >> 3));
    std::string files = Dir("files");
    std::ofstream(files + "/photo.jpg", std::ios::binary) << binary;
    std::ofstream(files + "/data.bin", std::ios::binary) << binary.substr(0, 2000);
    const std::string notes = "first line\r\n.second line with a dot\r\nthird \xC3\xA4\r\n";
    std::ofstream(files + "/notes.txt", std::ios::binary) << notes;

    CNetvaneSMTP smtp(nullptr, 10000);
    ASSERT_TRUE(smtp.Connect("127.0.0.1", sink.port())) << smtp.Error().text;
    EXPECT_TRUE(smtp.Supports8BitMime());
    SmtpMailRequest request;
    request.sender = "s@example.test";
    request.recipients = {"a@example.test", "b@example.test"};
    request.subject = "R\xC3\xA9sum\xC3\xA9 \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC";
    request.writeHeaders = true;
    request.writeDate = true;
    request.text = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\r\n.a line with a dot";
    request.attachments = {files + "/photo.jpg", files + "/data.bin", files + "/notes.txt"};
    request.types = {"M", "U", " "};
    ASSERT_TRUE(smtp.Mail(request)) << smtp.Error().text;
    EXPECT_TRUE(smtp.Quit());
    ASSERT_EQ(sink.WaitForMessages(1), 1);

    mailtest::ParsedMessage parsed = mailtest::ParseWithPython(home() + "/sink/1.eml");
    ASSERT_TRUE(parsed.ran) << parsed.output;
    EXPECT_TRUE(parsed.dateParses) << parsed.output;
    EXPECT_EQ(parsed.messageId.rfind("<", 0), 0u);
    EXPECT_NE(parsed.messageId.find("@example.test>"), std::string::npos) << parsed.messageId;
    EXPECT_EQ(parsed.subject, request.subject);
    EXPECT_EQ(parsed.charset, "utf-8");
    EXPECT_EQ(parsed.encoding, "8bit");
    EXPECT_NE(parsed.body.find(request.text), std::string::npos) << parsed.body;
    ASSERT_EQ(parsed.attachments.size(), 3u) << parsed.output;
    EXPECT_EQ(parsed.attachments[0].name, "photo.jpg");
    EXPECT_EQ(parsed.attachments[0].encoding, "base64");
    EXPECT_TRUE(parsed.attachments[0].bytes == binary);
    EXPECT_EQ(parsed.attachments[1].name, "data.bin");
    EXPECT_EQ(parsed.attachments[1].encoding, "x-uuencode");
    EXPECT_TRUE(parsed.attachments[1].bytes == binary.substr(0, 2000));
    EXPECT_EQ(parsed.attachments[2].name, "notes.txt");
    EXPECT_EQ(parsed.attachments[2].bytes, notes);
    EXPECT_EQ(parsed.defects, 0) << parsed.output;
    std::string raw = sink.Message(1);
    EXPECT_NE(raw.find("Content-Type: image/jpeg; name=\"photo.jpg\"\r\n"), std::string::npos);
    EXPECT_NE(raw.find("Content-Transfer-Encoding: x-uuencode\r\nContent-Disposition: attachment; "
                       "filename=\"data.bin\"\r\n\r\nbegin 600 data.bin\r\n"),
              std::string::npos);
    EXPECT_NE(raw.find("`\r\nend\r\n"), std::string::npos);
}

// The mailer switches the Date on; a UTF-8 subject and body without attachments say what
// they are, 8bit to a server that takes it, quoted-printable to one that knows only HELO.
TEST_F(MailerTest, Utf8MessagesAreDeclaredAndEncodedForTheServer) {
    const std::string subject = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93";
    const std::string body = "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e\r\nzweite Zeile";
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running());
    {
        CSMTPMailer mailer(nullptr, 10);
        ASSERT_TRUE(mailer.Connect("127.0.0.1", sink.port())) << mailer.GetErrorText();
        CMailMessage m("", -1, -1, "s@example.test", "a@example.test", "", subject, kExtra, body, "");
        ASSERT_TRUE(mailer.SendMessage(&m)) << mailer.GetErrorText();
        mailer.Close();
    }
    {
        // The engine's lines for an HTML body claim us-ascii and 7bit: they are put right.
        const char* html =
            "X-Mailer: Brendlow Tessaro 2.0\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=us-ascii\r\n"
            "Content-Transfer-Encoding: 7bit\r\n\r\n";
        CSMTPMailer mailer(nullptr, 10);
        ASSERT_TRUE(mailer.Connect("127.0.0.1", sink.port())) << mailer.GetErrorText();
        CMailMessage m("", -1, -1, "s@example.test", "a@example.test", "", subject, html, "<p>" + body + "</p>", "");
        ASSERT_TRUE(mailer.SendMessage(&m)) << mailer.GetErrorText();
        mailer.Close();
    }
    ASSERT_EQ(sink.WaitForMessages(2), 2);
    mailtest::ParsedMessage html = mailtest::ParseWithPython(home() + "/sink/2.eml");
    EXPECT_EQ(html.charset, "utf-8") << html.output;
    EXPECT_EQ(html.encoding, "8bit");
    EXPECT_EQ(html.body, "<p>" + body + "</p>\r\n");
    EXPECT_EQ(html.defects, 0) << html.output;
    EXPECT_NE(sink.Message(2).find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
    mailtest::ParsedMessage parsed = mailtest::ParseWithPython(home() + "/sink/1.eml");
    ASSERT_TRUE(parsed.ran) << parsed.output;
    EXPECT_TRUE(parsed.dateParses);
    EXPECT_FALSE(parsed.messageId.empty());
    EXPECT_EQ(parsed.subject, subject);
    EXPECT_EQ(parsed.charset, "utf-8");
    EXPECT_EQ(parsed.encoding, "8bit");
    EXPECT_EQ(parsed.body, body + "\r\n");
    EXPECT_EQ(parsed.defects, 0) << parsed.output;
    EXPECT_NE(sink.Message(1).find("X-Mailer: Brendlow Tessaro 2.0\r\n"), std::string::npos);

    mailtest::FakeServer fake("helo-only", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    CMailMessage m("", -1, -1, "s@x", "a@x", "", subject, kExtra, body, "");
    ASSERT_TRUE(mailer.SendMessage(&m)) << mailer.GetErrorText();
    mailer.Close();
    std::string log = fake.Log();
    EXPECT_EQ(log.find("EHLO 127.0.0.1\nHELO 127.0.0.1\nmail from:<s@x>\n"), 0u) << log;
    EXPECT_NE(log.find("Content-Transfer-Encoding: quoted-printable\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Sch=C3=B6ne Gr=C3=BC=C3=9Fe\nzweite Zeile\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Subject: =?utf-8?B?"), std::string::npos) << log;
}

// The openers SEND, SOML and SAML beside MAIL, and the events of the asynchronous
// component as calls on a listener: each command sent and the attachments' progress.
TEST_F(MailerTest, OpenersAndTheEventsTheClientReports) {
    struct Counter : SmtpListener {
        std::vector<std::string> commands;
        std::vector<std::pair<std::string, int>> progress;
        void OnCommandSent(const std::string& word) override { commands.push_back(word); }
        void OnProgress(const std::string& file, int percent) override { progress.emplace_back(file, percent); }
    };
    std::string file = Dir("files") + "/big.bin";
    std::ofstream(file, std::ios::binary) << std::string(10000, 'z');
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    Counter counter;
    CNetvaneSMTP smtp(nullptr, 10000);
    smtp.SetListener(&counter);
    ASSERT_TRUE(smtp.Connect("127.0.0.1", fake.port())) << smtp.Error().text;
    const struct {
        SmtpOpener opener;
        const char* line;
        const char* word;
    } openers[] = {{kSmtpMail, "mail from:<s@x>", "MAIL"},
                   {kSmtpSend, "send from:<s@x>", "SEND"},
                   {kSmtpSoml, "soml from:<s@x>", "SOML"},
                   {kSmtpSaml, "saml from:<s@x>", "SAML"}};
    for (const auto& o : openers) {
        SmtpMailRequest request;
        request.opener = o.opener;
        request.sender = "s@x";
        request.recipients = {"a@x", "b@x"};
        request.text = "Subject: s\r\n\r\nhello";
        ASSERT_TRUE(smtp.Mail(request)) << smtp.Error().text;
        EXPECT_EQ(fake.Count(o.line), 1) << o.line;
        EXPECT_EQ(counter.commands, (std::vector<std::string>{o.word, "RCPT", "RCPT", "DATA"}));
        counter.commands.clear();
    }
    EXPECT_TRUE(counter.progress.empty());

    SmtpMailRequest request;
    request.sender = "s@x";
    request.recipients = {"a@x"};
    request.writeHeaders = true;
    request.text = "see attached";
    request.attachments = {file, file};
    ASSERT_TRUE(smtp.Mail(request)) << smtp.Error().text;
    EXPECT_TRUE(smtp.Quit());
    EXPECT_EQ(counter.commands, (std::vector<std::string>{"MAIL", "RCPT", "DATA", "QUIT"}));
    // 10000 bytes go in pieces of 1026: ten pieces per attachment, and a start for each.
    ASSERT_EQ(counter.progress.size(), 2u + 20u + 1u);
    EXPECT_EQ(counter.progress[0], (std::pair<std::string, int>{"", 0}));
    EXPECT_EQ(counter.progress[1], (std::pair<std::string, int>{file, 1026 * 100 / 20000}));
    EXPECT_EQ(counter.progress[11], (std::pair<std::string, int>{"", 0}));
    EXPECT_EQ(counter.progress[21], (std::pair<std::string, int>{file, 99}));
    EXPECT_EQ(counter.progress.back(), (std::pair<std::string, int>{file, 100}));
}

TEST_F(MailerTest, DebugOptionTracesEveryConnectionToAFileOfItsOwn) {
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    std::string folder = Dir("log");
    for (int n = 0; n < 2; ++n) {
        CNetvaneSMTP smtp(nullptr, 10000);
        ASSERT_TRUE(smtp.Connect("127.0.0.1", fake.port(), kNetvaneDebugTrace, folder)) << smtp.Error().text;
        EXPECT_EQ(smtp.TraceFile(), folder + "/NVTC" + std::to_string(n) + ".DBG");
        EXPECT_TRUE(smtp.Quit());
    }
    std::string trace = ReadFileText(folder + "/NVTC0.DBG");
    EXPECT_EQ(trace.find("\r\n<--- 220 fake.test ready\r\n\r\n---> EHLO 127.0.0.1\r\n\r\n<--- 250 fake.test\r\n"), 0u)
        << trace;
    EXPECT_NE(trace.find("\r\n---> QUIT\r\n\r\n<--- 221 bye\r\n"), std::string::npos) << trace;
    EXPECT_TRUE(std::filesystem::exists(folder + "/NVTC1.DBG"));
    // Without the option nothing is written.
    CNetvaneSMTP quiet(nullptr, 10000);
    ASSERT_TRUE(quiet.Connect("127.0.0.1", fake.port(), 0, folder));
    EXPECT_TRUE(quiet.TraceFile().empty());
    quiet.Quit();
    EXPECT_FALSE(std::filesystem::exists(folder + "/NVTC2.DBG"));
}

TEST_F(MailerTest, AMessageWithoutSenderOrRecipientIsRefusedAtOnce) {
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    CMailMessage noSender("", -1, -1, "", "a@x", "", "s", kExtra, "b", "");
    EXPECT_FALSE(mailer.SendMessage(&noSender));
    EXPECT_STREQ(mailer.GetErrorText(),
                 "Error occurred while attempting to send mail message (Mail returned FALSE). - [NV_ERROR] General "
                 "error (No sender or recipient given)  - Sender = '', Recipients = 'a@x'");
    CMailMessage unreadable("", -1, -1, "s@x", "a@x", "", "s", kExtra, "b", home() + "/missing.bin");
    EXPECT_FALSE(mailer.SendMessage(&unreadable));
    EXPECT_EQ(std::string(mailer.GetErrorText()).find("Error occurred while attempting to send mail message (Mail "
                                                      "returned FALSE)."),
              0u);
    EXPECT_TRUE(mailer.Close());
    EXPECT_EQ(fake.Count("mail from"), 0);
}

namespace {

// Without the header switch the client still writes a subject it is given, and sends
// every attachment; with no header line of its own the text carries the header block.
TEST_F(MailerTest, WithoutTheHeaderSwitchSubjectAndAttachmentsStillTravel) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running());
    std::string file = Dir("files") + "/pic.gif";
    std::ofstream(file, std::ios::binary) << std::string(100, 'p');
    const std::string boundary = "==========_080815456==_";
    const std::string part = "--" + boundary +
                             "\r\nContent-Type: image/gif; name=\"pic.gif\"\r\nContent-Transfer-Encoding: base64\r\n"
                             "Content-Disposition: attachment; filename=\"pic.gif\"\r\n\r\n";
    CNetvaneSMTP smtp(nullptr, 10000);
    ASSERT_TRUE(smtp.Connect("127.0.0.1", sink.port())) << smtp.Error().text;

    SmtpMailRequest withSubject;
    withSubject.sender = "s@x.test";
    withSubject.recipients = {"a@x.test"};
    withSubject.subject = "Plain";
    withSubject.text = "see attached";
    withSubject.attachments = {file};
    ASSERT_TRUE(smtp.Mail(withSubject)) << smtp.Error().text;

    SmtpMailRequest bare = withSubject;
    bare.subject.clear();
    bare.text = "Subject: own\r\n\r\nbody";
    ASSERT_TRUE(smtp.Mail(bare)) << smtp.Error().text;
    EXPECT_TRUE(smtp.Quit());
    ASSERT_EQ(sink.WaitForMessages(2), 2);

    std::string first = sink.Message(1);
    // X-Attachments names the files, not where they lie on the server.
    EXPECT_EQ(first.rfind("Subject: Plain\r\nX-Attachments: " + std::filesystem::path(file).filename().string() +
                              "\r\nMIME-Version: 1.0\r\n",
                          0),
              0u)
        << first;
    EXPECT_NE(first.find("see attached\r\n\r\n" + part), std::string::npos) << first;
    EXPECT_NE(first.find("--" + boundary + "--"), std::string::npos) << first;

    std::string second = sink.Message(2);
    EXPECT_EQ(second.rfind("Subject: own\r\n\r\nbody\r\n\r\n" + part, 0), 0u) << second;
    EXPECT_EQ(second.find("MIME-Version"), std::string::npos) << second;
}

TEST_F(MailerTest, AnImmediateQuitDropsTheConnectionWithoutAWord) {
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CNetvaneSMTP smtp(nullptr, 10000);
    ASSERT_TRUE(smtp.Connect("127.0.0.1", fake.port())) << smtp.Error().text;
    EXPECT_TRUE(smtp.Quit(true));
    SmtpMailRequest request;
    request.sender = "s@x";
    request.recipients = {"a@x"};
    request.text = "Subject: s\r\n\r\nhello";
    EXPECT_FALSE(smtp.Mail(request));
    EXPECT_EQ(smtp.Error().code, NV_NOTCONNECTED);
    EXPECT_EQ(fake.Count("QUIT"), 0) << fake.Log();
    EXPECT_EQ(fake.Count("mail from"), 0) << fake.Log();
}

TEST_F(MailerTest, ConnectingAConnectedClientIsRefusedAndTheConnectionStays) {
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    CNetvaneSMTP smtp(nullptr, 10000);
    ASSERT_TRUE(smtp.Connect("127.0.0.1", fake.port())) << smtp.Error().text;
    EXPECT_FALSE(smtp.Connect("127.0.0.1", fake.port()));
    EXPECT_TRUE(smtp.RefusedAtOnce());
    EXPECT_EQ(smtp.Error().code, NV_SOFTWARE);
    EXPECT_EQ(smtp.Error().text, "Socket is Already Connected");
    SmtpMailRequest request;
    request.sender = "s@x";
    request.recipients = {"a@x"};
    request.text = "Subject: s\r\n\r\nhello";
    ASSERT_TRUE(smtp.Mail(request)) << smtp.Error().text;
    EXPECT_TRUE(smtp.Quit());
    // One greeting, one EHLO: the second Connect never reached the server.
    EXPECT_EQ(fake.Count("EHLO"), 1) << fake.Log();
    EXPECT_EQ(fake.Count("mail from:<s@x>"), 1) << fake.Log();

    // The mailer's Connect says so in its error text.
    CSMTPMailer mailer(nullptr, 10);
    ASSERT_TRUE(mailer.Connect("127.0.0.1", fake.port())) << mailer.GetErrorText();
    EXPECT_FALSE(mailer.Connect("127.0.0.1", fake.port()));
    EXPECT_STREQ(mailer.GetErrorText(),
                 ("Error occurred while attempting to connect to mail server (Connect returned FALSE). - "
                  "[NV_SOFTWARE] General software error (Socket is Already Connected)  - Server = '127.0.0.1'"));
    EXPECT_TRUE(mailer.Close());
}

}  // namespace

namespace {

ssize_t NoRandomSource(void*, size_t, unsigned) {
    errno = ENOSYS;
    return -1;
}

}  // namespace

// Without the random source two messages of the same second still get ids of their own.
TEST(MessageIdTest, DiffersWithoutTheRandomSource) {
    using namespace tessaro::platform;
    ScopedSystemCall random(SystemCalls().getrandom, &NoRandomSource);
    const std::string first = SmtpMessageId("a@example.org"), second = SmtpMessageId("a@example.org");
    EXPECT_NE(first, second);
    EXPECT_EQ(first.find(".0000000000000000@"), std::string::npos) << first;
    EXPECT_EQ(first.substr(first.find('@')), "@example.org>");
}
