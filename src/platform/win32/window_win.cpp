#include "platform/win32/window_win.h"

#include <commctrl.h>

#include "platform/win32/dpi_win.h"
#include "platform/win32/ids_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/tray_win.h"

// The resource ids live beside app.rc, outside the include path.
#include "resource.h"

namespace snapwick::win32 {
namespace {

constexpr wchar_t kClassName[] = L"SnapwickFrm";
// The frame has no maximise box: the layout does not follow the size.
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX;
constexpr DWORD kExStyle = 0;

HICON LoadAppIcon(HINSTANCE instance, int sizeMetricX, int sizeMetricY) {
  auto icon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_SNAPWICK), IMAGE_ICON,
                                              ::GetSystemMetrics(sizeMetricX),
                                              ::GetSystemMetrics(sizeMetricY), LR_SHARED));
  return icon ? icon : ::LoadIconW(nullptr, IDI_APPLICATION);
}

// The icon at the tray's small size, made from the icon's best image by
// LoadIconMetric where the common controls have it (version 6), scaled by
// LoadImage otherwise. Owned: destroyed with the window.
HICON LoadTrayIcon(HINSTANCE instance) {
  using LoadIconMetricCall = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, HICON*);
  if (HMODULE controls = ::GetModuleHandleW(L"comctl32.dll")) {
    if (FARPROC found = ::GetProcAddress(controls, "LoadIconMetric")) {
      const auto loadIconMetric =
          reinterpret_cast<LoadIconMetricCall>(reinterpret_cast<void (*)()>(found));
      HICON icon = nullptr;
      if (SUCCEEDED(loadIconMetric(instance, MAKEINTRESOURCEW(IDI_SNAPWICK), LIM_SMALL, &icon))) {
        return icon;
      }
    }
  }
  const int width = ::GetSystemMetrics(SM_CXSMICON);
  const int height = ::GetSystemMetrics(SM_CYSMICON);
  if (auto icon = static_cast<HICON>(
          ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_SNAPWICK), IMAGE_ICON, width, height, 0))) {
    return icon;
  }
  // The system's own application icon, as the window has it then; a copy,
  // since the tray's icon is destroyed with the window.
  return static_cast<HICON>(
      ::CopyImage(::LoadIconW(nullptr, IDI_APPLICATION), IMAGE_ICON, width, height, 0));
}

bool RegisterWindowClass(HINSTANCE instance, HICON big, HICON small, WNDPROC proc) {
  WNDCLASSEXW wc{};
  if (::GetClassInfoExW(instance, kClassName, &wc)) return true;
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = big;
  wc.hIconSm = small;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const KeyCalls& keyCalls, const TimerCalls& timerCalls)
    : instance_(instance),
      keyCalls_(keyCalls),
      rawKeyboard_(keyCalls),
      ticks_(timerCalls, layout::kTimerIntervalMs * kTicksPerMs) {}

MainWindow::~MainWindow() {
  // The events' owner may already be gone; nothing is raised any more.
  events_ = nullptr;
  if (hwnd_) ::DestroyWindow(hwnd_);
}

bool MainWindow::Create(WindowEvents& events) {
  events_ = &events;
  bigIcon_ = LoadAppIcon(instance_, SM_CXICON, SM_CYICON);
  smallIcon_ = LoadAppIcon(instance_, SM_CXSMICON, SM_CYSMICON);
  trayIcon_.Reset(LoadTrayIcon(instance_));
  hand_ = ::LoadCursorW(instance_, MAKEINTRESOURCEW(IDC_HANDPOINTER));
  if (!hand_) hand_ = ::LoadCursorW(nullptr, IDC_HAND);
  if (!RegisterWindowClass(instance_, bigIcon_, smallIcon_, &MainWindow::WndProc)) return false;

  // Created hidden on the primary screen; OnStart runs before the first
  // show.
  if (!::CreateWindowExW(kExStyle, kClassName, L"", kStyle | WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr,
                         nullptr, instance_, this)) {
    return false;
  }
  const int dpi = DpiOf(hwnd_);
  SizeToClientArea(dpi);
  CreateControls(dpi);
  BuildTrayMenu();
  // Sent to every top-level window when the shell has restarted and its
  // tray knows no icon any more.
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  lastFocus_ = controls_[Index(FirstTabStop())];

  events_->OnStart();
  return hwnd_ != nullptr;
}

