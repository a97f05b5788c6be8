#pragma once
// The main window Frm and its controls, built from the layout tables, with
// one window procedure that turns messages into FrmEvents.

#include "platform/win32/windows_inc.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/frm_events.h"
#include "platform/types.h"
#include "platform/win32/canvas_win.h"
#include "platform/win32/scoped_win.h"
#include "ui/layout.h"

namespace snapwick::win32 {

class MainWindow {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window, hidden, with every control, then raises OnLoad.
  // False when the load closed the window: it is then never shown.
  bool Create(FrmEvents& events);
  // Centred on the primary screen, in normal state, the focus on the first
  // control of the tab order.
  void ShowFirst();
  // Runs until the window is gone; returns the exit code.
  int RunMessageLoop();

  HWND Hwnd() const { return hwnd_; }
  HICON Icon() const { return bigIcon_; }
  HWND ControlWindow(ControlId id) const { return controls_[Index(id)]; }
  Canvas& canvas() { return canvas_; }

  // The program's own close; its close request is not the user's.
  Status CloseFromProgram();
  Status PopupTrayMenu();
  Status SetControlText(ControlId id, std::string_view utf8);

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
  static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  // Message handlers.
  void OnCommand(int id, int code, HWND from);
  void OnComboPicked();
  std::optional<LRESULT> OnCtlColor(HDC dc, HWND control);
  bool OnSetCursor(HWND over, int hitTest);
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  void OnClose();
  void OnEndSession(bool ending);
  void OnActivate(bool active);
  void OnDestroy();
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
  FrmEvents* events_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  std::vector<OwnedFont> fonts_;
  std::vector<OwnedBrush> brushes_;
  Menu trayMenu_;
  Canvas canvas_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HCURSOR hand_ = nullptr;
  UINT taskbarCreated_ = 0;
  HWND lastFocus_ = nullptr;  // given back when the window is activated again
  int programCloses_ = 0;     // depth of CloseFromProgram calls
  int userCloses_ = 0;        // depth of the system menu's Close
  bool sessionClosed_ = false;
};

}  // namespace snapwick::win32
