#pragma once

#include <string_view>

// Numbers in the system's text files (the panorama description, the sound
// CSV headers), read like atoi and atof but always with "." as the decimal
// point: the GUI toolkit switches the program to the user's locale, where
// plain atof("23.6") may read 23.

// atof: leading blanks, sign, digits, fraction, exponent; reading stops at
// the first character that does not fit; no number gives 0.
double textToReal(const char* text);
// atoi, but values beyond the int range saturate instead of being undefined.
int textToInt(const char* text);

// Strict readers: a value is read only when the whole text, blanks (space,
// tab, CR, LF) around it aside, is one decimal number: an optional sign
// ("-", or one "+" before a digit or point), digits with an optional "." and
// fraction, and an optional exponent ("1e9", "2.5E-3"). Locale-free; no hex,
// no "inf" or "nan", no thousands separators or decimal commas.

// True with the number in *value when `text` is one finite number; a
// magnitude beyond the double range, or one so small that it underflows,
// fails. *value is untouched on failure.
bool parseWholeReal(std::string_view text, double* value);
// True with the integer in *value when `text` is one number with an integral
// value in the range of long long. With `truncateDecimals` a fraction is cut
// toward zero ("18.5" gives 18, "-0.5" gives 0); without it only integral
// values are read ("18.5" fails, "1e3" and "7.0" do not). *value is untouched
// on failure.
bool parseWholeInteger(std::string_view text, long long* value, bool truncateDecimals);
