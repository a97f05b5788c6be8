#pragma once
// The hotkey poll and the shot itself.

#include "capture/error.h"

namespace snapwick {

class Platform;
struct AppState;

// One tick of the 50 ms timer: when the hotkey is down at this moment,
// makes one shot. A failed shot is silent.
void TimerTick(Platform& p, AppState& s);

// Copies the primary screen, names the shot, writes it as JPEG into the
// shot folder and plays the shutter sound. Ends at the first step that
// fails and hands its error back; a copy that failed uses no counter value
// and makes no file.
Failure CaptureScreen(Platform& p, AppState& s);

}  // namespace snapwick
