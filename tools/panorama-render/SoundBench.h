#pragma once

#include <string>

class PanController;

// The sound map's costs on a controller with sound data loaded and a sound
// layer shown, printed as one JSON object on standard output:
//   pointer_us_*    readPointer at `steps` pixels spread over the view
//   peak_ms         findSoundPeak (the search at load) on the sets of
//                   `soundDirectory`: the slowest set's median, with its "cells"
//   threshold_ms_*  `steps` threshold changes (0.25 <-> 0.5), each composing
//                   the display again
//   alpha_ms_*      `steps` transparency changes (0.5 <-> 0.75), the same
//                   work without the threshold, for comparison
void runSoundBench(PanController& controller, const std::string& soundDirectory, int width,
                   int height, int steps);
