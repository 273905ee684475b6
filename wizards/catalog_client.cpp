#include "wizards/catalog_client.h"

#include <cstdlib>
#include <map>

#include "platform/child_program.h"
#include "platform/file_system.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/private_file.h"
#include "wizardutils/request_file.h"

namespace tessaro::wizards {

using wizardutils::CRequestFile;

namespace {
constexpr int kTsutilsTimeoutSeconds = 120;

// "<type code>,<size>"; anything else leaves both unknown.
void ReadTypeAndSize(const std::string& answer, TDBTableField& field) {
    char* end = nullptr;
    long type = std::strtol(answer.c_str(), &end, 10);
    if (end == answer.c_str() || *end != ',') return;
    const char* sizeText = end + 1;
    long size = std::strtol(sizeText, &end, 10);
    if (end == sizeText || *end != '\0') return;
    field.DataType = static_cast<int>(type);
    field.ColumnSize = size > 0 ? size : 0;
}
}  // namespace

bool RunTsutils(const std::string& programDir, const std::string& requestFile) {
    return platform::RunProgramAndWait({platform::JoinPath(programDir, "tsutils"), requestFile},
                                       kTsutilsTimeoutSeconds) == 0;
}

CatalogClient::CatalogClient(std::string programDir, std::string requestDir, Runner runner)
    : programDir_(std::move(programDir)),
      requestFile_(platform::JoinPath(requestDir, wizardutils::kRequestFileName)),
      runner_(runner ? std::move(runner) : Runner(RunTsutils)) {}

std::string CatalogClient::DefaultRequestDirectory(const std::string& programDir) {
    if (platform::DirectoryWritable(programDir)) return programDir;
    std::string dir = platform::HomePath("tmp/wizards-" + std::to_string(platform::CurrentUserId()));
    platform::EnsurePrivateDirectory(dir);
    return dir;
}

void CatalogClient::StartBatch() {
    // No answer of an earlier batch may survive; the new file is private to this user.
    platform::RemoveFile(requestFile_);
    platform::CreateNewFile(requestFile_, 0600);
}

void CatalogClient::WriteTableRequest(const std::string& key, const char* type, const std::string& table,
                                      const TODBCDataSourceInfo& source) {
    CRequestFile file(requestFile_);
    file.WriteValue(wizardutils::kRequestsSection, key, type);
    file.WriteValue(key, "DataSourceName", source.DataSourceName);
    file.WriteValue(key, "TableName", table);
    file.WriteValue(key, "Username", source.UserName);
    file.WriteValue(key, "Password", source.Password);
}

bool CatalogClient::RunBatch() {
    return runner_(programDir_, requestFile_);
}

void CatalogClient::EndBatch() {
    platform::RemoveFile(requestFile_);
}

bool CatalogClient::Succeeded(const std::string& key) const {
    return CRequestFile(requestFile_).ReadValue(wizardutils::kResponsesSection, key, "") == "Success";
}

void CatalogClient::RequestServerSettings(TServerProfile& profile) {
    StartBatch();
    CRequestFile file(requestFile_);
    file.WriteValue(wizardutils::kRequestsSection, "ServerSettings", "GetServerSettings");
    file.WriteValue("ServerSettings", "MachineName", profile.ServerName);
    if (RunBatch() && Succeeded("ServerSettings")) {
        wizardutils::RequestSection answers =
            file.ReadSection(std::string("ServerSettings") + wizardutils::kResultsSuffix);
        profile.DocumentRoot = answers["WSDocumentRoot"];
        profile.TemplateDirectory = answers["TemplateDefault"];
        profile.GatewayPath = answers["WSCGIPath"] + "/";
    }
    EndBatch();
}

void CatalogClient::RequestDataSources(std::vector<std::string>& list) {
    StartBatch();
    CRequestFile file(requestFile_);
    file.WriteValue(wizardutils::kRequestsSection, "Request1", "GetDataSources");
    if (RunBatch() && Succeeded("Request1")) {
        for (auto& [name, value] : file.ReadSectionInOrder(std::string("Request1") + wizardutils::kResultsSuffix))
            list.push_back(name);
    }
    EndBatch();
}

void CatalogClient::RequestTablesForDataSource(const TODBCDataSourceInfo& source, std::vector<std::string>& list) {
    StartBatch();
    CRequestFile file(requestFile_);
    file.WriteValue(wizardutils::kRequestsSection, "Request1", "GetTablesForDataSource");
    file.WriteValue("Request1", "DataSourceName", source.DataSourceName);
    file.WriteValue("Request1", "Username", source.UserName);
    file.WriteValue("Request1", "Password", source.Password);
    if (RunBatch() && Succeeded("Request1")) {
        for (auto& [name, type] : file.ReadSectionInOrder(std::string("Request1") + wizardutils::kResultsSuffix))
            if (type == "TABLE" || type == "VIEW") list.push_back(name);
    }
    EndBatch();
}

void CatalogClient::RequestFieldsForTables(const std::vector<std::string>& tables, const TODBCDataSourceInfo& source,
                                           TDBTableFieldsList& fields) {
    if (tables.empty()) return;
    StartBatch();
    CRequestFile file(requestFile_);
    for (std::size_t i = 0; i < tables.size(); ++i) {
        WriteTableRequest("Request" + std::to_string(i), "GetFieldsForTable", tables[i], source);
        WriteTableRequest("Sizes" + std::to_string(i), "GetFieldSizesForTable", tables[i], source);
    }
    if (RunBatch()) {
        for (std::size_t i = 0; i < tables.size(); ++i) {
            std::string key = "Request" + std::to_string(i);
            if (!Succeeded(key)) continue;
            // Without sizes the columns are still there, of unknown size.
            std::map<std::string, std::string> sizes;
            std::string sizesKey = "Sizes" + std::to_string(i);
            if (Succeeded(sizesKey))
                for (auto& [name, size] : file.ReadSectionInOrder(sizesKey + wizardutils::kResultsSuffix))
                    sizes.emplace(name, size);
            for (auto& [name, type] : file.ReadSectionInOrder(key + wizardutils::kResultsSuffix)) {
                TDBTableField field;
                field.TableName = tables[i];
                field.FieldName = name;
                field.TypeName = type;
                ReadTypeAndSize(sizes[name], field);
                fields.Add(QualifiedName(tables[i], name), std::move(field));
            }
        }
    }
    EndBatch();
}

void CatalogClient::RequestKeyFields(const std::string& table, const TODBCDataSourceInfo& source,
                                     std::vector<std::string>& keys) {
    StartBatch();
    WriteTableRequest("Request1", "GetPrimaryKeysForTable", table, source);
    // The answers come in key order.
    if (RunBatch() && Succeeded("Request1")) {
        CRequestFile file(requestFile_);
        for (auto& [column, position] : file.ReadSectionInOrder(std::string("Request1") + wizardutils::kResultsSuffix))
            keys.push_back(column);
    }
    EndBatch();
}

void CatalogClient::RefreshTableFields(const std::vector<std::string>& tables, TDBTableFieldsList& fields,
                                       const TODBCDataSourceInfo& source) {
    for (std::size_t n = fields.Count(); n-- > 0;) {
        for (const std::string& table : tables) {
            if (fields.Fields(n).TableName == table) {
                fields.Delete(n);
                break;
            }
        }
    }
    RequestFieldsForTables(tables, source, fields);
}

}  // namespace tessaro::wizards
