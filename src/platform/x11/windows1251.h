#pragma once
// TEMPORARY STAND-IN, to be deleted when the Windows-1251 module is
// merged: the same interface over iconv.

#include <optional>
#include <string>
#include <string_view>

namespace snapwick::x11 {

std::optional<std::string> ToWindows1251(std::string_view utf8);
std::string FromWindows1251(std::string_view bytes);

}  // namespace snapwick::x11
