#pragma once

// Shared numeric constants. pi is written out to the digits the system's
// formulas have always used, so every conversion gives the same bits.
constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
// Degrees to radians: multiply by kPi, then divide by 180 (the product is
// formed first wherever results must stay bit for bit as they were).
constexpr double kDegreesPerHalfTurn = 180.0;

inline double degreesToRadians(double degrees) { return degrees * kPi / kDegreesPerHalfTurn; }
inline double radiansToDegrees(double radians) { return radians * kDegreesPerHalfTurn / kPi; }
