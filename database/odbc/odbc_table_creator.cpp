#include "database/odbc/odbc_table_creator.h"

#include <cstdio>
#include <cstring>

#include "database/odbc/odbc_connect.h"
#include "platform/path_util.h"

namespace {

constexpr short kIllFormed = -1004;
constexpr short kCannotConvert = -1005;
constexpr short kBadCursor = -1006;

struct TypeWord {
    const char* word;
    short sqlType;
    unsigned long minimumPrecision;
};

const TypeWord kTypeWords[] = {
    {"CHAR", SQL_CHAR, 0},
    {"NUMERIC", SQL_NUMERIC, 0},
    {"DECIMAL", SQL_DECIMAL, 0},
    {"INTEGER", SQL_INTEGER, 10},
    {"SMALLINT", SQL_SMALLINT, 5},
    {"FLOAT", SQL_FLOAT, 7},
    {"REAL", SQL_REAL, 7},
    {"DOUBLE", SQL_DOUBLE, 15},
    {"VARCHAR", SQL_VARCHAR, 0},
    {"DATE", SQL_DATE, 0},
    {"TIME", SQL_TIME, 0},
    {"TIMESTAMP", SQL_TIMESTAMP, 0},
    {"LONGVARCHAR", SQL_LONGVARCHAR, 0},
    {"BINARY", SQL_BINARY, 0},
    {"VARBINARY", SQL_VARBINARY, 0},
    {"LONGVARBINARY", SQL_LONGVARBINARY, 0},
    {"BIGINT", SQL_BIGINT, 15},
    {"TINYINT", SQL_TINYINT, 3},
    {"BIT", SQL_BIT, 1},
};

bool IsIntegerClass(short t) {
    return t == SQL_BIT || t == SQL_TINYINT || t == SQL_SMALLINT || t == SQL_INTEGER || t == SQL_BIGINT;
}
bool IsApproximateOrExact(short t) {
    return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE || t == SQL_NUMERIC || t == SQL_DECIMAL;
}
bool IsCharacter(short t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR;
}
bool IsBinary(short t) {
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}
// ODBC 3 drivers answer with the new date and time codes.
short Odbc2DateType(short t) {
    if (t == SQL_TYPE_DATE) return SQL_DATE;
    if (t == SQL_TYPE_TIME) return SQL_TIME;
    if (t == SQL_TYPE_TIMESTAMP) return SQL_TIMESTAMP;
    return t;
}

std::string TrimmedRight(const char* text) {
    return std::string(tessaro::platform::TrimAsciiRight(text, " "));
}

bool ReadNumber(const std::string& text, std::size_t& i, unsigned long& value) {
    std::size_t start = i;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + static_cast<unsigned long>(text[i++] - '0');
    return i > start;
}

void SkipBlanks(const std::string& text, std::size_t& i) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
}

}  // namespace

odbcTABLECREATOR::odbcTABLECREATOR(odbcCONNECT* conn)
    : odbcCURSOR(conn, static_cast<char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr) {}

odbcTABLECREATOR::~odbcTABLECREATOR() = default;

const char* odbcTABLECREATOR::SetszTab(const char* tab) {
    const char* previous = tab_;
    tab_ = tab != nullptr ? tab : "";
    return previous;
}

const char* odbcTABLECREATOR::SetszEoln(const char* eoln) {
    const char* previous = eoln_;
    eoln_ = eoln != nullptr ? eoln : "";
    return previous;
}

short odbcTABLECREATOR::ColumnTypeFromToken(const char* word, short* sqlType, unsigned long* precision) {
    if (word == nullptr) return -1;
    for (const TypeWord& t : kTypeWords) {
        if (!tessaro::platform::EqualsNoCase(word, t.word)) continue;
        if (sqlType) *sqlType = t.sqlType;
        if (precision && *precision < t.minimumPrecision) *precision = t.minimumPrecision;
        return 0;
    }
    return -1;
}

const char* odbcTABLECREATOR::GetCreateTypeName(short sqlType) {
    for (const TypeWord& t : kTypeWords)
        if (t.sqlType == Odbc2DateType(sqlType)) return t.word;
    return "?";
}

