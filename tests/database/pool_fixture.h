// Set-up shared by the pool, request-set and login-store tests: a fresh TESSARO_HOME with
// its own registry, the private ODBC configuration with a fresh SQLite data source, and a
// settings object over the registry root.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "database/access/data_source_login.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "database/odbc/odbc_env.h"
#include "database/odbc/odbc_stmt.h"
#include "support/registry.h"
#include "support/web_exception.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/temp_home.h"

namespace tessaro::database::testing {

class PoolFixture : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        root_ = OpenTessaroRootKey();
        settings_ = std::make_unique<CRegistrySettings>(root_.get());
        // The driver manager caches its data sources, so the process's one SQLite database
        // is shared; the tables these tests make are dropped first.
        OdbcTestConfig::Instance();
        odbcENV env;
        odbcCONNECT* connect =
            env.AllocConnect(const_cast<char*>(kDsn), const_cast<char*>(""), const_cast<char*>(""), 0);
        ASSERT_TRUE(connect && connect->Connected());
        for (const char* table : {"t", "items"}) {
            std::string sql = std::string("DROP TABLE IF EXISTS ") + table;
            odbcSTMT drop(connect, sql.c_str(), 0, 1, nullptr, 0, nullptr);
        }
        env.DeAllocConnect(connect);
    }
    void TearDown() override {
        settings_.reset();
        root_.reset();
        TempHomeTest::TearDown();
    }

    static constexpr const char* kDsn = OdbcTestConfig::kDefaultDsn;

    static CDataSourceLogin Login(const std::string& user = "", const std::string& password = "",
                                  const std::string& dataSource = kDsn) {
        return CDataSourceLogin{dataSource, user, password};
    }
    void Set(const std::string& section, const std::string& name, const std::string& text) {
        settings_->Set(section, name, text);
    }
    std::string Get(const std::string& section, const std::string& name) {
        return settings_->GetString(section, name, "<missing>");
    }
    CRegistrySettings* settings() const { return settings_.get(); }

    // Runs SELECT COUNT(*) on the cursor, which the caller's connection owns.
    static long CountRows(odbcCURSOR* cursor, const std::string& table) {
        cursor->ExecDirect(("SELECT COUNT(*) FROM " + table).c_str());
        char text[32] = {};
        SQLLEN length = 0;
        cursor->BindCol(1, SQL_C_CHAR, text, sizeof text, &length);
        cursor->Fetch();
        cursor->Close();
        return std::atol(text);
    }

    // Runs body, expecting it to throw a CWebException (or a class derived from it); the
    // exception's message and detail come back, "" when nothing was thrown.
    template <class Body>
    static std::pair<std::string, std::string> Thrown(Body body, bool* odbc = nullptr) {
        try {
            body();
        } catch (CWebException* e) {
            std::pair<std::string, std::string> texts(e->GetMessage(), e->GetDetail());
            if (odbc) *odbc = dynamic_cast<CWebODBCException*>(e) != nullptr;
            e->Delete();
            return texts;
        }
        return {};
    }

private:
    std::unique_ptr<CRegistryKey> root_;
    std::unique_ptr<CRegistrySettings> settings_;
};

}  // namespace tessaro::database::testing
