#include "geometry/SampledOverlap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/Constants.h"
#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"
#include "camera/PhotoCamera.h"
#include "panorama/Picture.h"

namespace {

// Interior samples along each side of a pinhole's image: dense, as the
// view's box must hold every pixel that sees the photograph (a lens
// photograph's grid of GeneralCamera::grid is made once and coarse: its
// border samples and the view's grid find the overlap).
constexpr int kPinholeGrid = 48;
// The reference's box is padded by this many of its grid steps (and a pixel).
constexpr double kPadSteps = 1.5;
// Pieces each pinhole border edge is first cut into; each piece (and each
// step between a lens' outline samples) is divided so that its samples lie no
// further apart in angle than the target.
constexpr int kCoarsePieces = 32;
constexpr int kMaxPieceSamples = 64;
// Added to the cone angles against rounding, radians.
constexpr double kConeSlack = 1e-6;
// Positions within this distance outside a lens picture's usable area count
// as inside (the border samples lie exactly on it).
constexpr double kEdgeSlack = 1e-6;

struct Sample {
  double column = 0.0;
  double row = 0.0;
  Vec3 direction;
};

double angleBetween(const Vec3& u, const Vec3& v) {
  const Vec3 c = cross(u, v);
  return std::atan2(std::sqrt(dot(c, c)), dot(u, v));
}

// A picture as the sampling sees it: positions in the pixels of its current
// image (pinhole) or of its full-size picture (lens).
struct Side {
  const GeneralCamera* general = nullptr;  // lens photographs
  PhotoCamera camera;                      // pinhole pictures
  int width = 0;
  int height = 0;
  // The usable rectangle in positions (a pinhole's whole image).
  double left = 0.0;
  double right = 0.0;
  double top = 0.0;
  double bottom = 0.0;
  int cells = kPinholeGrid;  // grid cells along each side
  bool wraps = false;
  Vec3 axis;
  double radius = 0.0;           // cone angle around the axis, radians
  double pixelsPerRadian = 0.0;  // near the centre
  std::vector<Sample> grid;
  double gridAngle = kPi;  // smallest angle between neighbouring grid samples
};

bool insideArea(const Side& s, double column, double row, double slack) {
  if (s.general != nullptr) return insideUsableArea(s.general->lens, column, row, slack);
  return column >= s.left - slack && column <= s.right + slack && row >= s.top - slack &&
         row <= s.bottom + slack;
}

// The direction shown at a position of the side; false where none is.
bool directionAt(const Side& s, double column, double row, Vec3* direction) {
  if (s.general == nullptr) return s.camera.directionThrough(column, row, direction);
  Vec3 q;
  if (!pixelToDirection(s.general->lens, column, row, &q)) return false;
  *direction = cameraToWorld(s.general->rotation, q);
  return true;
}

// Where the side sees `direction`, masks not looked at (they only hide part
// of what a box must hold); false where it does not see it.
bool seenAt(const Side& s, const Vec3& direction, double* column, double* row) {
  if (s.general == nullptr) {
    const CameraAxes& a = s.camera.axes();
    const double e = dot(direction, a.forward);
    if (!(e > 0.0)) return false;
    const double q = s.camera.focalPixels() / e;
    *column = s.camera.halfWidth() + dot(direction, a.right) * q;
    *row = s.camera.halfHeight() + dot(direction, a.down) * q;
    return insideArea(s, *column, *row, 0.5);
  }
  return projectToImage(s.general->lens, worldToCamera(s.general->rotation, direction), column,
                        row) &&
         insideArea(s, *column, *row, kEdgeSlack);
}

Sample inWorld(const GeneralCamera& camera, const LensSample& sample) {
  return {sample.column, sample.row, cameraToWorld(camera.rotation, sample.direction)};
}

Side sideOf(const Picture& picture) {
  Side s;
  if (picture.camera) {
    const GeneralCamera& camera = *picture.camera;
    const LensModel& m = camera.lens;
    s.general = &camera;
    s.width = m.lens.width;
    s.height = m.lens.height;
    s.left = m.left;
    s.right = m.right;
    s.top = m.top;
    s.bottom = m.bottom;
    s.cells = kLensGridCells;
    s.wraps = m.wraps;
    s.axis = camera.axis;
    s.radius = coverageRadius(m);
    s.pixelsPerRadian = m.f;
  } else {
    // A pinhole spans its current image at its current pitch; pixel k of
    // either axis shows the ray through position k.
    int width = 0;
    int height = 0;
    double pitch = 0.0;
    picture.currentSize(&width, &height, &pitch);
    const double focal = pitch > 0.0 ? picture.focalLength / pitch : 0.0;
    s.camera = PhotoCamera::pinhole(picture.altitude, picture.azimuth, focal, width, height);
    s.width = width;
    s.height = height;
    s.right = width - 1.0;
    s.bottom = height - 1.0;
    s.axis = s.camera.axes().forward;
    const double corner = std::hypot(std::max(s.camera.halfWidth(), s.right - s.camera.halfWidth()),
                                     std::max(s.camera.halfHeight(), s.bottom - s.camera.halfHeight()));
    s.radius = focal > 0.0 ? std::atan2(corner, focal) : kPi;
    s.pixelsPerRadian = focal;
  }
  return s;
}

// The interior grid and the smallest angle between neighbours (each sample
// taking the larger of its two steps): a lens' own, turned into the world;
// for a pinhole the cell centres of n x n cells over its image.
void buildGrid(Side* s) {
  s->grid.clear();
  if (s->general != nullptr) {
    for (const LensSample& sample : s->general->grid) s->grid.push_back(inWorld(*s->general, sample));
    s->gridAngle = s->general->gridAngle;
    return;
  }
  const int n = s->cells;
  std::vector<Sample> cells(n * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      Sample& sample = cells[i * n + j];
      sample.column = s->left + (j + 0.5) * (s->right - s->left) / n;
      sample.row = s->top + (i + 0.5) * (s->bottom - s->top) / n;
      s->camera.directionThrough(sample.column, sample.row, &sample.direction);
    }
  }
  double smallest = kPi;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const int k = i * n + j;
      s->grid.push_back(cells[k]);
      double step = 0.0;
      if (j + 1 < n) step = std::max(step, angleBetween(cells[k].direction, cells[k + 1].direction));
      if (i + 1 < n) step = std::max(step, angleBetween(cells[k].direction, cells[k + n].direction));
      if (step > 0.0) smallest = std::min(smallest, step);
    }
  }
  s->gridAngle = smallest;
}

