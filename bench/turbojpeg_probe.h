#pragma once
// The yardstick for Snapwick's shot now: the screen copied in bands, as the
// program copies it, TurboJPEG's
// tjCompress2 straight from the copy's bits into a buffer kept from shot to
// shot, and one WriteFile. Written against libjpeg-turbo's own API, not
// through Snapwick's encoder, so that the program's overhead shows.

#include <cstdint>
#include <string>

#include "probe_copy.h"

namespace snapwick::bench {

class TurboJpegProbe {
 public:
  TurboJpegProbe();
  ~TurboJpegProbe();
  TurboJpegProbe(const TurboJpegProbe&) = delete;
  TurboJpegProbe& operator=(const TurboJpegProbe&) = delete;

  bool Ready() const { return copy_.Ready() && compressor_ != nullptr; }
  // One shot into `path`: baseline JPEG, 4:2:0, at `quality`.
  ProbeTimes Shot(const std::wstring& path, int quality);

 private:
  ProbeCopy copy_{CopyWay::Bands};
  void* compressor_ = nullptr;
  unsigned char* buffer_ = nullptr;
  unsigned long capacity_ = 0;
};

}  // namespace snapwick::bench
