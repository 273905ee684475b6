// The print engine's C interface: the records its callers fill and the twenty entry points
// they bind by name. Shared by the library and by the report server's binding, so both
// agree on every record's packed layout.
//
// Every record starts with its own size, which the library compares with the sizeof it was
// built with. On a 64-bit build the records that carry pointers are larger than on a 32-bit
// one: the export options take 158 bytes (150 on 32 bits) and the HTML and disk options
// 10 bytes (6 on 32 bits); the table type (324) and log-on (514) records are the same.
#pragma once

#include <cstdint>

extern "C" {

#pragma pack(push, 1)

struct PETableType {
    uint16_t StructSize;
    char DLLName[64];  // the database library the table is read through
    char DescriptiveName[256];
    uint16_t DBType;
};

struct PELogOnInfo {
    uint16_t StructSize;
    char ServerName[128];  // for an ODBC table: the data source name
    char DatabaseName[128];
    char UserID[128];
    char Password[128];
};

struct PEExportOptions {
    uint16_t StructSize;
    char formatDLLName[64];
    uint32_t formatType;  // HTML subtype: 0 standard, 1 microsoft, 2 netscape
    void* formatOptions;  // PEHtmlOptions
    char destinationDLLName[64];
    uint32_t destinationType;  // 0: a file on disk
    void* destinationOptions;  // PEDiskOptions
    uint16_t nFormatOptionsBytes;
    uint16_t nDestinationOptionsBytes;
};

struct PEHtmlOptions {
    uint16_t structSize;
    const char* fileName;
};

struct PEDiskOptions {
    uint16_t structSize;
    const char* fileName;
};

#pragma pack(pop)

static_assert(sizeof(PETableType) == 324);
static_assert(sizeof(PELogOnInfo) == 514);

// Version selectors of PEGetVersion.
enum { PE_GV_DLL = 100, PE_GV_ENGINE = 200 };
// Sort directions of PESetNthSortField.
enum { PE_SF_DESCENDING = 0, PE_SF_ASCENDING = 1 };

// Results: nonzero is success unless said otherwise; job numbers are 1..32767, 0 is failure.
int PEOpenEngine(void);
void PECloseEngine(void);
short PEGetVersion(short which);  // major in the high byte
short PEOpenPrintJob(const char* reportFilePath);
int PELogOnSQLServerWithPrivateInfo(const char* dllName, void* privateInfo);
short PEGetErrorCode(short printJob);  // job 0: the engine's own errors
int PEGetErrorText(short printJob, void** textHandle, short* textLength);
int PEGetHandleString(void* textHandle, char* buffer, short bufferLength);
int PEClosePrintJob(short printJob);
int PESetSelectionFormula(short printJob, const char* formulaString);
int PEGetFormula(short printJob, const char* formulaName, void** textHandle, short* textLength);
int PESetFormula(short printJob, const char* formulaName, const char* formulaString);
int PESetNthSortField(short printJob, short sortFieldN, const char* name, short direction);
int PEGetNthTableType(short printJob, short tableN, PETableType* tableType);
int PEGetNthTableLogOnInfo(short printJob, short tableN, PELogOnInfo* logOnInfo);
int PESetNthTableLogOnInfo(short printJob, short tableN, PELogOnInfo* logOnInfo, int propagateAcrossTables);
int PEDiscardSavedData(short printJob);
int PEExportTo(short printJob, PEExportOptions* options);
int PEEnableProgressDialog(short printJob, int enable);
int PEStartPrintJob(short printJob, int waitUntilFinished);

}  // extern "C"

namespace tessaro::print {

// The error numbers the library gives.
enum ErrorNumber : short {
    kErrNone = 0,
    kErrEngineNotOpen = 501,
    kErrBadJobNumber = 502,
    kErrReportFile = 503,  // the definition cannot be read or is malformed
    kErrRecordSize = 507,  // a record's size field is not the library's own
    kErrUnknownField = 509,
    kErrUnknownFormula = 510,
    kErrBadTableNumber = 523,
    kErrFormulaSyntax = 515,
    kErrLogOn = 536,       // connecting or running the table's query failed
    kErrExport = 545,      // no export set, or the file cannot be written
    kErrFormulaRun = 546,  // a formula failed while rows were printed
};

}  // namespace tessaro::print
