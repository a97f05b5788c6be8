#pragma once
// Writing a bitmap as a JPEG file with GDI+, which is started for the one
// write and shut down after it.

#include "platform/win32/windows_inc.h"

#include <cstdint>
#include <string>

#include "platform/screen.h"

namespace snapwick::win32 {

// Writes the bitmap to `path` (the system's form of it) at `quality`,
// handed to the encoder unchanged. The status of the step that decided:
// GDI+'s start-up when it failed, the bitmap's making when that failed,
// else the save.
JpegStatus WriteJpegFile(HBITMAP bitmap, const std::wstring& path, std::uint8_t quality);

// How many GDI+ sessions and GDI+ bitmaps of the writer are alive: both 0
// whenever no write is under way.
int LiveGdiplusSessions();
int LiveGdiplusBitmaps();

// One GDI+ session, shut down at the end only if its start-up succeeded.
class GdiplusSession {
 public:
  explicit GdiplusSession(std::uint32_t version = 1);
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  JpegStatus Result() const { return status_; }

 private:
  ULONG_PTR token_ = 0;
  JpegStatus status_ = 1;
};

}  // namespace snapwick::win32
