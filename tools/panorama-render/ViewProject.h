#pragma once

#include <string>
#include <vector>

#include "SampleProject.h"
#include "camera/CamData.h"

class PicManager;

// The stitcher project of one view: its "p" line is a rectilinear picture of
// the view's size and horizontal field of view, looking at yaw 0, pitch 0,
// roll 0; every photograph of the panorama follows with its yaw, pitch and
// roll relative to the view's camera, so that the stitcher's remapper renders
// the view this viewer shows (an independent reference for checks and
// benchmarks).

// The "p" and "m" lines (and a comment) of the view `camera`.
std::string viewProjectHead(const CamData& camera);

// The photographs of `panorama` as seen from `camera`: rectilinear, full
// size, the field of view of the pinhole the view assembly draws them with,
// the file as an absolute path. False with an English reason when the
// panorama has photographs that are not pinholes of an XML description or a
// file name the project cannot hold (a quote or a control character).
bool viewProjectPhotos(const CamData& camera, const PicManager& panorama,
                       std::vector<ProjectPhoto>* photos, std::string* error);

// Writes the project of `camera`'s view of `panorama` to `path`; false with
// an English reason (nothing is written when the photographs are refused).
bool writeViewProject(const std::string& path, const CamData& camera, const PicManager& panorama,
                      std::string* error);
