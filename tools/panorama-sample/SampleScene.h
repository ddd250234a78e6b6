#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "camera/CamData.h"
#include "camera/Frame.h"

class PhotoCamera;

// Everything seen from one viewpoint, kept as an equirectangular colour image
// in the world frame of camera/Frame.h: row r of H covers the polar angles
// (from straight up) [r pi / H, (r + 1) pi / H), column k of W the azimuths
// [k 2pi / W, (k + 1) 2pi / W), where the azimuth of a direction v is
// atan2(v.x, v.z) in [0, 2pi). This is the mapping of the sound grids. As a
// larger azimuth lies to the left of a view, the image appears mirrored left
// to right when seen from inside.
class SampleScene {
 public:
  // The built-in scene's widest image: 20 pixels per degree.
  static constexpr int kMaxBuiltInWidth = 7200;
  static constexpr int kMinBuiltInWidth = 720;

  SampleScene() = default;
  // Takes an 8-bit 3-channel equirectangular image (width >= 2, height >= 1).
  explicit SampleScene(cv::Mat equirectangular);

  // The built-in scene to orient oneself: sky and ground, a dark horizon, grid
  // lines every 15 degrees of altitude and azimuth labelled in degrees (in
  // this system's terms: altitude 90 is the horizon, 180 straight up), and
  // coloured landmarks, among them a red disc straight ahead of the start
  // camera (azimuth 0, altitude 90). `width` x width/2 pixels; `width` is
  // clamped to kMinBuiltInWidth ... kMaxBuiltInWidth and made even.
  static SampleScene builtIn(int width);
  // The built-in scene at the resolution that photographs with a focal length
  // of `focalPixels` pixels resolve (about one scene pixel per two photograph
  // pixels, within the width limits).
  static SampleScene builtInFor(double focalPixels);
  // An equirectangular image file, as colour. False with a reason when the
  // file cannot be read or is too small.
  static bool load(const std::string& path, SampleScene* scene, std::string* error);

  bool empty() const { return image_.empty(); }
  const cv::Mat& image() const { return image_; }

  // The colour seen along v (any length but 0): bilinear between the four
  // nearest cells, wrapping around in azimuth and clamped at the poles.
  cv::Vec3b colourAlong(const Vec3& v) const;

  // A width x height photograph taken at (altitude, azimuth) in radians with
  // the focal length `focalPixels` in pixels: pixel (column c, row y) shows
  // the direction (c - width/2) r - (y - height/2) u + focalPixels d, with d,
  // r, u from viewFrame. This is where the view assembly samples a
  // photograph, so a panorama made of such photographs reproduces the scene.
  cv::Mat renderPhoto(double altitude, double azimuth, double focalPixels, int width,
                      int height) const;

  // A width x height photograph through a lens camera at its full size
  // (PhotoCamera::lensCamera): pixel (c, r) shows the direction through the
  // position (c + 0.5, r + 0.5), its centre, so that the picture is the exact
  // ground truth of the lens; pixels whose position shows no direction are
  // black. `tone` (when given) replaces every scene value 0 ... 255 of every
  // channel, e.g. to change the exposure.
  cv::Mat renderThrough(const PhotoCamera& camera, int width, int height,
                        const std::array<std::uint8_t, 256>* tone = nullptr) const;

  // The view of `camera` projected straight from the scene: like a
  // photograph of camera.width x camera.height pixels with the focal length
  // floor(f / (sensorWidth / width) + 0.5) pixels, the whole number that the
  // controller hands to the view assembly. Empty for a camera without pixels.
  cv::Mat renderView(const CamData& camera) const;

 private:
  cv::Mat image_;
};
