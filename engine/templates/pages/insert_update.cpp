#include "engine/templates/pages/insert_update.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <deque>
#include <memory>

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_stmt.h"
#include "database/access/request_data_sources.h"
#include "engine/server/field_rules.h"
#include "engine/server/form_field_list.h"
#include "support/number_parse.h"
#include "engine/server/request_reader.h"
#include "support/text_helpers.h"
#include "support/timestamp_literal.h"
#include "support/web_exception.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/pages/wdb_base_page.h"
#include "platform/clock.h"

namespace {

// The row id of a SQLite table, which selects the row of a table without a declared key.
const char* const kRowIdField = "_ROWID_";

const char* const kReservedFields[] = {"DATASOURCE",     "TABLENAME", "TABLEOWNER",
                                       "TABLEQUALIFIER", "NEXTPAGE",  "FIELDNAMES"};

bool IsReserved(const std::string& upperName) {
    for (const char* reserved : kReservedFields)
        if (upperName == reserved) return true;
    return false;
}

bool IsNumericType(short t) {
    return t == SQL_TINYINT || t == SQL_BIGINT || (t >= SQL_NUMERIC && t <= SQL_DOUBLE);
}

bool IsDateType(short t) {
    return t == SQL_DATE || t == SQL_TYPE_DATE;
}
bool IsTimestampType(short t) {
    return t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP;
}

// The date rule keeps the date alone, which would drop the time of a timestamp column's
// value; this one keeps both.
class CTimestampRule : public CDateTimeRule {
public:
    CTimestampRule() : CDateTimeRule("_TIMESTAMP") {}
    tessaro::foundation::DateTextParts GetParseParts() const override {
        return tessaro::foundation::DateTextParts::DateAndTime;
    }
    std::string Format(const tessaro::foundation::ParsedDateTime& d) const override {
        return FormatTimestampLiteral(d.year, d.month, d.day, d.hour, d.minute, d.second);
    }
};

bool IsLongType(short t) {
    return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY || t == SQL_WLONGVARCHAR;
}

bool SameName(const std::string& a, const std::string& b) {
    return UpperCopy(a) == UpperCopy(b);
}

char* Pattern(std::string& text) {
    return text.empty() ? nullptr : text.data();
}

}  // namespace

std::vector<std::string> ParseFormFieldList(const std::string& value) {
    std::vector<std::string> fields;
    std::string text = RemoveChar(value, '\n');
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) fields.push_back(UpperCopy(TrimmedCopy(item)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

std::string UnwrapOdbcLiteral(const std::string& value) {
    std::string text = TrimmedCopy(value);
    if (text.size() < 6 || text.front() != '{' || text.back() != '}') return value;
    std::size_t open = text.find('\'');
    std::size_t close = text.rfind('\'');
    if (open == std::string::npos || close <= open) return value;
    std::string kind = UpperCopy(TrimmedCopy(text.substr(1, open - 1)));
    if (kind != "D" && kind != "T" && kind != "TS") return value;
    if (!TrimmedCopy(text.substr(close + 1, text.size() - close - 2)).empty()) return value;
    return text.substr(open + 1, close - open - 1);
}

std::string QuoteIdentifier(const std::string& name, const std::string& quote) {
    if (quote.empty()) {
        bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
        for (char ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') plain = false;
        if (!plain)
            throw new CWebException("Invalid ODBC identifier",
                                    CWebMessage("The name '") + name +
                                        "' cannot be used in a statement: the data source has no identifier quote "
                                        "character and the name is not a plain identifier.");
        return name;
    }
    std::string quoted = quote;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, quote.size(), quote) == 0) {
            quoted += quote + quote;
            i += quote.size() - 1;
        } else {
            quoted += name[i];
        }
    }
    return quoted + quote;
}

CInsertUpdate::CInsertUpdate(const CInsertUpdateRequest& request, CWDBBasePage& page,
                             ValidationWriter writeValidationPage)
    : m_request(request), m_page(page), m_writeValidationPage(std::move(writeValidationPage)) {}

CInsertUpdate::TableName CInsertUpdate::SplitTableName() const {
    const std::string& name = m_request.tableName;
    if (!m_request.tableOwner.empty() || !m_request.tableQualifier.empty())
        return {m_request.tableQualifier, m_request.tableOwner, name};
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = name.find('.', start);
        parts.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() > 3)
        throw new CWebException("Invalid ODBC table name (contains more than 2 qualifiers)",
                                CWebMessage("Table Name = '") + name + "'");
    if (parts.size() == 3) return {parts[0], parts[1], parts[2]};
    if (parts.size() == 2) return {"", parts[0], parts[1]};
    return {"", "", parts[0]};
}

