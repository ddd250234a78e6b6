#pragma once

#include "geometry/Overlapper.h"

// Overlap by clipping one picture's image rectangle against the other's
// viewing pyramid, in three dimensions.
class APrioriOverlapper final : public Overlapper {
 public:
  using Overlapper::Overlapper;
  ~APrioriOverlapper() = default;

  int overlapPair(Picture* partner, Picture* reference) override;
  int calculateOverlap() override;
  void getOverlappedPictures(Picture* reference, std::vector<Picture*>* result) override;

  // The core: overlapPair, and with `symmetric` also the mirrored record in
  // the partner's list.
  int overlap(Picture* partner, Picture* reference, bool symmetric);
};
