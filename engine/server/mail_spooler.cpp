#include "engine/server/mail_spooler.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "support/registry.h"
#include "support/runtime_file_gate.h"
#include "support/text_helpers.h"
#include "support/trace_log.h"
#include "platform/clock.h"
#include "platform/home.h"
#include "platform/ini_file.h"
#include "platform/module_library.h"
#include "platform/named_mutex.h"
#include "platform/path_util.h"
#include "platform/program_path.h"
#include "platform/shared_file.h"
#include "platform/temp_file.h"
#include "platform/process_ids.h"
#include "platform/win32_error.h"

namespace fs = std::filesystem;
using tessaro::platform::NamedMutexLock;

namespace {

constexpr const char* kSpoolMutexName = "TSMailFileMutex";
// Held for a whole delivery pass, so that two passes (threads or engines on the
// same spool) never restore and send the same file.
constexpr const char* kPassMutexName = "TSMailPassMutex";
constexpr std::uint32_t kSpoolMutexTimeoutMs = 180000;
constexpr const char* kDefaultMailerLibrary = "libtssmtp.so";
constexpr const char* kInactive = "Inactive";
constexpr const char* kFilesSection = "Files";
// Failed connections per spool file, in a file of their own: SPOOL.INI stays small, so that
// reading a file's mark costs nothing however many messages wait.
constexpr const char* kAttemptsFile = "ATTEMPTS.INI";
constexpr const char* kAttemptsSection = "Attempts";
// Beside each count, when its last attempt was counted (milliseconds since 1970), in a section
// of its own so that the counts keep the form every reader knows.
constexpr const char* kAttemptTimesSection = "AttemptTimes";
constexpr long kDefaultTimerSeconds = 180;

const char* SeverityName(int severity) {
    switch (severity) {
        case 0:
            return "Information";
        case 1:
            return "Warning";
        case 2:
            return "Error";
        default:
            return "";
    }
}

std::string WithSlash(std::string dir) {
    dir = tessaro::platform::ToUnixPath(dir);
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool IsSpoolFileName(const std::string& name) {
    std::string upper = UpperCopy(name);
    return upper.size() >= 7 && upper.compare(0, 3, "TSM") == 0 && upper.compare(upper.size() - 4, 4, ".TMP") == 0;
}

void AppendLine(const std::string& path, const std::string& line) {
    tessaro::platform::AppendShared(path, line + "\n");
}

std::uint32_t TimerPeriodMsOf(const std::string& seconds) {
    long value = std::strtol(seconds.c_str(), nullptr, 10);
    if (value <= 0) value = kDefaultTimerSeconds;
    return static_cast<std::uint32_t>(std::min<long>(value, 0x7fffffffL / 1000) * 1000);
}

std::int64_t WallClockMilliseconds() {
    const tessaro::platform::WallClockTime now = tessaro::platform::WallClockNow();
    return now.seconds * 1000 + now.nanoseconds / 1000000;
}

}  // namespace

TSMail::TSMail(CRuntimeFileGate* files) : m_now(WallClockMilliseconds) {
    m_waitControl.quitRequested = StopRequestedOf;
    m_waitControl.context = this;
    try {
        m_rootKey = OpenTessaroRootKey();
        m_settings = std::make_unique<CRegistrySettings>(m_rootKey.get());
    } catch (CRegistryException* e) {
        e->Delete();
        m_errorText = "Failed to allocate memory for CRegistryKey.";
        return;
    }
    std::string base = m_settings->GetString("Mail", "BaseDirectory", "");
    TrimString(base);
    if (base.empty()) {
        if (!CreateDefaultMailDirectories(m_errorText)) return;
        base = m_settings->GetString("Mail", "BaseDirectory", "");
    }
    base = WithSlash(MailBaseFollowingTheRoot(*m_settings, base));
    // Spooled messages and mail logs are never a template's to read or write.
    if (files) files->AddPrivatePath(base);
    // A configured tree may lack its folders; without them nothing could be spooled.
    for (const char* sub : {"LOG", "SPOOL", "UNDELIVR"}) {
        long code = tessaro::platform::EnsureDirectory(base + sub);
        if (code != 0) {
            m_errorText = "Error occurred while attempting to create mail directory '" + base + sub +
                          "' - Windows NT error number " + std::to_string(code) + " occurred.";
            return;
        }
    }
    m_spoolDirectory = base + "SPOOL/";
    m_undeliverableDirectory = base + "UNDELIVR/";
    m_errorLogPath = base + "LOG/ERRORS.LOG";
    m_messageLogPath = base + "LOG/MESSAGES.LOG";
    m_spoolIni = m_spoolDirectory + "SPOOL.INI";
    m_attemptsIni = m_spoolDirectory + kAttemptsFile;
    m_logSeverity = m_settings->GetNumber("Mail", "LogSeverity", 1);
    m_logMessages = m_settings->GetNumber("Mail", "LogMessages", 0);
    m_maxAttempts = m_settings->GetNumber("Mail", "ConnectAttempts", 20);
    m_attemptPeriodMs = TimerPeriodMsOf(m_settings->GetString("Mail", "TimerSeconds", "180"));
    {
        NamedMutexLock probe;
        long error = probe.Acquire(kSpoolMutexName, 0);
        if (error != 0 && error != tessaro::platform::WAIT_TIMEOUT_ERROR) {
            m_errorText = "Failed to create mutex for synchronizing access to message spool directory.";
            return;
        }
    }
    m_reuseOpenConnection = TrimmedCopy(m_settings->GetString("Mail", "ReuseOpenConnection", "")) == "1";
    m_mailerIsExe = TrimmedCopy(m_settings->GetString("Mail", "MailerIsExe", "")) == "1";
    if (m_mailerIsExe) {
        m_mailerExe = m_settings->GetString("Mail", "MailerExe", "");
        m_initialized = true;
        return;
    }
    // Sockets need no initialisation here; InitWinSock is read for its own sake.
    m_settings->GetString("Mail", "InitWinSock", "");
    std::string configured = TrimmedCopy(m_settings->GetString("Mail", "MailerDLL", ""));
    if (!LoadMailer(configured)) return;
    m_initialized = true;
}

TSMail::~TSMail() {
    CloseMailer();
    tessaro::platform::FreeModule(m_library);
}

bool TSMail::LoadMailer(const std::string& configured) {
    m_mailerName = configured.empty() ? kDefaultMailerLibrary : configured;
    std::string file = MailerLibraryFileName(m_mailerName);
    std::vector<std::string> candidates;
    if (file.find('/') == std::string::npos) {
        candidates.push_back(tessaro::platform::ProgramDirectory() + file);
        candidates.push_back(tessaro::platform::ProgramDirectory() + "../lib/" + file);
    }
    candidates.push_back(file);
    // A file the loader refuses (beside tsengine, say) is the reason to give, not the
    // "not found" of the places tried after it.
    long error = 0;
    long refused = 0;
    for (const std::string& candidate : candidates) {
        m_library = tessaro::platform::LoadModule(candidate, &error);
        if (m_library) break;
        if (refused == 0 && error != tessaro::platform::ERROR_MOD_NOT_FOUND) refused = error;
    }
    if (!m_library && refused != 0) error = refused;
    if (!m_library) {
        m_errorText = error == tessaro::platform::ERROR_MOD_NOT_FOUND
                          ? "Mail library " + m_mailerName + " could not be loaded."
                          : "Windows NT error number " + std::to_string(error) +
                                " occurred while attempting to load library '" + m_mailerName + "'.";
        return false;
    }
    for (const char* procedure : {kCreateSMTPMailerName, kDeleteSMTPMailerName}) {
        void* address = tessaro::platform::GetModuleProcedure(m_library, procedure, &error);
        if (!address) {
            m_errorText =
                error == tessaro::platform::ERROR_PROC_NOT_FOUND
                    ? std::string("Procedure ") + procedure + "is not exported from the library " + m_mailerName + "."
                    : "Windows NT error number " + std::to_string(error) +
                          " occurred while attempting to get address of procedure '" + procedure + "' in library '" +
                          m_mailerName + "'.";
            tessaro::platform::FreeModule(m_library);
            m_library = nullptr;
            m_create = nullptr;
            return false;
        }
        if (procedure == kCreateSMTPMailerName)
            m_create = reinterpret_cast<CreateSMTPMailerProc>(address);
        else
            m_delete = reinterpret_cast<DeleteSMTPMailerProc>(address);
    }
    return true;
}

void TSMail::AttachWindow(std::function<void()> postReady, std::function<bool()> betweenMessages) {
    std::lock_guard lock(m_windowMutex);
    m_postReady = std::move(postReady);
    m_betweenMessages = std::move(betweenMessages);
    m_quit = false;
}

void TSMail::DetachWindow() {
    m_quit = true;
    std::lock_guard lock(m_windowMutex);
    m_postReady = nullptr;
    m_betweenMessages = nullptr;
}

bool TSMail::StopRequested() {
    if (Stopping()) return true;
    std::function<bool()> between;
    {
        std::lock_guard lock(m_windowMutex);
        between = m_betweenMessages;
    }
    if (between && between()) m_passStopped = true;
    return Stopping();
}

bool TSMail::StopRequestedOf(void* spooler) {
    return static_cast<TSMail*>(spooler)->StopRequested();
}

void TSMail::NotifyMessagesReady() {
    std::lock_guard lock(m_windowMutex);
    if (!m_postReady) {
        WriteMailLog(1, "NotifyMessagesReady was called prior to initialization.");
        return;
    }
    m_postReady();
}

std::string TSMail::GetSetting() {
    return m_settings ? m_settings->GetString("Mail", "MailServer", "") : "";
}

std::string TSMail::BuildMimeHeaders(int type) {
    std::string out = "X-Mailer: Brendlow Tessaro 2.0\r\n";
    if (type == 1)
        out += "MIME-Version: 1.0\r\nContent-Type: text/html; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n";
    return out + "\r\n";
}

void TSMail::WriteMailLog(int severity, const std::string& text) {
    if (text.empty() || m_logSeverity > severity || m_errorLogPath.empty()) return;
    // The formatted line ends itself.
    tessaro::platform::AppendShared(
        m_errorLogPath, FormatTraceLogLine(SeverityName(severity), tessaro::platform::CurrentThreadId(), LogDateNow(),
                                           LogTimeNow(), text));
}

void TSMail::WriteMessageLog(const CMailMessage& message) {
    if (m_logMessages == 0) return;
    std::string line;
    for (const std::string& field : {LogDateNow(), LogTimeNow(), message.from, message.to, message.subject}) {
        if (!line.empty()) line += ',';
        line += "\"" + EscapeLogField(field) + "\"";
    }
    AppendLine(m_messageLogPath, line);
}

bool TSMail::PersistMessage(CMailMessage& message, std::string& error) {
    NamedMutexLock lock;
    if (lock.Acquire(kSpoolMutexName, kSpoolMutexTimeoutMs) != 0) {
        error = "Message file mutex timed out while waiting to persist message.";
        WriteMailLog(2, error);
        return false;
    }
    std::string path;
    if (!message.WriteToSpool(m_spoolDirectory, path)) {
        if (!path.empty()) {
            std::error_code ec;
            if (!fs::remove(path, ec)) {
                WriteMailLog(2,
                             "Error attempting to delete message file which failed during persistence to spool "
                             "directory (file = '" +
                                 path + "')");
                MarkInactive(path);
            }
        }
        error = "Error occurred while attempting to spool mail message to file (spool directory = '" +
                m_spoolDirectory + "', recipient='" + message.to + "', subject='" + message.subject + "')";
        WriteMailLog(2, error);
        return false;
    }
    WriteMailLog(0, "Message spooled (recipient='" + message.to + "', subject='" + message.subject + "')");
    return true;
}

void TSMail::ProcessWaitingMessages() {
    if (!m_initialized) return;
    {
        std::lock_guard lock(m_windowMutex);
        if (!m_postReady) {
            WriteMailLog(1, "ProcessWaitingMessages was called prior to initialization.");
            return;
        }
    }
    if (m_busy.exchange(true)) {
        WriteMailLog(0, "Job was posted and mail queue was busy processing mail.");
        return;
    }
    NamedMutexLock passLock;
    if (passLock.Acquire(kPassMutexName, 0) != 0) {
        WriteMailLog(0, "Job was posted and mail queue was busy processing mail.");
        m_busy = false;
        return;
    }
    WriteMailLog(0, "Entered mail processing loop.");
    try {
        RunPass();
    } catch (...) {
        CloseMailer();
        WriteMailLog(2, "Unexpected error occurred while processing the mail queue.");
    }
    WriteMailLog(0, "Exited mail processing loop.");
    passLock.Release();
    m_busy = false;
}

void TSMail::RunPass() {
    // One listing of the spool per round and one read and write of the attempt counts per
    // pass: the cost of a pass grows with the messages it handles, not with their square.
    // Files kept for another try and servers that could not be reached are left alone for
    // the rest of this pass; files spooled meanwhile are taken in the next round.
    m_passStopped = false;
    m_passStartedMs = m_now();
    LoadAttempts();
    std::set<std::string> done;
    std::set<std::pair<std::string, int>> unreachable;
    bool stopped = false;
    for (std::vector<std::string> round; !stopped && !(round = ListSpoolFiles(done)).empty();) {
        if (m_mailerIsExe) break;
        for (const std::string& path : round) {
            // Between two messages the window thread serves its other messages, and a
            // closing engine ends the pass here.
            if (StopRequested()) {
                stopped = true;
                break;
            }
            done.insert(path);
            if (!DeliverFile(path, unreachable)) {
                stopped = true;
                break;
            }
        }
    }
    CloseMailer();
    SaveAttempts(stopped || m_mailerIsExe ? nullptr : &done);
}

bool TSMail::DeliverFile(const std::string& path, std::set<std::pair<std::string, int>>& unreachable) {
    CMailMessage message;
    if (!RestoreMessage(path, message)) return true;
    bool skip = unreachable.count({message.server, message.port}) > 0;
    if (!skip && m_mailer &&
        !(m_reuseOpenConnection && message.server == m_openServer && message.port == m_openPort &&
          message.timeout == m_openTimeout))
        CloseMailer();
    // A server that could not be reached in this pass is not tried again for its other
    // messages, but they count the pass as a failed attempt too.
    if (skip || (!m_mailer && !OpenMailer(message))) {
        // A wait given up because the engine is closing is no attempt of the message's.
        if (Stopping()) return false;
        unreachable.insert({message.server, message.port});
        if (KeepForRetry(path)) return true;
        std::string moved = MoveToUndeliverable(path);
        WriteMailLog(2,
                     "Message not delivered due to error in establishing connection - Undelivered message "
                     "file archived to '" +
                         moved + "'");
        return true;
    }
    if (!m_mailer->SendMessage(&message)) {
        std::string text = m_mailer->GetErrorText();
        bool permanent = m_mailer->GetReplyCode() >= 500;
        CloseMailer();
        if (Stopping()) return false;
        if (!permanent && KeepForRetry(path)) {
            WriteMailLog(2, text + " - Message kept in the spool directory for another try");
            return true;
        }
        std::string moved = MoveToUndeliverable(path);
        WriteMailLog(2, text + " - Undelivered message archived to '" + moved + "'");
        return true;
    }
    ForgetAttempts(path);
    std::error_code ec;
    if (!fs::remove(path, ec)) {
        WriteMailLog(2, "Message successfully delivered however message file '" + path +
                            "' could not be deleted, Windows NT error number " +
                            std::to_string(tessaro::platform::Win32ErrorFromErrno(ec.value())) + " occurred.");
        MarkInactive(path);
    }
    WriteMessageLog(message);
    WriteMailLog(0, "Message sent (recipient='" + message.to + "', subject='" + message.subject + "')");
    return true;
}

std::vector<std::string> TSMail::ListSpoolFiles(const std::set<std::string>& done) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(m_spoolDirectory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (IsSpoolFileName(name) && !done.count(m_spoolDirectory + name)) names.push_back(name);
    }
    if (names.empty()) return names;
    std::sort(names.begin(), names.end());
    std::set<std::string> inactive;
    {
        NamedMutexLock lock(kSpoolMutexName, kSpoolMutexTimeoutMs);
        for (const auto& [key, mark] : tessaro::platform::IniSectionEntries(m_spoolIni, kFilesSection))
            if (tessaro::platform::EqualsNoCase(mark, kInactive)) inactive.insert(UpperCopy(key));
    }
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names) {
        std::string candidate = m_spoolDirectory + name;
        if (inactive.count(UpperCopy(candidate))) {
            std::error_code removeError;
            if (fs::remove(candidate, removeError) || !fs::exists(candidate)) {
                NamedMutexLock lock(kSpoolMutexName, kSpoolMutexTimeoutMs);
                tessaro::platform::IniDeleteKey(m_spoolIni, kFilesSection, candidate);
            }
            continue;
        }
        paths.push_back(std::move(candidate));
    }
    return paths;
}