// Adds the samples between `previous` and `next` (positions on a straight
// path, both already sampled) that keep neighbours no further apart in angle
// than `target` (as far as kMaxPieceSamples allow), then `next`; only
// positions inside the area that show a direction.
void sampleBetween(const Side& s, const Sample& previous, const Sample& next, double target,
                   std::vector<Sample>* out) {
  const double angle = angleBetween(previous.direction, next.direction);
  const int steps = std::clamp(static_cast<int>(std::ceil(angle / target)), 1, kMaxPieceSamples);
  for (int k = 1; k < steps; ++k) {
    Sample between;
    const double u = static_cast<double>(k) / steps;
    between.column = previous.column + u * (next.column - previous.column);
    between.row = previous.row + u * (next.row - previous.row);
    if (insideArea(s, between.column, between.row, kEdgeSlack) &&
        directionAt(s, between.column, between.row, &between.direction)) {
      out->push_back(between);
    }
  }
  out->push_back(next);
}

// The usable border, its samples no further apart in angle than `target`: a
// lens' outline (made once, divided further only where the target asks), a
// pinhole's four image edges.
std::vector<Sample> borderSamples(const Side& s, double target) {
  std::vector<Sample> out;
  if (s.general != nullptr) {
    for (const std::vector<LensSample>& run : s.general->outline) {
      Sample previous = inWorld(*s.general, run.front());
      out.push_back(previous);
      for (std::size_t k = 1; k < run.size(); ++k) {
        const Sample next = inWorld(*s.general, run[k]);
        sampleBetween(s, previous, next, target, &out);
        previous = next;
      }
    }
    return out;
  }
  const double xs[5] = {s.left, s.right, s.right, s.left, s.left};
  const double ys[5] = {s.top, s.top, s.bottom, s.bottom, s.top};
  for (int edge = 0; edge < 4; ++edge) {
    Sample previous;
    for (int piece = 0; piece <= kCoarsePieces; ++piece) {
      const double t = static_cast<double>(piece) / kCoarsePieces;
      Sample sample;
      sample.column = xs[edge] + t * (xs[edge + 1] - xs[edge]);
      sample.row = ys[edge] + t * (ys[edge + 1] - ys[edge]);
      s.camera.directionThrough(sample.column, sample.row, &sample.direction);
      if (piece == 0) {
        out.push_back(sample);
      } else {
        sampleBetween(s, previous, sample, target, &out);
      }
      previous = sample;
    }
  }
  return out;
}

