#pragma once
// Helpers for the tests of the Win32 layer, which run under Wine.

#include "platform/win32/windows_inc.h"

#include <filesystem>
#include <string>

#include "platform/win32/text_win.h"

namespace snapwick::win32::testing {

// A fresh folder under the temporary folder, inside a folder with Cyrillic
// letters in its name, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, base);
    root_ = std::filesystem::path(base) /
            (L"snapwick-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(counter_++));
    path_ = root_ / L"Снимки экрана";
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder as UTF-8, without a trailing backslash.
  std::string Utf8() const { return Narrow(path_.wstring()); }
  std::string Utf8(std::string_view name) const { return Utf8() + "\\" + std::string(name); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::filesystem::path root_;
  std::filesystem::path path_;
};

// Handles every message waiting for this thread, as the message loop would.
inline void PumpMessages() {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace snapwick::win32::testing
