#include "database/odbc/odbc_record.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "database/odbc/odbc_catalog_records.h"
#include "database/odbc/odbc_connect.h"
#include "platform/path_util.h"

namespace {

constexpr short kInsertFailed = -1008;
constexpr short kUpdateFailed = -1010;
constexpr short kDeleteFailed = -1011;
constexpr short kNeedsTable = -1013;
constexpr short kNotSelect = -1014;
constexpr short kPrepareFailed = -1015;
constexpr short kNoWhereClause = -1024;
constexpr short kSecondaryFailed = -1007;

bool IsBinaryType(short t) {
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

}  // namespace

// ---- odbcRECORD ----

odbcRECORD::odbcRECORD(odbcCONNECT* conn, const char* table)
    : odbcCURSOR(conn, static_cast<char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr) {
    short report = odbcCURSOR::AutoReport(0);
    short retrieve = odbcCURSOR::AutoRetrieve(2);
    if (!Allocate(table)) SetErrorFlag(1);
    odbcCURSOR::AutoRetrieve(retrieve);
    odbcCURSOR::AutoReport(report);
    TakeOverConnectionPolicy();
}

odbcRECORD::~odbcRECORD() = default;

void odbcRECORD::TakeOverConnectionPolicy() {
    odbcCONNECT* conn = GetConnect();
    if (conn == nullptr) return;
    SetErrHandler(conn->GetErrHandler());
    AutoRetrieve(conn->GetAutoRetrieve());
    AutoReport(conn->GetAutoReport());
    SetWnd(conn->GetWnd());
    SetMBoxFlags(conn->GetMBoxFlags());
}

int odbcRECORD::Allocate(const char* table) {
    if (table == nullptr) {
        SetRC(kNeedsTable);
        return 0;
    }
    table_ = table;
    internal_.reset(new (std::nothrow) odbcCURSOR(GetConnect(), static_cast<char*>(nullptr), 0, 0, 0, nullptr, 0,
                                                  nullptr, nullptr, 0, nullptr));
    if (!internal_) {
        SetRC(ODBC_RC_MEMORY);
        return 0;
    }
    if (!internal_->sqlsuccess()) {
        internal_.reset();
        SetRC(kSecondaryFailed);
        return 0;
    }
    return 1;
}

void odbcRECORD::SetWnd(odbcHWND wnd) {
    odbcCURSOR::SetWnd(wnd);
    if (internal_) internal_->SetWnd(wnd);
}

void odbcRECORD::SetMBoxFlags(unsigned short flags) {
    odbcCURSOR::SetMBoxFlags(flags);
    if (internal_) internal_->SetMBoxFlags(flags);
}

short odbcRECORD::AutoRetrieve(short mode) {
    if (internal_) internal_->AutoRetrieve(mode);
    return odbcCURSOR::AutoRetrieve(mode);
}

short odbcRECORD::AutoReport(short mode) {
    if (internal_) internal_->AutoReport(mode);
    return odbcCURSOR::AutoReport(mode);
}

odbcErrHandler odbcRECORD::SetErrHandler(odbcErrHandler handler) {
    if (internal_) internal_->SetErrHandler(handler);
    return odbcCURSOR::SetErrHandler(handler);
}

std::string odbcRECORD::QuoteMark() {
    const char* mark = GetConnect() != nullptr ? GetConnect()->GetIdentifierQuoteMark() : nullptr;
    std::string quote = mark != nullptr ? mark : "";
    return quote == " " ? std::string() : quote;
}

std::string odbcRECORD::Quoted(const std::string& name) {
    std::string quote = QuoteMark();
    if (quote.empty()) return name;
    std::string out = quote;
    for (char ch : name) {
        out += ch;
        if (ch == quote[0]) out += ch;
    }
    return out + quote;
}

short odbcRECORD::GetActualColumnDefinitions(int keep) {
    std::string text = "SELECT * FROM " + Quoted(table_) + " WHERE 0 = 1";
    Prepare(text.c_str());
    if (sqlsuccess()) {
        size_t size = 0;
        void* record = nullptr;
        AutoBind(&size, &record);
        short rc = lastRC();
        Close();
        SetRC(rc);
    }
    if (sqlsuccess() && keep) {
        sCOLBIND* cols = nullptr;
        unsigned short count = 0;
        void* record = nullptr;
        GetColBindings(&cols, &count, &record);
        actual_.assign(cols, cols + count);
        Unbind();
        FreeColBindings();
        SetRC(SQL_SUCCESS);
    }
    return lastRC();
}

void* odbcRECORD::ColRecAddr(void* record, unsigned short column) {
    sCOLBIND* target = ColResultInfo(column);
    if (target == nullptr || record == nullptr) return nullptr;
    sCOLBIND* cols = nullptr;
    unsigned short count = 0;
    void* own = nullptr;
    GetColBindings(&cols, &count, &own);
    size_t offset = 0;
    for (unsigned short i = 0; i < count && cols[i].icol != target->icol; ++i) offset += ColumnWidth(cols[i]);
    return static_cast<unsigned char*>(record) + offset;
}

void* odbcRECORD::ColRecAddr(void* record, const char* column) {
    sCOLBIND* target = ColResultInfo(column);
    return target != nullptr ? ColRecAddr(record, target->icol) : nullptr;
}

void* odbcRECORD::ColRecAddr(void* record, const unsigned char* column) {
    return ColRecAddr(record, reinterpret_cast<const char*>(column));
}

short odbcRECORD::SqlTypeOf(const sCOLBIND& binding) const {
    for (const sCOLBIND& column : actual_)
        if (tessaro::platform::EqualsNoCase(column.szColName, binding.szColName)) return column.fSqlType;
    return binding.fSqlType;
}

short odbcRECORD::BindValue(unsigned short number, const sCOLBIND& b, void* value, SQLLEN* length) {
    SQLULEN precision = PrecisionForSqlType(b.fSqlType, static_cast<unsigned long>(b.cbValueMax));
    if (b.fCType == SQL_C_CHAR && !IsBinaryType(b.fSqlType) && !GetNoExtraByteOnStrings() && precision > 0) --precision;
    return internal_->BindParameter(number, SQL_PARAM_INPUT, b.fCType, SqlTypeOf(b), precision, b.ibScale, value,
                                    b.cbValueMax, length);
}

// ---- odbcRECINSERTER ----

odbcRECINSERTER::odbcRECINSERTER(odbcCONNECT* conn, const char* table, sCOLBIND* bindings, unsigned short count,
                                 void* record)
    : odbcRECORD(conn, table) {
    if (!internal_) return;
    short retrieve = AutoRetrieve(2);
    short report = AutoReport(0);
    if (SetupForInsert(bindings, count, record) != 0) SetErrorFlag(1);
    AutoRetrieve(retrieve);
    AutoReport(report);
    TakeOverConnectionPolicy();
}

odbcRECINSERTER::~odbcRECINSERTER() = default;

short odbcRECINSERTER::SetupForInsert(sCOLBIND* bindings, unsigned short count, void* record) {
    if (!odbcSucceeded(GetActualColumnDefinitions(bindings != nullptr ? 1 : 0))) return lastRC();
    if (bindings != nullptr) {
        SetColBindings(bindings, count, record);
        BindCol();
        if (!sqlsuccess()) return lastRC();
    }
    sCOLBIND* cols = nullptr;
    unsigned short bound = 0;
    void* own = nullptr;
    GetColBindings(&cols, &bound, &own);
    text_ = "INSERT INTO " + Quoted(TableName()) + "\nVALUES\n(\t";
    for (unsigned short i = 0; i < bound; ++i) text_ += i == 0 ? "?" : ",\n\t?";
    text_ += "\n)\n";
    internal_->Prepare(text_.c_str());
    if (!internal_->sqlsuccess()) SetRC(kPrepareFailed);
    return lastRC();
}

short odbcRECINSERTER::InsertRecord(void* record, unsigned int recordSize, SQLLEN* lengths) {
    SetRC(SQL_SUCCESS);
    sCOLBIND* cols = nullptr;
    unsigned short count = 0;
    void* own = nullptr;
    GetColBindings(&cols, &count, &own);
    if (cols == nullptr || own == nullptr || count == 0 || !internal_) {
        SetRC(ODBC_RC_NOT_EXTFETCH);
        return lastRC();
    }
    if (record != nullptr && recordSize < RowsetRowRecordSize()) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return lastRC();
    }
    if (lengths == nullptr) {
        ownLengths_.assign(count, 0);
        lengths = ownLengths_.data();
    }
    if (record != nullptr && record != own && !odbcSucceeded(MoveRecordToRowsetRow(1, record, recordSize, nullptr)))
        return lastRC();
    for (unsigned short i = 0; i < count; ++i) {
        const sCOLBIND& b = cols[i];
        if (lengths[i] > 0)
            lengths[i] = b.fCType == SQL_C_CHAR && !IsBinaryType(b.fSqlType)
                             ? 0
                             : static_cast<SQLLEN>(LengthForCType(b.fCType, static_cast<unsigned long>(b.cbValueMax)));
        void* value = ColResultAddr(b.icol);
        if (lengths[i] == SQL_NULL_DATA && value != nullptr) {
            std::memset(value, 0, static_cast<size_t>(b.cbValueMax));
            SetColValueNull(b.icol);
        }
        // Without a length the driver reads a character value up to its NUL.
        BindValue(static_cast<unsigned short>(i + 1), b, value, lengths[i] == 0 ? nullptr : &lengths[i]);
        if (!internal_->sqlsuccess()) {
            // The statement would run with stale or missing values: the insert fails.
            SetRC(kInsertFailed);
            return lastRC();
        }
    }
    short rc = internal_->Execute();
    if (rc == SQL_NEED_DATA) return rc;
    if (!odbcSucceeded(rc)) {
        SetRC(kInsertFailed);
        return lastRC();
    }
    internal_->Close();
    return 0;
}

