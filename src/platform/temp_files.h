#pragma once
// The temporary files that shots are written to before they take their
// name, on every platform, and which of them start-up removes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace snapwick {

// ".snapwick-", 16 lowercase hexadecimal digits (the process's id and a
// serial number of the process's own), ".part": hidden by the leading dot
// (on Wine's Unix side too), no picture's extension, and a pattern that
// another program's file hardly has by chance.
inline constexpr std::string_view kTempFilePrefix = ".snapwick-";
inline constexpr std::string_view kTempFileSuffix = ".part";
inline constexpr std::size_t kTempFileDigits = 16;

std::string TempFileName(std::uint32_t process, std::uint32_t serial);
// A name that no earlier call in this process gave. One that is taken all
// the same (by a copy of the program that crashed with the same process
// id) calls for the next.
std::string NextTempFileName(std::uint32_t process);

// What holds a name in the shot folder.
enum class EntryKind : std::uint8_t {
  File,
  // A folder, a link, a pipe, a device: nothing a write of a shot makes.
  Other,
};
// Whether start-up removes what holds the name: a file of exactly the
// temporary files' pattern, the only thing an interrupted write leaves.
// A folder or a link of that name, and a file whose name merely looks
// alike, are someone else's.
bool IsLeftoverTempFile(std::string_view name, EntryKind kind);

}  // namespace snapwick
