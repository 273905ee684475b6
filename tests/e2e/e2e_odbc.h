#pragma once
// One SQLite data source for the engine of an end-to-end test. The engine service takes its
// ODBC configuration from the environment it is installed from, so the configuration must be
// in place before InstallEngine.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/common/odbc_drivers.h"

namespace e2e {

inline bool SQLiteOdbcDriverInstalled() {
    return !tessaro::test::SQLiteOdbcDriverPath().empty();
}

// Writes <home>/odbc/odbcinst.ini and odbc.ini with the data source `dsn` over `databaseFile`
// and points ODBCSYSINI and ODBCINI at them; the variables are put back when destroyed.
class SQLiteDataSource {
public:
    SQLiteDataSource(const std::string& home, const std::string& dsn, const std::string& databaseFile) {
        std::string odbc = home + "/odbc";
        std::filesystem::create_directories(odbc);
        std::ofstream(odbc + "/odbcinst.ini")
            << "[Tessaro SQLite3]\nDriver=" << tessaro::test::SQLiteOdbcDriverPath() << "\n";
        std::ofstream(odbc + "/odbc.ini")
            << "[" << dsn << "]\nDriver=Tessaro SQLite3\nDatabase=" << databaseFile << "\nStepAPI=1\n";
        for (int i = 0; i < 2; ++i) {
            const char* value = std::getenv(kNames[i]);
            saved_[i] = value ? std::optional<std::string>(value) : std::nullopt;
        }
        setenv("ODBCSYSINI", odbc.c_str(), 1);
        setenv("ODBCINI", (odbc + "/odbc.ini").c_str(), 1);
    }
    ~SQLiteDataSource() {
        for (int i = 0; i < 2; ++i) {
            if (saved_[i])
                setenv(kNames[i], saved_[i]->c_str(), 1);
            else
                unsetenv(kNames[i]);
        }
    }
    SQLiteDataSource(const SQLiteDataSource&) = delete;
    SQLiteDataSource& operator=(const SQLiteDataSource&) = delete;

private:
    static constexpr const char* kNames[2] = {"ODBCSYSINI", "ODBCINI"};
    std::optional<std::string> saved_[2];
};

}  // namespace e2e
