#include "support/number_mask.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

std::vector<std::string> SplitSections(const std::string& mask) {
    std::vector<std::string> sections;
    std::size_t pos = 0;
    while (sections.size() < 2) {
        std::size_t semi = mask.find(';', pos);
        if (semi == std::string::npos) break;
        sections.push_back(mask.substr(pos, semi - pos));
        pos = semi + 1;
    }
    sections.push_back(mask.substr(pos));
    return sections;
}

bool IsDigitPlace(char c) {
    return c == '#' || c == '0';
}

}  // namespace

bool FormatNumberMask(double value, const std::string& mask, int width, std::string& result) {
    result.clear();
    if (width <= 0 || width > 4096 || !std::isfinite(value)) return false;
    std::vector<std::string> sections = SplitSections(mask);
    std::string pattern = sections[0];
    if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
        pattern = sections[1];
        value = -value;
    } else if (value == 0 && sections.size() >= 3 && !sections[2].empty()) {
        pattern = sections[2];
    }
    std::size_t point = pattern.find('.');
    int decimals = 0;
    if (point != std::string::npos) {
        for (std::size_t i = point + 1; i < pattern.size(); ++i) decimals += IsDigitPlace(pattern[i]) ? 1 : 0;
    }
    if (decimals > 30) return false;

    // Bounded print: a number wider than the field is a failure, never an overflow.
    int needed = std::snprintf(nullptr, 0, "%-*.*f", width, decimals, value);
    if (needed < 0 || needed > width) return false;
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::snprintf(buffer.data(), buffer.size(), "%-*.*f", width, decimals, value);
    std::string printed(buffer.data());
    while (!printed.empty() && printed.back() == ' ') printed.pop_back();

    bool negative = !printed.empty() && printed[0] == '-';
    if (negative) printed.erase(0, 1);
    std::size_t dot = printed.find('.');
    std::string integerDigits = printed.substr(0, dot);
    std::string fractionDigits = dot == std::string::npos ? std::string() : printed.substr(dot + 1);
    if (integerDigits == "0") integerDigits.clear();  // a lone zero shows only where "0" asks for it

    std::size_t integerEnd = point == std::string::npos ? pattern.size() : point;
    bool grouped = pattern.find(',') < integerEnd;

    // Fraction places, right to left.
    std::string tail;
    if (point != std::string::npos) {
        std::size_t f = fractionDigits.size();
        for (std::size_t i = pattern.size(); i > point + 1; --i) {
            char c = pattern[i - 1];
            if (IsDigitPlace(c)) {
                tail.insert(tail.begin(), f > 0 ? fractionDigits[--f] : '0');
            } else {
                tail.insert(tail.begin(), c);
            }
        }
        tail.insert(tail.begin(), '.');
    }

    // Integer places, right to left.
    std::string head;
    std::size_t left = integerDigits.size();
    bool anyZeroLeft = false;
    for (std::size_t i = integerEnd; i > 0; --i) {
        char c = pattern[i - 1];
        if (c == '0') {
            head.insert(head.begin(), left > 0 ? integerDigits[--left] : '0');
        } else if (c == '#') {
            head.insert(head.begin(), left > 0 ? integerDigits[--left] : ' ');
        } else if (c == ',') {
            anyZeroLeft = pattern.find('0') < i - 1;
            head.insert(head.begin(), left > 0 || anyZeroLeft ? ',' : ' ');
        } else {
            head.insert(head.begin(), c);
        }
    }
    // Digits the pattern has no places for go in front, grouped like the pattern.
    if (left > 0) {
        std::size_t run = 0;  // digits in front of the first group separator
        while (run < head.size() && head[run] >= '0' && head[run] <= '9') ++run;
        if (run == head.size() && !grouped) run = 0;
        while (left > 0) {
            if (grouped && run == 3) {
                head.insert(head.begin(), ',');
                run = 0;
            }
            head.insert(head.begin(), integerDigits[--left]);
            ++run;
        }
    }
    if (negative) {
        std::size_t first = head.find_first_not_of(' ');
        if (first == std::string::npos) first = head.size();
        if (first > 0 && head[first - 1] == ' ') {
            head[first - 1] = '-';
        } else {
            head.insert(head.begin() + static_cast<std::ptrdiff_t>(first), '-');
        }
    }
    std::string formatted = head + tail;
    if (formatted.size() > static_cast<std::size_t>(width)) return false;
    result = std::string(static_cast<std::size_t>(width) - formatted.size(), ' ') + formatted;
    return true;
}
