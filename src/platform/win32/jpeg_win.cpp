#include "platform/win32/jpeg_win.h"

#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {

JpegStatus JpegFileWriter::Write(const jpeg::BgrxPixels& pixels, const std::wstring& path,
                                 std::uint8_t quality) {
  // Encoded first: a picture that cannot be encoded leaves no file at all.
  const JpegStatus encoded = encoder_.Encode(pixels, quality);
  if (encoded != jpeg::kOk) return encoded;
  const auto bytes = encoder_.Bytes();

  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return jpeg::kCannotWriteFile;
  // A screen's JPEG is far below the 4 GB that one WriteFile can move.
  const auto size = static_cast<DWORD>(bytes.size());
  DWORD written = 0;
  if (!::WriteFile(file.Get(), bytes.data(), size, &written, nullptr) || written != size) {
    return jpeg::kCannotWriteFile;
  }
  // Data still on its way to the disk can be lost at the close: a close
  // that fails is a file that was not written.
  const HANDLE handle = file.Detach();
  return ::CloseHandle(handle) ? jpeg::kOk : jpeg::kCannotWriteFile;
}

}  // namespace snapwick::win32
