// A private ODBC configuration for tests: registers the installed SQLite and PostgreSQL drivers
// in a temporary directory, points the driver manager at it (ODBCSYSINI/ODBCINI) and creates
// data sources there. Never touches the machine's own ODBC configuration.
#pragma once

#include <map>
#include <string>

namespace tessaro::database {

inline constexpr const char* kSQLiteDriverName = "Tessaro SQLite3";
inline constexpr const char* kPostgresDriverName = "Tessaro PostgreSQL";

class OdbcTestConfig {
public:
    // The process-wide configuration, made at first use, removed at exit. Call it before the
    // first ODBC environment is allocated.
    static OdbcTestConfig& Instance();

    const std::string& Dir() const { return dir_; }
    // Adds (or replaces) a data source backed by a SQLite file; an empty path gives a fresh
    // file in the configuration directory. Returns the database file's path.
    std::string AddSQLiteDsn(const std::string& name, const std::string& dbPath = "");
    // Adds (or replaces) a data source with the given attributes (Driver=... included).
    void AddDsn(const std::string& name, const std::map<std::string, std::string>& attributes);
    // The name of the default SQLite data source, created with the configuration.
    static constexpr const char* kDefaultDsn = "tessaro_sqlite";

    OdbcTestConfig(const OdbcTestConfig&) = delete;
    OdbcTestConfig& operator=(const OdbcTestConfig&) = delete;
    ~OdbcTestConfig();

private:
    OdbcTestConfig();
    void WriteDataSources() const;

    std::string dir_;
    std::map<std::string, std::map<std::string, std::string>> dsns_;
};

}  // namespace tessaro::database