void CInsertUpdate::ReadColumns(const TableName& name) {
    struct Reading {
        const TableName* wanted;
        TableName found;
        bool any = false;
        std::vector<Column>* columns;
    } reading{&name, {}, false, &m_columns};
    // The catalog takes the names as patterns ("_" and "%" match anything), so only
    // rows naming exactly the requested table count, and only those of one table.
    auto collect = [](const sSQLCOLUMNSRESULTSET& row, void* context) -> short {
        auto& r = *static_cast<Reading*>(context);
        if (!SameName(row.TABLE_NAME, r.wanted->table)) return 0;
        if (!r.wanted->owner.empty() && !SameName(row.TABLE_OWNER, r.wanted->owner)) return 0;
        if (!r.wanted->qualifier.empty() && !SameName(row.TABLE_QUALIFIER, r.wanted->qualifier)) return 0;
        TableName here{row.TABLE_QUALIFIER, row.TABLE_OWNER, row.TABLE_NAME};
        if (!r.any) {
            r.found = here;
            r.any = true;
        } else if (here.qualifier != r.found.qualifier || here.owner != r.found.owner || here.table != r.found.table) {
            return 0;
        }
        r.columns->push_back(Column{row.COLUMN_NAME, row.DATA_TYPE, static_cast<long>(row.PRECISION), row.SCALE});
        return 0;
    };
    TableName pattern = name;
    odbcCONNECT* connect = RequestDataSourcesOf(m_page).GetConnect(m_request.login);
    connect->EnumColumns(Pattern(pattern.qualifier), Pattern(pattern.owner), Pattern(pattern.table), nullptr, collect,
                         &reading);
    if (m_columns.empty())
        throw new CWebException(
            CWebMessage("The table '") + m_request.tableName + "' was not found in the data source '" +
                m_request.login.dataSource + "'.",
            "This error may have been caused by not specifying the table name in the format which the ODBC data "
            "source expects (e.g. SQL Server table names must be qualified with the database name and table owner, "
            "as in 'customers.dbo.orders').<P>");
    // Only the parts the author gave are written; the catalog's spelling is used.
    m_table.table = reading.found.table;
    if (!name.owner.empty()) m_table.owner = reading.found.owner;
    if (!name.qualifier.empty()) m_table.qualifier = reading.found.qualifier;
}

std::vector<std::string> CInsertUpdate::ReadKey(const TableName& name) {
    TableName catalog{name.qualifier.empty() ? std::string() : m_table.qualifier,
                      name.owner.empty() ? std::string() : m_table.owner, m_table.table};
    odbcCONNECT* connect = RequestDataSourcesOf(m_page).GetConnect(m_request.login);
    std::vector<std::pair<short, std::string>> primary;
    connect->PrimaryKeys(
        Pattern(catalog.qualifier), Pattern(catalog.owner), catalog.table.data(),
        [](const sPRIMARYKEYSRESULTSET& row, void* context) -> short {
            static_cast<std::vector<std::pair<short, std::string>>*>(context)->emplace_back(row.KEY_SEQ,
                                                                                            row.column_name);
            return 0;
        },
        &primary);
    std::vector<std::string> key;
    std::sort(primary.begin(), primary.end());
    for (const auto& [seq, column] : primary) key.push_back(column);
    if (key.empty()) {
        connect->EnumSpecialColumns(
            SQL_BEST_ROWID, Pattern(catalog.qualifier), Pattern(catalog.owner), catalog.table.data(), SQL_SCOPE_CURROW,
            SQL_NULLABLE,
            [](const sSQLSPECIALCOLRESULTSET& row, void* context) -> short {
                static_cast<std::vector<std::string>*>(context)->push_back(row.COLUMN_NAME);
                return 0;
            },
            &key);
    }
    // A table without a declared key still has its row id there.
    if (key.empty() && connect->IsSQLiteDriver()) key.push_back(kRowIdField);
    if (key.empty())
        throw new CWebException(
            CWebMessage("Primary key not found for table ") + m_request.tableName + ".",
            CWebMessage("The table you are attempting to UPDATE (") + m_request.tableName +
                ") does not have a primary key (a field or set of fields which uniquely identify each record).<P>In "
                "order to update rows in a table you must have a primary key. If your database system does not "
                "support direct specification of primary keys then you can usually create one yourself by adding a "
                "unique index to one of the fields in your table.");
    CRequestReader* reader = m_page.GetReader();
    for (const std::string& column : key) {
        if (!reader->HasFormField(column))
            throw new CWebException(CWebMessage("Primary key field ") + column + " not found.",
                                    CWebMessage("The field ") + column +
                                        " was not found in the Form input. This field is required in order to do an "
                                        "UPDATE because it is part of the primary key for the " +
                                        m_request.tableName + " table.");
        // Without a value the WHERE clause would select no row, or with NULL
        // semantics of some drivers every row: the UPDATE is refused.
        if (reader->GetFormField(column).empty())
            throw new CWebException(CWebMessage("Primary key field ") + column + " is empty.",
                                    CWebMessage("The field ") + column +
                                        " has no value in the Form input. An UPDATE needs a value for every field of "
                                        "the primary key of the " +
                                        m_request.tableName +
                                        " table, so that it changes only the row that key identifies.");
    }
    return key;
}

