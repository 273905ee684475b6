// Typed records of the catalog result sets and the binding tables that map each result set
// onto its record. The tables are templates: bind a copy, never the shared array.
#pragma once

#include "database/odbc/odbc_bind_records.h"

#include <cstdint>

struct sSQLCOLUMNSRESULTSET {
    char TABLE_QUALIFIER[128];
    char TABLE_OWNER[128];
    char TABLE_NAME[128];
    char COLUMN_NAME[128];
    int16_t DATA_TYPE;
    char TYPE_NAME[128];
    int32_t PRECISION;
    int32_t LENGTH;
    int16_t SCALE;
    int16_t RADIX;
    int16_t NULLABLE;
    char REMARKS[254];
};

struct sSQLTABLESRESULTSET {
    char TABLE_QUALIFIER[128];
    char TABLE_OWNER[128];
    char TABLE_NAME[128];
    char TABLE_TYPE[128];
    char REMARKS[254];
};

struct sSQLSTATISTICSRESULTSET {
    char TABLE_QUALIFIER[128];
    char TABLE_OWNER[128];
    char TABLE_NAME[128];
    int16_t NON_UNIQUE;
    char INDEX_QUALIFIER[128];
    char INDEX_NAME[128];
    int16_t TYPE;
    int16_t SEQ_IN_INDEX;
    char COLUMN_NAME[128];
    char COLLATION[2];
    int32_t CARDINALITY;
    int32_t PAGES;
};

struct sSQLSPECIALCOLRESULTSET {
    int16_t SCOPE;
    char COLUMN_NAME[128];
    int16_t DATA_TYPE;
    char TYPE_NAME[128];
    int32_t PRECISION;
    int32_t LENGTH;
    int16_t SCALE;
};

struct sSQLTYPEINFORESULTSET {
    char TYPE_NAME[128];
    int16_t DATA_TYPE;
    int32_t PRECISION;
    char LITERAL_PREFIX[128];
    char LITERAL_SUFFIX[128];
    char CREATE_PARAMS[128];
    int16_t NULLABLE;
    int16_t CASE_SENSITIVE;
    int16_t SEARCHABLE;
    int16_t UNSIGNED_ATTRIBUTE;
    int16_t MONEY;
    int16_t AUTO_INCREMENT;
    char LOCAL_TYPE_NAME[128];
};

struct sPROCEDURECOLUMNSRESULTSET {
    char PROCEDURE_QUALIFIER[255];
    char PROCEDURE_OWNER[129];
    char PROCEDURE_NAME[129];
    char COLUMN_NAME[129];
    int16_t COLUMN_TYPE;
    char DATA_TYPE[9];
    char TYPE_NAME[129];  // wide enough for every type name, "TIMESTAMP" included
    int32_t PRECISION;
    int32_t LENGTH;
    int16_t SCALE;
    int16_t RADIX;
    int16_t NULLABLE;
    char REMARKS[255];
};

struct sCOLUMNPRIVILEGESRESULTSET {
    char TABLE_QUALIFIER[255];
    char TABLE_OWNER[129];
    char TABLE_NAME[129];
    char column_name[129];
    char GRANTOR[129];
    char GRANTEE[129];
    char PRIVILEGE[11];
    char IS_GRANTABLE[4];
};

struct sPROCEDURESRESULTSET {
    char PROCEDURE_QUALIFIER[255];
    char PROCEDURE_OWNER[129];
    char PROCEDURE_NAME[129];
    int32_t NUM_INPUT_PARAMS;
    int32_t NUM_OUTPUT_PARAMS;
    int32_t NUM_RESULT_SETS;
    char REMARKS[255];
};

struct sFOREIGNKEYSRESULTSET {
    char PKTABLE_QUALIFIER[512];
    char PKTABLE_OWNER[129];
    char PKTABLE_NAME[129];
    char PKCOLUMN_NAME[129];
    char FKTABLE_QUALIFIER[512];
    char FKTABLE_OWNER[129];
    char FKTABLE_NAME[129];
    char FKCOLUMN_NAME[129];
    int16_t KEY_SEQ;
    int16_t Update_Rule;
    int16_t Delete_Rule;
    char ROLE_NAME[129];
};

struct sTABLEPRIVILEGESRESULTSET {
    char TABLE_QUALIFIER[255];
    char TABLE_OWNER[129];
    char TABLE_NAME[129];
    char GRANTOR[129];
    char GRANTEE[129];
    char PRIVILEGE[11];
    char IS_GRANTABLE[4];
};

struct sPRIMARYKEYSRESULTSET {
    char TABLE_QUALIFIER[255];
    char TABLE_OWNER[129];
    char TABLE_NAME[129];
    char column_name[129];
    int16_t KEY_SEQ;
};

// The shared binding tables; index with the count accessors of odbcCONNECT.
extern const sCOLBIND kColumnsRSB[12];
extern const sCOLBIND kSpecialColumnsRSB[7];
extern const sCOLBIND kTablesRSB[5];
extern const sCOLBIND kStatisticsRSB[12];
extern const sCOLBIND kTypeInfoRSB[13];
extern const sCOLBIND kProcedureColumnsRSB[13];
extern const sCOLBIND kColumnPrivilegesRSB[8];
extern const sCOLBIND kProceduresRSB[7];
extern const sCOLBIND kForeignKeysRSB[12];
extern const sCOLBIND kTablePrivilegesRSB[7];
extern const sCOLBIND kPrimaryKeysRSB[5];
