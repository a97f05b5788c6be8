#include "platform/win32/text_win.h"

#include <climits>

namespace snapwick::win32 {
namespace {

int Length(std::size_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(codePage, 0, text.data(), Length(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(codePage, 0, text.data(), Length(text.size()), out.data(), n);
  return out;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = Length(wide.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<std::string> WideToAnsi(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int size = Length(wide.size());
  constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
  // Named, not left to the code page, whose own default need not be '?'.
  constexpr char kMissing[] = "?";
  const int n =
      ::WideCharToMultiByte(CP_ACP, kFlags, wide.data(), size, nullptr, 0, kMissing, nullptr);
  if (n <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  if (::WideCharToMultiByte(CP_ACP, kFlags, wide.data(), size, out.data(), n, kMissing, nullptr) !=
      n) {
    return std::nullopt;
  }
  return out;
}

std::wstring SystemPath(std::string_view utf8) {
  std::wstring path = Widen(utf8);
  // CreateDirectoryW has the shortest limit: MAX_PATH less room for an 8.3
  // file name.
  constexpr std::size_t kPlainLimit = MAX_PATH - 12;
  if (path.size() < kPlainLimit || path.starts_with(L"\\\\?\\")) return path;
  const bool drive = path.size() > 2 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  const bool share = path.starts_with(L"\\\\") || path.starts_with(L"//");
  if (!drive && !share) return path;
  // The prefix turns off the system's own clean-up of the path: slashes
  // must already be backslashes.
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return drive ? L"\\\\?\\" + path : L"\\\\?\\UNC" + path.substr(1);
}

std::string WindowText(HWND window) {
  const int n = ::GetWindowTextLengthW(window);
  if (n <= 0) return {};
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = ::GetWindowTextW(window, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return Narrow(text);
}

}  // namespace snapwick::win32
