// The insert/update engine behind TSINSERT, TSUPDATE and the Insert and Update
// actions: the submitted form's fields become one row of a table. Every name
// that reaches the statement is one the data source's catalog reported, each
// part quoted on its own; every value is a bound parameter. Values are checked
// against the column types before anything is sent, and an UPDATE changes only
// the row its key values select.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "database/access/data_source_login.h"

class CWDBBasePage;

struct CInsertUpdateRequest {
    bool insert = true;
    CDataSourceLogin login;
    std::string tableName;
    std::string tableOwner;
    std::string tableQualifier;
    // From FORMFIELDS (upper-cased); none: every form field but the reserved ones.
    std::optional<std::vector<std::string>> fieldList;

    const char* TagName() const { return insert ? "KSINSERT" : "KSUPDATE"; }
};

// FORMFIELDS: line feeds dropped, split at commas, items trimmed and upper-cased.
std::vector<std::string> ParseFormFieldList(const std::string& value);

// "{d '2024-01-31'}" -> "2024-01-31" (also {t ...} and {ts ...}); other text unchanged.
// A bound value is data, so the escape's own syntax must not reach the driver.
std::string UnwrapOdbcLiteral(const std::string& value);

// The name part between quote characters, the quote doubled inside; without a quote
// character (the driver has none) only a plain identifier is accepted.
std::string QuoteIdentifier(const std::string& name, const std::string& quote);

class CInsertUpdate {
public:
    // writeValidationPage(page, list) answers with the form-validation page.
    using ValidationWriter = std::function<void(const std::string& page, const std::string& list)>;

    CInsertUpdate(const CInsertUpdateRequest& request, CWDBBasePage& page, ValidationWriter writeValidationPage);

    // True when done; false when a value failed its column's check and the
    // validation page was written. Errors throw CWebException.
    bool Execute();
    // The statement sent (or about to be), for error reports and tests.
    const std::string& Statement() const { return m_statement; }

private:
    struct Column {
        std::string name;
        short sqlType = 0;
        long precision = 0;
        short scale = 0;
    };
    struct TableName {
        std::string qualifier, owner, table;
    };

    bool Run();
    TableName SplitTableName() const;
    void ReadColumns(const TableName& name);
    std::vector<std::string> ReadKey(const TableName& name);
    const Column* FindColumn(const std::string& field) const;
    [[noreturn]] void FieldNotFound(const std::string& field) const;
    bool CheckValues(std::vector<std::pair<std::string, std::string>>& fields);
    std::string ConvertValue(const std::string& value, const Column& column) const;
    std::string QualifiedTableName() const;

    const CInsertUpdateRequest& m_request;
    CWDBBasePage& m_page;
    ValidationWriter m_writeValidationPage;
    std::string m_quote;
    std::vector<Column> m_columns;
    // The table as the catalog names it.
    TableName m_table;
    std::string m_statement;
};
