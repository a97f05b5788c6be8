#include "ui/layout.h"

#include <algorithm>
#include <cmath>

namespace snapwick::layout {
namespace {

constexpr Font kArial9{"Arial", 9.0};
constexpr Font kArial9Bold{"Arial", 9.0, true};
constexpr Font kArial825{"Arial", 8.25};
constexpr Font kLinkFont{"MS Sans Serif", 8.25, false, true};

using C = ControlId;

// Left, Top, Width and Height in twips, relative to the container.
const std::array<Control, kControlCount> kControls{{
    {C::Pictur, "Pictur", Kind::Canvas, {}, "", {6360, 2640, 375, 375}, 8, false},
    {C::Timer1, "Timer1", Kind::Timer, {}, "", {0, 0, 0, 0}, -1, false},
    {C::Cmd3, "Cmd3", Kind::Button, {}, "Применить", {4800, 2640, 2055, 375}, 6},
    {C::Frame2, "Frame2", Kind::Frame, {}, "Настройки программы", {120, 1200, 6735, 1335}, 2},
    {C::Check, "Check", Kind::CheckBox, C::Frame2, "", {6360, 240, 255, 495}, 11},
    {C::T_key, "T_key", Kind::Edit, C::Frame2, "", {2520, 270, 1215, 350}, 9, true,
     Align::Left, kArial9Bold, Rgb{192, 0, 0}},
    {C::Cmb, "Cmb", Kind::Combo, C::Frame2, "", {2520, 770, 1215, 345}, 4, true,
     Align::Left, kArial9},
    {C::Label3, "Label3", Kind::Label, C::Frame2, "Звуковые эффекты", {4080, 360, 2055, 375}, 10,
     true, Align::Right, kArial9},
    {C::Label2, "Label2", Kind::Label, C::Frame2, "Выбор горячей клавиши", {120, 360, 2175, 375}, 5,
     true, Align::Left, kArial9},
    {C::Label1, "Label1", Kind::Label, C::Frame2, "Качество скриншотов %", {120, 840, 2295, 375}, 3,
     true, Align::Left, kArial9},
    {C::Frame1, "Frame1", Kind::Frame, {}, "Папка для хранения скриншотов", {120, 120, 6735, 880}, 1,
     true, Align::Left, {}, {}, Rgb{224, 224, 224}},
    {C::Lb_Pic, "Lb_Pic", Kind::Label, C::Frame1, "C:\\temp", {120, 360, 6495, 255}, 7, true,
     Align::Left, kArial825, Rgb{64, 64, 64}, {}, true},
    {C::Cmd1, "Cmd1", Kind::Button, {}, "Выход", {120, 2640, 2055, 375}, 0},
    {C::L5, "L5", Kind::Label, {}, "Kelmont", {3510, 2760, 1095, 270}, 13, true, Align::Left,
     kLinkFont, Rgb{0, 0, 255}, {}, false, true},
    {C::L4, "L4", Kind::Label, {}, "Разработчик:", {2350, 2760, 1095, 270}, 12, true,
     Align::Right},
}};

const std::array<MenuItem, 3> kTrayMenu{{
    {MenuItemId::settings, "settings", "Настройки"},
    {MenuItemId::ff, "ff", "-"},
    {MenuItemId::Exit, "Exit", "Выход"},
}};

}  // namespace

const std::array<Control, kControlCount>& Controls() { return kControls; }
const std::array<MenuItem, 3>& TrayMenu() { return kTrayMenu; }

const Control& ControlById(ControlId id) {
  return *std::find_if(kControls.begin(), kControls.end(),
                       [id](const Control& c) { return c.id == id; });
}

TwipsRect InWindow(const Control& c) {
  TwipsRect r = c.rect;
  if (c.container) {
    const TwipsRect& outer = ControlById(*c.container).rect;
    r.left += outer.left;
    r.top += outer.top;
  }
  return r;
}

int TwipsToPixels(int twips, int dpi) {
  return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

PixelRect ToPixels(const TwipsRect& r, int dpi) {
  // Convert the edges, not the sizes, so that neighbours that touch in
  // twips still touch in pixels.
  const int x = TwipsToPixels(r.left, dpi);
  const int y = TwipsToPixels(r.top, dpi);
  return {x, y, TwipsToPixels(r.left + r.width, dpi) - x,
          TwipsToPixels(r.top + r.height, dpi) - y};
}

PixelRect PixelsInWindow(const Control& c, int dpi) { return ToPixels(InWindow(c), dpi); }

bool TakesFocus(const Control& c) {
  switch (c.kind) {
    case Kind::Button:
    case Kind::CheckBox:
    case Kind::Edit:
    case Kind::Combo:
      return c.visible;
    default:
      return false;
  }
}

}  // namespace snapwick::layout
