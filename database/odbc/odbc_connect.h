// One ODBC connection: connect/disconnect, transactions, options, capability queries, the
// catalog enumerations and the factory of statements, cursors, long values and iterators.
#pragma once

#include "database/odbc/odbc_base.h"
#include "database/odbc/odbc_catalog_records.h"

class odbcENV;
class odbcColumnIterator;
class odbcColumnPrivilegesIterator;
class odbcForeignKeysIterator;
class odbcPrimaryKeysIterator;
class odbcProcedureColumnsIterator;
class odbcProceduresIterator;
class odbcSpecialColumnIterator;
class odbcStatisticsIterator;
class odbcTableIterator;
class odbcTablePrivilegesIterator;
class odbcTypeInfoIterator;

template <typename Record>
using odbcEnumCallback = short (*)(const Record& record, void* context);

inline constexpr int ODBC_OPTION_STRING_SIZE = SQL_MAX_OPTION_STRING_LENGTH + 1;

class odbcCONNECT : public odbcBASE {
public:
    odbcCONNECT(odbcENV* env, unsigned char* dsn, unsigned char* uid, unsigned char* pwd, unsigned long loginTimeout);
    odbcCONNECT(odbcENV* env, char* dsn, char* uid, char* pwd, unsigned long loginTimeout);
    ~odbcCONNECT() override;

    short RegisterError() override;

    // Binding tables of the catalog result sets (shared; bind copies only).
    virtual unsigned short SQLColumnsRSBCount() const { return 12; }
    virtual const sCOLBIND* SQLColumnsRSB() const { return kColumnsRSB; }
    virtual unsigned short SQLSpecialColumnsRSBCount() const { return 7; }
    virtual const sCOLBIND* SQLSpecialColumnsRSB() const { return kSpecialColumnsRSB; }
    virtual unsigned short SQLTablesRSBCount() const { return 5; }
    virtual const sCOLBIND* SQLTablesRSB() const { return kTablesRSB; }
    virtual unsigned short SQLStatisticsRSBCount() const { return 12; }
    virtual const sCOLBIND* SQLStatisticsRSB() const { return kStatisticsRSB; }
    virtual unsigned short SQLTypeInfoRSBCount() const { return 13; }
    virtual const sCOLBIND* SQLTypeInfoRSB() const { return kTypeInfoRSB; }
    virtual unsigned short SQLProcedureColumnsRSBCount() const { return 13; }
    virtual const sCOLBIND* SQLProcedureColumnsRSB() const { return kProcedureColumnsRSB; }
    virtual unsigned short SQLColumnPrivilegesRSBCount() const { return 8; }
    virtual const sCOLBIND* SQLColumnPrivilegesRSB() const { return kColumnPrivilegesRSB; }
    virtual unsigned short SQLProceduresRSBCount() const { return 7; }
    virtual const sCOLBIND* SQLProceduresRSB() const { return kProceduresRSB; }
    virtual unsigned short SQLForeignKeysRSBCount() const { return 12; }
    virtual const sCOLBIND* SQLForeignKeysRSB() const { return kForeignKeysRSB; }
    virtual unsigned short SQLTablePrivilegesRSBCount() const { return 7; }
    virtual const sCOLBIND* SQLTablePrivilegesRSB() const { return kTablePrivilegesRSB; }
    virtual unsigned short SQLPrimaryKeysRSBCount() const { return 5; }
    virtual const sCOLBIND* SQLPrimaryKeysRSB() const { return kPrimaryKeysRSB; }

    virtual unsigned char Connected() const { return connected_; }
    virtual SQLHDBC GetHdbc() const { return hdbc_; }
    virtual SQLHENV GetHenv() const { return henv_; }

    virtual short Connect(char* dsn, char* uid, char* pwd);
    virtual short Connect(unsigned char* dsn, unsigned char* uid, unsigned char* pwd);
    virtual short Disconnect();
    virtual short Commit();
    virtual short RollBack();

