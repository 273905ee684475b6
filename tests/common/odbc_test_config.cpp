#include "tests/common/odbc_test_config.h"

#include <cerrno>
#include <dlfcn.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

#include "tests/common/odbc_drivers.h"
#include "tests/common/service_account_home.h"

namespace tessaro::database {

namespace fs = std::filesystem;

OdbcTestConfig& OdbcTestConfig::Instance() {
    static OdbcTestConfig config;
    return config;
}

namespace {

// Removes the configuration directories of test programs that ended without cleaning up.
void RemoveAbandonedDirectories() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), ec)) {
        if (entry.path().filename().string().rfind("tessaro-odbc-", 0) != 0) continue;
        std::ifstream owner(entry.path() / "owner.pid");
        pid_t pid = 0;
        if (!(owner >> pid) || pid <= 0 || kill(pid, 0) == 0 || errno == EPERM) continue;
        fs::remove_all(entry.path(), ec);
    }
}

// The driver manager unloads drivers when their last connection closes; kept loaded, leak
// reports of a sanitizer build still name them (their caches are not the program's leaks).
void KeepLoaded(const std::string& library) {
    if (!library.empty()) dlopen(library.c_str(), RTLD_LAZY | RTLD_NODELETE);
}

}  // namespace

OdbcTestConfig::OdbcTestConfig() {
    RemoveAbandonedDirectories();
    const std::string sqliteDriver = tessaro::test::SQLiteOdbcDriverPath();
    const std::string postgresDriver = tessaro::test::PostgresOdbcDriverPath();
    KeepLoaded("libodbcinst.so.2");
    KeepLoaded(sqliteDriver);
    std::string pattern = (fs::temp_directory_path() / "tessaro-odbc-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create an ODBC test directory");
    dir_ = pattern;
    std::ofstream(dir_ + "/owner.pid") << getpid() << "\n";
    std::ofstream inst(dir_ + "/odbcinst.ini");
    inst << "[" << kSQLiteDriverName << "]\nDescription=SQLite3 ODBC driver\nDriver=" << sqliteDriver
         << "\nSetup=" << sqliteDriver << "\nThreading=2\n\n"
         << "[" << kPostgresDriverName << "]\nDescription=PostgreSQL ODBC driver\nDriver=" << postgresDriver << "\n";
    inst.close();
    std::ofstream(dir_ + "/odbc.ini").close();  // no system data sources
    // The engine reads the configuration and makes its databases there; run by root, the
    // engine runs as the service account.
    tessaro::test::GiveFolderToServiceAccount(dir_);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir_ + "/user-odbc.ini").c_str(), 1);
    AddSQLiteDsn(kDefaultDsn);
}

OdbcTestConfig::~OdbcTestConfig() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string OdbcTestConfig::AddSQLiteDsn(const std::string& name, const std::string& dbPath) {
    std::string path = dbPath.empty() ? dir_ + "/" + name + ".db" : dbPath;
    AddDsn(name, {{"Driver", kSQLiteDriverName},
                  {"Description", "Tessaro test database"},
                  {"Database", path},
                  {"Timeout", "10000"}});
    return path;
}

void OdbcTestConfig::AddDsn(const std::string& name, const std::map<std::string, std::string>& attributes) {
    // The PostgreSQL driver brings TLS, Kerberos and LDAP libraries with thread-local storage of
    // their own; only programs that use it load it.
    auto driver = attributes.find("Driver");
    if (driver != attributes.end() && driver->second == kPostgresDriverName)
        KeepLoaded(tessaro::test::PostgresOdbcDriverPath());
    dsns_[name] = attributes;
    WriteDataSources();
}

void OdbcTestConfig::WriteDataSources() const {
    // Written aside and renamed so that a reader never sees half a file.
    std::string target = dir_ + "/user-odbc.ini";
    std::string temp = target + ".new";
    {
        std::ofstream out(temp);
        for (const auto& [name, attributes] : dsns_) {
            out << "[" << name << "]\n";
            for (const auto& [key, value] : attributes) out << key << "=" << value << "\n";
            out << "\n";
        }
    }
    // The driver manager reads a user's data sources only from a file that user owns: run by
    // root, the engine reads them as the service account.
    tessaro::test::GiveFolderToServiceAccount(temp);
    fs::rename(temp, target);
}

}  // namespace tessaro::database
