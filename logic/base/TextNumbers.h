#pragma once

// Numbers in the system's text files (the panorama description, the sound
// CSV headers), read like atoi and atof but always with "." as the decimal
// point: the GUI toolkit switches the program to the user's locale, where
// plain atof("23.6") may read 23.

// atof: leading blanks, sign, digits, fraction, exponent; reading stops at
// the first character that does not fit; no number gives 0.
double textToReal(const char* text);
// atoi, but values beyond the int range saturate instead of being undefined.
int textToInt(const char* text);