bool TSMail::RestoreMessage(const std::string& path, CMailMessage& message) {
    NamedMutexLock lock;
    if (lock.Acquire(kSpoolMutexName, kSpoolMutexTimeoutMs) != 0) {
        std::string moved = MoveToUndeliverable(path);
        WriteMailLog(2,
                     "Message file mutex timed out while waiting to restore message - Undelivered message file "
                     "archived to '" +
                         moved + "'");
        return false;
    }
    // Marked after the round's listing (a spooling that failed half way): not to be sent.
    if (tessaro::platform::EqualsNoCase(tessaro::platform::IniGetString(m_spoolIni, kFilesSection, path, ""),
                                        kInactive))
        return false;
    if (!message.ReadFromSpool(path)) {
        lock.Release();
        std::string moved = MoveToUndeliverable(path);
        WriteMailLog(2, "Error attempting to read mail message from file '" + path + "' (" + message.GetTextField() +
                            ") - Undelivered message file archived to '" + moved + "'");
        return false;
    }
    if (message.server.empty()) message.server = m_settings->GetString("Mail", "MailServer", "");
    if (message.port == -1) message.port = static_cast<int>(m_settings->GetNumber("Mail", "SMTPPort", 25));
    if (message.timeout == -1) message.timeout = static_cast<int>(m_settings->GetNumber("Mail", "Timeout", 180));
    WriteMailLog(0, "Message restored (recipient='" + message.to + "', subject='" + message.subject + "')");
    return true;
}

