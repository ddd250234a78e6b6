#pragma once

#include <string>
#include <vector>

#include "panorama/PtoProject.h"
#include "panorama/PtoStatements.h"

// Turns a project's statements into its images, in file order (disabled ones
// included, marked): "o" lines fill and override the "i" line of the same
// position (or are the images when there are no "i" lines), "#-imgfile"
// lines set the size and name of the image line after them, "#-hugin"
// "disabled" marks apply when there is one "#-hugin" line per "i" line,
// links "X=k" take image k's value (a link on a, b or c links all three to
// image k, one on d or e both), and masks join their image. Every value is
// checked: sizes 1 ... kPtoMaxSide with at most kPtoMaxPixels pixels, known
// projections, a field of view above 0 and at most 360 degrees (below 180
// for rectilinear, at most 180 for orthographic, below 360 for
// stereographic pictures), no shear, positive white balance, whole-number
// vignetting mode, every value within a plausible magnitude (kPtoVars), a
// file name of at most 4096 bytes without control characters, a crop that
// is not empty and meets the picture. Photographs are not looked for here.
// Returns false with a German *reason naming the line on the first fault;
// *images is unchanged then.
bool assemblePtoImages(const PtoStatements& statements, std::vector<PtoImage>* images, std::string* reason);
