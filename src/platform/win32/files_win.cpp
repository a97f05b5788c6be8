// Files and folders, through the W calls so that any folder name works.

#include "platform/win32/windows_inc.h"

#include <algorithm>

#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

// One ReadFile or WriteFile moves at most this much.
constexpr std::size_t kMaxChunk = 1u << 30;

Status StatusOf(BOOL ok) { return ok ? Status::Ok : Status::Failed; }

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at{};
  const auto position = static_cast<std::uint64_t>(offset);
  at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(position >> 32);
  return at;
}

std::optional<Handle> Opened(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  return FromWin(file);
}

}  // namespace

std::optional<std::int64_t> Win32Platform::FileLength(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

bool Win32Platform::FileExists(std::string_view path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Status Win32Platform::CreateFolder(std::string_view path) {
  return StatusOf(::CreateDirectoryW(Widen(path).c_str(), nullptr));
}

Status Win32Platform::DeleteFile(std::string_view path) {
  return StatusOf(::DeleteFileW(Widen(path).c_str()));
}

Status Win32Platform::ReplaceFile(std::string_view from, std::string_view to) {
  return StatusOf(::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

std::optional<Handle> Win32Platform::OpenForRead(std::string_view path) {
  return Opened(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::optional<Handle> Win32Platform::CreateForWrite(std::string_view path) {
  return Opened(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::optional<std::size_t> Win32Platform::ReadAt(Handle file, std::int64_t offset,
                                                 std::span<std::uint8_t> into) {
  if (offset < 0) return std::nullopt;
  std::size_t total = 0;
  while (total < into.size()) {
    const auto chunk = static_cast<DWORD>(std::min(into.size() - total, kMaxChunk));
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(total));
    DWORD got = 0;
    if (!::ReadFile(ToWin<HANDLE>(file), into.data() + total, chunk, &got, &at)) {
      // Reading at or past the end is no error: it reads nothing.
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return std::nullopt;
    }
    total += got;
    if (got < chunk) break;
  }
  return total;
}

Status Win32Platform::WriteAt(Handle file, std::int64_t offset,
                              std::span<const std::uint8_t> bytes) {
  if (offset < 0) return Status::Failed;
  std::size_t total = 0;
  while (total < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - total, kMaxChunk));
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(total));
    DWORD put = 0;
    if (!::WriteFile(ToWin<HANDLE>(file), bytes.data() + total, chunk, &put, &at) || put == 0) {
      return Status::Failed;
    }
    total += put;
  }
  return Status::Ok;
}

Status Win32Platform::CloseFile(Handle file) {
  return StatusOf(::CloseHandle(ToWin<HANDLE>(file)));
}

}  // namespace snapwick::win32
