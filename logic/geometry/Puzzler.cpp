#include "geometry/Puzzler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "base/ParallelFor.h"
#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"
#include "camera/PhotoCamera.h"
#include "geometry/PhotoDrawing.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"

namespace {

// Every accumulator float starts here, so that an unreached pixel divides to
// 1 (the background (1, 1, 1)). The description's panoramas keep their start
// and its slight fade where the Gaussian weights are tiny; lens panoramas
// start far below their smallest weight (1e-3), so that every covered pixel
// shows its photographs at full strength.
constexpr float kAccumulatorStart = 0.0001f;
constexpr float kLensAccumulatorStart = 1e-20f;

// Largest side of a lens panorama's weight image.
constexpr int kLensWeightImageSize = 1024;

// Pixels of one accumulator band (16 bytes each).
constexpr int kBandPixels = 1 << 14;

// Current images of at most this many pixels read their weights from a
// table of their own size (a preview's table stays in the cache, the
// full-size map does not); at most kPixelWeightsKept such tables are kept.
constexpr long kMaxPixelWeights = 1L << 18;
constexpr std::size_t kPixelWeightsKept = 16;

// Each thread of an assembly draws at least this many view pixels.
constexpr long kMinPixelsPerThread = 1L << 15;

// The corner weight of each Gaussian profile; 0 for the flat profile.
float profileCornerWeight(const std::string& kind) {
  if (kind == "gaussSchwach") {
    return 0.1f;
  }
  if (kind == "gaussMittel") {
    return 0.001f;
  }
  if (kind == "gaussStark") {
    return 1e-7f;
  }
  return 0.0f;
}

// The job's coefficient rows: the photograph's axes against the view's.
void coefficients(const PhotoCamera& camera, const Vec3* viewAxes, DrawJob* job) {
  const CameraAxes& axes = camera.axes();
  const Vec3 photoAxes[3] = {axes.right, axes.down, axes.forward};
  double* rows[3] = {job->ca, job->cb, job->ce};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      rows[i][j] = dot(photoAxes[i], viewAxes[j]);
    }
  }
}

// Map index along one axis for every pixel of a photograph's current image:
// the nearest full-size pixel, then the same relative position in the map
// (the full-size pixel itself when the photograph has the map's size). With
// `fold` >= 0 the map holds only indices 0 ... fold of a profile symmetric
// about `fold`: an index past it reads its mirror image.
void buildAxisTable(int current, double inverseScale, int fullSize, int mapSize, int fold,
                    int stride, std::vector<int>* table) {
  table->resize(current > 0 ? current : 0);
  for (int i = 0; i < current; ++i) {
    long full = static_cast<long>(std::floor(i * inverseScale + 0.5));
    full = std::clamp(full, 0L, static_cast<long>(fullSize) - 1);
    long map = full;
    if (fullSize != mapSize) {
      map = (2 * full + 1) * mapSize / (2L * fullSize);
    }
    map = std::clamp(map, 0L, static_cast<long>(mapSize) - 1);
    if (fold >= 0 && map > fold) {
      map = 2L * fold - map;
    }
    (*table)[i] = static_cast<int>(map * stride);
  }
}

// Whether an axis table holds, at every index, the folding of that index
// about `fold` times `stride` (what buildAxisTable gives for an image of the
// map's own size).
bool isFolding(const std::vector<int>& table, int fold, int stride) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const long index = static_cast<long>(i);
    if (table[i] != (fold - std::labs(index - fold)) * stride) {
      return false;
    }
  }
  return true;
}

}  // namespace

Puzzler::Puzzler(const std::string& weightKind, PicManager* panorama) : weightKind(weightKind) {
  Picture* first = panorama != nullptr ? panorama->findById(0) : nullptr;
  if (first == nullptr) {
    throw std::invalid_argument("the panorama has no picture with ID 0");
  }
  if (first->fullWidth <= 0 || first->fullHeight <= 0) {
    throw std::invalid_argument("picture 0 has no pixels");
  }
  w0 = first->fullWidth;
  h0 = first->fullHeight;
  if (first->camera) {
    lensSession = true;
    buildLensWeightImage(*first->camera);
  } else {
    buildWeightMap();
  }
  saveWeightMap();
}

