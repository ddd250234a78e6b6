#pragma once

class Picture;
class SoundData;

// Draws data set `index` into the view picture's image as the picture's
// camera sees it, one grid cell per pixel, coloured through the colour map.
// Returns 0, or -1 without touching the image when index is out of range.
int computeSoundImage(Picture* picture, const SoundData& data, int index);
