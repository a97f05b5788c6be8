#pragma once
// Files and folders. Paths are UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace snapwick {

class FilesApi {
 public:
  virtual ~FilesApi() = default;

  virtual std::optional<std::int64_t> FileLength(std::string_view path) = 0;
  virtual bool FileExists(std::string_view path) = 0;
  virtual Status CreateFolder(std::string_view path) = 0;
  virtual Status DeleteFile(std::string_view path) = 0;
  // Moves `from` over `to` in one step, replacing `to`, and flushes it to
  // the disk before returning.
  virtual Status ReplaceFile(std::string_view from, std::string_view to) = 0;

  virtual std::optional<Handle> OpenForRead(std::string_view path) = 0;
  // Creates the file, or truncates an existing one.
  virtual std::optional<Handle> CreateForWrite(std::string_view path) = 0;
  // Returns the number of bytes read, fewer than asked at the end of the
  // file; bytes of `into` past that count are left as they were.
  virtual std::optional<std::size_t> ReadAt(Handle file, std::int64_t offset,
                                            std::span<std::uint8_t> into) = 0;
  virtual Status WriteAt(Handle file, std::int64_t offset,
                         std::span<const std::uint8_t> bytes) = 0;
  virtual Status CloseFile(Handle file) = 0;
};

}  // namespace snapwick
