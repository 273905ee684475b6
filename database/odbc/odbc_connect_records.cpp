// The connection's factory of table creators, record inserters and record updaters.
#include <new>

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_record.h"
#include "database/odbc/odbc_table_creator.h"

odbcTABLECREATOR* odbcCONNECT::AllocTableCreator() {
    auto* creator = new (std::nothrow) odbcTABLECREATOR(this);
    if (creator == nullptr) SetRC(ODBC_RC_MEMORY);
    return creator;
}

void odbcCONNECT::DeAllocTableCreator(odbcTABLECREATOR* creator) {
    delete creator;
}

odbcRECINSERTER* odbcCONNECT::AllocRecInserter(const char* table, sCOLBIND* bindings, unsigned short count,
                                               void* record) {
    auto* inserter = new (std::nothrow) odbcRECINSERTER(this, table, bindings, count, record);
    if (inserter == nullptr) SetRC(ODBC_RC_MEMORY);
    return inserter;
}

void odbcCONNECT::DeAllocRecInserter(odbcRECINSERTER* inserter) {
    delete inserter;
}

odbcRECUPDATER* odbcCONNECT::AllocRecUpdater(const char* table, const char* select, sCOLBIND* bindings,
                                             unsigned short count, void* record, int execDirect,
                                             unsigned short concurrency, long cursorType, unsigned short rowsetSize) {
    auto* updater = new (std::nothrow)
        odbcRECUPDATER(this, table, select, bindings, count, record, execDirect, concurrency, cursorType, rowsetSize);
    if (updater == nullptr) SetRC(ODBC_RC_MEMORY);
    return updater;
}

void odbcCONNECT::DeAllocRecUpdater(odbcRECUPDATER* updater) {
    delete updater;
}
