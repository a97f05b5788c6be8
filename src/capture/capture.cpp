#include "capture/capture.h"

#include <string>

#include "capture/jpeg_save.h"
#include "capture/shot_name.h"
#include "platform/platform.h"
#include "state/app_state.h"

namespace snapwick {
namespace {

constexpr int kNoScreenErrorNumber = 1;

}  // namespace

void TimerTick(Platform& p, AppState& s) {
  if (s.hotkey.hotKey == 0) return;
  if (!p.IsKeyDown(s.hotkey.hotKey)) return;
  // Nothing is shown, logged or retried: the user learns of a failed shot
  // by the missing file and the missing sound.
  (void)CaptureScreen(p, s);
}

Failure CaptureScreen(Platform& p, AppState& s) {
  // A copy that failed would be a black or stale picture passed off as a
  // shot: no file, no sound, no counter value.
  const auto image = p.GrabScreen();
  if (!image) return Error{kNoScreenErrorNumber, "The screen could not be copied"};
  s.screenWidth = image->width;
  s.screenHeight = image->height;

  // The clock is read after the copy and before the save.
  const std::string name = MakeShotName(p, s);
  if (auto error = SaveJpeg(p, *image, s.picFolder + name, s.quality)) return error;
  if (s.soundOn != 0) p.PlaySound(s.wavFolder + "2.wav");
  return std::nullopt;
}

}  // namespace snapwick