    virtual odbcSTMT* AllocStmt(char* text, int prepare, int execute, sPARMBIND* parms, unsigned short parmCount,
                                void* parmRecord);
    virtual odbcSTMT* AllocStmt(unsigned char* text, int prepare, int execute, sPARMBIND* parms,
                                unsigned short parmCount, void* parmRecord);
    virtual odbcCURSOR* AllocCursor(char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                                    unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short colCount,
                                    void* record);
    virtual odbcCURSOR* AllocCursor(unsigned char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                                    unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short colCount,
                                    void* record);
    virtual void DeAllocStmt(odbcSTMT* stmt);
    virtual odbcBLOB* AllocBLOB(odbcCURSOR* cursor, unsigned short column, unsigned long precision, short sqlType,
                                unsigned short parameter, long putChunk, long getChunk);
    virtual void DeAllocBLOB(odbcBLOB* blob);
    virtual odbcColumnIterator* AllocColumnIterator(char* qualifier, char* owner, char* table, char* column);
    virtual void DeAllocColumnIterator(odbcColumnIterator* it);
    virtual odbcColumnPrivilegesIterator* AllocColumnPrivilegesIterator(char* qualifier, char* owner, char* table,
                                                                        char* column);
    virtual void DeAllocColumnPrivilegesIterator(odbcColumnPrivilegesIterator* it);
    virtual odbcForeignKeysIterator* AllocForeignKeysIterator(char* pkQualifier, char* pkOwner, char* pkTable,
                                                              char* fkQualifier, char* fkOwner, char* fkTable);
    virtual void DeAllocForeignKeysIterator(odbcForeignKeysIterator* it);
    virtual odbcPrimaryKeysIterator* AllocPrimaryKeysIterator(char* qualifier, char* owner, char* table);
    virtual void DeAllocPrimaryKeysIterator(odbcPrimaryKeysIterator* it);
    virtual odbcProcedureColumnsIterator* AllocProcedureColumnsIterator(char* qualifier, char* owner, char* procedure,
                                                                        char* column);
    virtual void DeAllocProcedureColumnsIterator(odbcProcedureColumnsIterator* it);
    virtual odbcProceduresIterator* AllocProceduresIterator(char* qualifier, char* owner, char* procedure);
    virtual void DeAllocProceduresIterator(odbcProceduresIterator* it);
    virtual odbcSpecialColumnIterator* AllocSpecialColumnIterator(unsigned short colType, char* qualifier, char* owner,
                                                                  char* table, unsigned short scope,
                                                                  unsigned short nullable);
    virtual void DeAllocSpecialColumnIterator(odbcSpecialColumnIterator* it);
    virtual odbcStatisticsIterator* AllocStatisticsIterator(char* qualifier, char* owner, char* table,
                                                            unsigned short unique, unsigned short accuracy);
    virtual void DeAllocStatisticsIterator(odbcStatisticsIterator* it);
    virtual odbcTableIterator* AllocTableIterator(char* qualifier, char* owner, char* table, char* tableType);
    virtual void DeAllocTableIterator(odbcTableIterator* it);
    virtual odbcTablePrivilegesIterator* AllocTablePrivilegesIterator(char* qualifier, char* owner, char* table);
    virtual void DeAllocTablePrivilegesIterator(odbcTablePrivilegesIterator* it);
    virtual odbcTypeInfoIterator* AllocTypeInfoIterator();
    virtual void DeAllocTypeInfoIterator(odbcTypeInfoIterator* it);
    virtual void DeAllocCursor(odbcCURSOR* cursor);

    virtual SQLULEN GetConnectOption(unsigned short option);
    // String options (trace file, translation library, current qualifier) land in a
    // per-connection buffer that stays valid until the next call.
    virtual const char* GetConnectOptionString(unsigned short option);
    virtual short SetConnectOption(unsigned short option, SQLULEN value);
    virtual short SetConnectOptionString(unsigned short option, const char* text);

