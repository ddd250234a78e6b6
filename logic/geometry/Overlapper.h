#pragma once

#include <vector>

class PicManager;
class Picture;

// Decides which pictures of a panorama overlap a given picture, and where.
// Not deleted through this interface (no virtual destructor).
class Overlapper {
 public:
  Overlapper() = default;
  explicit Overlapper(PicManager* panorama) : panorama(panorama) {}

  // Appends the overlap of `partner` with `reference` to the reference's
  // list: 0 found, -1 partner wholly behind, -2 clipped polygon empty.
  virtual int overlapPair(Picture* partner, Picture* reference) = 0;
  // All pairs of the panorama, stored in both pictures' lists; returns 0.
  virtual int calculateOverlap() = 0;
  // Appends every picture overlapping `reference`, in ascending ID order;
  // the reference's list gains one record per picture appended.
  virtual void getOverlappedPictures(Picture* reference, std::vector<Picture*>* result) = 0;

  PicManager* panorama = nullptr;  // not owned

 protected:
  ~Overlapper() = default;
};
