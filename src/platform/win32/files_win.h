#pragma once
// Files and folders, through the W calls so that any folder name works, and
// shots written so that a crash never leaves part of one under a shot's
// name.

#include "platform/win32/windows_inc.h"

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/files.h"
#include "platform/status.h"

namespace snapwick::win32 {

// The calls that make a new file visible before it takes its name; a test
// hands in its own, to refuse them as a file system may.
struct FileCalls {
  BOOL(WINAPI* setFileInformationByHandle)
  (HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) = ::SetFileInformationByHandle;
};

// Whether new files are flushed to the disk before they take their name.
enum class Durability : std::uint8_t {
  // The system writes them when it likes: a power cut (not a crash of the
  // program) may leave a shot's name on a file whose data never reached
  // the disk.
  Cached,
  // FlushFileBuffers before the move and a move written through.
  Flushed,
};

// FilesApi::WriteNewFile and PrepareFolder, for a UTF-8 path. A shot is
// written whole under a hidden temporary name in its folder
// (TempFileName), made visible and moved to its name without replacing
// anything; where the file system keeps it hidden, it is written again
// under a temporary name that is not hidden.
NewFile WriteNewFileAt(std::string_view path, std::span<const std::span<const std::uint8_t>> parts,
                       Durability durability, const FileCalls& calls = {});
Status PrepareFolderAt(std::string_view path);

}  // namespace snapwick::win32
