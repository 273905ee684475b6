// The engine's mail spooler with the real mailer library: spooling, delivery
// passes against aiosmtpd and the fake server, what goes to UNDELIVR and what is
// kept for another pass, its logs, and two passes at once.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "engine/server/mail_spooler.h"
#include "platform/system_calls.h"
#include "platform/program_path.h"
#include "tests/common/descriptor_path.h"
#include "tests/common/file_text.h"
#include "tests/common/text_matchers.h"
#include "tests/mailer/smtp_servers.h"
#include "tests/common/server_test_home.h"

namespace {

using tessaro::test::ReadFileText;

class SpoolerTest : public ServerTestHome {
protected:
    void SetUp() override {
        ServerTestHome::SetUp();
        if (HasFatalFailure()) return;
        SetValue("Mail", "MailerDLL", std::string(TESSARO_BINARY_DIR) + "/lib/libtssmtp.so");
        SetValue("Mail", "MailServer", "127.0.0.1");
        SetValue("Mail", "Timeout", "5");
        SetValue("Mail", "LogSeverity", "0");
    }

    // A spooler whose attempts are timed by the test's clock (now).
    std::unique_ptr<TSMail> Spooler() {
        auto spooler = std::make_unique<TSMail>();
        EXPECT_TRUE(spooler->Initialized()) << spooler->ErrorText();
        spooler->AttachWindow([this] { ++notices; });
        spooler->SetWallClock([this] { return now; });
        return spooler;
    }
    // One timer period (Mail\TimerSeconds, 180 unless a test sets it) passes.
    void NextPeriod(std::int64_t seconds = 180) { now += seconds * 1000; }
    static CMailMessage Message(const std::string& to, int port, const std::string& subject = "s") {
        return CMailMessage("", port, -1, "from@example.test", to, "", subject, TSMail::BuildMimeHeaders(0),
                            "body of " + to, "");
    }
    std::vector<std::string> Files(const std::string& sub) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(home() + "/Mail/" + sub, ec))
            if (entry.path().filename().string().rfind("TSM", 0) == 0) names.push_back(entry.path().string());
        return names;
    }
    std::string MailLog(const std::string& name = "ERRORS") const {
        return ReadFileText(home() + "/Mail/LOG/" + name + ".LOG");
    }
    std::string Dir(const std::string& name) const {
        std::filesystem::create_directories(home() + "/" + name);
        return home() + "/" + name;
    }

    int notices = 0;
    std::int64_t now = 1700000000000;
};

}  // namespace

TEST(MailSpoolerHeaders, MimeHeaderBlocks) {
    EXPECT_EQ(TSMail::BuildMimeHeaders(0), "X-Mailer: Brendlow Tessaro 2.0\r\n\r\n");
    EXPECT_EQ(TSMail::BuildMimeHeaders(1),
              "X-Mailer: Brendlow Tessaro 2.0\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=us-ascii\r\n"
              "Content-Transfer-Encoding: 7bit\r\n\r\n");
}

TEST_F(SpoolerTest, LibraryFailuresStopConstruction) {
    struct Case {
        std::string library;
        std::string error;
    } cases[] = {
        {"NOSUCHMAILER.DLL", "Mail library NOSUCHMAILER.DLL could not be loaded."},
        {"libc.so.6", "Procedure CreateSMTPMaileris not exported from the library libc.so.6."},
    };
    for (const Case& c : cases) {
        SetValue("Mail", "MailerDLL", c.library);
        TSMail spooler;
        EXPECT_FALSE(spooler.Initialized());
        EXPECT_EQ(spooler.ErrorText(), c.error);
    }
}