void Puzzler::buildLensWeightImage(const GeneralCamera& camera) {
  const int longer = std::max(w0, h0);
  const double scale = longer > kLensWeightImageSize ? double(kLensWeightImageSize) / longer : 1.0;
  const int fullWidth = w0;
  const int fullHeight = h0;
  w0 = std::max(1, static_cast<int>(std::lround(fullWidth * scale)));
  h0 = std::max(1, static_cast<int>(std::lround(fullHeight * scale)));
  weightColumns_ = w0;
  weightRows_ = h0;
  weightMap.assign(static_cast<std::size_t>(w0) * h0, 0.0f);
  // Every entry depends on its own position only: rows over the cores.
  parallelRows(
      h0,
      [&](int from, int to) {
        for (int row = from; row < to; ++row) {
          const double y = (row + 0.5) * fullHeight / h0;
          for (int column = 0; column < w0; ++column) {
            const double x = (column + 0.5) * fullWidth / w0;
            weightMap[static_cast<std::size_t>(row) * w0 + column] =
                static_cast<float>(blendWeight(camera.lens, x, y));
          }
        }
      },
      maxThreads, 16);
}

void Puzzler::buildWeightMap() {
  // A weight depends on x^2 + y^2 about the centre (hw, hh) only, so the map
  // keeps its upper-left quadrant, centre row and column included; the other
  // three read their mirror image (weightAt, the draw tables). An odd size's
  // last column or row simply continues the profile one step further, which
  // is the mirror of the first. A quarter of the memory: a 200-megapixel
  // photograph's map is 200 MB instead of 800 MB.
  const int hw = w0 / 2;
  const int hh = h0 / 2;
  weightColumns_ = hw + 1;
  weightRows_ = hh + 1;
  weightMap.assign(static_cast<std::size_t>(weightColumns_) * weightRows_, 1.0f);
  const float k = profileCornerWeight(weightKind);
  const long cornerSquared = static_cast<long>(hw) * hw + static_cast<long>(hh) * hh;
  if (k == 0.0f || cornerSquared == 0) {
    return;
  }
  const float logK = std::log(k);
  const float sigma = std::sqrt(-static_cast<float>(cornerSquared) / (2.0f * logK));
  const float s2 = sigma * sigma;
  const double twoS2 = 2.0 * static_cast<double>(s2);
  for (int row = 0; row <= hh; ++row) {
    const long y = row - hh;
    float* line = weightMap.data() + static_cast<std::size_t>(row) * weightColumns_;
    for (int column = 0; column <= hw; ++column) {
      const long x = column - hw;
      line[column] = static_cast<float>(std::exp(-static_cast<double>(y * y + x * x) / twoS2));
    }
  }
}

float Puzzler::weightAt(int column, int row) const {
  if (!lensSession) {
    const int hw = w0 / 2;
    const int hh = h0 / 2;
    column = column > hw ? 2 * hw - column : column;
    row = row > hh ? 2 * hh - row : row;
  }
  return weightMap[static_cast<std::size_t>(row) * weightColumns_ + column];
}

void Puzzler::saveWeightMap() const {
  cv::Mat grey(h0, w0, CV_8UC1);
  for (int row = 0; row < h0; ++row) {
    std::uint8_t* out = grey.ptr<std::uint8_t>(row);
    for (int column = 0; column < w0; ++column) {
      out[column] = static_cast<std::uint8_t>(static_cast<int>(255.0f * weightAt(column, row)));
    }
  }
  cv::imwrite("LUT.jpg", grey);
}

