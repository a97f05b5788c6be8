#include "turbojpeg_probe.h"

#include <turbojpeg.h>

#include "bench_stats.h"

namespace snapwick::bench {

TurboJpegProbe::TurboJpegProbe() : compressor_(tjInitCompress()) {}

TurboJpegProbe::~TurboJpegProbe() {
  if (compressor_) tjDestroy(static_cast<tjhandle>(compressor_));
  tjFree(buffer_);
}

ProbeTimes TurboJpegProbe::Shot(const std::wstring& path, int quality) {
  ProbeTimes t;
  const Stopwatch shot;
  const Stopwatch copy;
  if (!copy_.Copy()) {
    t.status = -1;
    return t;
  }
  t.copyMs = copy.ElapsedMs();
  const Stopwatch save;
  const int width = copy_.Width();
  const int height = copy_.Height();
  const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
  if (needed > capacity_) {
    tjFree(buffer_);
    buffer_ = tjAlloc(static_cast<int>(needed));
    capacity_ = buffer_ ? needed : 0;
  }
  unsigned long size = capacity_;
  if (!buffer_ || tjCompress2(static_cast<tjhandle>(compressor_), copy_.Bits(), width, width * 4,
                              height, TJPF_BGRX, &buffer_, &size, TJSAMP_420, quality,
                              TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC) != 0) {
    t.status = 1;
    return t;
  }
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    t.status = 7;
    return t;
  }
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file, buffer_, size, &written, nullptr);
  const BOOL closed = ::CloseHandle(file);
  t.status = wrote && written == size && closed ? 0 : 7;
  t.saveMs = save.ElapsedMs();
  t.shotMs = shot.ElapsedMs();
  return t;
}

}  // namespace snapwick::bench
