#pragma once

#include <vector>

class Picture;

// One overlap between the picture whose list holds the record (the owner) and
// one partner picture: the clipped polygon's vertices as (column, row) pairs,
// in the owner's current pixel coordinates and, in the same order, in the
// partner's. `count` is the number of vertices (1 to 8).
struct OverlapRecord {
  std::vector<int> ownPoints;      // 2 * count values
  std::vector<int> partnerPoints;  // 2 * count values
  int count = 0;
  Picture* partner = nullptr;      // not owned
};
