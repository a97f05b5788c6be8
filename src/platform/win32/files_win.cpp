// Files and folders, through the W calls so that any folder name works,
// and in their long form when a path is too long for the plain one.

#include "platform/win32/windows_inc.h"

#include <algorithm>

#include "platform/win32/scoped_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

// One ReadFile or WriteFile moves at most this much.
constexpr std::size_t kMaxChunk = 1u << 30;

}  // namespace

std::optional<std::int64_t> Win32Platform::FileLength(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

bool Win32Platform::Exists(std::string_view path) {
  // A link is found by its own attributes, also where it leads nowhere.
  return ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Status Win32Platform::CreateFolder(std::string_view path) {
  return StatusOf(::CreateDirectoryW(SystemPath(path).c_str(), nullptr) != FALSE);
}

Status Win32Platform::DeleteFile(std::string_view path) {
  return StatusOf(::DeleteFileW(SystemPath(path).c_str()) != FALSE);
}

Status Win32Platform::ReplaceFile(std::string_view from, std::string_view to) {
  return StatusOf(::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE);
}

std::optional<std::size_t> Win32Platform::ReadFile(std::string_view path,
                                                   std::span<std::uint8_t> into) {
  KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::size_t total = 0;
  while (total < into.size()) {
    const auto chunk = static_cast<DWORD>(std::min(into.size() - total, kMaxChunk));
    DWORD got = 0;
    if (!::ReadFile(file.Get(), into.data() + total, chunk, &got, nullptr)) return std::nullopt;
    if (got == 0) break;  // the end of the file
    total += got;
  }
  return total;
}

Status Win32Platform::WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) {
  KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Status::Failed;
  std::size_t total = 0;
  while (total < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - total, kMaxChunk));
    DWORD put = 0;
    if (!::WriteFile(file.Get(), bytes.data() + total, chunk, &put, nullptr) || put == 0) {
      return Status::Failed;
    }
    total += put;
  }
  // The data may still be on its way to the disk: a close that fails has
  // lost some of it.
  const HANDLE handle = file.Detach();
  return StatusOf(::CloseHandle(handle) != FALSE);
}

}  // namespace snapwick::win32
