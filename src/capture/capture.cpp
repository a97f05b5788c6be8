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
  // A key the desktop reports is in force only once it says it holds it:
  // until then the screen is not asked of the user for nothing.
  keyInForce_ = how_ != HotkeyWatch::None && how_ != HotkeyWatch::Reported;
  SetTicks(p, trigger_.Watch(how_).ticks);
  TellScreenWanted(p);
  return how_;
}

void Capture::StopWatching(Platform& p) {
  if (watching_ && watched_ != 0) p.WatchHotkey(0);
  watching_ = false;
  watched_ = 0;
  how_ = HotkeyWatch::None;
  keyInForce_ = false;
  compositorKeys_ = false;
  // A frame still on its way makes no shot any more.
  grabPending_ = false;
  trigger_.Watch(HotkeyWatch::None);
  // Stopped whether or not the trigger knew of ticks: none may come now.
  p.SetTicking(false);
  TellScreenWanted(p);
}

void Capture::OnHotkey(Platform& p, AppState& s, KeySeen seen) {
  switch (seen) {
    case KeySeen::Down:
      ApplyTriggerStep(p, s, trigger_.Press());
      break;
    case KeySeen::Up:
      ApplyTriggerStep(p, s, trigger_.Release());
      break;
    case KeySeen::DownNow:
    case KeySeen::UpNow:
      ApplyTriggerStep(p, s, trigger_.Sample(seen == KeySeen::DownNow));
      break;
  }
}

void Capture::OnCompositorKey(Platform& p, AppState& s, CompositorKey key) {
  // The program closes: its window is gone, and so are its keys.
  if (!watching_) return;
  if (!compositorKeys_) {
    compositorKeys_ = true;
    TellScreenWanted(p);
  }
  switch (key) {
    case CompositorKey::Press:
      ApplyTriggerStep(p, s, trigger_.Press(HotkeyTrigger::Hold::PressesOnly));
      break;
    case CompositorKey::Down:
      ApplyTriggerStep(p, s, trigger_.Press(HotkeyTrigger::Hold::Reported));
      break;
    case CompositorKey::Up:
      ApplyTriggerStep(p, s, trigger_.Release());
      break;
  }
}

void Capture::OnHotkeyBound(Platform& p, std::string_view keyName) {
  if (!watching_) return;
  keyInForce_ = how_ != HotkeyWatch::None && !keyName.empty();
  // A key the desktop let go of is held no more.
  if (!keyInForce_) trigger_.Release();
  TellScreenWanted(p);
}

void Capture::TellScreenWanted(Platform& p) {
  const bool wanted = keyInForce_ || compositorKeys_;
  if (wanted == screenWanted_) return;
  screenWanted_ = wanted;
  p.SetScreenWanted(wanted);
}

void Capture::OnTick(Platform& p, AppState& s) { ApplyTriggerStep(p, s, trigger_.Tick()); }

void Capture::ApplyTriggerStep(Platform& p, AppState& s, HotkeyTrigger::Step step) {
  // The ticks first, so that they count from the press and not from the
  // end of its shot.
  SetTicks(p, step.ticks);
  if (!step.shoot) return;
  // One grab at a time: a held key's tick that finds the last frame still
  // on its way shoots nothing, and a press's shot waits for the next tick.
  if (grabPending_) {
    if (step.owed) trigger_.Defer();
    return;
  }
  // Nothing is shown, logged or retried: the user learns of a failed shot
  // by the missing file and the missing sound.
  (void)CaptureScreen(p, s);
}

Failure Capture::CaptureScreen(Platform& p, AppState& s) {
  const ScreenGrab grab = p.GrabScreen();
  switch (grab.state) {
    case ScreenGrab::State::Ready:
      return SaveShot(p, s, grab.frame);
    case ScreenGrab::State::Pending:
      grabPending_ = true;
      return std::nullopt;
    case ScreenGrab::State::Failed:
      break;
  }
  return Error{kNoScreenErrorNumber, "The screen could not be copied"};
}

void Capture::OnScreenGrabbed(Platform& p, AppState& s, std::optional<Frame> frame) {
  // Only the frame of the grab waited for makes a shot.
  if (!grabPending_) return;
  grabPending_ = false;
  if (frame) (void)SaveShot(p, s, *frame);
}

Failure Capture::SaveShot(Platform& p, AppState& s, const Frame& frame) {
  // A copy that failed would be a black or stale picture passed off as a
  // shot: no file, no sound, no counter value.
  if (!jpeg::ValidPixels(PixelsOf(frame))) {
    return Error{kNoScreenErrorNumber, "The screen could not be copied"};
  }
  s.screenWidth = frame.width;
  s.screenHeight = frame.height;

  // The clock is read after the copy and before the save.
  ShotName name = MakeShotName(p, s);
  if (encoder_.Encode(PixelsOf(frame), s.quality) != jpeg::Encoded::Ok) {
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