// ---- odbcRECUPDATER ----

odbcRECUPDATER::odbcRECUPDATER(odbcCONNECT* conn, const char* table, const char* select, sCOLBIND* bindings,
                               unsigned short count, void* record, int execDirect, unsigned short concurrency,
                               long cursorType, unsigned short rowsetSize)
    : odbcRECORD(conn, table) {
    if (!internal_) return;
    short retrieve = AutoRetrieve(2);
    short report = AutoReport(0);
    if (SetupForPosUpdDels(select, execDirect, bindings, count, record, concurrency, cursorType, rowsetSize) != 0)
        SetErrorFlag(1);
    AutoRetrieve(retrieve);
    AutoReport(report);
    TakeOverConnectionPolicy();
}

odbcRECUPDATER::~odbcRECUPDATER() = default;

short odbcRECUPDATER::SetupForPosUpdDels(const char* select, int execDirect, sCOLBIND* bindings, unsigned short count,
                                         void* record, unsigned short concurrency, long cursorType,
                                         unsigned short rowsetSize) {
    if (select == nullptr) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return lastRC();
    }
    if (!odbcSucceeded(ExtFetchSetup(concurrency, cursorType, rowsetSize))) return lastRC();
    if (!odbcSucceeded(GetActualColumnDefinitions(1))) return lastRC();
    if (execDirect)
        ExecDirect(select);
    else
        Prepare(select);
    if (!sqlsuccess()) return lastRC();
    short columns = 0;
    NumResultCols(&columns);
    if (sqlsuccess() && columns == 0) {
        Close();
        SetRC(kNotSelect);
        return lastRC();
    }
    if (bindings != nullptr) {
        SetColBindings(bindings, count, record);
        BindCol();
    } else {
        size_t size = 0;
        void* own = nullptr;
        AutoBind(&size, &own);
    }
    return lastRC();
}

