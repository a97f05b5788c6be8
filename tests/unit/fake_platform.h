#pragma once
// A platform that keeps the system in memory, records every call in order
// and can make any single call fail.

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace snapwick::testing {

struct Call {
  std::string name;
  std::string detail;
};

class FakePlatform : public Platform {
 public:
  // --- recording and failing ---
  std::vector<Call> calls;
  // Makes the `occurrence`-th call (1-based) of `name` fail; 0: every call.
  void Fail(const std::string& name, int occurrence = 0) { failures_[name] = occurrence; }
  std::vector<std::string> Names() const;
  int Count(const std::string& name) const;
  // Position of the first call of `name` in `calls`, or -1.
  int IndexOf(const std::string& name) const;

  // --- window ---
  std::string title;
  bool shown = true;
  bool minimised = false;
  std::map<ControlId, std::string> texts;
  std::vector<std::string> qualityItems;
  bool soundChecked = false;
  std::vector<std::string> messages;
  // The combo's change event, raised when its text changes, as the real
  // control does; a test wires it to the handler.
  std::function<void()> onQualityEdited;

  // --- tray ---
  std::optional<std::string> trayIcon;  // the tip while the icon is shown

  // --- keyboard ---
  bool capturingKeys = false;
  int watchedKey = 0;
  // What WatchHotkey answers for a key other than 0.
  HotkeyWatch hotkeyWatch = HotkeyWatch::Edges;

  // --- timer: a simulated clock, in milliseconds, that a test moves ---
  int clock = 0;
  bool ticking = false;
  int tickingSince = 0;        // the clock when the ticks were last turned on
  std::vector<int> grabTimes;  // the clock at each grab

  // --- screen: each grab a new picture (FramePixel) of this size ---
  int screenWidth = 64, screenHeight = 48;
  PixelLayout layout = PixelLayout::Bgrx;
  bool bottomUp = false;
  int grabs = 0;  // pictures handed out
  // Grabs answer Pending, and a test hands their frames out with
  // FinishGrab, as a desktop's screenshot service would.
  bool grabsPending = false;
  int grabsAsked = 0;
  std::optional<Frame> FinishGrab();
  bool screenWanted = false;
  // The blue, green and red of a pixel of the `grab`-th picture (1-based).
  static std::array<std::uint8_t, 3> FramePixel(int grab, int x, int y);

  // --- files: contents by path, and the folders that exist ---
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::set<std::string> folders{"C:\\Tools"};

  // --- system ---
  bool anotherInstance = false;
  std::optional<std::string> programFolder = std::string("C:\\Tools");
  char separator = '\\';
  std::optional<LocalDateTime> now = LocalDateTime{2026, 12, 6, 11, 5, 13};
  std::vector<std::string> soundsPlayed;
  std::vector<std::string> addressesOpened;

  // WindowApi
  Status SetTitle(std::string_view text) override;
  std::optional<bool> IsWindowShown() override;
  Status ShowWindow() override;
  Status HideWindow() override;
  Status CloseWindow() override;
  Status PopUpTrayMenu() override;
  Status ShowMessage(std::string_view text, std::string_view title) override;
  Status SetText(ControlId control, std::string_view text) override;
  std::optional<std::string> GetText(ControlId control) override;
  Status AddQualityItem(int position, std::string_view text) override;
  std::optional<bool> IsSoundChecked() override;
  Status SetSoundChecked(bool checked) override;
  // TrayApi
  Status AddTrayIcon(std::string_view tip) override;
  Status RemoveTrayIcon() override;
  // KeyboardApi
  HotkeyWatch WatchHotkey(int virtualKey) override;
  Status SetKeyCapture(bool on) override;
  // TimerApi
  Status SetTicking(bool on) override;
  // ScreenApi
  ScreenGrab GrabScreen() override;
  Status SetScreenWanted(bool wanted) override;
  // FilesApi
  Status PrepareFolder(std::string_view path) override;
  std::optional<FileHead> ReadFile(std::string_view path, std::span<std::uint8_t> into) override;
  Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) override;
  NewFile WriteNewFile(std::string_view path,
                       std::span<const std::span<const std::uint8_t>> parts) override;
  Status ReplaceFile(std::string_view from, std::string_view to) override;
  Status DeleteFile(std::string_view path) override;
  // SystemApi
  bool AnotherInstanceRunning() override;
  std::optional<std::string> ProgramFolder() override;
  char PathSeparator() override { return separator; }
  std::optional<LocalDateTime> LocalNow() override;
  Status PlaySound(std::string_view path) override;
  Status OpenAddress(std::string_view address) override;
  std::optional<std::string> ToAnsi(std::string_view utf8) override;
  std::string FromAnsi(std::string_view ansi) override;

 private:
  // Records the call and tells whether it is to fail.
  bool Fails(const std::string& name, std::string detail = {});
  std::string FolderOf(std::string_view path) const;
  bool FolderExists(std::string_view path) const;

  std::map<std::string, int> failures_;
  std::map<std::string, int> seen_;
  std::optional<Frame> MakeFrame();
  std::vector<std::uint8_t> frame_;  // the last grab's pixels
};

}  // namespace snapwick::testing
