#pragma once
// The yardstick Snapwick's shot used to be: the screen copied in one
// BitBlt, then flat GDI+ for the JPEG, started and shut down for each shot,
// as the program did before it encoded with libjpeg-turbo.

#include <string>

#include "probe_copy.h"

namespace snapwick::bench {

class GdiplusProbe {
 public:
  bool Ready() const { return copy_.Ready(); }
  // One shot into `path`: JPEG at quality 80 (which Wine's GDI+ ignores).
  ProbeTimes Shot(const std::wstring& path);

 private:
  ProbeCopy copy_{CopyWay::Whole};
};

}  // namespace snapwick::bench
