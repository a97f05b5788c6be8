#pragma once
// The yardstick for Snapwick's shot: the same system calls that the Win32
// layer makes for one, GDI for the copy and flat GDI+ for the JPEG, with
// nothing of Snapwick in between.

#include <string>

#include "platform/win32/scoped_win.h"

namespace snapwick::bench {

struct ProbeTimes {
  double copyMs = 0;  // measuring the screen to ReleaseDC
  double saveMs = 0;  // GdiplusStartup to GdiplusShutdown
  double shotMs = 0;  // both, end to end
  int status = 0;     // the save's GDI+ status, 0 when the file was written
};

class BareProbe {
 public:
  BareProbe();
  ~BareProbe();
  BareProbe(const BareProbe&) = delete;
  BareProbe& operator=(const BareProbe&) = delete;

  bool Ready() const { return static_cast<bool>(dc_); }
  // One shot into `path`: JPEG at quality 80. The bitmap is made at the
  // first shot and kept selected in the probe's DC, as the layer keeps its
  // own.
  ProbeTimes Shot(const std::wstring& path);

 private:
  int width_ = 0;
  int height_ = 0;
  win32::MemoryDC dc_;
  win32::Bitmap bitmap_;
  HGDIOBJ original_ = nullptr;
};

}  // namespace snapwick::bench
