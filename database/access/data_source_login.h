// The login a template names for a data source. It identifies a pooled connection and the
// request's connection to it.
#pragma once

#include <string>

struct CDataSourceLogin {
    std::string dataSource;
    std::string user;
    std::string password;
};

// Data-source and user names compare without regard to case, passwords exactly: the pool,
// the request's set and a transaction all use this one rule, so a statement inside a
// transaction always runs on the transaction's connection.
bool SameDataSourceLogin(const CDataSourceLogin& a, const CDataSourceLogin& b);
