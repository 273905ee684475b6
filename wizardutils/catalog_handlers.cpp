#include "wizardutils/catalog_handlers.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "database/odbc/odbc_catalog_iterators.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_env.h"
#include "support/registry.h"
#include "wizardutils/odbc_data_source_list.h"

namespace tessaro::wizardutils {

namespace {

constexpr long kRemoteUnavailable = 1722;

std::string Parameter(const RequestSection& parameters, const char* name, bool* present = nullptr) {
    auto it = parameters.find(name);
    if (present) *present = it != parameters.end();
    return it == parameters.end() ? "" : it->second;
}

HandlerResult Failure(std::string message) {
    HandlerResult result;
    result.message = std::move(message);
    return result;
}

// A connection that is closed and freed however the handler leaves.
class OpenDataSource {
public:
    OpenDataSource(odbcENV& env, const RequestSection& parameters) {
        conn_ = std::make_unique<odbcCONNECT>(&env, static_cast<char*>(nullptr), nullptr, nullptr, 0);
        // Diagnostics are fetched for the message but never put in front of a user.
        conn_->AutoRetrieve(1);
        conn_->AutoReport(0);
        if (!conn_->GetHdbc()) return;
        conn_->SetConnectOption(SQL_ODBC_CURSORS, SQL_CUR_USE_IF_NEEDED);
        std::string in = DataSourceConnectionString(parameters);
        char out[256] = {};
        short rc = conn_->DriverConnectComplete(nullptr, in.data(), out, 255);
        open_ = (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && conn_->Connected();
    }
    ~OpenDataSource() {
        if (open_) conn_->Disconnect();
    }
    OpenDataSource(const OpenDataSource&) = delete;
    OpenDataSource& operator=(const OpenDataSource&) = delete;

    bool open() const { return open_; }
    odbcCONNECT* get() const { return conn_.get(); }

private:
    std::unique_ptr<odbcCONNECT> conn_;
    bool open_ = false;
};

}  // namespace

std::string DataSourceConnectionString(const RequestSection& parameters) {
    std::string text = "DSN=" + Parameter(parameters, "DataSourceName") + ";";
    std::string user = Parameter(parameters, "Username");
    std::string password = Parameter(parameters, "Password");
    if (!user.empty()) text += "UID=" + user + ";";
    if (!password.empty()) text += "PWD=" + password + ";";
    return text;
}

HandlerResult GetDataSources(const RequestSection&, const std::vector<std::string>& odbcFiles) {
    HandlerResult result;
    for (const DataSourceEntry& source : ListOdbcDataSources(odbcFiles))
        result.answers.emplace_back(source.name, source.defined ? "TRUE" : "FALSE");
    if (result.answers.empty()) return Failure("No ODBC datasources listed.");
    result.success = true;
    return result;
}

HandlerResult GetTablesForDataSource(odbcENV& env, const RequestSection& parameters) {
    bool present = false;
    Parameter(parameters, "DataSourceName", &present);
    if (!present) return Failure("Missing required parameter, 'DataSourceName'.");
    OpenDataSource source(env, parameters);
    if (!source.open()) return Failure("Unable to open datasource.");
    odbcTableIterator tables(source.get(), static_cast<char*>(nullptr), nullptr, nullptr, nullptr);
    if (!tables.sqlsuccess()) return Failure("Unable to get the table collection.");
    sSQLTABLESRESULTSET* row = tables.pTablesResultSet();
    if (!row) return Failure("Unable to get the table result set.");
    HandlerResult result;
    for (int ok = tables.GetFirst(); ok; ok = tables.GetNext())
        result.answers.emplace_back(row->TABLE_NAME, row->TABLE_TYPE);
    if (result.answers.empty()) {
        result.message = "No tables listed.";
        return result;
    }
    result.success = true;
    return result;
}

namespace {

// One answer per column of the table, COLUMN_NAME = what `value` makes of its catalogue row.
template <typename Value>
HandlerResult AnswerPerColumn(odbcENV& env, const RequestSection& parameters, Value value) {
    bool present = false;
    Parameter(parameters, "DataSourceName", &present);
    if (!present) return Failure("Missing required parameter, 'DatasourceName'.");
    std::string table = Parameter(parameters, "TableName", &present);
    if (!present) return Failure("Missing required parameter, 'TableName'.");
    OpenDataSource source(env, parameters);
    if (!source.open()) return Failure("Unable to diagnose error.");
    auto columns =
        std::make_unique<odbcColumnIterator>(source.get(), static_cast<char*>(nullptr), nullptr, table.data(), nullptr);
    if (!columns) return Failure("Unable to construct the columns collection.");
    if (!columns->sqlsuccess()) return Failure("Unable to obtain the columns collection.");
    sSQLCOLUMNSRESULTSET* row = columns->pColumnsResultSet();
    if (!row) return Failure("Unable to construct the field result set.");
    HandlerResult result;
    if (!columns->GetFirst()) return Failure("Unable to find any fields.");
    do {
        result.answers.emplace_back(row->COLUMN_NAME, value(*row));
    } while (columns->GetNext());
    result.success = true;
    return result;
}

}  // namespace

HandlerResult GetFieldsForTable(odbcENV& env, const RequestSection& parameters) {
    return AnswerPerColumn(env, parameters, [](const sSQLCOLUMNSRESULTSET& row) { return std::string(row.TYPE_NAME); });
}

HandlerResult GetFieldSizesForTable(odbcENV& env, const RequestSection& parameters) {
    return AnswerPerColumn(env, parameters, [](const sSQLCOLUMNSRESULTSET& row) {
        return std::to_string(row.DATA_TYPE) + "," + std::to_string(row.PRECISION);
    });
}

HandlerResult GetPrimaryKeysForTable(odbcENV& env, const RequestSection& parameters) {
    bool present = false;
    Parameter(parameters, "DataSourceName", &present);
    if (!present) return Failure("Missing required parameter, 'DataSourceName'.");
    std::string table = Parameter(parameters, "TableName", &present);
    if (!present) return Failure("Missing required parameter, 'TableName'.");
    OpenDataSource source(env, parameters);
    if (!source.open()) return Failure("Unable to open datasource.");
    std::vector<std::pair<short, std::string>> key;
    source.get()->PrimaryKeys(
        nullptr, nullptr, table.data(),
        [](const sPRIMARYKEYSRESULTSET& row, void* context) -> short {
            static_cast<std::vector<std::pair<short, std::string>>*>(context)->emplace_back(row.KEY_SEQ,
                                                                                            row.column_name);
            return 0;
        },
        &key);
    std::sort(key.begin(), key.end());
    HandlerResult result;
    for (const auto& [position, column] : key) result.answers.emplace_back(column, std::to_string(position));
    result.success = true;
    return result;
}

HandlerResult GetServerSettings(const RequestSection& parameters) {
    try {
        std::string machine = Parameter(parameters, "MachineName");
        std::unique_ptr<CRegistryKey> root;
        if (machine.empty())
            root = std::make_unique<CRegistryKey>(HKEY_LOCAL_MACHINE, false);
        else
            root = CRegistryKey::ConnectRemote("\\\\" + machine, HKEY_LOCAL_MACHINE);
        CRegistryKey tessaro(*root, kTessaroRegistryRoot, KEY_ALL_ACCESS);
        CRegistrySettings settings(&tessaro);
        HandlerResult result;
        result.answers.emplace_back("WSCGIPath", settings.GetString("Server", "WSCGIPath", ""));
        result.answers.emplace_back("WSDocumentRoot", settings.GetString("Server", "WSDocumentRoot", ""));
        result.answers.emplace_back("TemplateDefault", settings.GetString("Templates", "/", ""));
        result.success = true;
        return result;
    } catch (CRegistryException* e) {
        std::unique_ptr<CRegistryException> owned(e);
        if (e->GetErrorCode() == kRemoteUnavailable) return Failure("Unable to connect to remote computer.");
        return Failure(e->GetErrorMessage());
    } catch (...) {
        return Failure("Unable to diagnose error.");
    }
}

}  // namespace tessaro::wizardutils
