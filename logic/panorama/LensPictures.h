#pragma once

#include <memory>
#include <string>
#include <vector>

#include "camera/LensModel.h"
#include "panorama/Equirect360.h"
#include "panorama/PtoProject.h"

class Picture;

// Turns what the readers give (a stitcher project, a 360-degree photograph's
// description) into lens photographs: Pictures with a general camera each,
// IDs 0 ... n-1, without images yet (PicManager::openPictures builds their
// previews from `files`).

struct LensPictures {
  std::vector<std::unique_ptr<Picture>> pictures;
  std::vector<std::string> files;  // one per picture
};

// The project's (enabled) photographs in file order. Each photograph's lens
// takes the project's size, projection, field, distortion, shift, crop and
// masks; a mask of type 4 hides its inside on every photograph of the same
// lens (same size, projection, field, distortion and shift). The brightness
// is corrected to the mean exposure value of the photographs (white balance
// ignored for greyscale JPEGs); the response curve coefficients are not
// used. False with a German reason when a photograph's values cannot make a
// camera.
bool lensPicturesOfProject(const PtoProject& project, LensPictures* out, std::string* reason);

// The lens of a 360-degree photograph as described: equirectangular over its
// covered azimuths, the optical axis (azimuth 0 on the horizon) placed by
// the description.
Lens lensOf360(const Equirect360& description);

// The photograph at `path` described by `description` as the one lens
// photograph of a panorama: the description's pose pitch and roll level it
// (the compass heading is not used: the start view stays the whole
// panorama's centre). False with a German reason when it makes no camera.
bool lensPicturesOf360(const Equirect360& description, const std::string& path,
                       LensPictures* out, std::string* reason);

// The German name of a photograph projection ("geradlinig", "Fischauge
// (kreisförmig)" ...).
std::string projectionName(Projection projection);
