#pragma once

#include <Qt>

class guiListener;

// The view's keys: the arrow keys turn the camera by kKeyTurnDegrees (with
// Shift by kShiftKeyTurnDegrees): left turns the view to the left (a larger
// azimuth), up looks up (a larger altitude); + and - zoom in and out like
// one wheel step ("=", unshifted "+" on US keyboards, zooms in too); Home returns to the start camera. The keypad's keys count
// the same.
constexpr double kKeyTurnDegrees = 2.0;
constexpr double kShiftKeyTurnDegrees = 10.0;

// True when `key` is one of the view's keys; it is then passed on to
// `listener` (nothing is called when that is null). Other modifiers than
// Shift and the keypad's make it no view key (Ctrl++ belongs to others).
bool applyViewKey(int key, Qt::KeyboardModifiers modifiers, guiListener* listener);