void MainWindow::SizeToClientArea(int dpi) {
  const RECT client{0, 0, layout::TwipsToPixels(layout::kClientWidthTwips, dpi),
                    layout::TwipsToPixels(layout::kClientHeightTwips, dpi)};
  const RECT outer = WindowRectForClient(client, kStyle, kExStyle, dpi);
  int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The frame's metrics may not follow the DPI asked for (a monitor change
  // reported before the frame is redrawn, or a system that does not scale
  // frames): correct by what the client area really came to.
  RECT got{};
  ::GetClientRect(hwnd_, &got);
  if (got.right != client.right || got.bottom != client.bottom) {
    width += client.right - got.right;
    height += client.bottom - got.bottom;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void MainWindow::ShowFirst() {
  if (!hwnd_) return;
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd_);
  if (lastFocus_) ::SetFocus(lastFocus_);
}

int MainWindow::RunMessageLoop() {
  int exitCode = 0;
  while (HandleWaiting(exitCode)) Wait(INFINITE);
  return exitCode;
}

bool MainWindow::RunMessageLoopFor(DWORD ms) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  int exitCode = 0;
  for (;;) {
    if (!HandleWaiting(exitCode)) {
      // Left for the loop that runs the program.
      ::PostQuitMessage(exitCode);
      return false;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) return true;
    Wait(static_cast<DWORD>(end - now));
  }
}

