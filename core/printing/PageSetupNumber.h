#pragma once
// The numbers of the page-setup store: how a margin is written as text and how a text is
// read back as a margin. The store always uses "." as the decimal separator whatever the
// user's locale, because the browser reads the same file when it prints.
#include <string>
#include <string_view>

namespace vedris {

// The general decimal form with at most 15 significant digits and no trailing zeros:
// 0.75, 1, -2.5, "0" for zero (of either sign). Exponent form ("1E-5", "1.5E-7",
// "1.23456789012346E15") when the rounded value is below 0.0001 in magnitude or has more
// than 15 digits before the decimal point. Never depends on the locale. A NaN gives "NAN"
// and an infinity "INF" or "-INF"; none of them reads back as a number.
std::string FormatPageSetupNumber(double value);

// Reads a whole text as a number: optional spaces, an optional "+" or "-", digits with at
// most one decimal separator and at least one digit, an optional exponent (E or e, an
// optional sign, at least one digit), optional spaces, and nothing else; tabs and line
// breaks are not spaces. "." is always a decimal separator, and so is localSeparator when
// it is not empty. False, with value untouched, when the text does not fit or names a
// number too large for a double; a number too small for one reads as 0.
bool TryParsePageSetupNumber(std::string_view text, double& value,
                             std::string_view localSeparator = {});

// TryParsePageSetupNumber, with 0 for a text that does not convert.
double PageSetupNumberOrZero(std::string_view text, std::string_view localSeparator = {});

// The decimal separator of the C library's current LC_NUMERIC locale, as a copy; "." when
// the locale gives none. Only reads the locale, never sets it.
std::string LocaleDecimalSeparator();

} // namespace vedris
