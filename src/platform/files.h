#pragma once
// Files and folders. Paths are UTF-8, joined with the platform's separator.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/status.h"

namespace snapwick {

class FilesApi {
 public:
  virtual ~FilesApi() = default;

  // Nothing for a file that is not there or cannot be reached, and for a
  // folder.
  virtual std::optional<std::int64_t> FileLength(std::string_view path) = 0;
  // Whether anything stands at the path: a file, a folder, a link (also one
  // that leads nowhere), a pipe.
  virtual bool Exists(std::string_view path) = 0;
  virtual Status CreateFolder(std::string_view path) = 0;
  virtual Status DeleteFile(std::string_view path) = 0;
  // Moves `from` over `to` in one step, replacing `to`, and flushes it to
  // the disk before returning.
  virtual Status ReplaceFile(std::string_view from, std::string_view to) = 0;
  // Reads the file's first bytes into `into`; returns how many were read,
  // fewer at the end of the file. Bytes of `into` past that stay as they
  // were.
  virtual std::optional<std::size_t> ReadFile(std::string_view path,
                                              std::span<std::uint8_t> into) = 0;
  // Creates the file, or truncates it, and writes `bytes` into it. A failed
  // write may leave a partial file behind.
  virtual Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace snapwick
