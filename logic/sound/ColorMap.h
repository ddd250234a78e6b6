#pragma once

#include <vector>

// The false-colour map of sound values: dark blue for the lowest values
// through blue, cyan, green, yellow and red to dark red for the highest.
// It is stored as three lookup tables (blue, green, red) of kColorTableSize
// bytes; a value v in [0, 1) uses entry floor(v * 65536 + 0.5).
//
// Every table is the same trapezoid over the entry index, shifted to its own
// centre m: rising from 0 to 1 over (m - 24576, m - 8192], flat at 1 over
// (m - 8192, m + 8192], falling back to 0 over (m + 8192, m + 24576] and 0
// elsewhere. All intermediate values are exact in double precision, so the
// tables are fully determined.

constexpr int kColorTableSize = 65536;
constexpr double kBlueCentre = 16384.0;
constexpr double kGreenCentre = 32768.0;
constexpr double kRedCentre = 49152.0;

// The trapezoid's height, 0 ... 1, at entry e of the table centred at m.
double colorTrapezoid(double e, double centre);

// The table centred at `centre`: entry e holds floor(t * 255 + 0.5) of the
// trapezoid height t.
std::vector<unsigned char> makeColorTable(double centre);

// The table entry of a sound value: floor(value * 65536 + 0.5), kept inside
// 0 ... kColorTableSize - 1 (1.0 and more give the last entry; negative
// values and NaN the first).
int colorEntry(double value);
