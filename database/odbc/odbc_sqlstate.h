// Maps the SQLSTATEs of ODBC 3 drivers (and a few server-native ones) to their ODBC 2
// equivalents, so that one table of ODBC 2 states can describe every driver's errors.
#pragma once

namespace tessaro::database {

// Writes the ODBC 2 form of state into out (6 bytes with the terminator) and returns out.
// States without a known equivalent are copied unchanged; null or short input gives "".
const char* Odbc2SqlState(const char* state, char out[6]);

}  // namespace tessaro::database