short odbcTABLECREATOR::LoadTypeInfo() {
    types_.clear();
    odbcCONNECT* conn = GetConnect();
    if (conn == nullptr) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    short rc = conn->EnumTypeInfo(
        [](const sSQLTYPEINFORESULTSET& row, void* context) -> short {
            static_cast<std::vector<sSQLTYPEINFORESULTSET>*>(context)->push_back(row);
            return 0;
        },
        &types_);
    // The end of the rows is no failure.
    if (rc == SQL_NO_DATA_FOUND) rc = SQL_SUCCESS;
    if (!odbcSucceeded(rc)) SetRC(rc);
    return rc;
}

int odbcTABLECREATOR::ChooseType(const char* typeName, short sqlType, unsigned long precision) const {
    auto pass = [&](auto condition) {
        int winner = -1;
        for (std::size_t i = 0; i < types_.size(); ++i) {
            const sSQLTYPEINFORESULTSET& row = types_[i];
            if (static_cast<long>(row.PRECISION) < static_cast<long>(precision) || !condition(row)) continue;
            if (winner < 0 || static_cast<unsigned long>(static_cast<std::uint32_t>(row.PRECISION)) <
                                  static_cast<unsigned long>(static_cast<std::uint32_t>(types_[winner].PRECISION)))
                winner = static_cast<int>(i);
        }
        return winner;
    };
    short wanted = Odbc2DateType(sqlType);
    auto type = [](const sSQLTYPEINFORESULTSET& row) { return Odbc2DateType(row.DATA_TYPE); };
    int winner = pass([&](const auto& row) { return type(row) == wanted; });
    if (winner >= 0 && IsIntegerClass(wanted) && types_[winner].AUTO_INCREMENT != 0) {
        // An identity type would number the rows itself.
        int plain = pass([&](const auto& row) { return type(row) == wanted && row.AUTO_INCREMENT == 0; });
        if (plain >= 0) winner = plain;
    }
    if (winner < 0 && typeName != nullptr)
        winner = pass([&](const auto& row) { return tessaro::platform::EqualsNoCase(row.TYPE_NAME, typeName); });
    if (winner < 0 && (wanted == SQL_NUMERIC || wanted == SQL_DECIMAL))
        winner = pass([&](const auto& row) { return type(row) == SQL_NUMERIC || type(row) == SQL_DECIMAL; });
    if (winner < 0 && IsIntegerClass(wanted))
        winner = pass([&](const auto& row) { return IsIntegerClass(type(row)) && row.AUTO_INCREMENT == 0; });
    if (winner < 0 && IsIntegerClass(wanted)) winner = pass([&](const auto& row) { return IsIntegerClass(type(row)); });
    if (winner < 0 && (IsApproximateOrExact(wanted) || IsIntegerClass(wanted)))
        winner = pass([&](const auto& row) { return IsApproximateOrExact(type(row)); });
    if (winner < 0 && wanted == SQL_DATE)
        winner = pass([&](const auto& row) { return type(row) == SQL_DATE || type(row) == SQL_TIMESTAMP; });
    if (winner < 0 && wanted == SQL_TIME)
        winner = pass([&](const auto& row) { return type(row) == SQL_TIME || type(row) == SQL_TIMESTAMP; });
    if (winner < 0 && wanted == SQL_TIMESTAMP)
        winner = pass([&](const auto& row) { return type(row) == SQL_TIMESTAMP; });
    if (winner < 0 && IsCharacter(wanted)) winner = pass([&](const auto& row) { return IsCharacter(type(row)); });
    if (winner < 0 && IsBinary(wanted)) winner = pass([&](const auto& row) { return IsBinary(type(row)); });
    return winner;
}

short odbcTABLECREATOR::ConvertCreateColumnType(std::string& text, const char* typeName, short sqlType,
                                                unsigned long precision, short scale) {
    int winner = ChooseType(typeName, sqlType, precision);
    if (winner < 0) {
        text += std::string("<<Can't convert ") + (typeName ? typeName : "") + ">>";
        return kCannotConvert;
    }
    const sSQLTYPEINFORESULTSET& row = types_[static_cast<std::size_t>(winner)];
    text += row.TYPE_NAME;
    std::string params = TrimmedRight(row.CREATE_PARAMS);
    if (params.empty()) return 0;
    char number[64];
    unsigned long size =
        precision != 0 ? precision : static_cast<unsigned long>(static_cast<std::uint32_t>(row.PRECISION));
    std::snprintf(number, sizeof number, "( %lu", size);
    text += number;
    if (params.find(',') != std::string::npos) {
        std::snprintf(number, sizeof number, ", %d", scale);
        text += number;
    }
    text += " )";
    return 0;
}