TEST_F(SpoolerTest, LibraryBesideTheProgramThatTheLoaderRefusesSaysWhy) {
    // A name without a path is looked for beside the program first; a file there that is
    // no shared library is the reason to report, not the "not found" of the places after it.
    const std::string name = "libnotamailer" + std::to_string(::getpid()) + ".so";
    const std::string beside = tessaro::platform::ProgramDirectory() + name;
    std::ofstream(beside) << "not a shared library\n";
    SetValue("Mail", "MailerDLL", name);
    TSMail spooler;
    std::filesystem::remove(beside);
    EXPECT_FALSE(spooler.Initialized());
    EXPECT_EQ(spooler.ErrorText(),
              "Windows NT error number 193 occurred while attempting to load library '" + name + "'.");
}

TEST_F(SpoolerTest, DefaultTreeAndBaseDirectoryWithOrWithoutSlash) {
    {
        TSMail spooler;
        ASSERT_TRUE(spooler.Initialized()) << spooler.ErrorText();
        EXPECT_EQ(spooler.SpoolDirectory(), home() + "/Mail/SPOOL/");
        EXPECT_EQ(GetValue("Mail", "BaseDirectory"), home() + "/Mail/");
    }
    for (const std::string& base : {home() + "/other", home() + "/other/", home() + "\\other\\"}) {
        SetValue("Mail", "BaseDirectory", base);
        TSMail spooler;
        ASSERT_TRUE(spooler.Initialized()) << spooler.ErrorText();
        EXPECT_EQ(spooler.SpoolDirectory(), home() + "/other/SPOOL/") << base;
        EXPECT_EQ(spooler.UndeliverableDirectory(), home() + "/other/UNDELIVR/");
        EXPECT_TRUE(std::filesystem::is_directory(home() + "/other/LOG"));
    }
}

TEST_F(SpoolerTest, DeliversSpooledMessagesAndLogsThem) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running()) << "aiosmtpd (python3-aiosmtpd) must run under /usr/bin/python3";
    SetValue("Mail", "LogMessages", "1");
    auto spooler = Spooler();
    std::string error;
    for (const char* to : {"a@example.test", "b@example.test", "c@example.test"}) {
        CMailMessage m = Message(to, sink.port(), std::string("Hi \"") + to + "\"");
        ASSERT_TRUE(spooler->PersistMessage(m, error)) << error;
    }
    ASSERT_EQ(Files("SPOOL").size(), 3u);
    spooler->NotifyMessagesReady();
    EXPECT_EQ(notices, 1);
    spooler->ProcessWaitingMessages();
    EXPECT_EQ(sink.WaitForMessages(3), 3);
    EXPECT_TRUE(Files("SPOOL").empty());
    std::string log = MailLog();
    EXPECT_NE(log.find("\"Information\",\"TID="), std::string::npos);
    EXPECT_NE(log.find("\"Message spooled (recipient='a@example.test', subject='Hi \"\"a@example.test\"\"')\""),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\"Entered mail processing loop.\""), std::string::npos);
    EXPECT_NE(log.find("\"Message sent (recipient='c@example.test', subject='Hi \"\"c@example.test\"\"')\""),
              std::string::npos);
    EXPECT_NE(log.find("\"Exited mail processing loop.\""), std::string::npos);
    std::string messages = MailLog("MESSAGES");
    EXPECT_NE(messages.find("\",\"from@example.test\",\"b@example.test\",\"Hi \"\"b@example.test\"\"\"\n"),
              std::string::npos)
        << messages;
}

TEST_F(SpoolerTest, LineFeedOnlyFileMovesToUndeliverable) {
    auto spooler = Spooler();
    std::string bad = home() + "/Mail/SPOOL/TSM1234.TMP";
    std::ofstream(bad, std::ios::binary) << "From: a\nTo: b\nSubject: s\n\nbody";
    spooler->ProcessWaitingMessages();
    EXPECT_FALSE(std::filesystem::exists(bad));
    std::vector<std::string> moved = Files("UNDELIVR");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(ReadFileText(moved[0]), "From: a\nTo: b\nSubject: s\n\nbody");
    EXPECT_NE(MailLog().find("\"Error attempting to read mail message from file '" + bad +
                             "' (Message file had invalid file format (no <CR><LF><CR><LF> delimiter found).) - "
                             "Undelivered message file archived to '" +
                             moved[0] + "'\""),
              std::string::npos)
        << MailLog();
}

