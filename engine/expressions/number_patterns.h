// The fixed number layouts of NumberFormat (one argument), DecimalFormat and DollarFormat:
// fixed-point digits grouped by commas, laid out as their patterns "d,ddd;-d,ddd",
// "d,ddd.00;-d,ddd.00" and "$d,dd0.00;($d,dd0.00)" describe. The text is sized from the
// digits, so any finite number is written completely (1e30 gives all 31 digits).
#pragma once

#include <string>

// Whole number, rounded: 1234.6 -> "1,235", -0.4 -> "-0".
std::string FormatWholeNumberPattern(double value);
// Two decimals; a value strictly between 0 and 1 (sign aside) loses its integer digit
// only when that digit is 0: 0.5 -> ".50", 0.999 -> "1.00", 0 -> "0.00", -0.5 -> "-.50",
// -0 -> "-0.00".
std::string FormatDecimalNumberPattern(double value);
// Currency: 5 -> "$5.00", -1234.5 -> "($1,234.50)", 0 and -0 -> "$0.00".
std::string FormatDollarNumberPattern(double value);

// The digits of a finite value in fixed-point notation with that many decimals, rounded
// to nearest, independent of the C locale; a negative value keeps its "-".
std::string FixedPointText(double value, int decimals);
