#pragma once
// The hotkey's shots: which key is watched, when its presses make shots,
// and the shot itself.

#include "capture/error.h"
#include "capture/hotkey_trigger.h"
#include "jpeg/shot_encoder.h"

namespace snapwick {

class Platform;
struct AppState;

constexpr int kNoScreenErrorNumber = 1;
constexpr int kSaveErrorNumber = 5;

class Capture {
 public:
  // Shots compressed in two strips at once where the process has a second
  // core.
  Capture();
  // `twoStrips`: whether a shot may be compressed in two strips at once.
  explicit Capture(bool twoStrips);

  // Watches the hotkey in force, unless it is watched already; how the
  // platform watches it (None: it cannot, and the key makes no shots).
  HotkeyWatch WatchHotkey(Platform& p, const AppState& s);
  // No key and no ticks any more: the program closes.
  void StopWatching(Platform& p);

  void OnHotkeyDown(Platform& p, AppState& s);
  void OnHotkeyUp(Platform& p, AppState& s);
  void OnTick(Platform& p, AppState& s);

  // Copies the primary screen, names the shot, writes it as a new JPEG
  // file into the shot folder and plays the shutter sound. Ends at the
  // first step that fails and hands its error back: a copy that failed
  // uses no counter value and makes no file, a save that failed leaves no
  // file under any name and plays no sound.
  Failure CaptureScreen(Platform& p, AppState& s);

 private:
  void Follow(Platform& p, AppState& s, HotkeyTrigger::Step step);
  void SetTicks(Platform& p, HotkeyTrigger::Ticks ticks);

  HotkeyTrigger trigger_;
  int watched_ = 0;
  bool watching_ = false;
  HotkeyWatch how_ = HotkeyWatch::None;
  jpeg::ShotEncoder encoder_;
};

}  // namespace snapwick