TEST_F(SpoolerTest, UnreachableServerKeepsMessagesForLaterPasses) {
    SetValue("Mail", "ConnectAttempts", "3");
    int port = mailtest::FreePort();
    auto spooler = Spooler();
    std::string error;
    for (const char* to : {"a@x.test", "b@x.test"}) {
        CMailMessage m = Message(to, port);
        ASSERT_TRUE(spooler->PersistMessage(m, error));
    }
    spooler->ProcessWaitingMessages();
    NextPeriod();
    spooler->ProcessWaitingMessages();
    EXPECT_EQ(Files("SPOOL").size(), 2u);
    EXPECT_TRUE(Files("UNDELIVR").empty());
    EXPECT_NE(MailLog().find("[NV_CONNREFUSED]"), std::string::npos);
    // The server comes back: nothing was lost.
    {
        mailtest::SinkServer sink(Dir("sink"));
        ASSERT_TRUE(sink.Running());
        std::vector<std::string> spooled = Files("SPOOL");
        for (const std::string& path : spooled) {
            CMailMessage m;
            ASSERT_TRUE(m.ReadFromSpool(path));
            m.port = sink.port();
            std::ofstream(path, std::ios::binary | std::ios::trunc) << m.SpoolText();
        }
        spooler->ProcessWaitingMessages();
        EXPECT_EQ(sink.WaitForMessages(2), 2);
        EXPECT_TRUE(Files("SPOOL").empty());
    }
    // Past the attempt rule a message goes to UNDELIVR; every message waiting for
    // the server counts the period.
    for (const char* to : {"c@x.test", "d@x.test"}) {
        CMailMessage m = Message(to, port);
        ASSERT_TRUE(spooler->PersistMessage(m, error));
    }
    for (int pass = 0; pass < 2; ++pass) {
        NextPeriod();
        spooler->ProcessWaitingMessages();
    }
    EXPECT_EQ(Files("SPOOL").size(), 2u);
    NextPeriod();
    spooler->ProcessWaitingMessages();
    EXPECT_TRUE(Files("SPOOL").empty());
    ASSERT_EQ(Files("UNDELIVR").size(), 2u);
    EXPECT_NE(MailLog().find("\"Message not delivered due to error in establishing connection - Undelivered message "
                             "file archived to '" +
                             Files("UNDELIVR")[0] + "'\""),
              std::string::npos);
}

TEST_F(SpoolerTest, AFullSpoolForAnUnreachableServerCostsOnePassOfBoundedWork) {
    // Thousands of messages wait for a server that is down: a pass reads each once and keeps
    // it, handling the window's messages between two of them.
    SetValue("Mail", "LogSeverity", "1");
    const int port = mailtest::FreePort();
    constexpr int kMessages = 3000;
    int between = 0;
    int stopAfter = -1;
    auto spooler = std::make_unique<TSMail>();
    ASSERT_TRUE(spooler->Initialized()) << spooler->ErrorText();
    spooler->AttachWindow([] {}, [&] { return ++between == stopAfter; });
    for (int i = 1; i <= kMessages; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "TSM%04X.TMP", i);
        std::ofstream(spooler->SpoolDirectory() + name, std::ios::binary)
            << Message("r" + std::to_string(i) + "@x.test", port).SpoolText();
    }
    const auto start = std::chrono::steady_clock::now();
    spooler->ProcessWaitingMessages();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_GE(between, kMessages - 1);
    EXPECT_EQ(Files("SPOOL").size(), static_cast<std::size_t>(kMessages));
    EXPECT_TRUE(Files("UNDELIVR").empty());
    // Asked to stop (the engine is closing), the next pass ends between two messages and
    // the rest stays spooled.
    between = 0;
    stopAfter = 50;
    spooler->ProcessWaitingMessages();
    EXPECT_EQ(between, 50);
    EXPECT_EQ(Files("SPOOL").size(), static_cast<std::size_t>(kMessages));
    EXPECT_NE(MailLog().find("[NV_CONNREFUSED]"), std::string::npos) << MailLog();
}

