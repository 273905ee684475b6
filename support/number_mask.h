// Picture formatting of numbers: "#,##0.00;(#,##0.00);zero" style masks.
#pragma once

#include <string>

// Formats value with mask into exactly width characters (blanks on the left).
// False, with result empty, when the number does not fit the field or the
// arguments are unusable (width <= 0 or above 4096, non-finite value).
bool FormatNumberMask(double value, const std::string& mask, int width, std::string& result);
