#include "engine/expressions/number_mask_format.h"

#include "foundation/decimal.h"
#include "foundation/decimal_format.h"
#include "foundation/decimal_portable.h"

std::string TranslateNumberMask(const std::string& mask, bool& hasPoint) {
    hasPoint = false;
    std::string picture = mask;
    for (char& c : picture) {
        switch (c) {
            case '$':
            case '(':
            case ')':
            case '+':
            case ',':
            case '-':
            case '0':
            case 'C':
            case 'L':
            case '_':
                break;
            case '.':
                hasPoint = true;
                break;
            case '9':
                c = '_';
                break;
            case '^':
                c = '#';
                hasPoint = true;
                break;
            default:
                throw CBadNumberMask();
        }
    }
    return picture;
}

std::string FormatWithNumberMask(double value, const std::string& mask) {
    bool hasPoint = false;
    const std::string picture = TranslateNumberMask(mask, hasPoint);
    RWDecimalFormat format(picture.c_str());
    for (int sign : {RWDecimalFormat::positive, RWDecimalFormat::negative})
        if (format.nearLeftText(sign) == RWCString(" ")) format.setNearLeftText(RWCString(""), sign);
    if (!hasPoint) {
        format.setShowDecimalPoint(false);
        format.setAllDecimals(false);
        format.setDecimalPlaces(0);
    }
    const RWDecimal64 decimal(value);
    const RWCString text = format(toPortable(decimal));
    return std::string(text.data(), text.length());
}
