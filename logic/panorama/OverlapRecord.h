#pragma once

#include <vector>

class Picture;

// One overlap between the picture whose list holds the record (the owner) and
// one partner picture: the clipped polygon's vertices as (column, row) pairs,
// in the owner's current pixel coordinates and, in the same order, in the
// partner's. `count` is the number of vertices (1 to 8).
//
// Where either picture is a lens photograph (Picture::camera set), the
// vertices are the corners of two sampled bounding boxes instead (see
// geometry/SampledOverlap.h): a lens photograph's positions are then pixels of
// its full-size picture, and a photograph that turns all the way round may
// have columns up to one width past its right edge.
//
// A view's record of a pinhole photograph that held a smaller image than its
// full size also carries the overlap measured against the photograph's
// full-size image (`fullCount` >= 0): the loader sizes the photograph's load
// from that one, so that the size a view asks for does not depend on which
// image the photograph happened to hold. `fullCount` -1: the record's own
// points are that measure already (the photograph held its full-size image,
// or it is a lens photograph).
struct OverlapRecord {
  std::vector<int> ownPoints;      // 2 * count values
  std::vector<int> partnerPoints;  // 2 * count values
  int count = 0;
  Picture* partner = nullptr;      // not owned
  std::vector<int> fullOwnPoints;      // 2 * fullCount values
  std::vector<int> fullPartnerPoints;  // 2 * fullCount values
  int fullCount = -1;
};
