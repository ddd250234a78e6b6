#pragma once

#include <string_view>

// One data line of a sound CSV file (see SoundData.h for the format).
//
// Scans `line` (without its line end) into row[0 ...]: each value is one
// digit d, a "." and fraction digits f1 f2 ..., blanks (space, tab) around
// it allowed; it becomes d + f1 w0 + f2 w1 + f3 w2 + f4 w3 in single
// precision, the terms added in that order (`weights`: 0.1, 0.01, 0.001,
// 0.0001), digits beyond the fourth ignored. Reading stops after `cols`
// values (the rest of the line is not looked at) or at the line's end; one
// "," at the end is allowed. Returns the number of values stored, or -1 when
// a field is not such a value, with *badColumn (0-based) and *badText (the
// field as written) naming it. A blank line stores nothing.
int scanSoundLine(std::string_view line, const float* weights, float* row, int cols,
                  int* badColumn, std::string_view* badText);
