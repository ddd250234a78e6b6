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

// Strict readers for tokens that must be one number and nothing else (file
// formats whose values are checked, not guessed). Blanks (space, tab, CR, LF,
// vertical tab, form feed) around the number are skipped; what remains must
// be wholly the number. Both return false and leave *value unchanged for an
// empty text, any other character, or a value out of range.

// Decimal real with "." as the decimal point whatever the locale: optional
// sign ("+" or "-"), digits with an optional fraction (".5" and "5." count),
// optional exponent ("e-310"). No hexadecimal, "inf" or "nan"; results
// beyond the double range are refused, results below its smallest
// subnormal become a zero of the written sign.
bool readWholeNumber(std::string_view text, double* value);
// Decimal integer with an optional sign, within the int range; "3.0" and
// "3e2" are refused.
bool readWholeInt(std::string_view text, int* value);
