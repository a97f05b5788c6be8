#pragma once
// The hotkey's shots: which key is watched, when its presses make shots,
// and the shot itself.

#include <optional>
#include <string_view>

#include "capture/error.h"
#include "capture/hotkey_trigger.h"
#include "jpeg/shot_encoder.h"
#include "platform/screen.h"

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
  // No key, no ticks and no screen any more: the program closes.
  void StopWatching(Platform& p);

  void OnHotkey(Platform& p, AppState& s, KeySeen seen);
  void OnCompositorKey(Platform& p, AppState& s, CompositorKey key);
  // The desktop holds `keyName` for the program now, or no key (empty).
  void OnHotkeyBound(Platform& p, std::string_view keyName);
  void OnTick(Platform& p, AppState& s);
  void OnScreenGrabbed(Platform& p, AppState& s, std::optional<Frame> frame);

  // Copies the primary screen, names the shot, writes it as a new JPEG
  // file into the shot folder and plays the shutter sound. Ends at the
  // first step that fails and hands its error back: a copy that failed
  // uses no counter value and makes no file, a save that failed leaves no
  // file under any name and plays no sound. A grab whose frame comes later
  // ends here without an error, and the shot goes on when it comes.
  Failure CaptureScreen(Platform& p, AppState& s);
  // Whether a grab's frame is on its way.
  bool GrabPending() const { return grabPending_; }

 private:
  void ApplyTriggerStep(Platform& p, AppState& s, HotkeyTrigger::Step step);
  void SetTicks(Platform& p, HotkeyTrigger::Ticks ticks);
  // Names the shot of `frame` and writes it, with its sound.
  Failure SaveShot(Platform& p, AppState& s, const Frame& frame);
  // Tells the platform whether shots can come, when that changes.
  void TellScreenWanted(Platform& p);

  HotkeyTrigger trigger_;
  int watched_ = 0;
  bool watching_ = false;
  HotkeyWatch how_ = HotkeyWatch::None;
  // A key that makes shots: a watched key the desktop holds, or the
  // compositor's own binding, heard once.
  bool keyInForce_ = false;
  bool compositorKeys_ = false;
  bool screenWanted_ = false;
  bool grabPending_ = false;
  jpeg::ShotEncoder encoder_;
};

}  // namespace snapwick
