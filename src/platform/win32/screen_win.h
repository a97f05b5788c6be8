#pragma once
// Copies of the primary screen: into one 32-bit DIB section that the layer
// keeps selected in a memory device context of its own, reused from shot to
// shot and made anew only when the screen's size changes. The frame handed
// to the program points into its pixels.

#include "platform/win32/windows_inc.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/screen.h"
#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {

// The system calls a copy is made with. A test hands in its own, to make
// the screen unreachable, sizeless or uncopyable.
struct ScreenCalls {
  int(WINAPI* getSystemMetrics)(int) = ::GetSystemMetrics;
  HDC(WINAPI* getDC)(HWND) = ::GetDC;
  int(WINAPI* releaseDC)(HWND, HDC) = ::ReleaseDC;
  BOOL(WINAPI* bitBlt)(HDC, int, int, int, int, HDC, int, int, DWORD) = ::BitBlt;
};

// How the screen is copied: in one BitBlt, or in bands of rows of at most
// kBandBytes each. Bands keep each copy's buffers small enough for the C
// library to reuse where a BitBlt becomes an XGetImage (Wine); on Windows
// each band is one more read-back from the compositor. Neither wins
// everywhere, so the program times both at start.
enum class CopyMode : std::uint8_t { Whole, Bands };
constexpr int kBandBytes = 256 * 1024;
// Copies timed each way at start: enough for the fastest of them to be a
// fair one under load, few enough to keep the choice short on a 4K screen.
constexpr int kCopyModeRounds = 3;

// Rows per band for a screen this wide.
int BandRows(int width);

// The faster way, from a few copies timed each way (milliseconds): the
// fastest copy of each, so that a copy slowed by another process's load
// does not decide; one copy when they are even.
CopyMode ChooseCopyMode(std::span<const double> bandsMs, std::span<const double> wholeMs);

// A 32-bit DIB section selected into a memory device context of its own,
// made anew only for another size.
class ScreenBitmap {
 public:
  ScreenBitmap() = default;
  ~ScreenBitmap() { Drop(); }
  ScreenBitmap(const ScreenBitmap&) = delete;
  ScreenBitmap& operator=(const ScreenBitmap&) = delete;

  bool Fit(int width, int height);
  void Drop();
  HDC Dc() const { return dc_.Get(); }
  HBITMAP Handle() const { return bitmap_.Get(); }
  const std::uint8_t* Bits() const { return bits_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  MemoryDC dc_;
  Bitmap bitmap_;
  HGDIOBJ original_ = nullptr;          // the DC's own bitmap, put back before ours goes
  const std::uint8_t* bits_ = nullptr;  // the bitmap's pixels, owned by it
  int width_ = 0;
  int height_ = 0;
};

// Measures the primary screen and copies all of it into `into`, top to
// bottom. False when there is no screen to copy from, it has no size, or a
// BitBlt failed (no further band is copied then).
bool CopyScreen(const ScreenCalls& calls, CopyMode mode, ScreenBitmap& into);

class ScreenGrabber {
 public:
  explicit ScreenGrabber(ScreenCalls calls = {}) : calls_(calls) {}
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  // The whole screen, measured afresh. Nothing when it could not be
  // copied; the frame of an earlier grab is gone then too.
  std::optional<Frame> Grab();

  CopyMode Mode() const { return mode_; }
  void SetMode(CopyMode mode) { mode_ = mode; }
  // One step of the choice between the two ways: times one copy, the two
  // ways taking turns, and after `rounds` of each keeps the faster way.
  // False once the choice is made, or when a copy failed (the way stays as
  // it was). Until then the screen is copied in bands. The frame of an
  // earlier grab is gone after a step.
  bool ChooseModeStep(int rounds);
  bool ModeChosen() const { return chosen_; }
  // All steps at once; the way chosen, or nothing when a copy failed.
  std::optional<CopyMode> ChooseMode(int rounds);

  // The bitmap of the latest grab, while its copy is whole.
  HBITMAP BitmapOfLatest() const { return valid_ ? target_.Handle() : nullptr; }
  HDC Dc() const { return target_.Dc(); }

 private:
  ScreenCalls calls_;
  ScreenBitmap target_;
  bool valid_ = false;
  CopyMode mode_ = CopyMode::Bands;
  std::vector<double> bandsMs_, wholeMs_;  // the copies timed for the choice
  bool chosen_ = false;
};

}  // namespace snapwick::win32
