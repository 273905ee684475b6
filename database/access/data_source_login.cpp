#include "database/access/data_source_login.h"

#include "platform/path_util.h"

bool SameDataSourceLogin(const CDataSourceLogin& a, const CDataSourceLogin& b) {
    return a.password == b.password && tessaro::platform::EqualsNoCase(a.dataSource, b.dataSource) &&
           tessaro::platform::EqualsNoCase(a.user, b.user);
}
