// Reading a value of the current row as text, whole.
#include "database/odbc/odbc_cursor.h"

#include <algorithm>
#include <cstring>

short odbcCURSOR::GetDataAsText(unsigned short icol, std::string* text, bool* isNull) {
    text->clear();
    *isNull = false;
    char piece[ODBC_TEXT_PIECE];
    for (;;) {
        SQLLEN indicator = 0;
        GetData(icol, SQL_C_CHAR, piece, sizeof piece, &indicator);
        // The value was read to its end by the pieces before.
        if (lastRC() == SQL_NO_DATA_FOUND) {
            SetRC(SQL_SUCCESS);
            return lastRC();
        }
        if (!sqlsuccess()) return lastRC();
        if (indicator == SQL_NULL_DATA) {
            *isNull = true;
            return lastRC();
        }
        // A piece holds at most its size less the terminating NUL; a driver that cannot tell
        // the length left (SQL_NO_TOTAL) has filled the piece up to its terminator.
        SQLLEN got = indicator >= 0 ? std::min<SQLLEN>(indicator, sizeof piece - 1)
                                    : static_cast<SQLLEN>(strnlen(piece, sizeof piece - 1));
        text->append(piece, static_cast<std::size_t>(got));
        if (lastRC() == SQL_SUCCESS) return lastRC();
    }
}
