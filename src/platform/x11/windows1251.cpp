// TEMPORARY STAND-IN: see windows1251.h.
#include "platform/x11/windows1251.h"

#include <iconv.h>

namespace snapwick::x11 {
namespace {

std::optional<std::string> Convert(const char* to, const char* from, std::string_view text) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(text);
  std::string out(in.size() * 4 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const std::size_t r = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

std::optional<std::string> ToWindows1251(std::string_view utf8) {
  return Convert("WINDOWS-1251", "UTF-8", utf8);
}

std::string FromWindows1251(std::string_view bytes) {
  return Convert("UTF-8", "WINDOWS-1251", bytes).value_or(std::string());
}

}  // namespace snapwick::x11
