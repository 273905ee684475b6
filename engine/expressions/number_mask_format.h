// NumberFormat's author masks: "9" a digit place, "^" a digit place after the point, "."
// the point, "," grouping, "$", "(", ")", "+", "-", "0", "C", "L" and "_" as the decimal
// picture format reads them. The mask is checked and translated, then the number is
// formatted as an 18-digit fixed-point decimal.
#pragma once

#include <stdexcept>
#include <string>

// A mask character outside the allowed set.
class CBadNumberMask : public std::runtime_error {
public:
    CBadNumberMask() : std::runtime_error("Bad NumberFormat mask") {}
};

// The mask as the decimal picture format reads it ("9" -> "_", "^" -> "#"); hasPoint tells
// whether the mask holds "." or "^". Throws CBadNumberMask.
std::string TranslateNumberMask(const std::string& mask, bool& hasPoint);

// value through the mask. Throws CBadNumberMask, or the decimal library's RWxmsg when the
// value does not fit 18 digits.
std::string FormatWithNumberMask(double value, const std::string& mask);
