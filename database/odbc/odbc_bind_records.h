// Binding records through which callers describe where result columns and parameters live.
#pragma once

#include "database/odbc/odbc_api.h"

#include <cstdint>

struct sCOLBIND {
    unsigned short icol = 0;
    short fCType = 0;
    uint32_t valueOffset = 0;
    SQLLEN cbValueMax = 0;  // buffer capacity; AutoBind first stores the precision here
    SQLLEN cbValue = 0;     // length/indicator written by the driver in single-row mode
    short isPointer = 0;    // non-zero: the record holds a pointer to the buffer at valueOffset
    char szColName[128] = {};
    short fSqlType = 0;
    short ibScale = 0;
    short fNullable = 0;
    const char* szColExtra = nullptr;
};

// valueOffset -2 means the value's address is in valueAddress.
inline constexpr short PARM_VALUE_BY_ADDRESS = -2;

struct sPARMBIND {
    unsigned short ipar = 0;
    short fCType = 0;
    short fSqlType = 0;
    SQLULEN cbColDef = 0;
    short ibScale = 0;
    short valueOffset = 0;
    void* valueAddress = nullptr;
    SQLLEN cbValue = 0;
    short fParamType = 0;  // 0 is taken as SQL_PARAM_INPUT
};
