#include "geometry/APrioriOverlapper.h"

#include <algorithm>
#include <cmath>

#include "base/Constants.h"
#include "camera/Frame.h"
#include "geometry/SampledOverlap.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"

namespace {

// A corner ray counts as in front of the reference from this dot product on.
constexpr double kFrontLimit = 1e-11;

// An overlap polygon of two convex pyramids has at most 8 vertices; more could
// only come from rounding, and records never hold more.
constexpr int kMaxRecordVertices = 8;

// Appends `record` to the reference's list and, with `symmetric`, its mirror
// to the partner's.
void store(OverlapRecord record, Picture* partner, Picture* reference, bool symmetric) {
  if (symmetric) {
    OverlapRecord mirrored;
    mirrored.count = record.count;
    mirrored.partner = reference;
    mirrored.ownPoints = record.partnerPoints;
    mirrored.partnerPoints = record.ownPoints;
    reference->overlaps.push_back(std::move(record));
    partner->overlaps.push_back(std::move(mirrored));
  } else {
    reference->overlaps.push_back(std::move(record));
  }
}

// A pinhole picture's two pyramids: as the reference it spans its sensor; as
// the partner it spans its current image at its current pitch. The two agree
// for the view picture.
struct Pyramid {
  Picture* picture = nullptr;
  int width = 0;   // current image, pixels
  int height = 0;
  double planeWidth = 0.0;  // current image at its pitch, millimetres
  double planeHeight = 0.0;
  ViewFrame asReference;
  ViewFrame asPartner;
};

// The frames a pair's test reads: the partner's current-image frame, the
// reference's sensor frame, or both (a picture of the all-pairs test plays
// both parts).
enum class PyramidRole { kPartner, kReference, kBoth };

// With `fullSize` the partner spans the picture's full-size image at the
// base pitch instead of its current image.
Pyramid pyramidOf(Picture* picture, PyramidRole role, bool fullSize = false) {
  Pyramid p;
  p.picture = picture;
  double pitch = 0.0;
  picture->currentSize(&p.width, &p.height, &pitch);
  if (fullSize) {
    p.width = picture->fullWidth;
    p.height = picture->fullHeight;
    pitch = picture->basePitch;
  }
  p.planeWidth = pitch * p.width;
  p.planeHeight = pitch * p.height;
  if (role != PyramidRole::kPartner) {
    p.asReference = viewFrame(picture->altitude, picture->azimuth, picture->focalLength,
                              picture->sensorWidth, picture->sensorHeight);
  }
  if (role != PyramidRole::kReference) {
    p.asPartner = viewFrame(picture->altitude, picture->azimuth, picture->focalLength,
                            p.planeWidth, p.planeHeight);
  }
  return p;
}

// Clips the partner's image rectangle against the reference's pyramid into
// *out: 0 found, -1 partner wholly behind, -2 polygon empty.
int clipPyramids(const Pyramid& partner, const Pyramid& reference, OverlapRecord* out) {
  const ViewFrame& referenceFrame = reference.asReference;
  const ViewFrame& partnerFrame = partner.asPartner;
  bool anyInFront = false;
  for (const Vec3& corner : partnerFrame.corners) {
    if (dot(corner, referenceFrame.d) >= kFrontLimit) {
      anyInFront = true;
    }
  }
  if (!anyInFront) {
    return -1;
  }

  Vec3 polygon[kMaxClipVertices];
  int count = clipToFrustum(partnerFrame.corners, 4, referenceFrame, polygon);
  if (count == 0) {
    return -2;
  }
  if (count > kMaxRecordVertices) {
    count = kMaxRecordVertices;
  }

  const Picture& ref = *reference.picture;
  OverlapRecord record;
  record.count = count;
  record.partner = partner.picture;
  record.ownPoints.resize(2 * count);
  record.partnerPoints.resize(2 * count);
  for (int i = 0; i < count; ++i) {
    double x = 0.0;
    double y = 0.0;
    projectToPlane(polygon[i], referenceFrame, &x, &y);
    planeToPixel(x, y, reference.width, reference.height, ref.sensorWidth, ref.sensorHeight,
                 &record.ownPoints[2 * i], &record.ownPoints[2 * i + 1]);
    projectToPlane(polygon[i], partnerFrame, &x, &y);
    planeToPixel(x, y, partner.width, partner.height, partner.planeWidth, partner.planeHeight,
                 &record.partnerPoints[2 * i], &record.partnerPoints[2 * i + 1]);
  }

  *out = std::move(record);
  return 0;
}

// clipPyramids, and the record stored when found.
int overlapPyramids(const Pyramid& partner, const Pyramid& reference, bool symmetric) {
  OverlapRecord record;
  const int result = clipPyramids(partner, reference, &record);
  if (result == 0) {
    store(std::move(record), partner.picture, reference.picture, symmetric);
  }
  return result;
}

// The one-sided overlap (a view's), measured also against the partner's
// full-size image when the partner holds a smaller one.
int overlapMeasured(const Pyramid& partner, const Pyramid& reference) {
  OverlapRecord record;
  const int result = clipPyramids(partner, reference, &record);
  if (result != 0) {
    return result;
  }
  const Picture& photo = *partner.picture;
  if (partner.width != photo.fullWidth || partner.height != photo.fullHeight) {
    OverlapRecord full;
    if (clipPyramids(pyramidOf(partner.picture, PyramidRole::kPartner, true), reference, &full) ==
        0) {
      record.fullOwnPoints = std::move(full.ownPoints);
      record.fullPartnerPoints = std::move(full.partnerPoints);
      record.fullCount = full.count;
    } else {
      record.fullCount = 0;
    }
  }
  store(std::move(record), partner.picture, reference.picture, false);
  return 0;
}

// Pairs whose cones lie farther apart than their half-angles by this much
// (radians) are skipped; it dwarfs any rounding of the clipping.
constexpr double kConeMargin = 1e-6;

// The angle between two directions (radians, 0 ... pi), exact also for
// nearly parallel ones.
double angleBetween(const Vec3& a, const Vec3& b) {
  const Vec3 c = cross(a, b);
  return std::atan2(std::sqrt(dot(c, c)), dot(a, b));
}

// A cone around a pinhole picture's viewing direction that holds its whole
// pyramid, both as the reference (its sensor) and as the partner (its current
// image at its current pitch), widened by half the margin. Lens photographs
// and pictures without a usable direction get no cone: their pairs are never
// skipped.
struct PictureCone {
  Vec3 d;
  double halfAngle = -1.0;  // radians; negative: no cone
  double cosHalf = 0.0;
  double sinHalf = 0.0;
};

PictureCone coneOf(const Pyramid& pyramid) {
  PictureCone cone;
  const ViewFrame& sensor = pyramid.asReference;
  const ViewFrame& current = pyramid.asPartner;
  double half = 0.0;
  for (int i = 0; i < 4; ++i) {
    half = std::max({half, angleBetween(sensor.d, sensor.corners[i]),
                     angleBetween(sensor.d, current.corners[i])});
  }
  half += 0.5 * kConeMargin;
  if (!std::isfinite(half) || !std::isfinite(dot(sensor.d, sensor.d))) {
    return cone;
  }
  cone.d = sensor.d;
  cone.halfAngle = half;
  cone.cosHalf = std::cos(half);
  cone.sinHalf = std::sin(half);
  return cone;
}

// True when the two pyramids cannot share a direction, so that the overlap
// test would store nothing: the directions lie farther apart than the two
// half-angles, compared as cosines (cos(a + b) = cos a cos b - sin a sin b).
bool conesApart(const PictureCone& a, const PictureCone& b) {
  if (a.halfAngle < 0.0 || b.halfAngle < 0.0 || a.halfAngle + b.halfAngle >= kPi) {
    return false;
  }
  return dot(a.d, b.d) < a.cosHalf * b.cosHalf - a.sinHalf * b.sinHalf;
}

}  // namespace

