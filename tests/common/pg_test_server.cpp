#include "tests/common/pg_test_server.h"

#include "tests/common/odbc_drivers.h"
#include "tests/common/odbc_test_config.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::database {

namespace fs = std::filesystem;

namespace {

bool HasServerPrograms(const fs::path& bin) {
    std::error_code ec;
    return fs::exists(bin / "initdb", ec) && fs::exists(bin / "pg_ctl", ec);
}

// The newest installed server version's binaries (Debian keeps each version in a folder of its
// own, off the PATH), else the folder on PATH that has them, or empty.
std::string FindPostgresBin() {
    std::error_code ec;
    std::string best;
    int bestVersion = -1;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        fs::path bin = entry.path() / "bin";
        if (!HasServerPrograms(bin)) continue;
        int version = std::atoi(entry.path().filename().c_str());
        if (version > bestVersion) {
            bestVersion = version;
            best = bin.string();
        }
    }
    if (!best.empty()) return best;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        fs::path folder = folders.substr(start, end - start);
        if (!folder.empty() && HasServerPrograms(folder)) return folder.string();
        start = end + 1;
    }
    return "";
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

constexpr const char* kOwnerFile = "owner.pid";

bool ProcessAlive(pid_t pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

void PgTestServer::StopAbandonedClusters() const {
    // A test program that crashed leaves its server running: stop those whose owner is gone.
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("tessaro-pg-", 0) != 0) continue;
        std::ifstream owner(entry.path() / kOwnerFile);
        pid_t pid = 0;
        if (!(owner >> pid) || ProcessAlive(pid)) continue;
        fs::path data = entry.path() / "data";
        if (fs::exists(data / "postmaster.pid", ec))
            Run(AsServerUser(bin_ + "/pg_ctl -D " + Quote(data.string()) + " -m immediate -w stop"));
        fs::remove_all(entry.path(), ec);
    }
}

PgTestServer& PgTestServer::Instance() {
    static PgTestServer server;
    return server;
}

bool PgTestServer::Run(const std::string& command, std::string* output) const {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return false;
    std::string text;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return status == 0;
}

std::string PgTestServer::AsServerUser(const std::string& command) const {
    if (!asPostgresUser_) return command;
    return "runuser -u postgres -- sh -c " + Quote(command);
}

PgTestServer::PgTestServer() {
    bin_ = FindPostgresBin();
    if (bin_.empty()) {
        reason_ =
            "PostgreSQL server binaries not installed (no initdb and pg_ctl in /usr/lib/postgresql/*/bin or on PATH)";
        return;
    }
    OdbcTestConfig& config = OdbcTestConfig::Instance();
    if (tessaro::test::PostgresOdbcDriverPath().empty()) {
        reason_ = "PostgreSQL ODBC driver (psqlodbcw.so) not found in the library folders";
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "tessaro-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        reason_ = "cannot create a directory for the PostgreSQL test cluster";
        return;
    }
    dir_ = pattern;
    if (geteuid() == 0) {
        // The server refuses to run as root.
        struct passwd* pw = getpwnam("postgres");
        if (!pw) {
            reason_ = "running as root and there is no postgres user to run the server as";
            return;
        }
        asPostgresUser_ = true;
        // Others (the engine, which runs as its service account) pass through to the socket.
        if (chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0 || chmod(dir_.c_str(), 0711) != 0) {
            reason_ = "cannot hand the cluster directory to the postgres user";
            return;
        }
    }
    std::ofstream(dir_ + "/" + kOwnerFile) << getpid() << "\n";
    StopAbandonedClusters();
    std::string data = dir_ + "/data";
    std::string output;
    if (!Run(AsServerUser(bin_ + "/initdb -D " + Quote(data) + " -A trust -U " + kUser +
                          " -E UTF8 --no-sync --no-instructions"),
             &output)) {
        reason_ = "initdb failed: " + output;
        return;
    }
    std::string options =
        "-k " + dir_ + " -p " + std::to_string(port_) + " -c listen_addresses= -c fsync=off -c max_connections=40";
    if (!Run(AsServerUser(bin_ + "/pg_ctl -D " + Quote(data) + " -l " + Quote(dir_ + "/log") + " -o " + Quote(options) +
                          " -w -t 60 start"),
             &output)) {
        reason_ = "pg_ctl start failed: " + output;
        return;
    }
    started_ = true;
    config.AddDsn(kDsn, {{"Driver", kPostgresDriverName},
                         {"Servername", dir_},
                         {"Port", std::to_string(port_)},
                         {"Database", "postgres"},
                         {"Username", kUser},
                         {"Password", ""}});
    available_ = true;
}

PgTestServer::~PgTestServer() {
    if (started_) Run(AsServerUser(bin_ + "/pg_ctl -D " + Quote(dir_ + "/data") + " -m immediate -w stop"));
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
}

}  // namespace tessaro::database