bool TSMail::OpenMailer(const CMailMessage& message) {
    m_mailer = m_create ? m_create(&m_waitControl, nullptr, message.timeout) : nullptr;
    if (!m_mailer) {
        WriteMailLog(2, "Error attempting to allocate memory for mailer.");
        return false;
    }
    if (!m_mailer->Connect(message.server.c_str(), message.port)) {
        WriteMailLog(2, m_mailer->GetErrorText());
        m_delete(&m_mailer);
        return false;
    }
    m_openServer = message.server;
    m_openPort = message.port;
    m_openTimeout = message.timeout;
    return true;
}

void TSMail::CloseMailer() {
    if (!m_mailer) return;
    if (!m_mailer->Close()) WriteMailLog(2, m_mailer->GetErrorText());
    m_delete(&m_mailer);
}

std::string TSMail::MoveToUndeliverable(const std::string& path) {
    std::string target;
    long error = tessaro::platform::MakeTempFileName(m_undeliverableDirectory, "TSM", &target);
    std::error_code ec;
    // Renaming onto the reserved name replaces it in one step.
    if (error == 0) fs::rename(path, target, ec);
    if (error != 0 || ec) {
        if (error == 0) {
            error = tessaro::platform::Win32ErrorFromErrno(ec.value());
            fs::remove(target, ec);
        }
        WriteMailLog(2, "Unable to move message file '" + path + "' to undelivered folder, Windows NT error number " +
                            std::to_string(error) + " occurred.");
        MarkInactive(path);
        return "";
    }
    ForgetAttempts(path);
    return target;
}

