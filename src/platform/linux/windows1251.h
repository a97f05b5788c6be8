#pragma once
// Text in Windows-1251, the code page of the key name in set.ini, so that
// the file reads the same on Windows and here.

#include <optional>
#include <string>
#include <string_view>

namespace snapwick::linux {

// A character the code page lacks becomes '?', never a look-alike (the
// Windows build converts with WC_NO_BEST_FIT_CHARS). Nothing when `utf8`
// is not valid UTF-8, or the system has no converter for the code page.
std::optional<std::string> ToWindows1251(std::string_view utf8);

// Every byte reads as one character. 0x98, which the code page leaves
// undefined, reads as U+0098, as Windows reads it, so that any byte string
// comes back unchanged through ToWindows1251. Empty when the system has no
// converter for the code page.
std::string FromWindows1251(std::string_view bytes);

}  // namespace snapwick::linux
