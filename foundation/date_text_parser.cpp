#include "foundation/date_text_parser.h"

#include <cctype>
#include <ctime>
#include <vector>

#include "platform/clock.h"

namespace tessaro::foundation {

namespace {

enum class Kind { Number, Word, Colon, Separator };

struct Piece {
    Kind kind;
    long value = 0;      // numbers
    int digits = 0;      // numbers
    std::string word;    // words, upper case
    bool glued = false;  // no blank between this piece and the one before
};

struct NameEntry {
    const char* name;
    int month;  // 1-12; 0 for a weekday, which is read and ignored
};

// Full names and the abbreviations accepted for them.
constexpr NameEntry kNames[] = {
    {"JANUARY", 1},  {"JAN", 1},       {"FEBRUARY", 2},  {"FEB", 2},       {"MARCH", 3},     {"MAR", 3},
    {"APRIL", 4},    {"APR", 4},       {"MAY", 5},       {"JUNE", 6},      {"JUN", 6},       {"JULY", 7},
    {"JUL", 7},      {"AUGUST", 8},    {"AUG", 8},       {"SEPTEMBER", 9}, {"SEPT", 9},      {"SEP", 9},
    {"OCTOBER", 10}, {"OCT", 10},      {"NOVEMBER", 11}, {"NOV", 11},      {"DECEMBER", 12}, {"DEC", 12},
    {"SUNDAY", 0},   {"SUN", 0},       {"MONDAY", 0},    {"MON", 0},       {"TUESDAY", 0},   {"TUE", 0},
    {"TUES", 0},     {"WEDNESDAY", 0}, {"WED", 0},       {"THURSDAY", 0},  {"THU", 0},       {"THUR", 0},
    {"THURS", 0},    {"FRIDAY", 0},    {"FRI", 0},       {"SATURDAY", 0},  {"SAT", 0},
};

constexpr const char* kOrdinalSuffixes[] = {"ST", "ND", "RD", "TH"};
constexpr int kMaxDigits = 9;

std::string Upper(const std::string& text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool Split(const std::string& text, std::vector<Piece>& pieces) {
    bool blankBefore = true;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            blankBefore = true;
            ++i;
            continue;
        }
        Piece piece;
        piece.glued = !blankBefore && !pieces.empty();
        blankBefore = false;
        if (std::isdigit(c)) {
            piece.kind = Kind::Number;
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
                if (++piece.digits > kMaxDigits) return false;
                piece.value = piece.value * 10 + (text[i] - '0');
                ++i;
            }
        } else if (std::isalpha(c)) {
            piece.kind = Kind::Word;
            while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) piece.word += text[i++];
        } else if (c == ':') {
            piece.kind = Kind::Colon;
            ++i;
        } else if (c == '/' || c == '-' || c == '.' || c == ',') {
            piece.kind = Kind::Separator;
            piece.word = std::string(1, static_cast<char>(c));
            ++i;
        } else {
            return false;
        }
        pieces.push_back(piece);
    }
    return true;
}

int AmPm(const Piece& piece) {
    if (piece.kind != Kind::Word) return 0;
    if (piece.word == "AM" || piece.word == "A") return 1;
    if (piece.word == "PM" || piece.word == "P") return 2;
    return 0;
}

bool IsNumber(const std::vector<Piece>& p, std::size_t i) {
    return i < p.size() && p[i].kind == Kind::Number;
}
bool IsColon(const std::vector<Piece>& p, std::size_t i) {
    return i < p.size() && p[i].kind == Kind::Colon;
}

// Finds and removes the time: H:MM[:SS[.fff]] [AM|PM] or H AM|PM.
bool TakeTime(std::vector<Piece>& pieces, ParsedDateTime& result) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!IsNumber(pieces, i)) continue;
        std::size_t end = i + 1;
        long hour = pieces[i].value, minute = 0, second = 0;
        bool colonForm = IsColon(pieces, i + 1) && IsNumber(pieces, i + 2);
        if (colonForm) {
            minute = pieces[i + 2].value;
            end = i + 3;
            if (IsColon(pieces, end) && IsNumber(pieces, end + 1)) {
                second = pieces[end + 1].value;
                end += 2;
                if (end + 1 < pieces.size() && pieces[end].kind == Kind::Separator && pieces[end].word == "." &&
                    IsNumber(pieces, end + 1) && pieces[end + 1].glued)
                    end += 2;  // fractions of a second are dropped
            }
        }
        int half = end < pieces.size() ? AmPm(pieces[end]) : 0;
        if (!colonForm && half == 0) continue;
        if (half != 0) {
            if (hour < 1 || hour > 12) return false;
            hour = hour % 12 + (half == 2 ? 12 : 0);
            ++end;
        } else if (hour > 23) {
            return false;
        }
        if (minute > 59 || second > 59) return false;
        result.hour = static_cast<int>(hour);
        result.minute = static_cast<int>(minute);
        result.second = static_cast<int>(second);
        result.hasTime = true;
        pieces.erase(pieces.begin() + static_cast<long>(i), pieces.begin() + static_cast<long>(end));
        for (const Piece& p : pieces)
            if (p.kind == Kind::Colon || AmPm(p) != 0) return false;  // a second time or a stray part
        return true;
    }
    for (const Piece& p : pieces)
        if (p.kind == Kind::Colon) return false;
    return true;
}