const CInsertUpdate::Column* CInsertUpdate::FindColumn(const std::string& field) const {
    std::string upper = UpperCopy(field);
    for (const Column& column : m_columns)
        if (UpperCopy(column.name) == upper) return &column;
    return nullptr;
}

void CInsertUpdate::FieldNotFound(const std::string& field) const {
    throw new CWebException("Field name not found in the specified table.",
                            CWebMessage("Table = '") + m_request.tableName + "' Field = '" + field + "'");
}

bool CInsertUpdate::CheckValues(std::vector<std::pair<std::string, std::string>>& fields) {
    CFormFieldList checked;
    for (const auto& [name, value] : fields) {
        const Column* column = FindColumn(name);
        // A table without a declared key is updated by its row id, a number but no column.
        if (column == nullptr && !m_request.insert && SameName(name, kRowIdField)) {
            checked.Add(name + "_FLOAT", "");
            checked.Add(name, value);
            continue;
        }
        if (column == nullptr) FieldNotFound(name);
        if (IsNumericType(column->sqlType)) checked.Add(name + "_FLOAT", "");
        if (IsDateType(column->sqlType)) checked.Add(name + "_DATE", "");
        if (IsTimestampType(column->sqlType)) checked.Add(name + "_TIMESTAMP", "");
        checked.Add(name, value);
    }
    CFieldRuleSet rules;
    rules.AddRule(std::make_unique<CFloatRule>());
    rules.AddRule(std::make_unique<CDateTimeRule>());
    rules.AddRule(std::make_unique<CTimestampRule>());
    std::string list, page;
    if (!rules.WriteErrorPage(checked, "", list, "", page)) {
        m_writeValidationPage(page, list);
        return false;
    }
    // The rules rewrite the values they accept into one shape.
    for (auto& [name, value] : fields) value = checked.GetValue(name);
    return true;
}

std::string CInsertUpdate::ConvertValue(const std::string& value, const Column& column) const {
    std::string result = value;
    std::string squeezed = UpperCopy(RemoveWhitespace(value));
    const std::time_t now = std::time(nullptr);
    const std::string date = tessaro::platform::FormatLocalTime(now, "%Y-%m-%d");
    const std::string time = tessaro::platform::FormatLocalTime(now, "%H:%M:%S");
    CRequestReader* reader = m_page.GetReader();
    if (squeezed == "CURRENTTIME()")
        result = time;
    else if (squeezed == "CURRENTDATE()")
        result = date;
    else if (squeezed == "CURRENTDATETIME()")
        result = date + " " + time;
    else if (squeezed == "REMOTEADDRESS()")
        result = reader->GetCgiVariable("REMOTE_ADDR");
    else if (value.rfind("CGI.", 0) == 0 && reader->HasCgiVariable(value.substr(4)))
        result = reader->GetCgiVariable(value.substr(4));
    if (column.sqlType == SQL_BIT) result = ParseBoolean(result) == BOOLEAN_FALSE ? "0" : "1";
    return UnwrapOdbcLiteral(result);
}

std::string CInsertUpdate::QualifiedTableName() const {
    std::string name = QuoteIdentifier(m_table.table, m_quote);
    if (!m_table.owner.empty()) name = QuoteIdentifier(m_table.owner, m_quote) + "." + name;
    if (!m_table.qualifier.empty()) {
        CRequestDataSources& sources = RequestDataSourcesOf(m_page);
        std::string separator = sources.GetQualifierSeparator(m_request.login);
        if (separator.empty()) separator = ".";
        std::string qualifier = QuoteIdentifier(m_table.qualifier, m_quote);
        name = sources.GetQualifierLocation(m_request.login) == SQL_QL_START ? qualifier + separator + name
                                                                             : name + separator + qualifier;
    }
    return name;
}

bool CInsertUpdate::Execute() {
    try {
        return Run();
    } catch (CWebException* e) {
        if (m_page.IsSQLDebugOn()) {
            e->AppendDetail(CWebMessage("Data Source = \"") + m_request.login.dataSource + "\"");
            if (!m_statement.empty()) e->AppendDetail(CWebMessage("SQL = \"") + m_statement + "\"");
        }
        m_page.SetCloseConnections(true);
        throw;
    }
}

