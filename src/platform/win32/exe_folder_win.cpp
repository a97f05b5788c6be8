#include "platform/win32/exe_folder_win.h"

namespace snapwick::win32 {

std::optional<std::wstring> ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  // The path of a module can reach 32767 characters; a result that fills
  // the buffer may have been cut, so the buffer grows and it is asked again.
  while (path.size() <= 65536) {
    const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::nullopt;
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
  return std::nullopt;
}

std::wstring FolderOfPath(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring_view::npos) return {};
  std::wstring folder(path.substr(0, slash));
  // "C:" alone would name the drive's current folder, not its root; so
  // would "\\?\C:" for a program started through its long form.
  if (!folder.empty() && folder.back() == L':') folder += L'\\';
  return folder;
}

}  // namespace snapwick::win32