void TSMail::MarkInactive(const std::string& path) {
    NamedMutexLock lock(kSpoolMutexName, kSpoolMutexTimeoutMs);
    tessaro::platform::IniWriteString(m_spoolIni, kFilesSection, path, kInactive);
}

bool TSMail::KeepForRetry(const std::string& path) {
    AttemptRecord& record = m_attempts[path];
    // A message's attempts follow its own schedule, one per timer period: the passes that
    // other messages start in between (a visitor's TSMAIL pages, say) try it again, but do
    // not use up its patience. A tenth of the period is the timer's leeway; a count from a
    // clock that has gone back since counts again at once.
    const std::int64_t leeway = m_attemptPeriodMs / 10;
    const bool counts = record.count == 0 || record.lastCountedMs <= 0 || record.lastCountedMs > m_passStartedMs ||
                        m_passStartedMs - record.lastCountedMs >= m_attemptPeriodMs - leeway;
    if (counts) {
        ++record.count;
        record.lastCountedMs = m_passStartedMs;
    }
    if (m_maxAttempts > 0 && record.count >= m_maxAttempts) {
        m_attempts.erase(path);
        return false;
    }
    return true;
}

void TSMail::ForgetAttempts(const std::string& path) {
    m_attempts.erase(path);
}

void TSMail::LoadAttempts() {
    m_attempts.clear();
    NamedMutexLock lock(kSpoolMutexName, kSpoolMutexTimeoutMs);
    auto read = [this](const std::string& file) {
        for (const auto& [key, count] : tessaro::platform::IniSectionEntries(file, kAttemptsSection)) {
            long n = std::strtol(count.c_str(), nullptr, 10);
            if (n > 0) m_attempts[key].count = std::max(m_attempts[key].count, n);
        }
    };
    read(m_attemptsIni);
    // A count without its time (an older engine's) counts its next attempt at once.
    for (const auto& [key, when] : tessaro::platform::IniSectionEntries(m_attemptsIni, kAttemptTimesSection)) {
        auto found = m_attempts.find(key);
        if (found != m_attempts.end()) found->second.lastCountedMs = std::strtoll(when.c_str(), nullptr, 10);
    }
    // Counts an older engine kept in SPOOL.INI itself move to their own file.
    if (!tessaro::platform::IniKeyNames(m_spoolIni, kAttemptsSection).empty()) {
        read(m_spoolIni);
        tessaro::platform::IniDeleteSection(m_spoolIni, kAttemptsSection);
    }
}

