#pragma once
// Helpers for the tests of the Win32 layer, which run under Wine.

#include "platform/win32/windows_inc.h"

#include <filesystem>
#include <string>

#include "platform/win32/text_win.h"

namespace snapwick::win32::testing {

// A fresh folder under the temporary folder, inside a folder with Cyrillic
// letters in its name, removed with everything in it at the end. A deep
// one lies so far down that its own path is longer than MAX_PATH.
class TempFolder {
 public:
  enum class Depth { Shallow, Deep };

  explicit TempFolder(Depth depth = Depth::Shallow) {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, base);
    root_ = std::filesystem::path(base) /
            (L"snapwick-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(NextNumber()));
    path_ = root_ / L"Снимки экрана";
    if (depth == Depth::Deep) {
      while (path_.native().size() <= MAX_PATH) {
        path_ /= L"очень длинное имя папки для снимков экрана";
      }
    }
    MakeFolders(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(LongForm(root_), ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder as UTF-8, without a trailing backslash.
  std::string Utf8() const { return Narrow(path_.native()); }
  std::string Utf8(std::string_view name) const { return Utf8() + "\\" + std::string(name); }
  const std::filesystem::path& Path() const { return path_; }

  // The path as the system's calls take it at any length.
  static std::filesystem::path LongForm(const std::filesystem::path& path) {
    return std::filesystem::path(L"\\\\?\\" + path.native());
  }

 private:
  // Made here with the system's own calls, so that a test of the layer's
  // long paths does not depend on the layer.
  static int NextNumber() {
    static int next = 0;
    return next++;
  }

  static void MakeFolders(const std::filesystem::path& path) {
    std::filesystem::path made;
    for (const auto& part : path) {
      made /= part;
      if (made.native().size() > 3) ::CreateDirectoryW(LongForm(made).c_str(), nullptr);
    }
  }

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

// Pumps messages until `done` holds or `ms` milliseconds have passed;
// returns whether it held.
template <typename Done>
bool PumpUntil(Done done, DWORD ms = 5000) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    PumpMessages();
    if (done()) return true;
    if (::GetTickCount64() >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Removes the WM_QUIT that the windows of earlier tests posted to this
// thread, which would end the next loop at once.
inline void DiscardQuit() {
  MSG quit{};
  while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

// Runs the window's own message loop, ticks included, until `done` holds or
// `ms` milliseconds have passed; returns whether it held.
template <typename Window, typename Done>
bool RunLoopUntil(Window& window, Done done, DWORD ms = 5000) {
  DiscardQuit();
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    if (done()) return true;
    if (::GetTickCount64() >= end || !window.RunMessageLoopFor(5)) return done();
  }
}

}  // namespace snapwick::win32::testing
