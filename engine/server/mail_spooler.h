// The engine's mail spooler: TSMAIL writes each message as a file into the
// spool directory; delivery passes on the engine's window thread hand the files
// to the mailer library (libtssmtp.so, Mail\MailerDLL) and log what happened in
// LOG\ERRORS.LOG and LOG\MESSAGES.LOG below the mail directory.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/server/mail_message.h"
#include "interfaces/mailer.h"
#include "platform/window.h"

class CRegistryKey;
class CRegistrySettings;
class CRuntimeFileGate;

class TSMail {
public:
    // Reads the Mail settings, makes the default tree when Mail\BaseDirectory is
    // empty and loads the mailer library; check Initialized() and ErrorText(). files, when
    // given, learns the mail folder as one of the private ones.
    explicit TSMail(CRuntimeFileGate* files = nullptr);
    virtual ~TSMail();
    TSMail(const TSMail&) = delete;
    TSMail& operator=(const TSMail&) = delete;

    bool Initialized() const { return m_initialized; }
    const std::string& ErrorText() const { return m_errorText; }

    // postReady queues the messages-ready notice for the engine window; betweenMessages
    // (optional) runs between two messages of a pass and while the mailer waits for the
    // server, so that the window's other messages are handled, and true from it ends the
    // pass there (the rest stays spooled). Detach before the window goes away.
    void AttachWindow(std::function<void()> postReady, std::function<bool()> betweenMessages = {});
    void DetachWindow();
    void NotifyMessagesReady();
    // One delivery pass; a pass already running (in this process or another on
    // the same spool) makes this one return at once.
    void ProcessWaitingMessages();
    // The wall clock (milliseconds since 1970) that times each message's attempts; tests
    // give their own.
    void SetWallClock(std::function<std::int64_t()> nowMs) { m_now = std::move(nowMs); }

    bool PersistMessage(CMailMessage& message, std::string& error);
    std::string GetSetting();
    static std::string BuildMimeHeaders(int type);
    void WriteMailLog(int severity, const std::string& text);

    const std::string& SpoolDirectory() const { return m_spoolDirectory; }
    const std::string& UndeliverableDirectory() const { return m_undeliverableDirectory; }

private:
    void RunPass();
    // One delivery attempt of a spool file; false when the pass must end (a stop was asked).
    bool DeliverFile(const std::string& path, std::set<std::pair<std::string, int>>& unreachable);
    // The spool files not yet handled in this pass, in name order; files marked Inactive
    // are deleted on the way.
    std::vector<std::string> ListSpoolFiles(const std::set<std::string>& done);
    // Runs betweenMessages; true once the engine quits or this pass was asked to end.
    bool StopRequested();
    bool Stopping() const { return m_quit || m_passStopped; }
    static bool StopRequestedOf(void* spooler);
    bool RestoreMessage(const std::string& path, CMailMessage& message);
    bool OpenMailer(const CMailMessage& message);
    void CloseMailer();
    std::string MoveToUndeliverable(const std::string& path);
    void MarkInactive(const std::string& path);
    // Counts a failed try of the file as one of its attempts when its own schedule says so
    // (one per timer period); true when it may be tried again.
    bool KeepForRetry(const std::string& path);
    void ForgetAttempts(const std::string& path);
    // The attempts of the spool files, read once when a pass starts and written once when
    // it ends; files the whole pass did not see (seen: all it saw) are forgotten.
    void LoadAttempts();
    void SaveAttempts(const std::set<std::string>* seen);
    void WriteMessageLog(const CMailMessage& message);
    bool LoadMailer(const std::string& configured);

    bool m_initialized = false;
    std::string m_errorText;
    std::mutex m_windowMutex;
    std::function<void()> m_postReady;
    std::function<bool()> m_betweenMessages;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_quit{false};
    bool m_passStopped = false;
    MailerWaitControl m_waitControl;

    CMailer* m_mailer = nullptr;
    std::string m_openServer;
    int m_openPort = 0;
    int m_openTimeout = 0;

    void* m_library = nullptr;
    CreateSMTPMailerProc m_create = nullptr;
    DeleteSMTPMailerProc m_delete = nullptr;

    std::unique_ptr<CRegistryKey> m_rootKey;
    std::unique_ptr<CRegistrySettings> m_settings;
    std::string m_spoolDirectory, m_undeliverableDirectory, m_errorLogPath, m_messageLogPath, m_spoolIni,
        m_attemptsIni;
    struct AttemptRecord {
        long count = 0;
        std::int64_t lastCountedMs = 0;  // wall clock; 0 when not known
    };
    std::map<std::string, AttemptRecord> m_attempts;  // during a pass: spool file -> its attempts
    std::function<std::int64_t()> m_now;
    std::int64_t m_passStartedMs = 0;
    long m_logSeverity = 1;
    long m_logMessages = 0;
    long m_maxAttempts = 20;
    std::int64_t m_attemptPeriodMs = 180000;
    std::string m_mailerName;
    bool m_mailerIsExe = false;
    std::string m_mailerExe;
    bool m_reuseOpenConnection = false;
};

// After a TSMAIL section: the spooler's notice to the window and its log line.
void PostMailReady(TSMail& spooler);

// The period of the engine's mail timer: Mail\TimerSeconds (default 180).
std::uint32_t MailTimerPeriodMs();

// The spooler's messages-ready message to the engine window.
inline constexpr std::uint32_t WM_MAILREADY = tessaro::platform::WM_USER + 150;

// The engine window is handed over at its creation: the spooler's notices go to it, and a
// pass ends between two messages once listening (the engine's flag) is cleared.
void AttachMailWindow(TSMail& spooler, tessaro::platform::Window& window, const std::atomic<int>& listening);

// The file of a mailer library name: "TSSMTP.DLL" -> "libtssmtp.so"; a path or a
// shared-object name ("x.so", "x.so.2") is kept.
std::string MailerLibraryFileName(const std::string& name);
