#pragma once
// Files and folders through POSIX calls. Paths are UTF-8, as the file
// system takes them.

#include <unistd.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/files.h"
#include "platform/status.h"

namespace snapwick::linux {

// Makes the folder if it is missing and removes the temporary files that
// WriteNewFile leaves behind when it is cut short (IsLeftoverTempFile).
// Ok when the folder is there afterwards.
Status PrepareFolder(std::string_view path);
Status DeleteFile(std::string_view path);
// Flushes `from` to the disk, renames it over `to`, then flushes the
// folder, so that after a crash either the old or the new file is there.
Status ReplaceFile(std::string_view from, std::string_view to);
// Regular files only: nothing for a folder, a pipe or a device.
std::optional<FileHead> ReadFile(std::string_view path, std::span<std::uint8_t> into);
// Creates or truncates the file; never through a link.
Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes);

// How a new file comes to its name.
enum class NewFileWay : std::uint8_t {
  // Written whole as a file without a name in the same folder (O_TMPFILE),
  // then linked to its name: a crash leaves nothing at all. Where the file
  // system has no such files, or the file cannot be linked, as NamedTemp.
  Unnamed,
  // Written whole under a temporary name (TempFileName) in the same
  // folder, then renamed to its name without replacing anything: a crash
  // leaves a temporary file that PrepareFolder removes.
  NamedTemp,
};

// The call that links an unnamed file to its name; a test hands in its
// own, to refuse the links as a kernel or a container may.
struct NewFileCalls {
  int (*linkAt)(int, const char*, int, const char*, int) = ::linkat;
};

// Whether a shot is flushed to the disk before it gets its name, so that
// a power cut (not only a crash) cannot leave a name with a partial file.
// Shots are not flushed: a flush costs many times the write itself and
// would keep every shot waiting on the disk.
inline constexpr bool kFlushNewFiles = false;

// A new file of the parts, in order: see FilesApi::WriteNewFile.
NewFile WriteNewFile(std::string_view path, std::span<const std::span<const std::uint8_t>> parts,
                     NewFileWay way = NewFileWay::Unnamed, bool flush = kFlushNewFiles,
                     const NewFileCalls& calls = {});

}  // namespace snapwick::linux