TEST_F(SpoolerTest, AttemptCountsKeptInTheSpoolIniByAnOlderEngineStillCount) {
    SetValue("Mail", "ConnectAttempts", "3");
    auto spooler = Spooler();
    std::string error;
    CMailMessage m = Message("a@x.test", mailtest::FreePort());
    ASSERT_TRUE(spooler->PersistMessage(m, error)) << error;
    const std::string path = Files("SPOOL")[0];
    std::ofstream(home() + "/Mail/SPOOL/SPOOL.INI") << "[Attempts]\n" << path << "=2\n";
    spooler->ProcessWaitingMessages();
    EXPECT_TRUE(Files("SPOOL").empty());
    EXPECT_EQ(Files("UNDELIVR").size(), 1u);
    EXPECT_EQ(ReadFileText(home() + "/Mail/SPOOL/SPOOL.INI").find("Attempts"), std::string::npos);
}

// One visitor's TSMAIL pages start a pass each: a message that waits for a server that is
// down is tried by every pass, but counts one attempt per timer period of its own.
TEST_F(SpoolerTest, PassesOtherMessagesStartDoNotSpendAMessagesAttempts) {
    SetValue("Mail", "ConnectAttempts", "3");
    const int port = mailtest::FreePort();
    auto spooler = Spooler();
    std::string error;
    CMailMessage first = Message("first@x.test", port);
    ASSERT_TRUE(spooler->PersistMessage(first, error)) << error;
    const std::string path = Files("SPOOL")[0];
    // 25 pages in 5 s, each spooling a message of its own and starting a pass.
    for (int page = 0; page < 25; ++page) {
        CMailMessage m = Message("r" + std::to_string(page) + "@x.test", port);
        ASSERT_TRUE(spooler->PersistMessage(m, error)) << error;
        spooler->ProcessWaitingMessages();
        now += 200;
    }
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(Files("SPOOL").size(), 26u);
    EXPECT_TRUE(Files("UNDELIVR").empty());
    EXPECT_GE(tessaro::test::CountOf(MailLog(), "\"Entered mail processing loop.\""), 25u);
    // The count keeps the form older engines read; when it was counted stands beside it.
    const std::string attempts = home() + "/Mail/SPOOL/ATTEMPTS.INI";
    const std::string kept = ReadFileText(attempts);
    const std::size_t counts = kept.find("[Attempts]\n"), times = kept.find("[AttemptTimes]\n");
    ASSERT_NE(counts, std::string::npos) << kept;
    ASSERT_NE(times, std::string::npos) << kept;
    const std::size_t count = kept.find("\n" + path + "=1\n", counts), time = kept.find(path + "=1700000000000\n");
    EXPECT_TRUE(count != std::string::npos && (times < counts ? count > times : count < times)) << kept;
    EXPECT_TRUE(time != std::string::npos && time > times) << kept;
    // Its own periods spend them: the second, then the third and last.
    NextPeriod();
    spooler->ProcessWaitingMessages();
    EXPECT_TRUE(std::filesystem::exists(path));
    NextPeriod();
    spooler->ProcessWaitingMessages();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Files("UNDELIVR").size(), 26u);
}

