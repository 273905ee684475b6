// The questions tsutils answers. Each handler gets the request's parameters, fills the
// answers and a failure text, and reports success. None of them ever opens a window: a
// failing connection is reported through the message only.
#pragma once

#include <string>
#include <vector>

#include "wizardutils/request_file.h"

class odbcENV;

namespace tessaro::wizardutils {

struct HandlerResult {
    bool success = false;
    AnswerList answers;
    std::string message;
};

HandlerResult GetDataSources(const RequestSection& parameters, const std::vector<std::string>& odbcFiles);
HandlerResult GetTablesForDataSource(odbcENV& env, const RequestSection& parameters);
HandlerResult GetFieldsForTable(odbcENV& env, const RequestSection& parameters);
// The same columns, COLUMN_NAME = "<DATA_TYPE>,<PRECISION>" as the catalogue gives them (the
// ODBC type code and the column's size: for text, its length in characters; 0 when the driver
// names none).
HandlerResult GetFieldSizesForTable(odbcENV& env, const RequestSection& parameters);
// The table's primary key: one answer per key column, COLUMN_NAME = its position in the key
// (from 1). A table without a declared key succeeds with no answer.
HandlerResult GetPrimaryKeysForTable(odbcENV& env, const RequestSection& parameters);
HandlerResult GetServerSettings(const RequestSection& parameters);

// "DSN=<name>;" then "UID=<user>;" and "PWD=<password>;" when given.
std::string DataSourceConnectionString(const RequestSection& parameters);

}  // namespace tessaro::wizardutils