std::shared_ptr<const std::vector<float>> Puzzler::pixelWeights(const Picture& photo, int width,
                                                                int height) {
  if (static_cast<long>(width) * height > kMaxPixelWeights) {
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(pixelWeightsMutex_);
  for (const PixelWeights& entry : pixelWeights_) {
    if (entry.width == width && entry.height == height && entry.fullWidth == photo.fullWidth &&
        entry.fullHeight == photo.fullHeight && entry.scaleX == photo.scaleX &&
        entry.scaleY == photo.scaleY) {
      return entry.weights;
    }
  }
  std::vector<int> columns;
  std::vector<int> rows;
  buildAxisTable(width, 1.0 / photo.scaleX, photo.fullWidth, w0, w0 / 2, 1, &columns);
  buildAxisTable(height, 1.0 / photo.scaleY, photo.fullHeight, h0, h0 / 2, weightColumns_, &rows);
  auto weights = std::make_shared<std::vector<float>>(static_cast<std::size_t>(width) * height);
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      (*weights)[static_cast<std::size_t>(row) * width + column] =
          weightMap[rows[row] + columns[column]];
    }
  }
  if (pixelWeights_.size() >= kPixelWeightsKept) {
    pixelWeights_.clear();  // the jobs that use them hold their own reference
  }
  pixelWeights_.push_back(
      {width, height, photo.fullWidth, photo.fullHeight, photo.scaleX, photo.scaleY, weights});
  return weights;
}