bool MainWindow::HandleWaiting(int& exitCode) {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      exitCode = static_cast<int>(msg.wParam);
      return false;
    }
    // Tab, Shift+Tab and the arrow keys move between the controls as in a
    // dialog.
    if (hwnd_ && ::IsDialogMessageW(hwnd_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  // After the messages that came before it, so that the tick knows of a
  // release that raw input has reported already.
  if (tickDue_) {
    tickDue_ = false;
    if (ticks_.OnSignalled()) OnTickDue();
  }
  return true;
}

void MainWindow::Wait(DWORD ms) {
  // Nothing to wait for but messages while the ticks are off: the program
  // does not wake at rest. MWMO_INPUTAVAILABLE also wakes for messages that
  // a call made during the last tick looked at and left in the queue.
  HANDLE timer = ticks_.WaitHandle();
  const DWORD woke = ::MsgWaitForMultipleObjectsEx(timer ? 1 : 0, timer ? &timer : nullptr, ms,
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (timer && woke == WAIT_OBJECT_0) tickDue_ = true;
}

HotkeyWatch MainWindow::WatchHotkey(int virtualKey) {
  hotkey_.Watch(virtualKey);
  if (virtualKey == 0 || !hwnd_) {
    rawKeyboard_.Stop();
    return HotkeyWatch::None;
  }
  return rawKeyboard_.Start(hwnd_) ? HotkeyWatch::Edges : HotkeyWatch::AtTicks;
}

Status MainWindow::SetTicking(bool on) {
  if (!on) {
    ticks_.Stop();
    tickDue_ = false;
    return Status::Ok;
  }
  return ticks_.Start(hwnd_, kTimerId);
}

void MainWindow::OnRawInput(LPARAM rawInput) {
  const auto report = KeyboardReportOf(rawInput);
  if (!report) return;
  if (const auto edge = hotkey_.OnReport(*report)) RaiseEdge(*edge);
}

void MainWindow::RunWhenIdle(std::function<bool()> step) {
  idleStep_ = std::move(step);
  // A step as often as the window is idle, with a little room between.
  constexpr UINT kIdleStepMs = 20;
  if (!hwnd_ || !::SetTimer(hwnd_, kIdleWorkTimerId, kIdleStepMs, nullptr)) idleStep_ = nullptr;
}

void MainWindow::OnTimerMessage(UINT_PTR id) {
  if (id == kTimerId && ticks_.OnTimerMessage()) OnTickDue();
  if (id == kIdleWorkTimerId && (!idleStep_ || !idleStep_())) {
    ::KillTimer(hwnd_, kIdleWorkTimerId);
    idleStep_ = nullptr;
  }
}

void MainWindow::OnTickDue() {
  // Raw input may have missed an edge (or is not had at all): the key's
  // state now decides, just before the tick.
  if (const int key = hotkey_.Watched(); key != 0) {
    const bool down = (keyCalls_.getAsyncKeyState(key) & 0x8000) != 0;
    // The raw reports' count of keys down follows what was seen.
    (void)hotkey_.OnSample(down);
    if (events_ && hwnd_) events_->OnHotkey(down ? KeySeen::DownNow : KeySeen::UpNow);
  }
  if (events_ && hwnd_) events_->OnTick();
}

void MainWindow::RaiseEdge(KeyEdge edge) {
  if (!events_ || !hwnd_) return;
  events_->OnHotkey(edge == KeyEdge::Down ? KeySeen::Down : KeySeen::Up);
}

Status MainWindow::CloseFromProgram() {
  if (!hwnd_) return Status::Failed;
  ++programCloses_;
  ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
  --programCloses_;
  return Status::Ok;
}

Status MainWindow::PopUpTrayMenu() {
  POINT at{};
  if (!hwnd_ || !trayMenu_.Get() || !::GetCursorPos(&at)) return Status::Failed;
  // Without the foreground the menu would not close when the user clicks
  // elsewhere.
  ::SetForegroundWindow(hwnd_);
  const BOOL shown = ::TrackPopupMenu(trayMenu_.Get(), TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y,
                                      0, hwnd_, nullptr);
  // Lets the menu's window see a message after it closed, so that a second
  // pop-up opens at once (a documented quirk of tray menus).
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);
  return shown ? Status::Ok : Status::Failed;
}

Status MainWindow::SetControlText(ControlId id, std::string_view utf8) {
  HWND control = controls_[Index(id)];
  if (!control) return Status::Failed;
  const bool isCombo = layout::ControlById(id).kind == layout::Kind::Combo;
  const std::string before = isCombo ? WindowText(control) : std::string();
  const std::wstring wide = Widen(utf8);
  if (!::SetWindowTextW(control, wide.c_str())) return Status::Failed;
  if (isCombo) {
    // Keep the list's current item in step with the text, so that the arrow
    // keys move on from the quality shown. A text the list does not hold
    // (75 from set.ini) leaves the current item as it was.
    const LRESULT item = ::SendMessageW(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(wide.c_str()));
    if (item != CB_ERR) ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
  }
  // The combo box tells of typed changes only; a change made by the program
  // is announced here, so that both reach the same handler.
  if (isCombo && events_ && WindowText(control) != before) events_->OnQualityEdited();
  return Status::Ok;
}

void MainWindow::RaiseKeyReleased(int virtualKey, std::string_view name) {
  if (events_ && hwnd_) events_->OnKeyReleased(virtualKey, name);
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  return self ? self->HandleMessage(msg, wParam, lParam)
              : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_TIMER:
      OnTimerMessage(wParam);
      return 0;
    case WM_INPUT:
      OnRawInput(lParam);
      // DefWindowProc frees what the system kept for the report.
      break;
    case WM_ENTERMENULOOP:
    case WM_ENTERSIZEMOVE:
      ticks_.EnterModalLoop();
      break;
    case WM_EXITMENULOOP:
    case WM_EXITSIZEMOVE:
      ticks_.ExitModalLoop();
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      if (auto brush = OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
        return *brush;
      }
      break;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
      break;
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam, lParam);
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      OnEndSession(wParam != FALSE);
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      break;
    case WM_SETFOCUS:
      if (lastFocus_ && ::IsWindow(lastFocus_)) {
        ::SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy();
      break;
    default:
      if (msg == kTrayCallbackMessage) {
        OnTrayCallback(LOWORD(lParam));
        return 0;
      }
      if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
        if (events_) events_->OnTrayRecreated();
        return 0;
      }
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code, HWND from) {
  if (!events_) return;
  if (!from) {
    if (const auto item = MenuItemOfCommand(id)) {
      events_->OnMenuItem(*item);
    } else if (id == IDOK) {
      // Enter: the window is no dialog, so the dialog manager sends IDOK
      // instead of pressing the focused button; press it here.
      HWND focus = ::GetFocus();
      const layout::Control* c = ControlOf(focus);
      if (c && c->kind == layout::Kind::Button) ::SendMessageW(focus, BM_CLICK, 0, 0);
    }
    return;
  }
  const auto control = ControlOfCommand(id);
  if (!control) return;
  switch (layout::ControlById(*control).kind) {
    case layout::Kind::Button:
      if (code == BN_CLICKED) events_->OnClick(*control);
      break;
    case layout::Kind::Label:
      if (code == STN_CLICKED) events_->OnClick(*control);
      break;
    case layout::Kind::Combo:
      if (code == CBN_SELCHANGE) OnComboPicked();
      if (code == CBN_EDITCHANGE) events_->OnQualityEdited();
      break;
    default:
      break;
  }
}

