#pragma once

#include "camera/CamData.h"

// The camera arithmetic of the user's navigation, without state.

// Half a degree in radians, rounded to single precision: the look-around
// step per unit of velocity and the wheel step on the half field of view.
constexpr float kAngleStep = 0.008726646192371845f;
// Velocity per pixel of drag, relative to the drag scale.
constexpr float kDragGain = 8.0f;

// The focal length after one wheel step: the half horizontal field of view
// atan(sensorWidth / 2f) narrowed (step +1) or widened (step -1) by
// kAngleStep. False, with *f untouched, when the half angle would leave the
// open interval (0, 90 degrees): the focal length would become infinite or
// negative.
bool zoomedFocalLength(const CamData& camera, int step, double* f);

// The divisor of drag velocities for a canvas `height` pixels high:
// (2 height^2)^0.5 in single precision.
float dragScaleFor(int height);

// The look-around velocities for a drag of (dx, dy) pixels from the press
// point: kDragGain * d / dragScale each. False when the pointer is back at
// the press point (the velocities keep their values then).
bool dragVelocity(int dx, int dy, float dragScale, float* xVel, float* yVel);
