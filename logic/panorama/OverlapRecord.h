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
struct OverlapRecord {
  std::vector<int> ownPoints;      // 2 * count values
  std::vector<int> partnerPoints;  // 2 * count values
  int count = 0;
  Picture* partner = nullptr;      // not owned
};