void TSMail::SaveAttempts(const std::set<std::string>* seen) {
    std::vector<std::pair<std::string, std::string>> counts, times;
    counts.reserve(m_attempts.size());
    times.reserve(m_attempts.size());
    for (const auto& [path, record] : m_attempts) {
        if (record.count <= 0 || (seen && !seen->count(path))) continue;
        counts.emplace_back(path, std::to_string(record.count));
        times.emplace_back(path, std::to_string(record.lastCountedMs));
    }
    NamedMutexLock lock(kSpoolMutexName, kSpoolMutexTimeoutMs);
    tessaro::platform::IniReplaceSection(m_attemptsIni, kAttemptsSection, counts);
    tessaro::platform::IniReplaceSection(m_attemptsIni, kAttemptTimesSection, times);
    m_attempts.clear();
}

void PostMailReady(TSMail& spooler) {
    spooler.NotifyMessagesReady();
    spooler.WriteMailLog(0, "Posted notification that messages are spooled and ready.");
}

std::uint32_t MailTimerPeriodMs() {
    return TimerPeriodMsOf(ReadTessaroSetting("Mail", "TimerSeconds", "180"));
}

void AttachMailWindow(TSMail& spooler, tessaro::platform::Window& window, const std::atomic<int>& listening) {
    // Passes run on the window thread: between messages it serves the rest of its work (a
    // close signal among it), and an engine that stops listening ends the pass there.
    spooler.AttachWindow([&window] { window.PostMessage(WM_MAILREADY); },
                         [&window, &listening] { return !window.PumpPendingMessages() || listening == 0; });
}

std::string MailerLibraryFileName(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string lower = LowerCopy(name);
    std::size_t so = lower.rfind(".so");
    if (so != std::string::npos && (so + 3 == lower.size() || lower[so + 3] == '.')) return name;
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) lower.resize(lower.size() - 4);
    return "lib" + lower + ".so";
}