int APrioriOverlapper::overlapPair(Picture* partner, Picture* reference) {
  return overlap(partner, reference, false);
}

int APrioriOverlapper::overlap(Picture* partner, Picture* reference, bool symmetric) {
  if (partner->camera || reference->camera) {
    // A lens photograph is no pyramid: its overlaps are sampled.
    OverlapRecord record;
    const int result = sampledOverlap(partner, reference, &record);
    if (result == 0) {
      store(std::move(record), partner, reference, symmetric);
    }
    return result;
  }
  const Pyramid partnerPyramid = pyramidOf(partner, PyramidRole::kPartner);
  const Pyramid referencePyramid = pyramidOf(reference, PyramidRole::kReference);
  return symmetric ? overlapPyramids(partnerPyramid, referencePyramid, true)
                   : overlapMeasured(partnerPyramid, referencePyramid);
}

int APrioriOverlapper::calculateOverlap() {
  if (panorama == nullptr) {
    return 0;
  }
  // Every pair is tested in ID order, except those whose cones lie apart:
  // skipping them leaves the records exactly as testing them would, and
  // turns thousands of photographs' pairs from seconds into milliseconds.
  const int n = static_cast<int>(panorama->pictures.size());
  // Pinhole pictures' pyramids and cones are worked out once, not per pair.
  std::vector<Picture*> byId(n, nullptr);
  std::vector<Pyramid> pyramids(n);
  std::vector<PictureCone> cones(n);
  for (int id = 0; id < n; ++id) {
    byId[id] = panorama->findById(id);
    if (byId[id] != nullptr && !byId[id]->camera) {
      pyramids[id] = pyramidOf(byId[id], PyramidRole::kBoth);
      cones[id] = coneOf(pyramids[id]);
    }
  }
  // Room for every pinhole pair the cones allow, so that the lists never move
  // their records while they grow (lens photographs' pairs are rarer and
  // sampled: they grow their lists as they come).
  std::vector<std::size_t> room(n, 0);
  for (int i = 0; i + 1 < n; ++i) {
    if (byId[i] == nullptr || byId[i]->camera) {
      continue;
    }
    for (int j = i + 1; j < n; ++j) {
      if (byId[j] != nullptr && !byId[j]->camera && !conesApart(cones[i], cones[j])) {
        ++room[i];
        ++room[j];
      }
    }
  }
  for (int id = 0; id < n; ++id) {
    if (byId[id] != nullptr) {
      byId[id]->overlaps.reserve(byId[id]->overlaps.size() + room[id]);
    }
  }
  for (int i = 0; i + 1 < n; ++i) {
    Picture* partner = byId[i];
    if (partner == nullptr) {
      continue;
    }
    for (int j = i + 1; j < n; ++j) {
      Picture* reference = byId[j];
      if (reference == nullptr) {
        continue;
      }
      if (partner->camera || reference->camera) {
        overlap(partner, reference, true);
      } else if (!conesApart(cones[i], cones[j])) {
        overlapPyramids(pyramids[i], pyramids[j], true);
      }
    }
  }
  return 0;
}

void APrioriOverlapper::getOverlappedPictures(Picture* reference, std::vector<Picture*>* result) {
  if (panorama == nullptr || reference == nullptr || result == nullptr) {
    return;
  }
  Overlapper* self = this;
  const int n = static_cast<int>(panorama->pictures.size());
  for (int id = 0; id < n; ++id) {
    Picture* picture = panorama->findById(id);
    if (picture != nullptr && self->overlapPair(picture, reference) >= 0) {
      result->push_back(picture);
    }
  }
}
