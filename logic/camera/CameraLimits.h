#pragma once

// The cameras the system accepts. A camera enters from the command line, the
// panorama description (the photographs' directions) and the window; every
// entrance refuses values outside these limits, so that no NaN or infinity
// reaches the frame maths (a NaN ray index passes every clamp). Angles are
// never wrapped (Frame.h); the bound only keeps them where double precision
// still resolves a small fraction of a degree.

// Largest magnitude of an altitude or azimuth, in degrees.
constexpr double kMaxAngleDegrees = 1e6;
// The horizontal field of view a rendered view may have, in degrees.
constexpr double kMinFieldOfViewDegrees = 0.01;
constexpr double kMaxFieldOfViewDegrees = 179.0;

// True when `degrees` is finite and at most kMaxAngleDegrees in magnitude
// (then it is finite in radians too).
bool isUsableAngleDegrees(double degrees);
// The same for an angle in radians.
bool isUsableAngleRadians(double radians);

// The horizontal field of view 2 atan(sensorWidth / 2f) in degrees, both
// lengths in millimetres; NaN unless both are finite and positive.
double horizontalFieldOfViewDegrees(double sensorWidth, double f);

// True when the virtual camera can be drawn: finite angles within the bound
// (radians) and a focal length whose horizontal field of view lies strictly
// between 0 and 180 degrees for `sensorWidth` (the widest the wheel can
// reach; the command line asks for kMin/kMaxFieldOfViewDegrees).
bool isUsableCamera(double azimuth, double altitude, double f, double sensorWidth);
