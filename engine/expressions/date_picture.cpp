#include "engine/expressions/date_picture.h"

#include <cstddef>

namespace {

constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

void AppendNumber(std::string& out, int value, bool twoDigits) {
    if (twoDigits && value < 10) out += '0';
    out += std::to_string(value);
}

void AppendFourDigits(std::string& out, int value) {
    std::string digits = std::to_string(value);
    if (digits.size() < 4) out.append(4 - digits.size(), '0');
    out += digits;
}

void AppendRun(std::string& out, const DateFields& f, char letter, std::size_t run) {
    switch (letter) {
        case 'd':
            if (run <= 2)
                AppendNumber(out, f.day, run == 2);
            else
                out += std::string(kDayNames[f.dayOfWeek - 1]).substr(0, run == 3 ? 3 : std::string::npos);
            break;
        case 'M':
            if (run <= 2)
                AppendNumber(out, f.month, run == 2);
            else
                out += std::string(kMonthNames[f.month - 1]).substr(0, run == 3 ? 3 : std::string::npos);
            break;
        case 'y':
            if (run <= 2)
                AppendNumber(out, f.year % 100, run == 2);
            else
                AppendFourDigits(out, f.year);
            break;
        case 'g':
            out += "A.D.";
            break;
        case 'h':
            AppendNumber(out, f.hour % 12 == 0 ? 12 : f.hour % 12, run >= 2);
            break;
        case 'H':
            AppendNumber(out, f.hour, run >= 2);
            break;
        case 'm':
            AppendNumber(out, f.minute, run >= 2);
            break;
        case 's':
            AppendNumber(out, f.second, run >= 2);
            break;
        case 't':
            out += f.hour < 12 ? 'A' : 'P';
            if (run >= 2) out += 'M';
            break;
        default:
            out.append(run, letter);
            break;
    }
}

bool IsPictureLetter(char c) {
    switch (c) {
        case 'd':
        case 'M':
        case 'y':
        case 'g':
        case 'h':
        case 'H':
        case 'm':
        case 's':
        case 't':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string FormatDatePicture(const DateFields& fields, const std::string& picture) {
    std::string out;
    out.reserve(picture.size() * 2);
    const std::size_t n = picture.size();
    bool quoted = false;
    for (std::size_t i = 0; i < n;) {
        const char c = picture[i];
        if (c == '\'') {
            if (i + 1 < n && picture[i + 1] == '\'') {
                out += '\'';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
            continue;
        }
        if (quoted || !IsPictureLetter(c)) {
            out += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < n && picture[i + run] == c) ++run;
        AppendRun(out, fields, c, run);
        i += run;
    }
    return out;
}
