// The connection's factory of table creators.
#include <new>

#include "database/odbc_connect.h"
#include "database/odbc_table_creator.h"

odbcTABLECREATOR* odbcCONNECT::AllocTableCreator() {
    auto* creator = new (std::nothrow) odbcTABLECREATOR(this);
    if (creator == nullptr) SetRC(ODBC_RC_MEMORY);
    return creator;
}

void odbcCONNECT::DeAllocTableCreator(odbcTABLECREATOR* creator) { delete creator; }
