#pragma once
// Text at the Win32 boundary: the program speaks UTF-8, the W calls UTF-16,
// and the few A calls the system's ANSI code page.

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/windows_inc.h"

namespace snapwick::win32 {

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD. Embedded NULs are
// kept.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);

// UTF-16 to the ANSI code page. A character the code page lacks becomes
// '?', never a look-alike (so "ё" does not silently turn into "e").
// nullopt only if the system refuses the conversion.
std::optional<std::string> WideToAnsi(std::wstring_view wide);
std::wstring AnsiToWide(std::string_view ansi);

// The whole text of a window, UTF-8.
std::string WindowText(HWND window);

// A UTF-8 path as the W file calls take it. A long absolute path gets the
// \\?\ prefix, which lifts the MAX_PATH limit on every Windows 10 whether
// or not the long-path policy is on; shorter and relative paths are left
// as they are, so that the system still reads them its usual way.
std::wstring SystemPath(std::string_view utf8);

}  // namespace snapwick::win32
