#include "database/odbc/odbc_blob.h"

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
constexpr size_t kSignatureSize = 5;
constexpr size_t kBitmapRecordSize = 24;    // type, width, height, widthBytes, planes, bpp, bits
constexpr size_t kMetaFileRecordSize = 16;  // mapping mode, x extent, y extent, handle
constexpr size_t kBitmapHeader = kSignatureSize + kBitmapRecordSize;
constexpr size_t kMetaFileHeader = kSignatureSize + kMetaFileRecordSize + 4;

void PutLE32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void PutLE16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
uint32_t GetLE32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t GetLE16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}
}  // namespace

odbcBLOB::odbcBLOB(odbcCURSOR* cursor, unsigned short column, unsigned long precision, short sqlType,
                   unsigned short parameter, long putChunk, long getChunk)
    : getCursor_(cursor),
      putCursor_(cursor),
      column_(column),
      param_(parameter ? parameter : column),
      precision_(precision),
      sqlType_(sqlType),
      putChunk_(putChunk > 0 ? static_cast<unsigned long>(putChunk) : ODBC_PUT_CHUNK),
      getChunk_(getChunk > 1 ? static_cast<unsigned long>(getChunk) : ODBC_GET_CHUNK) {}

odbcBLOB::~odbcBLOB() {
    ReleaseMem();
}

void odbcBLOB::ReleaseMem() {
    std::vector<unsigned char>().swap(data_);
    size_ = 0;
}

short odbcBLOB::ValueCType() const {
    return sqlType_ == SQL_LONGVARBINARY || sqlType_ == SQL_BINARY || sqlType_ == SQL_VARBINARY ? SQL_C_BINARY
                                                                                                : SQL_C_CHAR;
}

void odbcBLOB::Signal(short code) {
    if (getCursor_) getCursor_->SignalRC(code);
    if (putCursor_ && putCursor_ != getCursor_) putCursor_->SignalRC(code);
}

short odbcBLOB::ReportRC() const {
    return getCursor_ ? getCursor_->lastRC() : SQL_ERROR;
}

void* odbcBLOB::GetMem(unsigned long n) {
    if (n == 0) return data_.empty() ? nullptr : data_.data();
    ReleaseMem();
    try {
        data_.assign(n, 0);
    } catch (const std::bad_alloc&) {
        Signal(ODBC_RC_MEMORY);
        return nullptr;
    }
    size_ = n;
    length_ = static_cast<SQLLEN>(n);
    return data_.data();
}

short odbcBLOB::SetData(const void* source, unsigned long n) {
    if (size_ != n || data_.size() < n) {
        if (!GetMem(n)) return -1;
    }
    if (n && source) std::memcpy(data_.data(), source, n);
    length_ = static_cast<SQLLEN>(n);  // a reused buffer must not keep a NULL or stale length
    return 0;
}

odbcCURSOR* odbcBLOB::SetPutCursor(odbcCURSOR* cursor) {
    odbcCURSOR* previous = putCursor_;
    putCursor_ = cursor;
    return previous;
}

odbcCURSOR* odbcBLOB::SetGetCursor(odbcCURSOR* cursor) {
    odbcCURSOR* previous = getCursor_;
    getCursor_ = cursor;
    return previous;
}

unsigned short odbcBLOB::SetParamNumber(unsigned short n) {
    unsigned short previous = param_;
    param_ = n ? n : column_;
    return previous;
}

