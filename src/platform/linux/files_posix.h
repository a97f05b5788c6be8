#pragma once
// Files and folders through POSIX calls. Paths are UTF-8, as the file
// system takes them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/status.h"

namespace snapwick::linux {

// Regular files only: a folder, a device or a missing file has no length.
std::optional<std::int64_t> FileLength(std::string_view path);
// Anything at all, a link that leads nowhere included.
bool Exists(std::string_view path);
// Fails when the folder is already there.
Status CreateFolder(std::string_view path);
Status DeleteFile(std::string_view path);
// Flushes `from` to the disk, renames it over `to`, then flushes the
// folder, so that after a crash either the old or the new file is there.
Status ReplaceFile(std::string_view from, std::string_view to);
std::optional<std::size_t> ReadFile(std::string_view path, std::span<std::uint8_t> into);
// `onlyNew`: fails instead of replacing anything that holds the name.
Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes, bool onlyNew = false);
// One file from pieces in order, handed to the system in one call.
Status WriteFileParts(std::string_view path, std::span<const std::span<const std::uint8_t>> parts,
                      bool onlyNew = false);

}  // namespace snapwick::linux
