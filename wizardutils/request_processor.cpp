#include "wizardutils/request_processor.h"

#include "support/text_helpers.h"
#include "wizardutils/catalog_handlers.h"
#include "wizardutils/odbc_data_source_list.h"
#include "wizardutils/request_file.h"

namespace tessaro::wizardutils {

namespace {

HandlerResult RunHandler(const std::string& type, const RequestSection& parameters, odbcENV& env) {
    std::string lower = LowerCopy(type);
    if (lower == "getdatasources") return GetDataSources(parameters, OdbcDataSourceFiles());
    if (lower == "gettablesfordatasource") return GetTablesForDataSource(env, parameters);
    if (lower == "getfieldsfortable") return GetFieldsForTable(env, parameters);
    if (lower == "getfieldsizesfortable") return GetFieldSizesForTable(env, parameters);
    if (lower == "getprimarykeysfortable") return GetPrimaryKeysForTable(env, parameters);
    if (lower == "getserversettings") return GetServerSettings(parameters);
    return {};  // an unknown type fails without a message
}

}  // namespace

int ProcessRequestFile(const std::string& path, odbcENV& env) {
    CRequestFile file(path);
    int answered = 0;
    for (const auto& [key, type] : file.ReadSection(kRequestsSection)) {
        HandlerResult result;
        try {
            result = RunHandler(type, file.ReadSection(key), env);
        } catch (...) {
            result = {};
            result.message = "Unable to diagnose error.";
        }
        for (const auto& [name, value] : result.answers) file.WriteValue(key + kResultsSuffix, name, value);
        if (!result.message.empty()) file.WriteValue(kMessagesSection, key, result.message);
        file.WriteValue(kResponsesSection, key, result.success ? "Success" : "Failure");
        ++answered;
    }
    return answered;
}

}  // namespace tessaro::wizardutils