    virtual short DriverConnect(odbcHWND wnd, unsigned char* in, unsigned char* out, short outMax, short* outLen,
                                unsigned short completion);
    virtual short DriverConnect(odbcHWND wnd, char* in, char* out, short outMax, short* outLen,
                                unsigned short completion);
    virtual short DriverConnectNoPrompt(char* in, char* out, short outMax);
    virtual short DriverConnectNoPrompt(unsigned char* in, unsigned char* out, short outMax);
    virtual short DriverConnectComplete(odbcHWND wnd, char* in, char* out, short outMax);
    virtual short DriverConnectComplete(odbcHWND wnd, unsigned char* in, unsigned char* out, short outMax);
    virtual short DriverConnectPrompt(odbcHWND wnd, char* out, short outMax);
    virtual short DriverConnectPrompt(odbcHWND wnd, unsigned char* out, short outMax);
    virtual short DriverConnectCompleteRequired(odbcHWND wnd, char* in, char* out, short outMax);
    virtual short DriverConnectCompleteRequired(odbcHWND wnd, unsigned char* in, unsigned char* out, short outMax);

    // Capabilities.
    virtual unsigned short GetFunctions(unsigned short function);
    virtual short GetInfo(unsigned short infoType, void* buffer, short capacity, short* length);
    virtual short GetInfoString(unsigned short infoType, char* buffer, short capacity, short* length);
    virtual unsigned long GetInfoUDWord(unsigned short infoType);

    // Catalog enumerations.
    virtual short EnumColumns(char* qualifier, char* owner, char* table, char* column,
                              odbcEnumCallback<sSQLCOLUMNSRESULTSET> callback, void* context);
    virtual short EnumColumns(unsigned char* qualifier, unsigned char* owner, unsigned char* table,
                              unsigned char* column, odbcEnumCallback<sSQLCOLUMNSRESULTSET> callback, void* context);
    virtual short EnumSpecialColumns(unsigned short colType, char* qualifier, char* owner, char* table,
                                     unsigned short scope, unsigned short nullable,
                                     odbcEnumCallback<sSQLSPECIALCOLRESULTSET> callback, void* context);
    virtual short EnumSpecialColumns(unsigned short colType, unsigned char* qualifier, unsigned char* owner,
                                     unsigned char* table, unsigned short scope, unsigned short nullable,
                                     odbcEnumCallback<sSQLSPECIALCOLRESULTSET> callback, void* context);
    virtual short EnumTables(char* qualifier, char* owner, char* table, char* tableType,
                             odbcEnumCallback<sSQLTABLESRESULTSET> callback, void* context);
    virtual short EnumTables(unsigned char* qualifier, unsigned char* owner, unsigned char* table,
                             unsigned char* tableType, odbcEnumCallback<sSQLTABLESRESULTSET> callback, void* context);
    virtual short EnumStatistics(char* qualifier, char* owner, char* table, unsigned short unique,
                                 unsigned short accuracy, odbcEnumCallback<sSQLSTATISTICSRESULTSET> callback,
                                 void* context);
    virtual short EnumStatistics(unsigned char* qualifier, unsigned char* owner, unsigned char* table,
                                 unsigned short unique, unsigned short accuracy,
                                 odbcEnumCallback<sSQLSTATISTICSRESULTSET> callback, void* context);
    virtual short GetTypeInfo(unsigned short sqlType, sSQLTYPEINFORESULTSET& record);
    virtual short EnumTypeInfo(odbcEnumCallback<sSQLTYPEINFORESULTSET> callback, void* context);
    virtual short EnumProcedureColumns(char* qualifier, char* owner, char* procedure, char* column,
                                       odbcEnumCallback<sPROCEDURECOLUMNSRESULTSET> callback, void* context);
    virtual short EnumProcedureColumns(unsigned char* qualifier, unsigned char* owner, unsigned char* procedure,
                                       unsigned char* column, odbcEnumCallback<sPROCEDURECOLUMNSRESULTSET> callback,
                                       void* context);
    virtual short EnumColumnPrivileges(char* qualifier, char* owner, char* table, char* column,
                                       odbcEnumCallback<sCOLUMNPRIVILEGESRESULTSET> callback, void* context);
    virtual short EnumColumnPrivileges(unsigned char* qualifier, unsigned char* owner, unsigned char* table,
                                       unsigned char* column, odbcEnumCallback<sCOLUMNPRIVILEGESRESULTSET> callback,
                                       void* context);
    virtual short EnumTablePrivileges(char* qualifier, char* owner, char* table,
                                      odbcEnumCallback<sTABLEPRIVILEGESRESULTSET> callback, void* context);
    virtual short EnumTablePrivileges(unsigned char* qualifier, unsigned char* owner, unsigned char* table,
                                      odbcEnumCallback<sTABLEPRIVILEGESRESULTSET> callback, void* context);
    virtual short EnumProcedures(char* qualifier, char* owner, char* procedure,
                                 odbcEnumCallback<sPROCEDURESRESULTSET> callback, void* context);
    virtual short EnumProcedures(unsigned char* qualifier, unsigned char* owner, unsigned char* procedure,
                                 odbcEnumCallback<sPROCEDURESRESULTSET> callback, void* context);
    virtual short EnumForeignKeys(unsigned char* pkQualifier, unsigned char* pkOwner, unsigned char* pkTable,
                                  unsigned char* fkQualifier, unsigned char* fkOwner, unsigned char* fkTable,
                                  odbcEnumCallback<sFOREIGNKEYSRESULTSET> callback, void* context);
    virtual short ForeignKeys(char* pkQualifier, char* pkOwner, char* pkTable, char* fkQualifier, char* fkOwner,
                              char* fkTable, odbcEnumCallback<sFOREIGNKEYSRESULTSET> callback, void* context);
    virtual short EnumPrimaryKeys(unsigned char* qualifier, unsigned char* owner, unsigned char* table,
                                  odbcEnumCallback<sPRIMARYKEYSRESULTSET> callback, void* context);
    virtual short PrimaryKeys(char* qualifier, char* owner, char* table,
                              odbcEnumCallback<sPRIMARYKEYSRESULTSET> callback, void* context);

