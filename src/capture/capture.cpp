#include "capture/capture.h"

#include <string>

#include "app/app_state.h"
#include "capture/screen_save.h"
#include "capture/shot_name.h"
#include "platform/platform.h"
#include "ui/win_proc.h"

namespace snapwick {
namespace {

constexpr int kKeyDown = 0x8000;
constexpr int kCanvasErrorNumber = 380;  // the canvas refused a property

// The screen's device context, given back as soon as the copy is done or
// the shot ends early.
class ScreenDC {
 public:
  explicit ScreenDC(Platform& p) : p_(p), dc_(p.GetScreenDC()) {}
  ~ScreenDC() { Release(); }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  Handle get() const { return dc_; }
  void Release() {
    if (dc_ != 0) p_.ReleaseScreenDC(dc_);
    dc_ = 0;
  }

 private:
  Platform& p_;
  Handle dc_;
};

Error CanvasError(const char* what) {
  return {kCanvasErrorNumber, std::string("The capture canvas failed: ") + what};
}

}  // namespace

void TimerTick(Platform& p, AppState& s) {
  if (WinProc.HotKey == 0) return;
  if ((p.GetAsyncKeyState(WinProc.HotKey) & kKeyDown) == 0) return;
  // Nothing is shown, logged or retried: the user learns of a failed shot
  // by the missing file and the missing sound.
  (void)CaptureScreen(p, s);
}

Failure CaptureScreen(Platform& p, AppState& s) {
  if (!Succeeded(p.ClearCanvas())) return CanvasError("clear");
  ScreenDC screen(p);
  if (!Succeeded(p.SetCanvasPersistent(true))) return CanvasError("persistent image");

  // Measured afresh for every shot: a change of resolution is taken up at
  // the next one.
  s.ScreenW = p.GetSystemMetrics(kSmCxScreen);
  s.ScreenH = p.GetSystemMetrics(kSmCyScreen);
  if (!Succeeded(p.ResizeCanvas(s.ScreenW, s.ScreenH))) return CanvasError("resize");

  const auto canvasDC = p.CanvasDC();
  if (!canvasDC) return CanvasError("device context");
  p.BitBlt(*canvasDC, 0, 0, s.ScreenW, s.ScreenH, screen.get(), 0, 0, kSrcCopy);
  screen.Release();

  const auto image = p.CanvasImage();
  if (!image) return CanvasError("image");

  const std::string name = MakeShotName(p, s);
  if (auto error = SaveJpeg(p, *image, s.PicFolder + name, s.Quality)) return error;
  if (s.SoundOn != 0) p.PlaySoundAsync(s.WavFolder + "2.wav");
  return std::nullopt;
}

}  // namespace snapwick
