// Building the main window's controls, fonts, colours and tray menu from
// the layout tables.

#include "platform/win32/windows_inc.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/win32/ids_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/window_win.h"

namespace snapwick::win32 {
namespace {

// What a control without a font of its own is drawn with.
constexpr layout::Font kDefaultFont{"MS Sans Serif", 8.25};
// The combo's list shows this many items before it scrolls.
constexpr int kComboVisibleItems = 10;

struct WindowKind {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

WindowKind KindOf(const layout::Control& c) {
  switch (c.kind) {
    case layout::Kind::Button:
      return {L"BUTTON", BS_PUSHBUTTON, 0};
    case layout::Kind::Frame:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case layout::Kind::Label:
      // No access keys: a folder name may hold an ampersand. A link is
      // clickable.
      return {L"STATIC",
              static_cast<DWORD>((c.align == layout::Align::Right ? SS_RIGHT : SS_LEFT) |
                                 SS_NOPREFIX | (c.handCursor ? SS_NOTIFY : 0) |
                                 (c.pathEllipsis ? SS_PATHELLIPSIS : 0)),
              0};
    case layout::Kind::CheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX, 0};
    case layout::Kind::Edit:
      // Only the keyboard hook writes the hotkey box; typing into it would
      // mix characters into the key's name.
      return {L"EDIT", ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE};
    case layout::Kind::Combo:
      return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0};
  }
  return {L"STATIC", SS_LEFT, 0};
}

bool SameFont(const layout::Font& a, const layout::Font& b) {
  return a.face == b.face && a.points == b.points && a.bold == b.bold && a.underline == b.underline;
}

COLORREF ToColorRef(layout::Rgb c) { return RGB(c.r, c.g, c.b); }

}  // namespace

ControlId FirstTabStop() {
  const layout::Control* first = nullptr;
  for (const layout::Control& c : layout::Controls()) {
    if (layout::TakesFocus(c) && (!first || c.tabIndex < first->tabIndex)) first = &c;
  }
  return first ? first->id : ControlId::ExitButton;
}

void MainWindow::CreateControls(int dpi) {
  for (const layout::Control& c : layout::Controls())
    controls_[Index(c.id)] = CreateControl(c, dpi);
  StackControls();
}

HWND MainWindow::CreateControl(const layout::Control& c, int dpi) {
  const WindowKind kind = KindOf(c);
  const layout::PixelRect px = layout::PixelsInWindow(c, dpi);
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | kind.style;
  if (layout::TakesFocus(c)) style |= WS_TABSTOP;

  HWND control = ::CreateWindowExW(
      kind.exStyle, kind.className, Widen(c.text).c_str(), style, px.x, px.y, px.width, px.height,
      hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(CommandOf(c.id))), instance_, nullptr);
  if (!control) return nullptr;

  HFONT font = FontFor(c.font.value_or(kDefaultFont), dpi);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  switch (c.kind) {
    case layout::Kind::Combo:
      FitComboHeight(control, px.height);
      break;
    case layout::Kind::Frame:
      ::SetWindowSubclass(control, &MainWindow::FrameProc, 0, reinterpret_cast<DWORD_PTR>(this));
      break;
    default:
      break;
  }
  return control;
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  // The window moved to a monitor with another scale: the layout is in
  // twips, so every control takes its place and font anew, as at creation.
  ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SizeToClientArea(dpi);
  std::vector<OwnedFont> previous;
  previous.swap(fonts_);  // freed once every control has its new font
  for (const layout::Control& c : layout::Controls()) {
    HWND control = controls_[Index(c.id)];
    if (!control) continue;
    const layout::PixelRect px = layout::PixelsInWindow(c, dpi);
    ::SetWindowPos(control, nullptr, px.x, px.y, px.width, px.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(control, WM_SETFONT,
                   reinterpret_cast<WPARAM>(FontFor(c.font.value_or(kDefaultFont), dpi)), TRUE);
    if (c.kind == layout::Kind::Combo) FitComboHeight(control, px.height);
  }
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::FitComboHeight(HWND combo, int height) {
  // The closed combo box takes its height from its font; its selection
  // field is stretched or shrunk so that the box has the layout's height.
  // Some versions read the field's height back larger than it was set, so
  // each correction starts from the value set before, not the one read.
  RECT r{};
  LRESULT field = ::SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  for (int attempt = 0; attempt < 3 && field > 0; ++attempt) {
    ::GetWindowRect(combo, &r);
    const int closed = r.bottom - r.top;
    if (closed == height) break;
    field += height - closed;
    if (field <= 0) break;
    ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
  ::GetWindowRect(combo, &r);
  // Common Controls 6 sizes the open list by a number of items; older ones
  // take the height given to the combo box as that of the open list.
  ::SendMessageW(combo, CB_SETMINVISIBLE, kComboVisibleItems, 0);
  const LRESULT item = ::SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0);
  const int list = kComboVisibleItems * static_cast<int>(item > 0 ? item : height) + 2;
  ::SetWindowPos(combo, nullptr, 0, 0, r.right - r.left, height + list,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::StackControls() {
  // The dialog manager tabs through the children in z-order, so the order
  // is the tab order; the group boxes go to the bottom so that they never
  // paint over the controls that stand on them.
  std::vector<const layout::Control*> order;
  for (const layout::Control& c : layout::Controls()) {
    if (controls_[Index(c.id)]) order.push_back(&c);
  }
  std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
    const bool aFrame = a->kind == layout::Kind::Frame;
    const bool bFrame = b->kind == layout::Kind::Frame;
    if (aFrame != bFrame) return bFrame;
    return a->tabIndex < b->tabIndex;
  });
  HWND after = HWND_TOP;
  for (const layout::Control* c : order) {
    HWND control = controls_[Index(c->id)];
    ::SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = control;
  }
}

void MainWindow::BuildTrayMenu() {
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  trayMenu_.Reset(menu);
  for (const layout::MenuItem& item : layout::TrayMenu()) {
    if (item.caption == "-") {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(CommandOf(item.id)),
                    Widen(item.caption).c_str());
    }
  }
}

