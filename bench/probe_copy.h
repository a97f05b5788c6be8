#pragma once
// The screen copy that both yardsticks make, with plain GDI calls and none
// of Snapwick's code: the primary screen into a 32-bit DIB section that is
// made at the first shot and kept selected in the probe's own DC.

#include <cstdint>

#include "platform/win32/scoped_win.h"

namespace snapwick::bench {

// One BitBlt of the whole screen, as the program copied before; or bands
// of whole rows, at most 256 KiB each, as it copies now: under Wine a whole
// screen's copy makes Xlib take fresh buffers of the screen's size, whose
// pages cost more to fault in than the copy itself.
enum class CopyWay { Whole, Bands };

class ProbeCopy {
 public:
  explicit ProbeCopy(CopyWay way);
  ~ProbeCopy();
  ProbeCopy(const ProbeCopy&) = delete;
  ProbeCopy& operator=(const ProbeCopy&) = delete;

  bool Ready() const { return static_cast<bool>(dc_); }
  // Measures the screen and copies it; false when the copy failed.
  bool Copy();

  HBITMAP Bitmap() const { return bitmap_.Get(); }
  // Bottom row first, 4 bytes a pixel, no padding.
  const std::uint8_t* Bits() const { return bits_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  CopyWay way_;
  int width_ = 0;
  int height_ = 0;
  const std::uint8_t* bits_ = nullptr;
  win32::MemoryDC dc_;
  win32::Bitmap bitmap_;
  HGDIOBJ original_ = nullptr;
};

// What one probe shot took, and whether it wrote its file.
struct ProbeTimes {
  double copyMs = 0;  // measuring the screen to the end of the copy
  double saveMs = 0;  // encoding and writing the file
  double shotMs = 0;  // both, end to end
  int status = 0;     // 0 when the file was written
};

}  // namespace snapwick::bench
