#include "database/odbc/odbc_sqlstate.h"

#include <gtest/gtest.h>

namespace tessaro::database {
namespace {

TEST(OdbcSqlState, MapsToOdbc2Forms) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"HY000", "S1000"}, {"HY001", "S1001"}, {"42S02", "S0002"}, {"42000", "37000"}, {"HYT00", "S1T00"},
        {"07009", "S1002"}, {"42P01", "S0002"}, {"42703", "S0022"}, {"23505", "23000"}, {"23999", "23000"},
        {"42999", "37000"}, {"S1000", "S1000"}, {"01004", "01004"}, {"08S01", "08S01"}, {"IM002", "IM002"},
        {"23000", "23000"}, {"", ""},           {"HY0", ""},
    };
    for (auto& c : cases) {
        char out[6];
        EXPECT_STREQ(Odbc2SqlState(c.in, out), c.out) << c.in;
    }
    char out[6];
    EXPECT_STREQ(Odbc2SqlState(nullptr, out), "");
}

}  // namespace
}  // namespace tessaro::database