// The positions of one side that see the other, gathered into a box.
struct Extent {
  std::vector<double> columns;
  double rowMin = 0.0;
  double rowMax = 0.0;
  void add(double column, double row) {
    if (columns.empty()) {
      rowMin = rowMax = row;
    } else {
      rowMin = std::min(rowMin, row);
      rowMax = std::max(rowMax, row);
    }
    columns.push_back(column);
  }
};

// The box of `extent` on side `s` as whole pixels [*c0, *c1] x [*r0, *r1],
// padded and clamped (a wrapping picture's columns as described in the
// header).
void boxOf(const Side& s, Extent& extent, double padColumns, double padRows, int* c0, int* c1,
           int* r0, int* r1) {
  std::vector<double>& columns = extent.columns;
  std::sort(columns.begin(), columns.end());
  double from = columns.front();
  double to = columns.back();
  const double w = s.width;
  if (s.wraps) {
    // The shortest arc holding every column: it leaves out the widest gap.
    double widest = columns.front() + w - columns.back();
    for (std::size_t k = 0; k + 1 < columns.size(); ++k) {
      const double gap = columns[k + 1] - columns[k];
      if (gap > widest) {
        widest = gap;
        from = columns[k + 1];
        to = columns[k] + w;
      }
    }
    from -= padColumns;
    to += padColumns;
    if (to - from >= w - 1.0) {
      from = 0.0;
      to = w - 1.0;
    } else if (from < 0.0) {
      from += w;
      to += w;
    }
  } else {
    from = std::max(0.0, from - padColumns);
    to = std::min(w - 1.0, to + padColumns);
  }
  *c0 = static_cast<int>(std::floor(from));
  *c1 = static_cast<int>(std::floor(to));
  *r0 = static_cast<int>(std::floor(std::max(0.0, extent.rowMin - padRows)));
  *r1 = static_cast<int>(std::floor(std::min(s.height - 1.0, extent.rowMax + padRows)));
}

// Maps `samples` of side `from` into side `to`; the shared ones extend both.
void mapSamples(const std::vector<Sample>& samples, const Side& to, Extent* fromExtent,
                Extent* toExtent) {
  for (const Sample& sample : samples) {
    double column = 0.0;
    double row = 0.0;
    if (seenAt(to, sample.direction, &column, &row)) {
      fromExtent->add(sample.column, sample.row);
      toExtent->add(column, row);
    }
  }
}

}  // namespace

int sampledOverlap(Picture* partner, Picture* reference, OverlapRecord* record) {
  Side p = sideOf(*partner);
  Side r = sideOf(*reference);
  if (p.width < 1 || p.height < 1 || r.width < 1 || r.height < 1) {
    return -2;
  }
  if (angleBetween(p.axis, r.axis) > p.radius + r.radius + kConeSlack) {
    return -1;
  }
  buildGrid(&p);
  buildGrid(&r);
  const double target = std::max(1e-6, std::min(p.gridAngle, r.gridAngle));
  Extent partnerExtent;
  Extent referenceExtent;
  mapSamples(p.grid, r, &partnerExtent, &referenceExtent);
  mapSamples(borderSamples(p, target), r, &partnerExtent, &referenceExtent);
  mapSamples(r.grid, p, &referenceExtent, &partnerExtent);
  mapSamples(borderSamples(r, target), p, &referenceExtent, &partnerExtent);
  if (referenceExtent.columns.empty()) {
    return -2;
  }

  // The reference's box must hold every pixel that sees the partner: each
  // such pixel lies within a grid step of a shared sample (border samples lie
  // no further apart). The partner's box only tells the loader how many of
  // the partner's pixels the overlap spans: it is padded by the same angle.
  int own[4];
  int other[4];
  boxOf(r, referenceExtent, kPadSteps * (r.right - r.left) / r.cells + 1.0,
        kPadSteps * (r.bottom - r.top) / r.cells + 1.0, &own[0], &own[1], &own[2], &own[3]);
  const double partnerPad = kPadSteps * target * p.pixelsPerRadian + 1.0;
  boxOf(p, partnerExtent, partnerPad, partnerPad, &other[0], &other[1], &other[2], &other[3]);
  auto corners = [](const int* box) {
    return std::vector<int>{box[0], box[2], box[1], box[2], box[1], box[3], box[0], box[3]};
  };
  record->count = 4;
  record->partner = partner;
  record->ownPoints = corners(own);
  record->partnerPoints = corners(other);
  return 0;
}
