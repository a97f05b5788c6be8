#include "capture/capture.h"

#include <string>

#include "capture/shot_name.h"
#include "platform/platform.h"
#include "state/app_state.h"

namespace snapwick {
namespace {

jpeg::PixelOrder OrderOf(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Bgrx:
      return jpeg::PixelOrder::Bgrx;
    case PixelLayout::Rgbx:
      return jpeg::PixelOrder::Rgbx;
    case PixelLayout::Xrgb:
      return jpeg::PixelOrder::Xrgb;
    case PixelLayout::Xbgr:
      return jpeg::PixelOrder::Xbgr;
  }
  return jpeg::PixelOrder::Bgrx;
}

jpeg::Pixels PixelsOf(const Frame& f) {
  return {f.pixels, f.width, f.height, f.stride, f.bottomUp, OrderOf(f.layout)};
}

Error SaveError(std::string_view why) {
  return {kSaveErrorNumber, "Cannot save the image: " + std::string(why)};
}

}  // namespace

Capture::Capture() : Capture(jpeg::UsableCores() >= 2) {}

Capture::Capture(bool twoStrips) : encoder_(twoStrips) {}

void Capture::SetTicks(Platform& p, HotkeyTrigger::Ticks ticks) {
  if (ticks == HotkeyTrigger::Ticks::Keep) return;
  const bool on = ticks == HotkeyTrigger::Ticks::Start;
  if (!Succeeded(p.SetTicking(on)) && on) trigger_.TicksRefused();
}

HotkeyWatch Capture::WatchHotkey(Platform& p, const AppState& s) {
  if (watching_ && watched_ == s.hotkey.hotKey) return how_;
  watching_ = true;
  watched_ = s.hotkey.hotKey;
  // No key, no shots: nothing is asked of the platform but to stop.
  const HotkeyWatch how = p.WatchHotkey(watched_);
  how_ = watched_ == 0 ? HotkeyWatch::None : how;
  SetTicks(p, trigger_.Watch(how_).ticks);
  return how_;
}

void Capture::StopWatching(Platform& p) {
  if (watching_ && watched_ != 0) p.WatchHotkey(0);
  watching_ = false;
  watched_ = 0;
  how_ = HotkeyWatch::None;
  trigger_.Watch(HotkeyWatch::None);
  // Stopped whether or not the trigger knew of ticks: none may come now.
  p.SetTicking(false);
}

void Capture::OnHotkeyDown(Platform& p, AppState& s) { Follow(p, s, trigger_.Down()); }

void Capture::OnHotkeyUp(Platform& p, AppState& s) { Follow(p, s, trigger_.Up()); }

void Capture::OnTick(Platform& p, AppState& s) { Follow(p, s, trigger_.Tick()); }

void Capture::Follow(Platform& p, AppState& s, HotkeyTrigger::Step step) {
  // The ticks first, so that they count from the press and not from the
  // end of its shot.
  SetTicks(p, step.ticks);
  // Nothing is shown, logged or retried: the user learns of a failed shot
  // by the missing file and the missing sound.
  if (step.shoot) (void)CaptureScreen(p, s);
}

Failure Capture::CaptureScreen(Platform& p, AppState& s) {
  // A copy that failed would be a black or stale picture passed off as a
  // shot: no file, no sound, no counter value.
  const auto frame = p.GrabScreen();
  if (!frame || !jpeg::ValidPixels(PixelsOf(*frame))) {
    return Error{kNoScreenErrorNumber, "The screen could not be copied"};
  }
  s.screenWidth = frame->width;
  s.screenHeight = frame->height;

  // The clock is read after the copy and before the save.
  ShotName name = MakeShotName(p, s);
  if (encoder_.Encode(PixelsOf(*frame), s.quality) != jpeg::Encoded::Ok) {
    return SaveError("the picture could not be compressed");
  }
  for (;;) {
    switch (p.WriteNewFile(s.picFolder + name.text, encoder_.Parts())) {
      case NewFile::Written:
        if (s.soundOn != 0) p.PlaySound(s.wavFolder + "2.wav");
        return std::nullopt;
      case NewFile::Failed:
        return SaveError("the file could not be written");
      case NewFile::NameTaken:
        // Whatever holds the name (a file, a folder, a link) is passed
        // over for the next counter value, never replaced.
        if (!NextShotName(p, s, name)) return SaveError("every name is taken");
        break;
    }
  }
}

}  // namespace snapwick