bool CInsertUpdate::Run() {
    CRequestDataSources& sources = RequestDataSourcesOf(m_page);
    m_quote = TrimmedCopy(sources.GetIdentifierQuoteChar(m_request.login));

    std::vector<std::pair<std::string, std::string>> fields;
    const CFormFieldList& form = m_page.GetReader()->GetFormFields();
    for (int i = 0; i < form.GetCount(); ++i) {
        std::string name, value;
        form.GetAt(i, name, value);
        std::string upper = UpperCopy(name);
        if (IsReserved(upper) || m_page.FindValidationRule(upper) != nullptr) continue;
        if (m_request.fieldList) {
            bool listed = false;
            for (const std::string& wanted : *m_request.fieldList) listed = listed || wanted == upper;
            if (!listed) continue;
        }
        fields.emplace_back(upper, value);
    }

    TableName requested = SplitTableName();
    ReadColumns(requested);
    std::vector<std::string> key;
    auto isKey = [&key](const std::string& field) {
        for (const std::string& k : key)
            if (SameName(k, field)) return true;
        return false;
    };
    // Every name and value, the key's included, is checked against the catalog before the
    // key is read and before any statement is built: a bad key value gets the validation page.
    if (!CheckValues(fields)) return false;
    // The key selects the row (it may be the row id, no column); it is not set.
    if (!m_request.insert) {
        key = ReadKey(requested);
        std::erase_if(fields, [&isKey](const auto& field) { return isKey(field.first); });
    }
    std::stable_partition(fields.begin(), fields.end(),
                          [this](const auto& field) { return !IsLongType(FindColumn(field.first)->sqlType); });

    odbcSTMT* statement = sources.AllocStmt(m_request.login);
    struct CloseStatement {
        odbcSTMT* statement;
        ~CloseStatement() {
            if (statement == nullptr) return;
            statement->AutoReport(0);
            statement->Close();
        }
    } close{statement};
    if (statement == nullptr)
        throw new CWebException(
            "Unable to open a statement",
            CWebMessage("No statement could be opened on the data source '") + m_request.login.dataSource + "'.");

    // Each bound value stays where it is until the statement has run.
    std::deque<std::string> values;
    std::deque<SQLLEN> lengths;
    unsigned short bound = 0;
    auto bind = [&](const Column& column, const std::string& value) {
        values.push_back(value);
        lengths.push_back(static_cast<SQLLEN>(values.back().size()));
        SQLULEN size = column.precision > 0 ? static_cast<SQLULEN>(column.precision) : values.back().size();
        statement->BindParameter(++bound, SQL_PARAM_INPUT, SQL_C_CHAR, column.sqlType, size, column.scale,
                                 values.back().data(), static_cast<SQLLEN>(values.back().size()), &lengths.back());
    };

    std::string columnList = "( ", valueList = "( ", setList;
    for (const auto& [field, value] : fields) {
        if (m_request.insert && value.empty()) continue;
        const Column* column = FindColumn(field);
        if (column == nullptr) FieldNotFound(field);
        std::string name = QuoteIdentifier(column->name, m_quote);
        if (!m_request.insert && value.empty()) {
            setList += " " + name + " = NULL,";
            continue;
        }
        bind(*column, ConvertValue(value, *column));
        if (m_request.insert) {
            columnList += " " + name + " ,";
            valueList += "?,";
        } else {
            setList += " " + name + " = ?,";
        }
    }

    if (m_request.insert) {
        if (bound == 0)
            throw new CWebException(CWebMessage("No values to insert into the table ") + m_request.tableName + ".",
                                    CWebMessage("The form holds no value for any column of the table '") +
                                        m_request.tableName + "', so no row was inserted.");
        columnList.back() = ')';
        valueList.back() = ')';
        m_statement = "INSERT INTO " + QualifiedTableName() + " " + columnList + " VALUES " + valueList;
    } else {
        // Nothing to change: no statement.
        if (setList.empty()) return true;
        setList.back() = ' ';
        std::string where = " WHERE ";
        for (const std::string& k : key) {
            const Column* column = FindColumn(k);
            Column rowId{k, SQL_VARCHAR, 0, 0};
            if (column == nullptr) column = &rowId;
            bind(*column, m_page.GetReader()->GetFormField(k));
            where += " " + QuoteIdentifier(column->name, m_quote) + " = ? AND ";
        }
        where.resize(where.size() - 5);
        m_statement = "UPDATE " + QualifiedTableName() + " SET " + setList + " " + where;
    }
    statement->ExecDirect(m_statement.c_str());
    return true;
}
