#pragma once

#include "camera/CamData.h"
#include "camera/Frame.h"

// Pointer positions on the view and the world directions they show, for
// turning the view by dragging a point of it. A view of `camera` is a pinhole
// image of camera.width x camera.height pixels whose focal length in pixels
// is f * width / sensorWidth; the view pixel (column, row) shows the ray
// through that position as PhotoCamera::rayThrough forms it (the centre of the
// image at (width / 2, height / 2), rows from the top). Positions are real
// numbers: a pointer at (x, y) lies on the pixel (floor x, floor y).

// The focal length of the view of `camera` in pixels; 0 when the sensor
// width is not positive.
double viewFocalPixels(const CamData& camera);

// The unit world direction shown at the view position (column, row) of
// `camera`. Positions outside the image give the direction through the
// extended image plane.
Vec3 pointerDirection(const CamData& camera, double column, double row);

// The view position of the world direction `direction` (need not be unit
// length) in the view of `camera`; false when the direction does not point
// in front of the camera. The position may lie outside the image.
bool directionPosition(const CamData& camera, const Vec3& direction, double* column,
                       double* row);

// The camera azimuth and altitude (radians) that show the world direction
// `grabbed` (unit length) at the view position (column, row), keeping the
// focal length and the canvas of `camera`. Of the solutions the one nearest
// to the current angles of `camera` is taken (angles are never wrapped: a
// turn by a whole circle is not taken). False, with the outputs untouched,
// when no camera of this kind (turned by azimuth and altitude only) shows the
// direction there: the grabbed point lies too close to the zenith or nadir
// for the position (or `grabbed` is not a unit direction). When the grabbed point is the
// zenith or nadir itself, any azimuth would do: the current one is kept.
bool turnToShow(const CamData& camera, const Vec3& grabbed, double column, double row,
                double* azimuth, double* altitude);
