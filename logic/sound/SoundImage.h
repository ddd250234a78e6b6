#pragma once

#include <opencv2/core.hpp>

class Picture;
class SoundData;

// Draws data set `index` into the view picture's image as the picture's
// camera sees it, one grid cell per pixel (the mapping of sound/SoundRays.h),
// coloured through the colour map; rows the grid does not hold read as 0, and
// a pixel whose ray has no direction (a NaN camera) is painted black. With
// `values`, that image is made a CV_32F image of the same size holding each
// pixel's cell value (NaN where the ray has no direction). Returns 0, or -1
// without touching the images when index is out of range or the grid is not
// whole rows of at most the declared size.
int computeSoundImage(Picture* picture, const SoundData& data, int index,
                      cv::Mat* values = nullptr);