short odbcTABLECREATOR::ConvertCreateColumnType(std::string& text, const char* typeWord, unsigned long precision,
                                                short scale) {
    short sqlType = 0;
    if (ColumnTypeFromToken(typeWord, &sqlType, &precision) == 0 && sqlType != 0)
        return ConvertCreateColumnType(text, typeWord, sqlType, precision, scale);
    text += std::string("<<Unrecognized type ") + (typeWord ? typeWord : "") + ">>";
    return kIllFormed;
}

std::string odbcTABLECREATOR::Quoted(const std::string& name) const {
    std::string out = quote_;
    for (char ch : name) {
        out += ch;
        if (!quote_.empty() && quote_ != " " && ch == quote_[0]) out += ch;
    }
    return out + quote_;
}

short odbcTABLECREATOR::CopyOut(char* textOut, unsigned short* textOutSize) const {
    if (textOutSize == nullptr) return 0;
    if (textOut != nullptr && statement_.size() < *textOutSize)
        std::memcpy(textOut, statement_.c_str(), statement_.size() + 1);
    std::size_t needed = statement_.size() + 1;
    *textOutSize = needed > 0xFFFF ? 0xFFFF : static_cast<unsigned short>(needed);
    return 0;
}

short odbcTABLECREATOR::CreateTable(const char* table, const sCOLBIND* bindings, unsigned short count,
                                    const char* tableExtra, char* textOut, unsigned short* textOutSize, int buildOnly,
                                    int noExtraByteOnStrings, int makeNamesUnique) {
    Close();
    Unbind();
    statement_.clear();
    if (table == nullptr || (bindings == nullptr && count > 0)) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return lastRC();
    }
    const char* mark = GetConnect() != nullptr ? GetConnect()->GetIdentifierQuoteMark() : nullptr;
    quote_ = mark != nullptr && *mark != '\0' ? mark : " ";
    if (!odbcSucceeded(LoadTypeInfo())) return lastRC();

    std::vector<std::string> names;
    for (unsigned short i = 0; i < count; ++i) names.emplace_back(bindings[i].szColName);
    if (makeNamesUnique) {
        for (std::size_t i = 1; i < names.size(); ++i) {
            auto taken = [&](const std::string& candidate) {
                for (std::size_t k = 0; k < i; ++k)
                    if (tessaro::platform::EqualsNoCase(names[k].c_str(), candidate.c_str())) return true;
                return false;
            };
            if (!taken(names[i])) continue;
            std::string stem = names[i].substr(0, 122);
            for (unsigned long n = 2;; ++n) {
                std::string candidate = stem + std::to_string(n);
                if (!taken(candidate)) {
                    names[i] = candidate;
                    break;
                }
            }
        }
    }

    statement_ = "CREATE TABLE " + Quoted(table) + " (" + eoln_;
    short failure = 0;
    for (unsigned short i = 0; i < count && failure == 0; ++i) {
        const sCOLBIND& b = bindings[i];
        if (i > 0) statement_ += std::string(",") + eoln_;
        statement_ += std::string(tab_) + Quoted(names[i]) + " ";
        unsigned long precision = b.cbValueMax > 0 ? static_cast<unsigned long>(b.cbValueMax) : 0;
        if (!noExtraByteOnStrings && IsCharacter(b.fSqlType) && precision > 0) --precision;
        failure = ConvertCreateColumnType(statement_, GetCreateTypeName(b.fSqlType), b.fSqlType, precision, b.ibScale);
        if (failure == 0 && b.szColExtra != nullptr) statement_ += std::string(eoln_) + tab_ + tab_ + b.szColExtra;
    }
    if (failure != 0) {
        SetRC(failure);
        return lastRC();
    }
    if (tableExtra != nullptr) {
        if (count > 0) statement_ += std::string(",") + eoln_;
        statement_ += std::string(tab_) + tableExtra;
    }
    statement_ += std::string(eoln_) + ")" + eoln_;
    SetRC(SQL_SUCCESS);
    short result = SQL_SUCCESS;
    if (!buildOnly) {
        result = ExecDirect(statement_.c_str());
        Close();
        Unbind();
    }
    CopyOut(textOut, textOutSize);
    return result;
}

