#pragma once
// The main window and its controls, built from the layout tables, with one
// window procedure that turns messages into WindowEvents.

#include "platform/win32/windows_inc.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/layout.h"
#include "form/roles.h"
#include "platform/events.h"
#include "platform/keyboard.h"
#include "platform/status.h"
#include "platform/win32/hotkey_win.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/tick_win.h"

namespace snapwick::win32 {

class MainWindow {
 public:
  MainWindow(HINSTANCE instance, const KeyCalls& keyCalls, const TimerCalls& timerCalls);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window, hidden, with every control, then raises OnStart. False when OnStart closed
  // the window: it is then never shown.
  bool Create(WindowEvents& events);
  // Centred on the primary screen, in normal state, the focus on the first
  // control of the tab order.
  void ShowFirst();
  // Runs until the window is gone; returns the exit code.
  int RunMessageLoop();
  // The same loop for about `ms` milliseconds; false once the window is
  // gone and the loop would end.
  bool RunMessageLoopFor(DWORD ms);

  HWND Hwnd() const { return hwnd_; }
  // The icon's image at the tray's small size.
  HICON TrayIcon() const { return trayIcon_.Get(); }

  // The hotkey's edges from raw input, or from looks at the key on the
  // ticks where raw input cannot be had.
  HotkeyWatch WatchHotkey(int virtualKey);
  Status SetTicking(bool on);
  TickTimer::Kind TickKind() const { return ticks_.KindInUse(); }
  // Around a loop of the system's own that the program starts (a message
  // box): the ticks go on meanwhile.
  void EnterModalLoop() { ticks_.EnterModalLoop(); }
  void ExitModalLoop() { ticks_.ExitModalLoop(); }
  // Calls `step` whenever the window has had nothing else to do for a
  // moment, until it returns false: work that must not hold up the
  // window or shots (the window timer's messages come last of all).
  void RunWhenIdle(std::function<bool()> step);
  HWND ControlWindow(ControlId id) const { return controls_[Index(id)]; }

  // The program's own close; its close request is not the user's.
  Status CloseFromProgram();
  Status PopUpTrayMenu();
  Status SetControlText(ControlId id, std::string_view utf8);
  // A key released while the window has the focus, from the keyboard hook.
  void RaiseKeyReleased(int virtualKey, std::string_view name);

 private:
  struct OwnedFont {
    layout::Font key;
    Font font;
  };
  struct OwnedBrush {
    layout::Rgb colour;
    Brush brush;
  };

  static std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR self);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  // Message handlers.
  void OnCommand(int id, int code, HWND from);
  void OnComboPicked();
  void OnTrayCallback(UINT mouseMessage);
  void OnRawInput(LPARAM rawInput);
  void OnTimerMessage(UINT_PTR id);
  void OnTickDue();
  void RaiseEdge(KeyEdge edge);
  // Handles every message waiting, then the tick if one is due; false at
  // WM_QUIT, with its exit code.
  bool HandleWaiting(int& exitCode);
  // Waits up to `ms` for a message or the tick.
  void Wait(DWORD ms);
  std::optional<LRESULT> OnCtlColor(HDC dc, HWND control);
  bool OnSetCursor(HWND over, int hitTest);
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  void OnClose();
  void OnEndSession(bool ending);
  void OnActivate(bool active);
  void OnNcDestroy();
  void RequestClose(CloseOrigin origin);

  // Building (controls_win.cpp).
  void SizeToClientArea(int dpi);
  void CreateControls(int dpi);
  HWND CreateControl(const layout::Control& c, int dpi);
  void FitComboHeight(HWND combo, int height);
  void OnDpiChanged(int dpi, const RECT& suggested);
  void StackControls();
  void BuildTrayMenu();
  HFONT FontFor(const layout::Font& font, int dpi);
  HBRUSH BrushFor(layout::Rgb colour);
  const layout::Control* ControlOf(HWND window) const;
  std::optional<layout::Rgb> BackgroundOf(const layout::Control& c) const;
  bool FillFrameBackground(HWND frame, HDC dc);
  void PaintFrame(HWND frame, HDC dc);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  WindowEvents* events_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  std::vector<OwnedFont> fonts_;
  std::vector<OwnedBrush> brushes_;
  Menu trayMenu_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  OwnedIcon trayIcon_;
  const KeyCalls& keyCalls_;
  RawKeyboard rawKeyboard_;
  HotkeyEdges hotkey_;
  TickTimer ticks_;
  bool tickDue_ = false;
  std::function<bool()> idleStep_;  // the timer went off; the tick comes after the waiting messages
  HCURSOR hand_ = nullptr;
  UINT taskbarCreated_ = 0;
  HWND lastFocus_ = nullptr;  // given back when the window is activated again
  int programCloses_ = 0;     // depth of CloseFromProgram calls
  int userCloses_ = 0;        // depth of the system menu's Close
  bool sessionClosed_ = false;
};

}  // namespace snapwick::win32