    // Quiet capability answers.
    virtual int CursorsCanScroll();
    virtual const char* GetIdentifierQuoteMark();
    virtual unsigned long GetQuotedIdentifierCase();
    virtual unsigned long GetIdentifierCase();
    virtual unsigned long PosStmtSupport();
    virtual unsigned long SetPosSupport();
    virtual short NativeSql(char* in, char* out, long outMax, long* outLen);
    virtual short NativeSql(unsigned char* in, unsigned char* out, long outMax, long* outLen);

    odbcENV* GetEnv() const { return env_; }
    // True when the driver is the SQLite one, whose gaps some operations work around.
    bool IsSQLiteDriver();

private:
    friend class odbcENV;
    friend class odbcSTMT;
    virtual void RegisterStmt(odbcSTMT* stmt);
    virtual void UnregisterStmt(odbcSTMT* stmt);
    void DetachEnvironment() { env_ = nullptr; }
    void ForgetStatementHandles();
    unsigned long QuietInfoUDWord(unsigned short infoType, bool clearAfter);
    template <typename Record>
    short Enumerate(const sCOLBIND* table, unsigned short count, short (*query)(odbcCURSOR&, void* args), void* args,
                    odbcEnumCallback<Record> callback, void* context);

    SQLHDBC hdbc_ = SQL_NULL_HDBC;
    SQLHENV henv_ = SQL_NULL_HENV;
    odbcENV* env_ = nullptr;
    odbcSTMTLIST* statements_ = nullptr;
    unsigned char connected_ = 0;
    char quoteMark_[6] = {};
    char optionString_[ODBC_OPTION_STRING_SIZE] = {};
    int sqliteDriver_ = -1;  // unknown until asked
};
