// Nanoseconds per call of the per-pixel lens and brightness functions, on
// one thread: the fastest of five runs in thread CPU time (time spent
// waiting for a busy machine's cores does not count).
// Prints figures only; nothing here is a test.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "camera/LensMapping.h"
#include "camera/LensModel.h"
#include "camera/Photometric.h"

namespace {

double threadNanoseconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e9 + t.tv_nsec;
}

// Nanoseconds of the fastest of five runs of `work`.
template <typename Work>
double fastest(Work work) {
  double best = 1e300;
  for (int i = 0; i < 5; ++i) {
    const double start = threadNanoseconds();
    work();
    best = std::min(best, threadNanoseconds() - start);
  }
  return best;
}

Lens makeLens(Projection projection, double v) {
  Lens lens;
  lens.projection = projection;
  lens.width = 6000;
  lens.height = 4000;
  lens.hfovDegrees = v;
  return lens;
}

// Directions in a cone of `spread` radians around the axis: most of them are
// seen by the lens.
std::vector<Vec3> directions(double spread) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> u(-spread, spread);
  std::vector<Vec3> out(1 << 16);
  for (Vec3& q : out) q = {std::sin(u(random)), std::sin(u(random)), 1.0};
  return out;
}

void timeDirectionToPixel(const char* name, const Lens& lens, double spread) {
  LensModel model;
  if (!prepareLens(lens, &model, nullptr)) {
    std::printf("%s: lens refused\n", name);
    return;
  }
  const std::vector<Vec3> qs = directions(spread);
  double sink = 0.0;
  long seen = 0;
  constexpr int kRounds = 20;
  const double ns = fastest([&] {
    for (int round = 0; round < kRounds; ++round) {
      for (const Vec3& q : qs) {
        double column = 0.0;
        double row = 0.0;
        if (directionToPixel(model, q, &column, &row)) {
          sink += column + row;
          ++seen;
        }
      }
    }
  });
  const double calls = double(kRounds) * qs.size();
  std::printf("%-48s %6.1f ns per direction (%.0f%% seen, %g)\n", name, ns / calls,
              100.0 * seen / (5 * calls), sink * 0.0);
}

void timePixelToDirection(const char* name, const Lens& lens) {
  LensModel model;
  if (!prepareLens(lens, &model, nullptr)) return;
  double sink = 0.0;
  const double ns = fastest([&] {
    for (int row = 0; row < lens.height; row += 8) {
      for (int column = 0; column < lens.width; column += 4) {
        Vec3 q;
        if (pixelToDirection(model, column + 0.5, row + 0.5, &q)) sink += q.z;
      }
    }
  });
  const double calls = double(lens.height / 8) * (lens.width / 4);
  std::printf("%-48s %6.1f ns per pixel (%g)\n", name, ns / calls, sink * 0.0);
}

void timeBrightness() {
  const int width = 6000;
  const int height = 4000;
  PhotometricCorrection correction;
  PhotometricParams params;
  params.exposureValue = 10.3;
  params.redBalance = 1.1;
  params.vb = -0.3;
  if (!correction.build(params, width, height, 10.0, nullptr)) return;
  std::vector<uint8_t> row(3 * width);
  for (int i = 0; i < 3 * width; ++i) row[i] = static_cast<uint8_t>(i * 7);
  unsigned sink = 0;
  const double ns = fastest([&] {
    for (int y = 0; y < height; y += 8) {
      for (int x = 0; x < width; ++x) {
        uint8_t* p = &row[3 * x];
        correction.correctBgr(p, x, y);
        sink += p[1];
      }
    }
  });
  std::printf("%-48s %6.1f ns per pixel (%u)\n", "brightness correction, blue-green-red",
              ns / (double(width) * (height / 8)), sink * 0u);
}

}  // namespace

int main() {
  Lens distorted = makeLens(Projection::Rectilinear, 60);
  distorted.a = 0.01;
  distorted.b = -0.03;
  distorted.c = 0.02;
  distorted.d = 11;
  distorted.e = -6;
  timeDirectionToPixel("rectilinear, direction to pixel", makeLens(Projection::Rectilinear, 60),
                       0.5);
  timeDirectionToPixel("rectilinear with distortion, direction to pixel", distorted, 0.5);
  Lens fisheye = makeLens(Projection::CircularFisheye, 180);
  timeDirectionToPixel("circular fisheye, direction to pixel", fisheye, 2.0);
  Lens distortedFisheye = fisheye;
  distortedFisheye.b = -0.02;
  timeDirectionToPixel("circular fisheye with distortion, dir. to pixel", distortedFisheye, 2.0);
  timeDirectionToPixel("equirectangular 360, direction to pixel",
                       makeLens(Projection::Equirectangular, 360), 20.0);
  timePixelToDirection("rectilinear with distortion, pixel to dir.", distorted);
  timePixelToDirection("circular fisheye, pixel to direction", fisheye);
  timeBrightness();
  return 0;
}
