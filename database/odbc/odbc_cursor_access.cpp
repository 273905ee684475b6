#include "database/odbc/odbc_blob.h"
#include "database/odbc/odbc_cursor.h"

#include <cstring>

#include "platform/path_util.h"

namespace {
const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

template <typename T>
T ReadAs(const void* address) {
    T value{};
    if (address) std::memcpy(&value, address, sizeof value);
    return value;
}
}  // namespace

sCOLBIND* odbcCURSOR::FindCol(unsigned short icol) const {
    if (!cols_) return nullptr;
    for (unsigned short i = 0; i < colCount_; ++i)
        if (cols_[i].icol == icol) return &cols_[i];
    return nullptr;
}

sCOLBIND* odbcCURSOR::FindCol(const unsigned char* name) const {
    if (!cols_ || !name) return nullptr;
    for (unsigned short i = 0; i < colCount_; ++i)
        if (tessaro::platform::EqualsNoCase(cols_[i].szColName, reinterpret_cast<const char*>(name))) return &cols_[i];
    return nullptr;
}

unsigned char* odbcCURSOR::ValueAddress(const sCOLBIND* b, unsigned short row) const {
    if (!b || !record_) return nullptr;
    unsigned char* base = static_cast<unsigned char*>(record_) + b->valueOffset;
    if (b->isPointer && !odbcIsLongType(b->fSqlType)) std::memcpy(&base, base, sizeof base);
    if (!base) return nullptr;
    if (row > 1) base += (row - 1) * ColumnWidth(*b);
    return base;
}

SQLLEN* odbcCURSOR::LengthAddress(const sCOLBIND* b, unsigned short row) const {
    if (!b) return nullptr;
    if (!rowsetSize_) return const_cast<SQLLEN*>(&b->cbValue);
    if (!rowsetLengths_ || row == 0 || row > rowsetSize_) return nullptr;
    return rowsetLengths_ + ColIndex(b) * rowsetSize_ + (row - 1);
}

void* odbcCURSOR::ColResultAddr(unsigned short icol) {
    return ValueAddress(FindCol(icol), 0);
}
void* odbcCURSOR::ColResultAddr(const char* name) {
    return ColResultAddr(U(name));
}
void* odbcCURSOR::ColResultAddr(const unsigned char* name) {
    return ValueAddress(FindCol(name), 0);
}

void* odbcCURSOR::ColResultAddr(unsigned short icol, unsigned short row) {
    if (!rowsetSize_ || row == 0 || row > rowsetSize_) return nullptr;
    return ValueAddress(FindCol(icol), row);
}
void* odbcCURSOR::ColResultAddr(const char* name, unsigned short row) {
    return ColResultAddr(U(name), row);
}
void* odbcCURSOR::ColResultAddr(const unsigned char* name, unsigned short row) {
    if (!rowsetSize_ || row == 0 || row > rowsetSize_) return nullptr;
    return ValueAddress(FindCol(name), row);
}

// Reads the bound bytes as Stored; 64-bit integer bindings are read whole and converted.
template <typename Stored, typename T>
T ReadNumber(const sCOLBIND* b, const void* address) {
    if (b && address && b->fCType == SQL_C_SBIGINT) return static_cast<T>(ReadAs<int64_t>(address));
    if (b && address && b->fCType == SQL_C_UBIGINT) return static_cast<T>(ReadAs<uint64_t>(address));
    return static_cast<T>(ReadAs<Stored>(address));
}

#define TS_ODBC_TYPED_READ(Name, Type, Stored)                                    \
    Type odbcCURSOR::Name(unsigned short icol) {                                  \
        return ReadNumber<Stored, Type>(FindCol(icol), ColResultAddr(icol));      \
    }                                                                             \
    Type odbcCURSOR::Name(const unsigned char* name) {                            \
        return ReadNumber<Stored, Type>(FindCol(name), ColResultAddr(name));      \
    }                                                                             \
    Type odbcCURSOR::Name(const char* name) {                                     \
        return Name(U(name));                                                     \
    }                                                                             \
    Type odbcCURSOR::Name(unsigned short icol, unsigned short row) {              \
        return ReadNumber<Stored, Type>(FindCol(icol), ColResultAddr(icol, row)); \
    }                                                                             \
    Type odbcCURSOR::Name(const unsigned char* name, unsigned short row) {        \
        return ReadNumber<Stored, Type>(FindCol(name), ColResultAddr(name, row)); \
    }                                                                             \
    Type odbcCURSOR::Name(const char* name, unsigned short row) {                 \
        return Name(U(name), row);                                                \
    }