HFONT MainWindow::FontFor(const layout::Font& font, int dpi) {
  for (const OwnedFont& f : fonts_) {
    if (SameFont(f.key, font)) return f.font.Get();
  }
  const int height = -static_cast<int>(std::lround(font.points * dpi / 72.0));
  Font made(::CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                          font.underline ? TRUE : FALSE, FALSE, layout::kCyrillicCharset,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_SWISS, Widen(font.face).c_str()));
  HFONT handle = made.Get();
  if (handle) fonts_.push_back({font, std::move(made)});
  return handle;
}

HBRUSH MainWindow::BrushFor(layout::Rgb colour) {
  for (const OwnedBrush& b : brushes_) {
    if (b.colour == colour) return b.brush.Get();
  }
  Brush made(::CreateSolidBrush(ToColorRef(colour)));
  HBRUSH handle = made.Get();
  if (handle) brushes_.push_back({colour, std::move(made)});
  return handle;
}

const layout::Control* MainWindow::ControlOf(HWND window) const {
  if (!window) return nullptr;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i] == window) return &layout::ControlById(static_cast<ControlId>(i));
  }
  return nullptr;
}

std::optional<layout::Rgb> MainWindow::BackgroundOf(const layout::Control& c) const {
  if (c.background) return c.background;
  // A transparent control shows its container's colour.
  if (c.transparent && c.container) return BackgroundOf(layout::ControlById(*c.container));
  return std::nullopt;
}

std::optional<LRESULT> MainWindow::OnCtlColor(HDC dc, HWND window) {
  const layout::Control* c = ControlOf(window);
  if (!c) return std::nullopt;
  const std::optional<layout::Rgb> background = BackgroundOf(*c);
  if (!c->textColor && !background && !c->transparent) return std::nullopt;

  // An edit box keeps the window colours also when it is read-only.
  const bool edit = c->kind == layout::Kind::Edit;
  const int systemBack = edit ? COLOR_WINDOW : COLOR_BTNFACE;
  const int systemText = edit ? COLOR_WINDOWTEXT : COLOR_BTNTEXT;
  ::SetTextColor(dc, c->textColor ? ToColorRef(*c->textColor) : ::GetSysColor(systemText));
  if (c->transparent) {
    ::SetBkMode(dc, TRANSPARENT);
  } else {
    ::SetBkColor(dc, background ? ToColorRef(*background) : ::GetSysColor(systemBack));
  }
  HBRUSH brush = background ? BrushFor(*background) : ::GetSysColorBrush(systemBack);
  return reinterpret_cast<LRESULT>(brush);
}

LRESULT CALLBACK MainWindow::FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self) {
  // The frames are painted here, the same with and without visual styles: a
  // themed group box paints its parent's background over its own and would
  // wipe out the colour of a frame that has one.
  auto* window = reinterpret_cast<MainWindow*>(self);
  switch (msg) {
    case WM_ERASEBKGND:
      if (window->FillFrameBackground(hwnd, reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps{};
      HDC dc = ::BeginPaint(hwnd, &ps);
      if (dc) window->PaintFrame(hwnd, dc);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, &MainWindow::FrameProc, id);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

void MainWindow::PaintFrame(HWND frame, HDC dc) {
  const layout::Control* c = ControlOf(frame);
  if (!c) return;
  const std::optional<layout::Rgb> background = BackgroundOf(*c);
  auto font = reinterpret_cast<HFONT>(::SendMessageW(frame, WM_GETFONT, 0, 0));
  Selection selected(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);

  // An etched edge whose top line runs through the middle of the caption.
  RECT edge{};
  ::GetClientRect(frame, &edge);
  edge.top += tm.tmHeight / 2;
  ::DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);

  const std::wstring caption = Widen(WindowText(frame));
  if (caption.empty()) return;
  const int padding = std::max(1, static_cast<int>(tm.tmAveCharWidth / 3));
  RECT text{tm.tmAveCharWidth + padding, 0, 0, 0};
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
  RECT behind{text.left - padding, text.top, text.right + padding, text.bottom};
  ::FillRect(dc, &behind, background ? BrushFor(*background) : ::GetSysColorBrush(COLOR_BTNFACE));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_NOPREFIX);
}

bool MainWindow::FillFrameBackground(HWND frame, HDC dc) {
  // A group box draws only its edge and caption; the area inside is filled
  // here, around the controls that stand on it, which paint themselves.
  const layout::Control* c = ControlOf(frame);
  if (!c) return false;
  const std::optional<layout::Rgb> background = BackgroundOf(*c);
  HBRUSH brush = background ? BrushFor(*background) : ::GetSysColorBrush(COLOR_BTNFACE);

  const int saved = ::SaveDC(dc);
  for (HWND other : controls_) {
    if (!other || other == frame || !::IsWindowVisible(other)) continue;
    const layout::Control* o = ControlOf(other);
    if (!o || o->kind == layout::Kind::Frame) continue;
    RECT r{};
    ::GetWindowRect(other, &r);
    ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&r), 2);
    ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
  }
  RECT client{};
  ::GetClientRect(frame, &client);
  ::FillRect(dc, &client, brush);
  ::RestoreDC(dc, saved);
  return true;
}

}  // namespace snapwick::win32
