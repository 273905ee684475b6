// One long value (long text or long binary) in memory, read from a result column in pieces
// and sent as a data-at-execution parameter in pieces.
#pragma once

#include "database/odbc/odbc_api.h"

#include <cstdint>
#include <vector>

// Replaces a movable global memory block: a plain heap block.
struct odbcMemBlock {
    std::vector<unsigned char> bytes;
};

// The picture records stored after the 5-byte signature, little-endian.
struct odbcBitmapInfo {
    int32_t type = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t widthBytes = 0;
    uint16_t planes = 0;
    uint16_t bitsPixel = 0;
    std::vector<unsigned char> bits;  // planes * height * widthBytes bytes
};

struct odbcMetaFilePict {
    int32_t mappingMode = 0;
    int32_t xExt = 0;
    int32_t yExt = 0;
    std::vector<unsigned char> bits;  // the metafile's bytes
};

inline constexpr char ODBC_BLOB_BITMAP_MARK = 0x01;
inline constexpr char ODBC_BLOB_METAFILE_MARK = 0x02;
inline constexpr short ODBC_BLOB_NULL = 32000;
inline constexpr short ODBC_BLOB_EMPTY = 32001;
inline constexpr unsigned long ODBC_BLOB_ASSUMED_TOTAL = 4194287;

class odbcBLOB {
public:
    odbcBLOB(odbcCURSOR* cursor, unsigned short column, unsigned long precision, short sqlType,
             unsigned short parameter, long putChunk, long getChunk);
    virtual ~odbcBLOB();
    odbcBLOB(const odbcBLOB&) = delete;
    odbcBLOB& operator=(const odbcBLOB&) = delete;

    virtual void ReleaseMem();
    virtual short SetData(const void* source, unsigned long n);
    virtual short PutData(const void* source, unsigned long n);
    virtual bool IsEmpty() const { return length_ == 0; }
    virtual bool IsNull() const { return length_ == SQL_NULL_DATA; }
    virtual short GetData();
    virtual void* GetMem(unsigned long n);
    virtual SQLLEN GetcbValue() const { return length_; }
    // The indicator handed to the driver while the value is bound for data at execution.
    SQLLEN* Indicator() { return &indicator_; }
    virtual void SetNull() { length_ = SQL_NULL_DATA; }
    virtual odbcCURSOR* GetCursor() const { return getCursor_; }
    virtual odbcCURSOR* PutCursor() const { return putCursor_; }
    virtual odbcCURSOR* SetPutCursor(odbcCURSOR* cursor);
    virtual odbcCURSOR* SetGetCursor(odbcCURSOR* cursor);
    virtual short BindParameter();
    virtual unsigned short SetParamNumber(unsigned short n);
    virtual unsigned long SetGetChunkSize(unsigned long n) { return getChunk_ = n ? n : 1; }
    virtual unsigned long SetPutChunkSize(unsigned long n) { return putChunk_ = n ? n : 1; }
    virtual short SetHGlobalInBlob(const odbcMemBlock* block);
    virtual odbcMemBlock* GetHGlobalFromBlob(unsigned int flags);
    virtual short SetLPSTRInBlob(const char* text);
    virtual char* GetLPSTRFromBlob(unsigned long n);
    virtual short SetBitmapInBlob(const odbcBitmapInfo* bitmap);
    virtual short GetBitmapFromBlob(odbcBitmapInfo* bitmap);
    virtual short SetMetaFilePictInBlob(const odbcMetaFilePict* picture);
    virtual short GetMetaFilePictFromBlob(odbcMetaFilePict* picture);
    bool HasFormat(char mark) const;

    // The data-at-execution length indicator for a value of length bytes, in the form the
    // connection's driver asks for (SQL_NEED_LONG_DATA_LEN): SQL_DATA_AT_EXEC when it does not
    // say, SQL_LEN_DATA_AT_EXEC(length) when it wants the length, else SQL_LEN_DATA_AT_EXEC(0).
    static SQLLEN DataAtExecIndicator(odbcCONNECT* conn, SQLLEN length);
    // The bytes the value sends: the text without terminator, or the whole binary value.
    SQLLEN SendLength() const;

    unsigned long Size() const { return size_; }
    unsigned short ParamNumber() const { return param_; }
    short SqlType() const { return sqlType_; }

private:
    short ValueCType() const;
    bool IsCharacter() const { return ValueCType() == SQL_C_CHAR; }
    void Signal(short code);
    short ReportRC() const;

    odbcCURSOR* getCursor_;
    odbcCURSOR* putCursor_;
    unsigned short column_;
    unsigned short param_;
    std::vector<unsigned char> data_;
    unsigned long size_ = 0;
    unsigned long precision_;
    short sqlType_;
    unsigned long putChunk_;
    unsigned long getChunk_;
    SQLLEN length_ = SQL_NULL_DATA;
    SQLLEN indicator_ = SQL_NULL_DATA;  // handed to the driver while bound for execution
};