std::vector<std::string> odbcRECUPDATER::KeyColumns() {
    std::vector<std::pair<short, std::string>> primary;
    std::string table = TableName();
    GetConnect()->PrimaryKeys(
        nullptr, nullptr, table.data(),
        [](const sPRIMARYKEYSRESULTSET& row, void* context) -> short {
            static_cast<std::vector<std::pair<short, std::string>>*>(context)->emplace_back(row.KEY_SEQ,
                                                                                            row.column_name);
            return 0;
        },
        &primary);
    std::sort(primary.begin(), primary.end());
    std::vector<std::string> key;
    for (const auto& [seq, name] : primary) key.push_back(name);
    if (key.empty() && GetConnect()->IsSQLiteDriver()) key.push_back("_ROWID_");
    return key;
}

bool odbcRECUPDATER::AppendWhereClause(unsigned short row, unsigned short first) {
    std::vector<std::string> key = KeyColumns();
    keyValues_.assign(key.size(), {});
    keyLengths_.assign(key.size(), 0);
    std::string where;
    for (std::size_t k = 0; k < key.size(); ++k) {
        sCOLBIND* b = ColResultInfo(key[k].c_str());
        void* value = b != nullptr ? ColResultAddr(b->icol, row) : nullptr;
        SQLLEN* sizes = b != nullptr ? ColResultSizeArray(b->icol) : nullptr;
        if (value == nullptr || sizes == nullptr || IsColValueNull(b->icol, row)) {
            key.clear();
            break;
        }
        // The key as fetched, before the new record is written over the row.
        const unsigned char* bytes = static_cast<const unsigned char*>(value);
        keyValues_[k].assign(bytes, bytes + b->cbValueMax);
        keyLengths_[k] = sizes[row - 1];
        where += std::string(k == 0 ? "\n\tWHERE " : " AND ") + Quoted(b->szColName) + " = ?";
        internal_->BindParameter(static_cast<unsigned short>(first + k), SQL_PARAM_INPUT, b->fCType, SqlTypeOf(*b),
                                 PrecisionForSqlType(b->fSqlType, static_cast<unsigned long>(b->cbValueMax)),
                                 b->ibScale, keyValues_[k].data(), b->cbValueMax, &keyLengths_[k]);
        if (!internal_->sqlsuccess()) {
            key.clear();
            break;
        }
    }
    if (key.empty()) {
        // Without a key the statement would reach every row.
        SetRC(kNoWhereClause);
        return false;
    }
    text_ += where;
    return true;
}