TS_ODBC_TYPED_READ(ColResultAsShort, short, int16_t)
TS_ODBC_TYPED_READ(ColResultAsUnsignedShort, unsigned short, uint16_t)
TS_ODBC_TYPED_READ(ColResultAsLong, long, int32_t)
TS_ODBC_TYPED_READ(ColResultAsUnsignedLong, unsigned long, uint32_t)
TS_ODBC_TYPED_READ(ColResultAsFloat, float, float)
TS_ODBC_TYPED_READ(ColResultAsDouble, double, double)
#undef TS_ODBC_TYPED_READ

// Only long columns hold odbcBLOB pointers; any other column answers null, never its bytes.
odbcBLOB* odbcCURSOR::ColResultAsBLOB(unsigned short icol) {
    sCOLBIND* b = FindCol(icol);
    return b && odbcIsLongType(b->fSqlType) ? ReadAs<odbcBLOB*>(ColResultAddr(icol)) : nullptr;
}
odbcBLOB* odbcCURSOR::ColResultAsBLOB(const unsigned char* name) {
    sCOLBIND* b = FindCol(name);
    return b && odbcIsLongType(b->fSqlType) ? ReadAs<odbcBLOB*>(ColResultAddr(name)) : nullptr;
}
odbcBLOB* odbcCURSOR::ColResultAsBLOB(const char* name) {
    return ColResultAsBLOB(U(name));
}
odbcBLOB* odbcCURSOR::ColResultAsBLOB(unsigned short icol, unsigned short row) {
    sCOLBIND* b = FindCol(icol);
    return b && odbcIsLongType(b->fSqlType) ? ReadAs<odbcBLOB*>(ColResultAddr(icol, row)) : nullptr;
}
odbcBLOB* odbcCURSOR::ColResultAsBLOB(const unsigned char* name, unsigned short row) {
    sCOLBIND* b = FindCol(name);
    return b && odbcIsLongType(b->fSqlType) ? ReadAs<odbcBLOB*>(ColResultAddr(name, row)) : nullptr;
}
odbcBLOB* odbcCURSOR::ColResultAsBLOB(const char* name, unsigned short row) {
    return ColResultAsBLOB(U(name), row);
}

char* odbcCURSOR::ColResultAsLPSTR(unsigned short icol) {
    return static_cast<char*>(ColResultAddr(icol));
}
char* odbcCURSOR::ColResultAsLPSTR(const unsigned char* name) {
    return static_cast<char*>(ColResultAddr(name));
}
char* odbcCURSOR::ColResultAsLPSTR(const char* name) {
    return ColResultAsLPSTR(U(name));
}
char* odbcCURSOR::ColResultAsLPSTR(unsigned short icol, unsigned short row) {
    return static_cast<char*>(ColResultAddr(icol, row));
}
char* odbcCURSOR::ColResultAsLPSTR(const unsigned char* name, unsigned short row) {
    return static_cast<char*>(ColResultAddr(name, row));
}
char* odbcCURSOR::ColResultAsLPSTR(const char* name, unsigned short row) {
    return ColResultAsLPSTR(U(name), row);
}

SQLLEN* odbcCURSOR::ColResultSizeArray(unsigned short icol) {
    return LengthAddress(FindCol(icol), 1);
}
SQLLEN* odbcCURSOR::ColResultSizeArray(const char* name) {
    return ColResultSizeArray(U(name));
}
SQLLEN* odbcCURSOR::ColResultSizeArray(const unsigned char* name) {
    return LengthAddress(FindCol(name), 1);
}

sCOLBIND* odbcCURSOR::ColResultInfo(unsigned short icol) {
    return FindCol(icol);
}
sCOLBIND* odbcCURSOR::ColResultInfo(const char* name) {
    return ColResultInfo(U(name));
}
sCOLBIND* odbcCURSOR::ColResultInfo(const unsigned char* name) {
    return FindCol(name);
}

size_t odbcCURSOR::RowsetRowRecordSize() const {
    if (!cols_ || !record_ || !colCount_) return 0;
    size_t total = 0;
    for (unsigned short i = 0; i < colCount_; ++i) total += ColumnWidth(cols_[i]);
    return total;
}

short odbcCURSOR::MoveRow(unsigned short row, unsigned char* packed, size_t size, size_t* used, bool toRecord) {
    size_t local = 0;
    size_t& offset = used ? *used : local;
    offset = 0;
    SetRC(SQL_SUCCESS);
    if (!cols_ || !record_ || (!rowsetSize_ && row != 1)) {
        SetRC(ODBC_RC_NOT_EXTFETCH);
        return lastRC();
    }
    if (row == 0 || (rowsetSize_ && row > rowsFetched_) || !packed) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return lastRC();
    }
    for (unsigned short i = 0; i < colCount_; ++i) {
        const sCOLBIND& b = cols_[i];
        size_t width = ColumnWidth(b);
        if (offset + width > size) {
            SetRC(ODBC_RC_BUFFER_TOO_SMALL);
            return lastRC();
        }
        unsigned char* value = ValueAddress(&b, rowsetSize_ ? row : 0);
        if (value) {
            if (toRecord)
                std::memcpy(packed + offset, value, width);
            else
                std::memcpy(value, packed + offset, width);
        }
        offset += width;
    }
    return SQL_SUCCESS;
}

