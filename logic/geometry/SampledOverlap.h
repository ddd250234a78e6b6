#pragma once

#include "panorama/OverlapRecord.h"

class Picture;

// Overlap of two pictures of which at least one has a general camera (a lens
// photograph of a stitcher project or a 360-degree photograph), found by
// sampling instead of clipping pyramids:
// - a cone test first: each picture sees directions within an angle of its
//   axis (a pinhole its corner ray's angle, a lens coverageRadius); pictures
//   whose axes are further apart than the two angles cannot overlap;
// - then each picture's usable border (rectangle, crop, fisheye circle) and an
//   interior grid are mapped into the other picture; every sample that the
//   other picture sees adds its position on both sides to two bounding boxes.
//   Border samples lie no further apart in angle than the finer grid's
//   step. The reference's box is padded by one and a half of its grid steps
//   (a 48 x 48 grid for a pinhole, 12 x 12 for a lens) and one pixel, so that it holds every pixel of the reference that sees the
//   partner (masks are not looked at: the per-pixel test decides); the
//   partner's box, which only tells the loader how many partner pixels the
//   overlap spans, by the same angle. Both are clamped to their pictures.
// The record holds the two boxes' corners (4 vertices: top-left, top-right,
// bottom-right, bottom-left). Positions are pixels of a pinhole picture's
// current image and of a lens photograph's full-size picture; the columns of a
// photograph that turns all the way round run on past its right edge (at most
// one width) when the box crosses its seam.
//
// Returns 0 with *record filled (partner and points), -1 when the cones lie
// apart, -2 when no sample is shared.
int sampledOverlap(Picture* partner, Picture* reference, OverlapRecord* record);
