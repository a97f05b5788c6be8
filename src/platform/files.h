#pragma once
// Files and folders. Paths are UTF-8, joined with the platform's separator.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/status.h"

namespace snapwick {

// The first bytes of a file and its whole length.
struct FileHead {
  std::size_t read = 0;  // bytes put into the buffer
  std::int64_t length = 0;
};

enum class NewFile : std::uint8_t {
  Written,
  // Something already holds the name: a file, a folder, a link (also one
  // that leads nowhere), a pipe. It was not touched.
  NameTaken,
  // Nothing holds the name because of this call.
  Failed,
};

class FilesApi {
 public:
  virtual ~FilesApi() = default;

  // Makes the folder if it is not there, and removes what an interrupted
  // WriteNewFile left in it. Ok when the folder is there afterwards.
  virtual Status PrepareFolder(std::string_view path) = 0;
  // Reads the first bytes of a file into `into`, fewer at its end; bytes
  // of `into` past those stay as they were. Nothing for a file that is not
  // there or cannot be read, and for a folder.
  virtual std::optional<FileHead> ReadFile(std::string_view path, std::span<std::uint8_t> into) = 0;
  // Creates the file, or truncates it, and writes `bytes` into it. A failed
  // write may leave a partial file behind.
  virtual Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) = 0;
  // A new file of the parts, in order. The name then holds the whole file
  // or, after any failure or crash, nothing; whatever holds it already is
  // never replaced, written through or waited for.
  virtual NewFile WriteNewFile(std::string_view path,
                               std::span<const std::span<const std::uint8_t>> parts) = 0;
  // Flushes `from` to the disk and moves it over `to` in one step,
  // replacing `to`.
  virtual Status ReplaceFile(std::string_view from, std::string_view to) = 0;
  virtual Status DeleteFile(std::string_view path) = 0;
};

}  // namespace snapwick