short odbcBLOB::GetData() {
    if (!getCursor_) return SQL_ERROR;
    const short cType = ValueCType();
    const bool character = cType == SQL_C_CHAR;
    ReleaseMem();
    length_ = 0;

    unsigned char probe[2] = {};
    SQLLEN indicator = 0;
    short rc = getCursor_->GetData(column_, cType, probe, character ? 2 : 1, &indicator);
    if (!odbcSucceeded(rc)) return rc;
    if (indicator == SQL_NULL_DATA) {
        length_ = SQL_NULL_DATA;
        getCursor_->SignalRC(SQL_SUCCESS);
        return ODBC_BLOB_NULL;
    }
    if (indicator == 0) {
        getCursor_->SignalRC(SQL_SUCCESS);
        return ODBC_BLOB_EMPTY;
    }
    // An unknown total starts from the assumed size and grows; nothing is cut.
    size_t expected = indicator == SQL_NO_TOTAL ? ODBC_BLOB_ASSUMED_TOTAL : static_cast<size_t>(indicator);
    std::vector<unsigned char> buffer;
    try {
        buffer.resize(expected + 1);
    } catch (const std::bad_alloc&) {
        Signal(ODBC_RC_MEMORY);
        return -1;
    }
    buffer[0] = probe[0];
    size_t gathered = 1;
    bool first = true;
    while (rc == SQL_SUCCESS_WITH_INFO) {
        if (buffer.size() - gathered < 2) {
            try {
                buffer.resize(buffer.size() * 2);
            } catch (const std::bad_alloc&) {
                Signal(ODBC_RC_MEMORY);
                return -1;
            }
        }
        size_t room = buffer.size() - gathered;
        size_t request = std::min<size_t>(first ? getChunk_ - 1 : getChunk_, room);
        if (character && request < 2) request = 2;
        first = false;
        rc = getCursor_->GetData(column_, cType, buffer.data() + gathered, static_cast<SQLLEN>(request), &indicator);
        if (rc == SQL_SUCCESS_WITH_INFO) {
            gathered += character ? request - 1 : request;
        } else if (rc == SQL_SUCCESS) {
            size_t got = indicator == SQL_NULL_DATA || indicator < 0
                             ? 0
                             : std::min<size_t>(static_cast<size_t>(indicator), character ? request - 1 : request);
            gathered += got;
        }
    }
    if (rc == SQL_NO_DATA_FOUND) rc = SQL_SUCCESS;  // nothing was left after the last piece
    if (!odbcSucceeded(rc)) {
        ReleaseMem();
        return rc;
    }
    if (character) {
        if (buffer.size() <= gathered) buffer.resize(gathered + 1);
        buffer[gathered] = 0;
        size_t text = strnlen(reinterpret_cast<const char*>(buffer.data()), gathered);
        // The length of character data counts its terminator unless the cursor says otherwise.
        bool extra = !getCursor_->GetNoExtraByteOnStrings() || text < gathered;
        size_ = text + (extra ? 1 : 0);
        buffer.resize(std::max<size_t>(size_, text + 1));
    } else {
        size_ = gathered;
        buffer.resize(gathered);
    }
    data_.swap(buffer);
    length_ = static_cast<SQLLEN>(size_);
    if (getCursor_->lastRC() == SQL_NO_DATA_FOUND) getCursor_->SignalRC(SQL_SUCCESS);
    return rc;
}

SQLLEN odbcBLOB::SendLength() const {
    if (length_ == SQL_NULL_DATA || data_.empty()) return 0;
    size_t n = std::min<size_t>(size_, data_.size());
    if (length_ >= 0) n = std::min<size_t>(n, static_cast<size_t>(length_));
    if (IsCharacter()) n = strnlen(reinterpret_cast<const char*>(data_.data()), n);
    return static_cast<SQLLEN>(n);
}

short odbcBLOB::PutData(const void* source, unsigned long n) {
    if (source && n) {
        short r = SetData(source, n);
        if (r) return r;
    }
    if (!putCursor_) return SQL_ERROR;
    const SQLLEN total = SendLength();
    SQLLEN offset = 0;
    short rc;
    do {
        SQLLEN piece = std::min<SQLLEN>(static_cast<SQLLEN>(putChunk_), total - offset);
        rc = putCursor_->odbcSTMT::PutData(data_.empty() ? nullptr : data_.data() + offset, piece);
        offset += piece;
    } while (offset < total && odbcSucceeded(rc));
    return rc;
}

SQLLEN odbcBLOB::DataAtExecIndicator(odbcCONNECT* conn, SQLLEN length) {
    if (!conn) return SQL_DATA_AT_EXEC;
    // Whether the driver wants the length announced is asked quietly: a driver that does not
    // answer simply gets the plain form.
    short retrieve = conn->AutoRetrieve(0);
    short report = conn->AutoReport(0);
    char answer[4] = {};
    short rc = conn->GetInfoString(SQL_NEED_LONG_DATA_LEN, answer, sizeof answer, nullptr);
    conn->AutoReport(report);
    conn->AutoRetrieve(retrieve);
    if (!odbcSucceeded(rc)) return SQL_DATA_AT_EXEC;
    answer[sizeof answer - 1] = 0;
    return answer[0] == 'Y' || answer[0] == 'y' ? SQL_LEN_DATA_AT_EXEC(length) : SQL_LEN_DATA_AT_EXEC(0);
}