void MainWindow::OnComboPicked() {
  // The combo box puts the picked item into its edit field only after this
  // notification; the handler must already read the new text.
  HWND combo = controls_[Index(ControlId::QualityCombo)];
  const LRESULT pick = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (pick != CB_ERR) {
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(pick), 0);
    if (length != CB_ERR) {
      std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
      ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(pick),
                     reinterpret_cast<LPARAM>(item.data()));
      ::SetWindowTextW(combo, item.c_str());
    }
  }
  events_->OnQualityPicked();
}

void MainWindow::OnTrayCallback(UINT mouseMessage) {
  if (!events_) return;
  if (const auto event = TrayEventOf(mouseMessage)) events_->OnTrayEvent(*event);
}

bool MainWindow::OnSetCursor(HWND over, int hitTest) {
  const layout::Control* c = ControlOf(over);
  if (!c || !c->handCursor || hitTest != HTCLIENT || !hand_) return false;
  ::SetCursor(hand_);
  return true;
}

LRESULT MainWindow::OnSysCommand(WPARAM wParam, LPARAM lParam) {
  // The close box, the window menu's Close and Alt+F4 all arrive here and
  // turn into WM_CLOSE inside DefWindowProc: that WM_CLOSE is the user's.
  if ((wParam & 0xFFF0) != SC_CLOSE) return ::DefWindowProcW(hwnd_, WM_SYSCOMMAND, wParam, lParam);
  ++userCloses_;
  const LRESULT result = ::DefWindowProcW(hwnd_, WM_SYSCOMMAND, wParam, lParam);
  --userCloses_;
  return result;
}

void MainWindow::OnClose() {
  // A WM_CLOSE that came neither from the program nor through the window's
  // own Close command was sent by another program (the task manager,
  // taskkill).
  const CloseOrigin origin = programCloses_ > 0 ? CloseOrigin::Program
                             : userCloses_ > 0  ? CloseOrigin::User
                                                : CloseOrigin::OtherProgram;
  RequestClose(origin);
}

void MainWindow::OnEndSession(bool ending) {
  // The shutdown or log-off is certain only now; after a cancelled one the
  // program goes on.
  if (!ending || sessionClosed_) return;
  sessionClosed_ = true;
  RequestClose(CloseOrigin::Session);
}

void MainWindow::RequestClose(CloseOrigin origin) {
  const bool cancel = events_ && events_->OnCloseRequest(origin);
  if (!cancel && hwnd_) ::DestroyWindow(hwnd_);
}

void MainWindow::OnActivate(bool active) {
  if (active) return;
  HWND focus = ::GetFocus();
  if (focus && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
}

void MainWindow::OnNcDestroy() {
  ::KillTimer(hwnd_, kIdleWorkTimerId);
  idleStep_ = nullptr;
  ticks_.Stop();
  tickDue_ = false;
  rawKeyboard_.Stop();
  hotkey_.Watch(0);
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
  controls_.fill(nullptr);
  lastFocus_ = nullptr;
  trayMenu_.Reset();
  fonts_.clear();
  brushes_.clear();
}

}  // namespace snapwick::win32