long odbcRECUPDATER::UpdateRecord(unsigned short row, void* record, unsigned int recordSize, SQLLEN* lengths) {
    SetRC(SQL_SUCCESS);
    sCOLBIND* cols = nullptr;
    unsigned short count = 0;
    void* own = nullptr;
    GetColBindings(&cols, &count, &own);
    if (cols == nullptr || own == nullptr || GetExtFetchRowCount() == 0 || !internal_) {
        SetRC(ODBC_RC_NOT_EXTFETCH);
        return 0;
    }
    if (row == 0 || row > GetExtFetchRow() || (record != nullptr && recordSize != RowsetRowRecordSize())) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return 0;
    }
    internal_->ResetParams();
    text_ = "UPDATE " + Quoted(TableName()) + "\n\tSET\t";
    for (unsigned short i = 0; i < count; ++i) text_ += (i == 0 ? "" : ",\n\t\t") + Quoted(cols[i].szColName) + " = ? ";
    if (!AppendWhereClause(row, static_cast<unsigned short>(count + 1))) return 0;
    if (record != nullptr && !odbcSucceeded(MoveRecordToRowsetRow(row, record, recordSize, nullptr))) return 0;
    // New values (a record or the caller's lengths) get their lengths here; without them
    // the row's fetched content, NULLs included, is written back as it is.
    const bool newValues = record != nullptr || lengths != nullptr;
    if (lengths == nullptr) {
        lengths_.assign(count, 0);
        lengths = lengths_.data();
    }
    SQLLEN* rowLengths = nullptr;
    for (unsigned short i = 0; i < count; ++i) {
        const sCOLBIND& b = cols[i];
        void* value = ColResultAddr(b.icol, row);
        rowLengths = ColResultSizeArray(b.icol);
        if (lengths[i] == SQL_NULL_DATA) {
            if (value != nullptr) std::memset(value, 0, static_cast<size_t>(b.cbValueMax));
            SetColValueNull(b.icol, row);
        } else if (rowLengths != nullptr && newValues) {
            if (b.fCType == SQL_C_CHAR && !IsBinaryType(b.fSqlType))
                rowLengths[row - 1] = SQL_NTS;
            else if (b.fCType == SQL_C_CHAR || b.fCType == SQL_C_BINARY)
                rowLengths[row - 1] = lengths[i] > 0 ? lengths[i] : b.cbValueMax;
            else
                rowLengths[row - 1] =
                    static_cast<SQLLEN>(LengthForCType(b.fCType, static_cast<unsigned long>(b.cbValueMax)));
        }
        BindValue(static_cast<unsigned short>(i + 1), b, value, rowLengths != nullptr ? &rowLengths[row - 1] : nullptr);
        if (!internal_->sqlsuccess()) {
            SetRC(kUpdateFailed);
            return 0;
        }
    }
    if (!odbcSucceeded(internal_->ExecDirect(text_.c_str()))) {
        SetRC(kUpdateFailed);
        return 0;
    }
    long changed = static_cast<long>(internal_->RowCount());
    internal_->Close();
    internal_->ResetParams();
    return changed;
}

long odbcRECUPDATER::DeleteRecord(unsigned short row) {
    SetRC(SQL_SUCCESS);
    if (row == 0 || row > GetExtFetchRow() || !internal_) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return 0;
    }
    internal_->ResetParams();
    text_ = "DELETE FROM " + Quoted(TableName());
    if (!AppendWhereClause(row, 1)) return 0;
    if (!odbcSucceeded(internal_->ExecDirect(text_.c_str()))) {
        SetRC(kDeleteFailed);
        return 0;
    }
    long deleted = static_cast<long>(internal_->RowCount());
    internal_->Close();
    internal_->ResetParams();
    return deleted;
}