short odbcTABLECREATOR::CreateTable(const unsigned char* table, const sCOLBIND* bindings, unsigned short count,
                                    const unsigned char* tableExtra, unsigned char* textOut,
                                    unsigned short* textOutSize, int buildOnly, int noExtraByteOnStrings,
                                    int makeNamesUnique) {
    return CreateTable(reinterpret_cast<const char*>(table), bindings, count, reinterpret_cast<const char*>(tableExtra),
                       reinterpret_cast<char*>(textOut), textOutSize, buildOnly, noExtraByteOnStrings, makeNamesUnique);
}

short odbcTABLECREATOR::CreateTable(const char* table, odbcCURSOR* model, const char* tableExtra, char* textOut,
                                    unsigned short* textOutSize, int buildOnly, int makeNamesUnique) {
    if (model == nullptr) return kBadCursor;
    short columns = 0;
    if (!odbcSucceeded(model->NumResultCols(&columns)) || columns <= 0) return kBadCursor;
    sCOLBIND* bindings = nullptr;
    unsigned short count = 0;
    void* record = nullptr;
    model->GetColBindings(&bindings, &count, &record);
    if (bindings == nullptr || count == 0) return kBadCursor;
    return CreateTable(table, bindings, count, tableExtra, textOut, textOutSize, buildOnly,
                       model->GetNoExtraByteOnStrings(), makeNamesUnique);
}

short odbcTABLECREATOR::CreateTable(const char* definition, char* textOut, unsigned short* textOutSize, int buildOnly) {
    statement_.clear();
    if (definition == nullptr) {
        SetRC(kIllFormed);
        return lastRC();
    }
    if (!odbcSucceeded(LoadTypeInfo())) return lastRC();
    std::string text(definition);
    std::size_t open = text.find('(');
    bool illFormed = open == std::string::npos;
    short failure = 0;
    if (!illFormed) {
        statement_ = text.substr(0, open + 1);
        bool inType = false;
        std::string type;
        for (std::size_t i = open + 1; i < text.size() && !illFormed; ++i) {
            char ch = text[i];
            if (ch == '<') {
                if (inType) illFormed = true;
                inType = true;
                type.clear();
            } else if (ch == '>') {
                if (!inType || type.empty()) {
                    illFormed = true;
                    break;
                }
                inType = false;
                while (!type.empty() && type.back() == ' ') type.pop_back();
                std::size_t paren = type.find('(');
                std::string word = type.substr(0, paren);
                unsigned long precision = 0, scale = 0;
                if (paren != std::string::npos) {
                    std::size_t k = paren + 1;
                    SkipBlanks(type, k);
                    if (!ReadNumber(type, k, precision)) illFormed = true;
                    SkipBlanks(type, k);
                    if (!illFormed && k < type.size() && type[k] == ',') {
                        ++k;
                        SkipBlanks(type, k);
                        if (!ReadNumber(type, k, scale)) illFormed = true;
                        SkipBlanks(type, k);
                    }
                    if (!illFormed && (k >= type.size() || type[k] != ')')) illFormed = true;
                }
                if (illFormed) break;
                short rc = ConvertCreateColumnType(statement_, word.c_str(), precision, static_cast<short>(scale));
                if (rc != 0) failure = rc;
            } else if (inType) {
                type += ch;
            } else {
                statement_ += ch;
            }
        }
    }
    if (illFormed) {
        SetRC(kIllFormed);
        short result = lastRC();
        CopyOut(textOut, textOutSize);
        return result;
    }
    short result = SQL_SUCCESS;
    if (failure != 0) {
        SetRC(failure);
        result = lastRC();
    } else {
        SetRC(SQL_SUCCESS);
        if (!buildOnly) {
            Close();
            result = ExecDirect(statement_.c_str());
        }
    }
    // Copied out after a failure too: the markers show which types did not convert.
    CopyOut(textOut, textOutSize);
    Close();
    Unbind();
    return result;
}