TEST_F(SpoolerTest, TheErrorLogHoldsOneLinePerEntry) {
    auto spooler = Spooler();
    std::string error;
    CMailMessage m = Message("a@x.test", mailtest::FreePort());
    ASSERT_TRUE(spooler->PersistMessage(m, error)) << error;
    spooler->ProcessWaitingMessages();
    spooler->NotifyMessagesReady();
    const std::string log = MailLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    EXPECT_EQ(log.find("\n\n"), std::string::npos) << log;
    const std::regex entry(R"re("(Information|Warning|Error)","TID=[0-9]+","[0-9]{2}/[0-9]{2}/[0-9]{2}",)re"
                           R"re("[0-9]{2}:[0-9]{2}:[0-9]{2}","([^"]|"")*")re");
    std::istringstream lines(log);
    int n = 0;
    for (std::string line; std::getline(lines, line); ++n) EXPECT_TRUE(std::regex_match(line, entry)) << line;
    // Spooled, entered, restored, the connection's failure, exited.
    EXPECT_GE(n, 5);
}

TEST_F(SpoolerTest, PermanentRefusalMovesTheMessageToUndeliverable) {
    mailtest::FakeServer fake("reject-rcpt", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    auto spooler = Spooler();
    std::string error;
    CMailMessage m = Message("nobody@x.test", fake.port());
    ASSERT_TRUE(spooler->PersistMessage(m, error));
    spooler->ProcessWaitingMessages();
    EXPECT_TRUE(Files("SPOOL").empty());
    ASSERT_EQ(Files("UNDELIVR").size(), 1u);
    EXPECT_NE(MailLog().find("(550 no such user)  - Sender = 'from@example.test', Recipients = 'nobody@x.test' - "
                             "Undelivered message archived to '" +
                             Files("UNDELIVR")[0] + "'"),
              std::string::npos)
        << MailLog();
}

TEST_F(SpoolerTest, ReuseOpenConnectionOpensOneConnectionForTheServer) {
    for (const char* reuse : {"1", "0"}) {
        std::string log = home() + "/fake-" + reuse + ".log";
        mailtest::FakeServer fake("accept", log);
        ASSERT_TRUE(fake.Running());
        SetValue("Mail", "ReuseOpenConnection", reuse);
        auto spooler = Spooler();
        std::string error;
        for (const char* to : {"a@x.test", "b@x.test", "c@x.test"}) {
            CMailMessage m = Message(to, fake.port());
            ASSERT_TRUE(spooler->PersistMessage(m, error));
        }
        spooler->ProcessWaitingMessages();
        EXPECT_TRUE(Files("SPOOL").empty());
        EXPECT_EQ(fake.Count("EHLO"), std::string(reuse) == "1" ? 1 : 3) << reuse;
        EXPECT_EQ(fake.Count("QUIT"), fake.Count("EHLO"));
        EXPECT_EQ(fake.Count("mail from"), 3);
    }
}

TEST_F(SpoolerTest, TwoPassesAtOnceSendEachMessageOnce) {
    mailtest::SinkServer sink(Dir("sink"));
    ASSERT_TRUE(sink.Running());
    // Two spoolers stand for two engines on the same spool; each also runs passes
    // on two threads.
    auto first = Spooler();
    auto second = Spooler();
    std::string error;
    constexpr int kMessages = 12;
    for (int i = 0; i < kMessages; ++i) {
        CMailMessage m = Message("r" + std::to_string(i) + "@x.test", sink.port());
        ASSERT_TRUE(first->PersistMessage(m, error));
    }
    std::vector<std::thread> passes;
    for (TSMail* spooler : {first.get(), second.get(), first.get(), second.get()})
        passes.emplace_back([spooler] {
            for (int i = 0; i < 3; ++i) spooler->ProcessWaitingMessages();
        });
    for (std::thread& t : passes) t.join();
    first->ProcessWaitingMessages();
    EXPECT_EQ(sink.WaitForMessages(kMessages), kMessages);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.Count(), kMessages);
    std::set<std::string> recipients;
    for (int n = 1; n <= sink.Count(); ++n) recipients.insert(sink.Envelope(n));
    EXPECT_EQ(recipients.size(), static_cast<std::size_t>(kMessages));
    EXPECT_TRUE(Files("SPOOL").empty());
}

TEST_F(SpoolerTest, PassesBeforeAttachmentOnlyLog) {
    TSMail spooler;
    ASSERT_TRUE(spooler.Initialized());
    spooler.NotifyMessagesReady();
    spooler.ProcessWaitingMessages();
    EXPECT_NE(MailLog().find("\"Warning\",\"TID="), std::string::npos);
    EXPECT_NE(MailLog().find("\"NotifyMessagesReady was called prior to initialization.\""), std::string::npos);
    EXPECT_NE(MailLog().find("\"ProcessWaitingMessages was called prior to initialization.\""), std::string::npos);
}

TEST_F(SpoolerTest, InactiveMarksAreDeletedNotSent) {
    mailtest::FakeServer fake("accept", home() + "/fake.log");
    ASSERT_TRUE(fake.Running());
    auto spooler = Spooler();
    std::string error;
    CMailMessage m = Message("a@x.test", fake.port());
    ASSERT_TRUE(spooler->PersistMessage(m, error));
    std::string path = Files("SPOOL")[0];
    std::ofstream(home() + "/Mail/SPOOL/SPOOL.INI") << "[Files]\n" << path << "=Inactive\n";
    spooler->ProcessWaitingMessages();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(fake.Count("mail from"), 0);
    EXPECT_EQ(ReadFileText(home() + "/Mail/SPOOL/SPOOL.INI").find(path), std::string::npos);
}

TEST(MailerLibraryName, WindowsNamesBecomeSharedObjects) {
    struct Case {
        const char* configured;
        const char* file;
    } cases[] = {
        {"TSSMTP.DLL", "libtssmtp.so"},
        {"tssmtp", "libtssmtp.so"},
        {"libtssmtp.so", "libtssmtp.so"},
        {"libc.so.6", "libc.so.6"},
        {"/opt/x/Mailer.DLL", "/opt/x/Mailer.DLL"},
    };
    for (const Case& c : cases) EXPECT_EQ(MailerLibraryFileName(c.configured), c.file) << c.configured;
}

namespace {

// Writes into the spool folder fail as they would on a full disk or a failing one.
std::atomic<int> g_spoolWriteFailure{0};
ssize_t FailingSpoolPwrite(int fd, const void* data, size_t n, off_t offset) {
    if (tessaro::test::DescriptorPath(fd).find("/Mail/SPOOL/") != std::string::npos) {
        errno = g_spoolWriteFailure.load();
        return -1;
    }
    return tessaro::platform::SystemCalls().pwrite.Real()(fd, data, n, offset);
}

}  // namespace

// The disk fails while a message is spooled: the message is refused with the reason, no
// partial file stays in the spool, the messages spooled before are intact, the log says
// what failed, and the next message spools again.
TEST_F(SpoolerTest, ADiskThatFailsUnderTheSpoolLosesNoSpooledMessage) {
    auto spooler = Spooler();
    std::string error;
    CMailMessage first = Message("a@example.test", 25);
    ASSERT_TRUE(spooler->PersistMessage(first, error)) << error;
    ASSERT_EQ(Files("SPOOL").size(), 1u);
    const std::string firstPath = Files("SPOOL")[0];
    const std::string firstText = ReadFileText(firstPath);
    for (int failure : {ENOSPC, EIO}) {
        g_spoolWriteFailure = failure;
        CMailMessage refused = Message("b@example.test", 25);
        {
            tessaro::platform::ScopedSystemCall pwrite(tessaro::platform::SystemCalls().pwrite, &FailingSpoolPwrite);
            EXPECT_FALSE(spooler->PersistMessage(refused, error)) << failure;
        }
        EXPECT_NE(error.find("Error occurred while attempting to spool mail message to file"), std::string::npos)
            << error;
        if (failure == ENOSPC) {
            EXPECT_NE(refused.GetTextField().find("The disk is full."), std::string::npos);
        }
        EXPECT_EQ(Files("SPOOL"), std::vector<std::string>{firstPath}) << failure;
        EXPECT_EQ(ReadFileText(firstPath), firstText);
        EXPECT_NE(MailLog().find("recipient='b@example.test'"), std::string::npos) << MailLog();
    }
    CMailMessage later = Message("c@example.test", 25);
    EXPECT_TRUE(spooler->PersistMessage(later, error)) << error;
    EXPECT_EQ(Files("SPOOL").size(), 2u);
}
