#pragma once
// The yardstick for Snapwick's shot: the same work done with nothing but
// the system's own calls, GDI for the copy and flat GDI+ for the JPEG, with
// no layer of ours in between.

#include <string>

#include "platform/win32/scoped_win.h"

namespace snapwick::bench {

struct ProbeTimes {
  double copyMs = 0;  // GetDC to ReleaseDC
  double saveMs = 0;  // GdiplusStartup to GdiplusShutdown
  double shotMs = 0;  // both, end to end
  int status = 0;     // the save's GDI+ status, 0 when the file was written
};

class BareProbe {
 public:
  // Measures the primary screen once and makes the bitmap that every shot
  // reuses, as a program that keeps its buffer would.
  BareProbe();
  BareProbe(const BareProbe&) = delete;
  BareProbe& operator=(const BareProbe&) = delete;

  bool Ready() const { return static_cast<bool>(bitmap_); }
  // One shot into `path`: JPEG at quality 80.
  ProbeTimes Shot(const std::wstring& path);

 private:
  int width_ = 0;
  int height_ = 0;
  win32::MemoryDC dc_;
  win32::Bitmap bitmap_;
};

}  // namespace snapwick::bench
