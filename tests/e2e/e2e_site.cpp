#include "e2e_site.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.h"
#include "platform/registry_store.h"
#include "platform/service_account.h"
#include "platform/service_manager.h"
#include "tests/common/file_text.h"

namespace e2e {

namespace plat = tessaro::platform;

constexpr const char* kEngineService = "Brendlow Tessaro 2.0";

std::string BuiltProgram(const std::string& name) {
    return std::string(TESSARO_BINARY_DIR) + "/bin/" + name;
}

Site::Site() {
    docs_ = home_.path() + "/web/docs";
    std::filesystem::create_directories(home_.path() + "/log");
    SetSetting("Logging", "LogFilePath", home_.path() + "/log");
    // lighttpd runs the gateway only for files that exist.
    for (const char* page : {"x.tsm", "y.ksm", "up.tsm", "sub/z.tsm"})
        WriteDocument(page, "<P>template " + std::string(page) + "\n");
}

Site::~Site() {
    server_.reset();
    StopEngine();
    plat::RegCloseThreadConnections();
}

void Site::WriteDocument(const std::string& relative, const std::string& text) const {
    std::filesystem::path path = docs_ + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    // With it, what the test made beside it for the page to change.
    GiveToEngineAccount(docs_);
}

void Site::GiveToEngineAccount(const std::string& path) const {
    struct stat root {};
    if (::geteuid() != 0 || ::stat(home().c_str(), &root) != 0 || root.st_uid == 0) return;
    plat::AccountIdentity account;
    if (!plat::LookUpAccountById(root.st_uid, account)) return;
    auto give = [&](const std::filesystem::path& p) { ::lchown(p.c_str(), account.uid, account.gid); };
    std::error_code ec;
    for (std::filesystem::path p = path; p.string().size() > home().size() && p.string().rfind(home(), 0) == 0;
         p = p.parent_path())
        give(p);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ec)))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ec)) give(entry.path());
}

bool Site::InstallEngine() {
    if (!SetSetting("Templates", "/", docs_)) return false;
    if (RunProgram({BuiltProgram("tsengine"), "-INSTALL"}) != 0) return false;
    engine_installed_ = true;
    return EngineState() == plat::SERVICE_STOPPED;
}

std::uint32_t Site::EngineState() const {
    std::uint32_t state = 0;
    plat::SC_HANDLE manager = plat::OpenSCManager(plat::GENERIC_READ_ACCESS);
    if (!manager) return 0;
    if (plat::SC_HANDLE service = plat::OpenService(manager, kEngineService, plat::GENERIC_READ_ACCESS)) {
        plat::SERVICE_STATUS status;
        if (plat::QueryServiceStatus(service, &status)) state = status.dwCurrentState;
        plat::CloseServiceHandle(service);
    }
    plat::CloseServiceHandle(manager);
    return state;
}

pid_t Site::EnginePid() const {
    std::ifstream status(plat::ScmServiceDirectory(kEngineService) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Pid=", 0) == 0) return static_cast<pid_t>(std::atol(line.c_str() + 4));
    return -1;
}

void Site::StopEngine() {
    if (!engine_installed_) return;
    RunProgram({BuiltProgram("tsscm"), "stop", kEngineService, "--wait", "15"});
    pid_t pid = EnginePid();
    if (pid > 0 && ProcessRunning(pid) && EngineState() != plat::SERVICE_STOPPED) ::kill(pid, SIGKILL);
}

bool Site::StartWebServer(const std::map<std::string, std::string>& environment) {
    LighttpdOptions options;
    options.work_dir = home_.path() + "/web";
    options.document_root = docs_;
    options.ksml = BuiltProgram("ksml");
    options.home = home_.path();
    options.environment = environment;
    server_ = std::make_unique<LighttpdServer>(options);
    return server_->running();
}

bool Site::SetSetting(const std::string& section, const std::string& name, const std::string& value) {
    plat::HKEY key = nullptr;
    std::string path = std::string("SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\") + section;
    if (plat::RegCreateKey(plat::HKEY_LOCAL_MACHINE, path, &key) != 0) return false;
    bool ok = plat::RegSetString(key, name, value) == 0;
    plat::RegCloseKey(key);
    return ok;
}

std::string Site::ReadHomeFile(const std::string& relative) const {
    return tessaro::test::ReadFileText(home_.path() + "/" + relative);
}

}  // namespace e2e