short odbcBLOB::BindParameter() {
    odbcCURSOR* cursor = putCursor_;
    if (!cursor) return SQL_ERROR;
    odbcCONNECT* conn = cursor->GetConnect();
    const short cType = ValueCType();
    // The bytes sent: a text goes without its terminator, which would otherwise be stored.
    SQLLEN send = SendLength();
    indicator_ = IsNull() ? SQL_NULL_DATA : DataAtExecIndicator(conn, send);
    short rc;
    if (conn && conn->GetFunctions(SQL_API_SQLBINDPARAMETER) != 0)
        rc = cursor->BindParameter(param_, SQL_PARAM_INPUT, cType, sqlType_, precision_, 0, this, send, &indicator_);
    else
        rc = cursor->odbcSTMT::SetParam(param_, cType, sqlType_, precision_, 0, this, &indicator_);
    // Also for a NULL value: the flag only lets an execution that asks for data send it.
    if (odbcSucceeded(rc)) cursor->SetDataAtExecFlag(1);
    return rc;
}

short odbcBLOB::SetLPSTRInBlob(const char* text) {
    if (!text) text = "";
    size_t n = std::strlen(text) + 1;
    if (!GetMem(n)) return ReportRC();
    std::memcpy(data_.data(), text, n);
    return 0;
}

char* odbcBLOB::GetLPSTRFromBlob(unsigned long n) {
    if (n == 0) return IsNull() || data_.empty() ? nullptr : reinterpret_cast<char*>(data_.data());
    return static_cast<char*>(GetMem(n));
}

short odbcBLOB::SetHGlobalInBlob(const odbcMemBlock* block) {
    if (!block || block->bytes.empty()) {
        SetNull();
        return 0;
    }
    if (!GetMem(block->bytes.size())) return ReportRC();
    std::memcpy(data_.data(), block->bytes.data(), block->bytes.size());
    return 0;
}

odbcMemBlock* odbcBLOB::GetHGlobalFromBlob(unsigned int) {
    if (IsNull() || IsEmpty() || data_.empty()) return nullptr;
    odbcMemBlock* block = new (std::nothrow) odbcMemBlock;
    if (!block) {
        Signal(ODBC_RC_MEMORY);
        return nullptr;
    }
    size_t n = std::min<size_t>(static_cast<size_t>(length_), data_.size());
    try {
        block->bytes.assign(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n));
    } catch (const std::bad_alloc&) {
        Signal(ODBC_RC_MEMORY);
    }
    return block;
}

bool odbcBLOB::HasFormat(char mark) const {
    if (data_.size() < kSignatureSize || size_ < kSignatureSize) return false;
    for (size_t i = 0; i < kSignatureSize; ++i)
        if (data_[i] != static_cast<unsigned char>(mark)) return false;
    return true;
}

short odbcBLOB::SetBitmapInBlob(const odbcBitmapInfo* bitmap) {
    if (!bitmap || bitmap->planes == 0 || bitmap->height < 0 || bitmap->widthBytes < 0) {
        Signal(ODBC_RC_BAD_PARAMETER);
        return ReportRC();
    }
    size_t bits = size_t(bitmap->planes) * size_t(bitmap->height) * size_t(bitmap->widthBytes);
    if (size_ != kBitmapHeader + bits && !GetMem(kBitmapHeader + bits)) return ReportRC();
    unsigned char* p = data_.data();
    std::memset(p, ODBC_BLOB_BITMAP_MARK, kSignatureSize);
    p += kSignatureSize;
    PutLE32(p, static_cast<uint32_t>(bitmap->type));
    PutLE32(p + 4, static_cast<uint32_t>(bitmap->width));
    PutLE32(p + 8, static_cast<uint32_t>(bitmap->height));
    PutLE32(p + 12, static_cast<uint32_t>(bitmap->widthBytes));
    PutLE16(p + 16, bitmap->planes);
    PutLE16(p + 18, bitmap->bitsPixel);
    PutLE32(p + 20, 0);
    size_t copied = std::min(bits, bitmap->bits.size());
    if (copied) std::memcpy(data_.data() + kBitmapHeader, bitmap->bits.data(), copied);
    if (copied < bits) {
        Signal(ODBC_RC_BLOB_CONVERT);
        return ReportRC();
    }
    return 0;
}

