#include "database/odbc/odbc_record.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "database/odbc/odbc_blob.h"
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

constexpr short kSetPosFailed = -1012;

bool IsBinaryType(short t) {
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

bool IsText(const sCOLBIND& b) {
    return b.fCType == SQL_C_CHAR && !IsBinaryType(b.fSqlType);
}

size_t TextLength(const void* value, const sCOLBIND& b) {
    return strnlen(static_cast<const char*>(value), static_cast<size_t>(b.cbValueMax > 0 ? b.cbValueMax : 0));
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
    // A copy is described on the internal statement: this statement may already be set up
    // for rowsets, whose binding would refuse or multiply the table's long columns.
    odbcCURSOR& describer = keep && internal_ ? *internal_ : *this;
    describer.Prepare(text.c_str());
    if (describer.sqlsuccess()) {
        size_t size = 0;
        void* record = nullptr;
        describer.AutoBind(&size, &record);
        short rc = describer.lastRC();
        describer.Close();
        describer.SignalRC(rc);
    }
    SetRC(describer.lastRC());
    if (sqlsuccess() && keep) {
        sCOLBIND* cols = nullptr;
        unsigned short count = 0;
        void* record = nullptr;
        describer.GetColBindings(&cols, &count, &record);
        actual_.assign(cols, cols + count);
        describer.Unbind();
        describer.FreeColBindings();
        describer.SignalRC(SQL_SUCCESS);
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
    if (IsText(b) && !GetNoExtraByteOnStrings() && precision > 0) --precision;
    odbcCONNECT* conn = GetConnect();
    // A driver without SQLBindParameter takes the ODBC 1 call.
    if (conn != nullptr && conn->GetFunctions(SQL_API_SQLBINDPARAMETER) == 0)
        return internal_->SetParam(number, b.fCType, SqlTypeOf(b), precision, b.ibScale, value, length);
    return internal_->BindParameter(number, SQL_PARAM_INPUT, b.fCType, SqlTypeOf(b), precision, b.ibScale, value,
                                    b.cbValueMax, length);
}

bool odbcRECORD::BindRowValue(unsigned short i, const sCOLBIND& b, unsigned short row, SQLLEN* lengths,
                              bool newValues) {
    const unsigned short number = static_cast<unsigned short>(i + 1);
    if (!newValues && row != 0 && !odbcIsLongType(b.fSqlType)) {
        // The row's content as it stands now: a NULL as fetched, a text up to its terminator
        // (the caller may have written a longer one over the fetched value), others whole.
        SQLLEN* rowLengths = ColResultSizeArray(b.icol);
        void* value = ColResultAddr(b.icol, row);
        if (value == nullptr || rowLengths == nullptr) {
            SetRC(ODBC_RC_BAD_PARAMETER);
            return false;
        }
        SQLLEN& own = rowLengths[row - 1];
        if (!IsText(b) || own == SQL_NULL_DATA) return odbcSucceeded(BindValue(number, b, value, &own));
        sendLengths_[i] = static_cast<SQLLEN>(TextLength(value, b));
        own = sendLengths_[i] + 1;
        return odbcSucceeded(BindValue(number, b, value, &sendLengths_[i]));
    }
    if (odbcIsLongType(b.fSqlType)) {
        // The slot holds the odbcBLOB, not the value: the value goes through it.
        odbcBLOB* blob = row ? ColResultAsBLOB(b.icol, row) : ColResultAsBLOB(b.icol);
        if (blob == nullptr) {
            SetRC(ODBC_RC_BAD_PARAMETER);
            return false;
        }
        blob->SetPutCursor(internal_.get());
        if (lengths[i] == SQL_NULL_DATA) blob->SetNull();
        blob->SetParamNumber(number);
        return odbcSucceeded(blob->BindParameter());
    }
    if (lengths[i] > 0)
        lengths[i] = IsText(b) ? 0 : static_cast<SQLLEN>(LengthForCType(b.fCType, static_cast<unsigned long>(b.cbValueMax)));
    void* value = row ? ColResultAddr(b.icol, row) : ColResultAddr(b.icol);
    if (value == nullptr) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return false;
    }
    SQLLEN* own = ColResultSizeArray(b.icol);
    if (own != nullptr && row) own += row - 1;
    if (lengths[i] == SQL_NULL_DATA) {
        std::memset(value, 0, ColumnWidth(b));
        if (row)
            SetColValueNull(b.icol, row);
        else
            SetColValueNull(b.icol);
    } else if (b.fCType == SQL_C_CHAR && own != nullptr) {
        *own = IsBinaryType(b.fSqlType) ? lengths[i] : static_cast<SQLLEN>(TextLength(value, b) + 1);
    }
    SQLLEN* length = lengths[i] == 0 ? nullptr : &lengths[i];
    if (IsText(b) && lengths[i] != SQL_NULL_DATA) {
        // Read up to the terminator, but never past the buffer.
        sendLengths_[i] = static_cast<SQLLEN>(TextLength(value, b));
        length = &sendLengths_[i];
    }
    return odbcSucceeded(BindValue(number, b, value, length));
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
    for (unsigned short i = 0; i < bound; ++i) {
        if (!odbcIsLongType(cols[i].fSqlType)) continue;
        if (odbcBLOB* blob = ColResultAsBLOB(cols[i].icol)) blob->SetPutCursor(internal_.get());
    }
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
    sendLengths_.assign(count, 0);
    if (record != nullptr && record != own && !odbcSucceeded(MoveRecordToRowsetRow(1, record, recordSize, nullptr)))
        return lastRC();
    internal_->ResetParams();
    for (unsigned short i = 0; i < count; ++i) {
        if (!BindRowValue(i, cols[i], 0, lengths, true) || !internal_->sqlsuccess()) {
            // The statement would run with stale or missing values: the insert fails.
            SetRC(kInsertFailed);
            return lastRC();
        }
    }
    // Long values bound for data at execution are sent by the statement itself; a value the
    // caller bound that way is left to the caller.
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
    text_ = select;
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

bool odbcRECUPDATER::AppendKeyClause(unsigned short row, unsigned short first) {
    std::vector<std::string> key = KeyColumns();
    keyValues_.assign(key.size(), {});
    keyLengths_.assign(key.size(), 0);
    std::string where;
    for (std::size_t k = 0; k < key.size(); ++k) {
        sCOLBIND* b = ColResultInfo(key[k].c_str());
        void* value = b != nullptr && !odbcIsLongType(b->fSqlType) ? ColResultAddr(b->icol, row) : nullptr;
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

int odbcRECUPDATER::AppendWhereClause() {
    char name[256] = {};
    short length = 0;
    GetCursorName(name, static_cast<short>(sizeof name), &length);
    if (!sqlsuccess() || name[0] == 0) return 0;
    text_ += "\n\tWHERE CURRENT OF ";
    text_ += name;
    return 1;
}

bool odbcRECUPDATER::SetPosAllows(unsigned long operation) {
    odbcCONNECT* conn = GetConnect();
    if ((conn->SetPosSupport() & operation) == 0) return false;
    // The SQLite driver changes the row but reports no row count, so a change could not be
    // told from a miss: the key values name the row there instead.
    if (conn->IsSQLiteDriver()) return false;
    // A read-only cursor refuses SQLSetPos changes.
    short report = AutoReport(0);
    SQLULEN concurrency = GetStmtOption(SQL_CONCURRENCY);
    bool known = sqlsuccess();
    AutoReport(report);
    SetRC(SQL_SUCCESS);
    return known && concurrency != SQL_CONCUR_READ_ONLY;
}

odbcRECUPDATER::Way odbcRECUPDATER::UpdateWay() {
    if (SetPosAllows(SQL_POS_UPDATE)) return Way::SetPos;
    if (GetConnect()->PosStmtSupport() & SQL_PS_POSITIONED_UPDATE) return Way::PositionedStatement;
    return Way::Key;
}

odbcRECUPDATER::Way odbcRECUPDATER::DeleteWay() {
    if (SetPosAllows(SQL_POS_DELETE)) return Way::SetPos;
    if (GetConnect()->PosStmtSupport() & SQL_PS_POSITIONED_DELETE) return Way::PositionedStatement;
    return Way::Key;
}

bool odbcRECUPDATER::PositionOn(unsigned short row) {
    if (GetExtFetchRow() <= 1) return true;
    if (odbcSucceeded(SetPos(row, SQL_POSITION, SQL_LOCK_NO_CHANGE))) return true;
    SetRC(kSetPosFailed);
    return false;
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
    // New values (a record or the caller's lengths) get their lengths here; without them
    // the row's fetched content, NULLs included, is written back as it is.
    const bool newValues = record != nullptr || lengths != nullptr;
    if (lengths == nullptr) {
        lengths_.assign(count, 0);
        lengths = lengths_.data();
    }
    sendLengths_.assign(count, 0);
    switch (UpdateWay()) {
        case Way::SetPos:
            if (record != nullptr && !odbcSucceeded(MoveRecordToRowsetRow(row, record, recordSize, nullptr))) return 0;
            return UpdateBySetPos(row, lengths, newValues);
        case Way::PositionedStatement:
            if (record != nullptr && !odbcSucceeded(MoveRecordToRowsetRow(row, record, recordSize, nullptr))) return 0;
            return UpdateByPositionedStatement(row, lengths, newValues);
        case Way::Key:
            break;
    }
    // The key is read before the record is written over the row.
    internal_->ResetParams();
    text_ = "UPDATE " + Quoted(TableName()) + "\n\tSET\t";
    for (unsigned short i = 0; i < count; ++i) text_ += (i == 0 ? "" : ",\n\t\t") + Quoted(cols[i].szColName) + " = ? ";
    if (!AppendKeyClause(row, static_cast<unsigned short>(count + 1))) return 0;
    if (record != nullptr && !odbcSucceeded(MoveRecordToRowsetRow(row, record, recordSize, nullptr))) return 0;
    return UpdateByKey(row, lengths, newValues);
}

bool odbcRECUPDATER::BindRowValues(unsigned short row, SQLLEN* lengths, bool newValues) {
    sCOLBIND* cols = nullptr;
    unsigned short count = 0;
    void* own = nullptr;
    GetColBindings(&cols, &count, &own);
    for (unsigned short i = 0; i < count; ++i) {
        if (!BindRowValue(i, cols[i], row, lengths, newValues) || !internal_->sqlsuccess()) {
            SetRC(kUpdateFailed);
            return false;
        }
    }
    return true;
}

long odbcRECUPDATER::ExecuteUpdateText() {
    if (!odbcSucceeded(internal_->ExecDirect(text_.c_str()))) {
        SetRC(kUpdateFailed);
        return 0;
    }
    long changed = static_cast<long>(internal_->RowCount());
    internal_->Close();
    internal_->ResetParams();
    return changed;
}

long odbcRECUPDATER::UpdateByKey(unsigned short row, SQLLEN* lengths, bool newValues) {
    if (!BindRowValues(row, lengths, newValues)) return 0;
    return ExecuteUpdateText();
}

long odbcRECUPDATER::UpdateByPositionedStatement(unsigned short row, SQLLEN* lengths, bool newValues) {
    if (!PositionOn(row)) return static_cast<long>(lastRC());
    sCOLBIND* cols = nullptr;
    unsigned short count = 0;
    void* own = nullptr;
    GetColBindings(&cols, &count, &own);
    internal_->ResetParams();
    text_ = "UPDATE " + Quoted(TableName()) + "\n\tSET\t";
    for (unsigned short i = 0; i < count; ++i) text_ += (i == 0 ? "" : ",\n\t\t") + Quoted(cols[i].szColName) + " = ? ";
    if (!BindRowValues(row, lengths, newValues)) return 0;
    if (!AppendWhereClause()) {
        SetRC(kNoWhereClause);
        return 0;
    }
    return ExecuteUpdateText();
}

long odbcRECUPDATER::UpdateBySetPos(unsigned short row, SQLLEN* lengths, bool newValues) {
    sCOLBIND* cols = nullptr;
    unsigned short count = 0;
    void* own = nullptr;
    GetColBindings(&cols, &count, &own);
    const unsigned short rows = GetExtFetchRowCount();
    longIndicators_.assign(count, {});
    // The driver may write a refreshed row into bound buffers: the long columns' slots get
    // their odbcBLOB pointers back afterwards whatever it wrote there.
    std::vector<std::pair<void*, odbcBLOB*>> slots;
    bool rebound = false;
    for (unsigned short i = 0; i < count && sqlsuccess(); ++i) {
        const sCOLBIND& b = cols[i];
        if (!odbcIsLongType(b.fSqlType)) {
            void* value = ColResultAddr(b.icol, row);
            SQLLEN* rowLengths = ColResultSizeArray(b.icol);
            if (value == nullptr || rowLengths == nullptr) continue;
            if (!newValues) {
                // The row as it stands: NULLs as fetched, texts up to their terminator.
                if (IsText(b) && rowLengths[row - 1] != SQL_NULL_DATA)
                    rowLengths[row - 1] = static_cast<SQLLEN>(TextLength(value, b));
                continue;
            }
            if (lengths[i] > 0)
                lengths[i] = IsText(b) ? 0
                                       : static_cast<SQLLEN>(
                                             LengthForCType(b.fCType, static_cast<unsigned long>(b.cbValueMax)));
            if (lengths[i] == SQL_NULL_DATA) {
                std::memset(value, 0, ColumnWidth(b));
                SetColValueNull(b.icol, row);
            } else if (IsText(b)) {
                rowLengths[row - 1] = static_cast<SQLLEN>(TextLength(value, b));
            } else if (newValues) {
                rowLengths[row - 1] =
                    b.fCType == SQL_C_CHAR || b.fCType == SQL_C_BINARY
                        ? (lengths[i] > 0 ? lengths[i] : b.cbValueMax)
                        : static_cast<SQLLEN>(LengthForCType(b.fCType, static_cast<unsigned long>(b.cbValueMax)));
            }
            continue;
        }
        odbcBLOB* blob = ColResultAsBLOB(b.icol, row);
        if (blob == nullptr) continue;
        blob->SetPutCursor(this);
        for (unsigned short r = 1; r <= rows; ++r) slots.emplace_back(ColResultAddr(b.icol, r), ColResultAsBLOB(b.icol, r));
        // Only this row's value is sent; the other rows of the rowset are left alone.
        std::vector<SQLLEN>& indicators = longIndicators_[i];
        indicators.assign(rows, SQL_COLUMN_IGNORE);
        if (lengths[i] == SQL_NULL_DATA) blob->SetNull();
        indicators[row - 1] =
            blob->IsNull() ? SQL_NULL_DATA : odbcBLOB::DataAtExecIndicator(GetConnect(), blob->SendLength());
        BindCol(b.icol, b.fCType, ColResultAddr(b.icol, 1), static_cast<SQLLEN>(sizeof(odbcBLOB*)), indicators.data());
        if (sqlsuccess()) {
            SetDataAtExecFlag(1);
            rebound = true;
        }
    }
    if (sqlsuccess()) {
        UpdateRow(row);
        if (lastRC() == SQL_NEED_DATA && DataAtExecFlag()) {
            void* token = nullptr;
            ParamData(&token);
            while (lastRC() == SQL_NEED_DATA) {
                // The token is the address of the row's slot, which holds the odbcBLOB.
                odbcBLOB* blob = nullptr;
                for (const auto& [slot, held] : slots)
                    if (slot == token) blob = held;
                if (blob == nullptr) {
                    SetRC(ODBC_RC_BAD_PARAMETER);
                    break;
                }
                blob->PutData(nullptr, 0);
                if (!sqlsuccess()) break;
                ParamData(&token);
            }
        }
    }
    const short rc = lastRC();
    if (rebound) {
        for (unsigned short i = 0; i < count; ++i)
            if (!longIndicators_[i].empty()) BindCol(cols[i].icol, cols[i].fCType, nullptr, 0, nullptr);
        for (const auto& [slot, held] : slots) std::memcpy(slot, &held, sizeof held);
        SetDataAtExecFlag(0);
        SetRC(rc);
    }
    if (!sqlsuccess()) return 0;
    return static_cast<long>(RowCount());
}

long odbcRECUPDATER::DeleteRecord(unsigned short row) {
    SetRC(SQL_SUCCESS);
    if (row == 0 || row > GetExtFetchRow() || !internal_) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return 0;
    }
    switch (DeleteWay()) {
        case Way::SetPos:
            DeleteRow(row);
            return sqlsuccess() ? static_cast<long>(RowCount()) : 0;
        case Way::PositionedStatement:
            return DeleteByPositionedStatement(row);
        case Way::Key:
            break;
    }
    return DeleteByKey(row);
}

long odbcRECUPDATER::DeleteByPositionedStatement(unsigned short row) {
    if (!PositionOn(row)) return 0;
    internal_->ResetParams();
    text_ = "DELETE FROM " + Quoted(TableName());
    if (!AppendWhereClause()) {
        SetRC(kNoWhereClause);
        return 0;
    }
    if (!odbcSucceeded(internal_->ExecDirect(text_.c_str()))) {
        SetRC(kDeleteFailed);
        return 0;
    }
    long deleted = static_cast<long>(internal_->RowCount());
    internal_->Close();
    return deleted;
}

long odbcRECUPDATER::DeleteByKey(unsigned short row) {
    internal_->ResetParams();
    text_ = "DELETE FROM " + Quoted(TableName());
    if (!AppendKeyClause(row, 1)) return 0;
    if (!odbcSucceeded(internal_->ExecDirect(text_.c_str()))) {
        SetRC(kDeleteFailed);
        return 0;
    }
    long deleted = static_cast<long>(internal_->RowCount());
    internal_->Close();
    internal_->ResetParams();
    return deleted;
}
