#include "database/odbc/odbc_sqlstate.h"

#include <cstring>

namespace tessaro::database {

namespace {

struct StatePair {
    const char* from;
    const char* to;
};

// Exact renamings between ODBC 3 and ODBC 2, then states native to PostgreSQL.
const StatePair kExact[] = {
    {"07005", "24000"},
    {"07009", "S1002"},
    {"08001", "08001"},
    {"22007", "22008"},
    {"42000", "37000"},
    {"42S01", "S0001"},
    {"42S02", "S0002"},
    {"42S11", "S0011"},
    {"42S12", "S0012"},
    {"42S21", "S0021"},
    {"42S22", "S0022"},
    {"HY000", "S1000"},
    {"HY001", "S1001"},
    {"HY003", "S1003"},
    {"HY004", "S1004"},
    {"HY007", "S1010"},
    {"HY008", "S1008"},
    {"HY009", "S1009"},
    {"HY010", "S1010"},
    {"HY011", "S1011"},
    {"HY012", "S1012"},
    {"HY013", "S1000"},
    {"HY014", "S1000"},
    {"HY015", "S1000"},
    {"HY016", "S1000"},
    {"HY017", "S1000"},
    {"HY018", "70100"},
    {"HY019", "22003"},
    {"HY020", "S1000"},
    {"HY021", "S1000"},
    {"HY024", "S1009"},
    {"HY090", "S1090"},
    {"HY091", "S1091"},
    {"HY092", "S1092"},
    {"HY095", "S1095"},
    {"HY096", "S1096"},
    {"HY097", "S1097"},
    {"HY098", "S1098"},
    {"HY099", "S1099"},
    {"HY100", "S1100"},
    {"HY101", "S1101"},
    {"HY103", "S1103"},
    {"HY104", "S1104"},
    {"HY105", "S1105"},
    {"HY106", "S1106"},
    {"HY107", "S1107"},
    {"HY109", "S1109"},
    {"HY110", "S1110"},
    {"HY111", "S1111"},
    {"HYC00", "S1C00"},
    {"HYT00", "S1T00"},
    {"HYT01", "S1T00"},
    {"IM001", "IM001"},
    // PostgreSQL's own states.
    {"42P01", "S0002"},
    {"42P07", "S0001"},
    {"42703", "S0022"},
    {"42701", "S0021"},
    {"42710", "S0011"},
    {"42704", "S0012"},
    {"42601", "37000"},
    {"42501", "42000"},
    {"22P02", "22005"},
    {"23505", "23000"},
    {"23503", "23000"},
    {"23502", "23000"},
    {"23514", "23000"},
    {"57014", "70100"},
    {"08006", "08S01"},
    {"08003", "08003"},
};

// Classes without an exact entry: the class's generic ODBC 2 state.
const StatePair kClasses[] = {
    {"23", "23000"}, {"42", "37000"}, {"40", "40001"}, {"53", "S1001"}, {"57", "S1000"},
    {"58", "S1000"}, {"XX", "S1000"}, {"P0", "S1000"}, {"HY", "S1000"},
};

}  // namespace

const char* Odbc2SqlState(const char* state, char out[6]) {
    out[0] = 0;
    if (!state || std::strlen(state) < 5) return out;
    for (const auto& p : kExact) {
        if (std::strncmp(state, p.from, 5) == 0) {
            std::memcpy(out, p.to, 6);
            return out;
        }
    }
    std::memcpy(out, state, 5);
    out[5] = 0;
    // Digits-only ODBC 2 states, and S1/S0/IM ones, pass unchanged.
    for (const auto& p : kClasses) {
        if (std::strncmp(state, p.from, 2) == 0) {
            bool odbc2 = false;
            for (const auto& e : kExact)
                if (std::strncmp(state, e.to, 5) == 0) odbc2 = true;
            if (!odbc2) std::memcpy(out, p.to, 6);
            return out;
        }
    }
    return out;
}

}  // namespace tessaro::database
