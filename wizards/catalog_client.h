// The wizards' side of the catalogue questions: each batch is written into the request
// file, tsutils answers it, and the answers are read back. The wizards never open a
// database themselves.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "wizards/wizard_data.h"

namespace tessaro::wizards {

class CatalogClient {
public:
    // Runs tsutils on the request file; true when it ran. Tests replace it.
    using Runner = std::function<bool(const std::string& programDir, const std::string& requestFile)>;

    // programDir holds tsutils; requestDir is where the request file is written.
    CatalogClient(std::string programDir, std::string requestDir, Runner runner = {});

    // The program folder when writable, else a private folder of this user below the runtime
    // root, since the file carries the data source password.
    static std::string DefaultRequestDirectory(const std::string& programDir);

    const std::string& RequestFilePath() const { return requestFile_; }

    void RequestServerSettings(TServerProfile& profile);
    void RequestDataSources(std::vector<std::string>& list);
    void RequestTablesForDataSource(const TODBCDataSourceInfo& source, std::vector<std::string>& list);
    void RequestFieldsForTables(const std::vector<std::string>& tables, const TODBCDataSourceInfo& source,
                                TDBTableFieldsList& fields);
    // The columns of the table's primary key in key order; empty when it has none.
    void RequestKeyFields(const std::string& table, const TODBCDataSourceInfo& source, std::vector<std::string>& keys);
    // Drops the fields of `tables` from `fields`, then asks for them again.
    void RefreshTableFields(const std::vector<std::string>& tables, TDBTableFieldsList& fields,
                            const TODBCDataSourceInfo& source);

private:
    void StartBatch();
    void WriteTableRequest(const std::string& key, const char* type, const std::string& table,
                           const TODBCDataSourceInfo& source);
    bool RunBatch();
    void EndBatch();
    bool Succeeded(const std::string& key) const;

    std::string programDir_;
    std::string requestFile_;
    Runner runner_;
};

// Starts <programDir>/tsutils "<requestFile>" and waits for it (120 s at most).
bool RunTsutils(const std::string& programDir, const std::string& requestFile);

}  // namespace tessaro::wizards