int ExpandYear(const Piece& piece) {
    if (piece.digits <= 2) return static_cast<int>(piece.value < 30 ? 2000 + piece.value : 1900 + piece.value);
    return static_cast<int>(piece.value);
}

int CurrentYear() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    tessaro::platform::ToLocalTime(now, local);
    return local.tm_year + 1900;
}

bool IsYearLike(const Piece& piece) {
    return piece.digits >= 3 || piece.value > 31;
}

bool TakeDate(const std::vector<Piece>& pieces, DateOrder order, ParsedDateTime& result) {
    std::vector<Piece> numbers;
    int monthName = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (p.kind == Kind::Number) {
            numbers.push_back(p);
        } else if (p.kind == Kind::Word) {
            bool ordinal = false;
            if (p.glued && i > 0 && pieces[i - 1].kind == Kind::Number)
                for (const char* s : kOrdinalSuffixes) ordinal = ordinal || p.word == s;
            if (ordinal) continue;
            const NameEntry* found = nullptr;
            for (const NameEntry& entry : kNames)
                if (p.word == entry.name) found = &entry;
            if (found == nullptr) return false;
            if (found->month == 0) continue;
            if (monthName != 0) return false;
            monthName = found->month;
        }
    }
    if (numbers.empty() && monthName == 0) return true;  // no date given
    int year = 0, month = 0, day = 0;
    if (monthName != 0) {
        month = monthName;
        if (numbers.size() == 1) {
            if (IsYearLike(numbers[0])) {
                year = ExpandYear(numbers[0]);
                day = 1;
            } else {
                day = static_cast<int>(numbers[0].value);
                year = CurrentYear();
                result.yearFromClock = true;
            }
        } else if (numbers.size() == 2) {
            const Piece& a = numbers[0];
            const Piece& b = numbers[1];
            // "1997 March 3" names the year first; otherwise day, then year.
            bool yearFirst = a.digits >= 3 && b.digits <= 2;
            day = static_cast<int>(yearFirst ? b.value : a.value);
            year = ExpandYear(yearFirst ? a : b);
        } else {
            return false;
        }
    } else if (numbers.size() == 3) {
        if (numbers[0].digits >= 3) {
            year = ExpandYear(numbers[0]);
            month = static_cast<int>(numbers[1].value);
            day = static_cast<int>(numbers[2].value);
        } else {
            bool us = order == DateOrder::MonthDayYear;
            month = static_cast<int>((us ? numbers[0] : numbers[1]).value);
            day = static_cast<int>((us ? numbers[1] : numbers[0]).value);
            year = ExpandYear(numbers[2]);
        }
    } else if (numbers.size() == 2) {
        const Piece& a = numbers[0];
        const Piece& b = numbers[1];
        if (b.digits >= 3) {  // month and year
            month = static_cast<int>(a.value);
            day = 1;
            year = ExpandYear(b);
        } else if (a.digits >= 3) {
            year = ExpandYear(a);
            month = static_cast<int>(b.value);
            day = 1;
        } else {
            bool us = order == DateOrder::MonthDayYear;
            month = static_cast<int>((us ? a : b).value);
            day = static_cast<int>((us ? b : a).value);
            year = CurrentYear();
            result.yearFromClock = true;
        }
    } else {
        return false;
    }
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    result.year = year;
    result.month = month;
    result.day = day;
    result.hasDate = true;
    return true;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool ParseDateText(const std::string& text, DateOrder order, DateTextParts parts, ParsedDateTime& result) {
    result = ParsedDateTime{};
    std::string upper = Upper(text);
    ReplaceAll(upper, "A.M.", "AM");
    ReplaceAll(upper, "P.M.", "PM");
    std::vector<Piece> pieces;
    if (!Split(upper, pieces) || pieces.empty()) return false;
    // "-2" or "2.5" are numbers, not dates.
    if (pieces.front().kind == Kind::Separator) return false;
    if (pieces.size() == 3 && pieces[1].kind == Kind::Separator && pieces[1].word == "." &&
        pieces[0].kind == Kind::Number && pieces[2].kind == Kind::Number)
        return false;
    ParsedDateTime found;
    if (!TakeTime(pieces, found) || !TakeDate(pieces, order, found)) return false;
    if (!found.hasDate && !found.hasTime) return false;
    if (parts == DateTextParts::DateOnly && !found.hasDate) return false;
    if (parts == DateTextParts::TimeOnly && !found.hasTime) return false;
    result = found;
    return true;
}

}  // namespace tessaro::foundation
