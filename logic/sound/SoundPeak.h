#pragma once

class SoundData;

// The loudest direction of one sound data set: the cell with the highest
// value (of equal values the first in row order, rows from the top) and the
// direction through its centre.
struct SoundPeak {
  int row = 0;
  int col = 0;
  float value = 0.0f;
  double altitude = 0.0;  // radians, 0 straight down ... pi straight up
  double azimuth = 0.0;   // radians, 0 ... 2 pi
};

// The peak of set `index` (cellCentre of sound/SoundRays.h for the
// direction). Cells the grid does not hold read as 0, like in the sound image;
// a grid without any value gives cell (0, 0) with 0. False, with *peak
// untouched, when the set does not exist or its grid is not whole rows of at
// most the declared size (what computeSoundImage refuses too).
bool findSoundPeak(const SoundData& data, int index, SoundPeak* peak);

// The peak of set `index` as SoundData::load found it, or findSoundPeak for a
// set that load did not read (tests build sets by hand). False like
// findSoundPeak.
bool soundPeakOf(const SoundData& data, int index, SoundPeak* peak);
