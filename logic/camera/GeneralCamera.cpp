#include "camera/GeneralCamera.h"

#include <algorithm>
#include <cmath>

#include "camera/LensMapping.h"

namespace {

double angleBetween(const Vec3& u, const Vec3& v) {
  const Vec3 c = cross(u, v);
  return std::atan2(std::sqrt(dot(c, c)), dot(u, v));
}

// The sample at (column, row) when it lies in the usable area and shows a
// direction.
bool sampleAt(const LensModel& m, double column, double row, LensSample* sample) {
  sample->column = column;
  sample->row = row;
  return insideUsableArea(m, column, row, 1e-6) &&
         pixelToDirection(m, column, row, &sample->direction);
}

void buildGrid(const LensModel& m, GeneralCamera* camera) {
  const int n = kLensGridCells;
  std::vector<LensSample> cells(n * n);
  std::vector<char> valid(n * n, 0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      valid[i * n + j] = sampleAt(m, m.left + (j + 0.5) * (m.right - m.left) / n,
                                  m.top + (i + 0.5) * (m.bottom - m.top) / n, &cells[i * n + j]);
    }
  }
  double smallest = 3.141592653589793;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const int k = i * n + j;
      if (!valid[k]) continue;
      camera->grid.push_back(cells[k]);
      double step = 0.0;
      if (j + 1 < n && valid[k + 1]) step = std::max(step, angleBetween(cells[k].direction, cells[k + 1].direction));
      if (i + 1 < n && valid[k + n]) step = std::max(step, angleBetween(cells[k].direction, cells[k + n].direction));
      if (step > 0.0) smallest = std::min(smallest, step);
    }
  }
  camera->gridAngle = smallest;
}

// Samples along the straight path from (c0, r0) to (c1, r1), its ends
// included; every run of neighbouring samples that are inside the area and
// show a direction becomes one run of the outline.
void addEdge(const LensModel& m, double c0, double r0, double c1, double r1, int samples,
             GeneralCamera* camera) {
  std::vector<LensSample> run;
  for (int k = 0; k <= samples; ++k) {
    const double t = static_cast<double>(k) / samples;
    LensSample sample;
    if (sampleAt(m, c0 + t * (c1 - c0), r0 + t * (r1 - r0), &sample)) {
      run.push_back(sample);
    } else if (!run.empty()) {
      camera->outline.push_back(std::move(run));
      run.clear();
    }
  }
  if (!run.empty()) camera->outline.push_back(std::move(run));
}

void buildOutline(const LensModel& m, GeneralCamera* camera) {
  const int n = kLensOutlineSamples;
  addEdge(m, m.left, m.top, m.right, m.top, n, camera);
  addEdge(m, m.right, m.top, m.right, m.bottom, n, camera);
  addEdge(m, m.right, m.bottom, m.left, m.bottom, n, camera);
  addEdge(m, m.left, m.bottom, m.left, m.top, n, camera);
  if (!m.circle) return;
  // The circle just inside its radius, as runs of arcs inside the rectangle.
  const double r = m.circleRadius * (1.0 - 1e-9);
  const int around = 4 * n;
  std::vector<LensSample> run;
  for (int k = 0; k <= around; ++k) {
    const double a = k * 6.283185307179586 / around;
    LensSample sample;
    if (sampleAt(m, m.circleX + r * std::cos(a), m.circleY + r * std::sin(a), &sample)) {
      run.push_back(sample);
    } else if (!run.empty()) {
      camera->outline.push_back(std::move(run));
      run.clear();
    }
  }
  if (!run.empty()) camera->outline.push_back(std::move(run));
}

}  // namespace

bool insideUsableArea(const LensModel& m, double column, double row, double slack) {
  if (column < m.left - slack || column > m.right + slack || row < m.top - slack ||
      row > m.bottom + slack) {
    return false;
  }
  if (!m.circle) return true;
  const double dx = column - m.circleX;
  const double dy = row - m.circleY;
  const double r = m.circleRadius + slack;
  return dx * dx + dy * dy <= r * r;
}

bool makeGeneralCamera(const Lens& lens, double yawDegrees, double pitchDegrees,
                       double rollDegrees, const PhotometricParams& photometric,
                       double outputExposure, GeneralCamera* camera, std::string* error) {
  if (!std::isfinite(yawDegrees) || !std::isfinite(pitchDegrees) || !std::isfinite(rollDegrees)) {
    if (error) *error = "yaw, pitch or roll is not finite";
    return false;
  }
  GeneralCamera made;
  if (!prepareLens(lens, &made.lens, error)) {
    return false;
  }
  std::string reason;
  if (!made.brightness.build(photometric, lens.width, lens.height, outputExposure, &reason)) {
    if (error) *error = "brightness: " + reason;
    return false;
  }
  made.correctsBrightness = !made.brightness.identity();
  made.rotation = photoRotation(yawDegrees, pitchDegrees, rollDegrees);
  made.axis = cameraToWorld(made.rotation, {0.0, 0.0, 1.0});
  buildGrid(made.lens, &made);
  buildOutline(made.lens, &made);
  *camera = std::move(made);
  return true;
}

double longerSideDegrees(const Lens& lens) {
  if (lens.width <= 0 || lens.height <= 0) {
    return 0.0;
  }
  const double longer = std::max(lens.width, lens.height);
  return std::min(360.0, lens.hfovDegrees * longer / lens.width);
}