bool Puzzler::puzzleTogether(int count, int viewWidth, int viewHeight, Picture* view,
                             double azimuth, double altitude, double fv) {
  if (view == nullptr || viewWidth <= 0 || viewHeight <= 0) {
    return false;
  }
  cv::Mat out = view->acquireImage();
  // The output must be exactly the view's size, or writing it would leave
  // the image.
  if (out.cols != viewWidth || out.rows != viewHeight || out.type() != CV_8UC3) {
    return false;
  }
  count = std::clamp(count, 0, static_cast<int>(view->overlaps.size()));

  const CameraAxes camera = cameraAxes(altitude, azimuth);
  const Vec3 viewAxes[3] = {camera.right, camera.down, camera.forward};
  const double halfViewWidth = viewWidth / 2.0;
  const double halfViewHeight = viewHeight / 2.0;

  // First every photograph is locked, acquired and prepared in list order;
  // then the view is drawn in bands of rows, each band adding the
  // photographs in list order, so every cell sums exactly as one pass per
  // photograph would.
  std::vector<DrawJob> jobs;
  jobs.reserve(static_cast<std::size_t>(count));
  auto releaseAll = [&] {
    for (DrawJob& job : jobs) {
      job.photo->unlock(this);
      job.photo->releaseImage();
    }
  };
  for (int k = 0; k < count; ++k) {
    const OverlapRecord& record = view->overlaps[k];
    Picture* photo = record.partner;
    if (photo == nullptr || record.ownPoints.size() < 2) {
      continue;
    }
    if (!photo->tryLock(this)) {
      continue;  // another assembly is drawing it
    }
    DrawJob job;
    job.photo = photo;
    job.image = photo->acquireImage();

    int columnMin = record.ownPoints[0];
    int columnMax = columnMin;
    int rowMin = record.ownPoints[1];
    int rowMax = rowMin;
    for (std::size_t i = 0; i + 1 < record.ownPoints.size(); i += 2) {
      columnMin = std::min(columnMin, record.ownPoints[i]);
      columnMax = std::max(columnMax, record.ownPoints[i]);
      rowMin = std::min(rowMin, record.ownPoints[i + 1]);
      rowMax = std::max(rowMax, record.ownPoints[i + 1]);
    }
    columnMin = std::max(columnMin, 0);
    columnMax = std::min(columnMax, viewWidth - 1);
    rowMin = std::max(rowMin, 0);
    rowMax = std::min(rowMax, viewHeight - 1);

    int width = 0;
    int height = 0;
    double pitch = 0.0;
    photo->currentSize(&width, &height, &pitch);

    // The picture store changed the image after acquisition: give up
    // without writing the view.
    if (job.image.cols != width || job.image.rows != height ||
        (!job.image.empty() && job.image.type() != CV_8UC3)) {
      photo->unlock(this);
      photo->releaseImage();
      releaseAll();
      return false;
    }

    if (photo->camera && columnMin <= columnMax && rowMin <= rowMax && width > 0 && height > 0 &&
        !job.image.empty()) {
      job.general = photo->camera;
      job.camera =
          PhotoCamera::lensCamera(&job.general->lens, job.general->rotation, width, height);
      coefficients(job.camera, viewAxes, &job);
      job.columnFrom = columnMin;
      job.columnTo = columnMax;
      job.rowFrom = rowMin;
      job.rowTo = rowMax + 1;
    } else if (!photo->camera && columnMin <= columnMax && rowMin <= rowMax && width > 1 &&
               height > 1 && pitch > 0.0) {
      job.camera = PhotoCamera::pinhole(photo->altitude, photo->azimuth,
                                        photo->focalLength / pitch, width, height);
      coefficients(job.camera, viewAxes, &job);
      job.columnFrom = columnMin;
      job.columnTo = columnMax;
      job.pixelWeights = pixelWeights(*photo, width, height);
      if (!job.pixelWeights) {
        buildAxisTable(width, 1.0 / photo->scaleX, photo->fullWidth, w0, w0 / 2, 1,
                       &job.weightColumn);
        buildAxisTable(height, 1.0 / photo->scaleY, photo->fullHeight, h0, h0 / 2,
                       weightColumns_, &job.weightRow);
        job.foldColumn = w0 / 2;
        job.foldRow = h0 / 2;
        job.weightStride = weightColumns_;
        job.weightsFolded = isFolding(job.weightColumn, job.foldColumn, 1) &&
                            isFolding(job.weightRow, job.foldRow, job.weightStride);
      }
      job.weights = weightMap.data();
      // The box is inclusive on both ends: its last row is drawn as well.
      job.rowFrom = rowMin;
      job.rowTo = rowMax + 1;
    }
    jobs.push_back(std::move(job));
  }

  // The view is summed band by band: each thread keeps a few rows of cells
  // (a quarter megabyte) that stay in its cache while every photograph adds
  // to them, and are finished into pixels before the next rows. The bands'
  // memory is kept between assemblies.
  std::lock_guard<std::mutex> assembling(accumulatorMutex_);
  const int bandRows = std::max(1, kBandPixels / viewWidth);
  const std::size_t bandFloats = 4 * static_cast<std::size_t>(bandRows) * viewWidth;
  bandCells_.resize(std::max<std::size_t>(
      {bandCells_.size(), std::size_t{kMaxParallelThreads}, std::size_t{maxThreads}}));

  const ViewRays rays{viewWidth, halfViewWidth, halfViewHeight, fv};
  const float start = lensSession ? kLensAccumulatorStart : kAccumulatorStart;
  // Lens panoramas round to the nearest level, so that a pixel seen by one
  // photograph shows its value; the description's truncate as they always did.
  const float rounding = lensSession ? 0.5f : 0.0f;
  auto drawRows = [&](int from, int to, unsigned worker) {
    std::vector<float>& band = bandCells_[worker];
    if (band.size() < bandFloats) {
      band.resize(bandFloats);
    }
    float* const cells = band.data();
    for (int first = from; first < to; first += bandRows) {
      const int last = std::min(to, first + bandRows);
      fillCells(cells, 4 * static_cast<std::size_t>(last - first) * viewWidth, start);
      for (const DrawJob& job : jobs) {
        const int rowFrom = std::max(job.rowFrom, first);
        const int rowTo = std::min(job.rowTo, last);
        if (rowFrom >= rowTo) {
          continue;
        }
        if (job.general) {
          drawLensRows(job, rowFrom, rowTo, rays, cells, first);
        } else {
          drawPinholeRows(job, rowFrom, rowTo, rays, cells, first);
        }
      }
      for (int row = first; row < last; ++row) {
        finishPixels(cells + 4 * static_cast<std::size_t>(row - first) * viewWidth, viewWidth,
                     rounding, out.ptr<std::uint8_t>(row));
      }
    }
  };

  // Bands of rows over the cores; a view smaller than two bands' worth of
  // pixels per thread is drawn on the calling thread alone.
  const int minRows = static_cast<int>(std::max(1L, kMinPixelsPerThread / viewWidth));
  parallelRowsByWorker(viewHeight, drawRows, maxThreads, minRows);
  releaseAll();
  return true;
}