short odbcBLOB::GetBitmapFromBlob(odbcBitmapInfo* bitmap) {
    if (!HasFormat(ODBC_BLOB_BITMAP_MARK)) {
        Signal(ODBC_RC_BLOB_SIGNATURE);
        return ReportRC();
    }
    if (!bitmap || size_ < kBitmapHeader || data_.size() < kBitmapHeader) {
        Signal(bitmap ? ODBC_RC_BLOB_CORRUPT : ODBC_RC_BAD_PARAMETER);
        return ReportRC();
    }
    const unsigned char* p = data_.data() + kSignatureSize;
    odbcBitmapInfo out;
    out.type = static_cast<int32_t>(GetLE32(p));
    out.width = static_cast<int32_t>(GetLE32(p + 4));
    out.height = static_cast<int32_t>(GetLE32(p + 8));
    out.widthBytes = static_cast<int32_t>(GetLE32(p + 12));
    out.planes = GetLE16(p + 16);
    out.bitsPixel = GetLE16(p + 18);
    size_t available = std::min<size_t>(size_, data_.size()) - kBitmapHeader;
    if (out.height < 0 || out.widthBytes < 0 ||
        size_t(out.planes) * size_t(out.height) * size_t(out.widthBytes) > available) {
        Signal(ODBC_RC_BLOB_CORRUPT);
        return ReportRC();
    }
    size_t bits = size_t(out.planes) * size_t(out.height) * size_t(out.widthBytes);
    out.bits.assign(data_.begin() + kBitmapHeader, data_.begin() + static_cast<std::ptrdiff_t>(kBitmapHeader + bits));
    *bitmap = std::move(out);
    return 0;
}

short odbcBLOB::SetMetaFilePictInBlob(const odbcMetaFilePict* picture) {
    if (!picture) {
        Signal(ODBC_RC_BAD_PARAMETER);
        return ReportRC();
    }
    size_t n = picture->bits.size();
    if (n == 0 || n > UINT32_MAX) {
        Signal(ODBC_RC_BLOB_CONVERT);
        return ReportRC();
    }
    if (size_ != kMetaFileHeader + n && !GetMem(kMetaFileHeader + n)) return ReportRC();
    unsigned char* p = data_.data();
    std::memset(p, ODBC_BLOB_METAFILE_MARK, kSignatureSize);
    p += kSignatureSize;
    PutLE32(p, static_cast<uint32_t>(picture->mappingMode));
    PutLE32(p + 4, static_cast<uint32_t>(picture->xExt));
    PutLE32(p + 8, static_cast<uint32_t>(picture->yExt));
    PutLE32(p + 12, 0);
    PutLE32(p + 16, static_cast<uint32_t>(n));
    std::memcpy(data_.data() + kMetaFileHeader, picture->bits.data(), n);
    return 0;
}

short odbcBLOB::GetMetaFilePictFromBlob(odbcMetaFilePict* picture) {
    if (!HasFormat(ODBC_BLOB_METAFILE_MARK)) {
        Signal(ODBC_RC_BLOB_SIGNATURE);
        return ReportRC();
    }
    if (!picture) {
        Signal(ODBC_RC_BAD_PARAMETER);
        return ReportRC();
    }
    size_t available = std::min<size_t>(size_, data_.size());
    if (available < kMetaFileHeader) {
        Signal(ODBC_RC_BLOB_CORRUPT);
        return ReportRC();
    }
    const unsigned char* p = data_.data() + kSignatureSize;
    size_t n = GetLE32(p + 16);
    if (n == 0 || n > available - kMetaFileHeader) {
        Signal(ODBC_RC_BLOB_CORRUPT);
        return ReportRC();
    }
    picture->mappingMode = static_cast<int32_t>(GetLE32(p));
    picture->xExt = static_cast<int32_t>(GetLE32(p + 4));
    picture->yExt = static_cast<int32_t>(GetLE32(p + 8));
    picture->bits.assign(data_.begin() + kMetaFileHeader,
                         data_.begin() + static_cast<std::ptrdiff_t>(kMetaFileHeader + n));
    return 0;
}
