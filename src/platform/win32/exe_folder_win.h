#pragma once
// The folder of the program's executable.

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/windows_inc.h"

namespace snapwick::win32 {

// The full path of a loaded module, however long.
std::optional<std::wstring> ModulePath(HMODULE module);

// The folder part of a file's path, without a trailing backslash except at
// the root of a drive: C:\Tools\a.exe gives C:\Tools, C:\a.exe gives C:\.
std::wstring FolderOfPath(std::wstring_view path);

}  // namespace snapwick::win32