short odbcCURSOR::MoveRowsetRowToRecord(unsigned short row, void* record, size_t size, size_t* used) {
    return MoveRow(row, static_cast<unsigned char*>(record), size, used, true);
}

short odbcCURSOR::MoveRecordToRowsetRow(unsigned short row, const void* record, size_t size, size_t* used) {
    return MoveRow(row, static_cast<unsigned char*>(const_cast<void*>(record)), size, used, false);
}

short odbcCURSOR::PositionToRow(unsigned short row) {
    return SetPos(row, SQL_POSITION, SQL_LOCK_NO_CHANGE);
}
short odbcCURSOR::LockRow(unsigned short row, unsigned short lock) {
    return SetPos(row, SQL_POSITION, lock);
}
short odbcCURSOR::RefreshRow(unsigned short row, unsigned short lock) {
    return SetPos(row, SQL_REFRESH, lock);
}
short odbcCURSOR::UpdateRow(unsigned short row) {
    return SetPos(row, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
}
short odbcCURSOR::DeleteRow(unsigned short row) {
    return SetPos(row, SQL_DELETE, SQL_LOCK_NO_CHANGE);
}
short odbcCURSOR::AddRow(unsigned short row) {
    return SetPos(row, SQL_ADD, SQL_LOCK_NO_CHANGE);
}

short odbcCURSOR::ClearRowsetBuffer() {
    SetRC(SQL_SUCCESS);
    if (!cols_ || !record_) return SQL_SUCCESS;
    unsigned short rows = rowsetSize_ ? rowsetSize_ : 1;
    for (unsigned short i = 0; i < colCount_; ++i) {
        const sCOLBIND& b = cols_[i];
        if (odbcIsLongType(b.fSqlType)) {
            for (unsigned short r = 1; r <= rows; ++r) {
                odbcBLOB* blob = ReadAs<odbcBLOB*>(ValueAddress(&b, r));
                if (blob) blob->SetNull();
            }
        } else if (unsigned char* value = ValueAddress(&b, 0)) {
            std::memset(value, 0, ColumnWidth(b) * rows);
        }
    }
    return SQL_SUCCESS;
}

namespace {
bool IsNullIndicator(const SQLLEN* length) {
    return length && *length == SQL_NULL_DATA;
}
int MarkNull(SQLLEN* length) {
    if (!length) return 0;
    *length = SQL_NULL_DATA;
    return 1;
}
}  // namespace

// The forms with a row exist only in rowset mode; the others use the first row.
SQLLEN* odbcCURSOR::RowIndicator(const sCOLBIND* b, unsigned short row) const {
    return rowsetSize_ ? LengthAddress(b, row) : nullptr;
}

bool odbcCURSOR::IsColValueNull(unsigned short icol, unsigned short row) {
    return IsNullIndicator(RowIndicator(FindCol(icol), row));
}
bool odbcCURSOR::IsColValueNull(unsigned short icol) {
    return IsNullIndicator(LengthAddress(FindCol(icol), 1));
}
bool odbcCURSOR::IsColValueNull(const char* name, unsigned short row) {
    return IsColValueNull(U(name), row);
}
bool odbcCURSOR::IsColValueNull(const char* name) {
    return IsColValueNull(U(name));
}
bool odbcCURSOR::IsColValueNull(const unsigned char* name, unsigned short row) {
    return IsNullIndicator(RowIndicator(FindCol(name), row));
}
bool odbcCURSOR::IsColValueNull(const unsigned char* name) {
    return IsNullIndicator(LengthAddress(FindCol(name), 1));
}

int odbcCURSOR::SetColValueNull(unsigned short icol, unsigned short row) {
    return MarkNull(RowIndicator(FindCol(icol), row));
}
int odbcCURSOR::SetColValueNull(unsigned short icol) {
    return MarkNull(LengthAddress(FindCol(icol), 1));
}
int odbcCURSOR::SetColValueNull(const char* name, unsigned short row) {
    return SetColValueNull(U(name), row);
}
int odbcCURSOR::SetColValueNull(const char* name) {
    return SetColValueNull(U(name));
}
int odbcCURSOR::SetColValueNull(const unsigned char* name, unsigned short row) {
    return MarkNull(RowIndicator(FindCol(name), row));
}
int odbcCURSOR::SetColValueNull(const unsigned char* name) {
    return MarkNull(LengthAddress(FindCol(name), 1));
}
