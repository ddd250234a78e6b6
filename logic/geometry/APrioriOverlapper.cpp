#include "geometry/APrioriOverlapper.h"

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

  int referenceWidth = 0;
  int referenceHeight = 0;
  double referencePitch = 0.0;
  reference->currentSize(&referenceWidth, &referenceHeight, &referencePitch);
  int partnerWidth = 0;
  int partnerHeight = 0;
  double partnerPitch = 0.0;
  partner->currentSize(&partnerWidth, &partnerHeight, &partnerPitch);

  // As the reference a picture spans its sensor; as the partner it spans its
  // current image at its current pitch. The two agree for the view picture.
  const ViewFrame referenceFrame =
      viewFrame(reference->altitude, reference->azimuth, reference->focalLength,
                reference->sensorWidth, reference->sensorHeight);
  const double partnerPlaneWidth = partnerPitch * partnerWidth;
  const double partnerPlaneHeight = partnerPitch * partnerHeight;
  const ViewFrame partnerFrame = viewFrame(partner->altitude, partner->azimuth,
                                           partner->focalLength, partnerPlaneWidth,
                                           partnerPlaneHeight);

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

  OverlapRecord record;
  record.count = count;
  record.partner = partner;
  record.ownPoints.resize(2 * count);
  record.partnerPoints.resize(2 * count);
  for (int i = 0; i < count; ++i) {
    double x = 0.0;
    double y = 0.0;
    projectToPlane(polygon[i], referenceFrame, &x, &y);
    planeToPixel(x, y, referenceWidth, referenceHeight, reference->sensorWidth,
                 reference->sensorHeight, &record.ownPoints[2 * i], &record.ownPoints[2 * i + 1]);
    projectToPlane(polygon[i], partnerFrame, &x, &y);
    planeToPixel(x, y, partnerWidth, partnerHeight, partnerPlaneWidth, partnerPlaneHeight,
                 &record.partnerPoints[2 * i], &record.partnerPoints[2 * i + 1]);
  }

  store(std::move(record), partner, reference, symmetric);
  return 0;
}

int APrioriOverlapper::calculateOverlap() {
  if (panorama == nullptr) {
    return 0;
  }
  const int n = static_cast<int>(panorama->pictures.size());
  for (int i = 0; i + 1 < n; ++i) {
    Picture* partner = panorama->findById(i);
    if (partner == nullptr) {
      continue;
    }
    for (int j = i + 1; j < n; ++j) {
      Picture* reference = panorama->findById(j);
      if (reference != nullptr) {
        overlap(partner, reference, true);
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
