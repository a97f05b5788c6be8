#include "form/layout.h"

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
// Laid out by hand, so that each control's values stay together.
// clang-format off
const std::array<Control, kControlCount> kControls{{
    {C::ApplyButton, "ApplyButton", Kind::Button, {}, "Применить", {4800, 2640, 2055, 375}, 6},
    {C::SettingsFrame, "SettingsFrame", Kind::Frame, {}, "Настройки программы",
     {120, 1200, 6735, 1335}, 2},
    {C::SoundCheck, "SoundCheck", Kind::CheckBox, C::SettingsFrame, "", {6360, 240, 255, 495}, 11},
    {C::HotkeyBox, "HotkeyBox", Kind::Edit, C::SettingsFrame, "", {2520, 270, 1215, 350}, 9,
     Align::Left, kArial9Bold, Rgb{192, 0, 0}},
    {C::QualityCombo, "QualityCombo", Kind::Combo, C::SettingsFrame, "", {2520, 770, 1215, 345}, 4,
     Align::Left, kArial9},
    {C::SoundLabel, "SoundLabel", Kind::Label, C::SettingsFrame, "Звуковые эффекты",
     {4080, 360, 2055, 375}, 10, Align::Right, kArial9},
    {C::HotkeyLabel, "HotkeyLabel", Kind::Label, C::SettingsFrame, "Выбор горячей клавиши",
     {120, 360, 2175, 375}, 5, Align::Left, kArial9},
    {C::QualityLabel, "QualityLabel", Kind::Label, C::SettingsFrame, "Качество скриншотов %",
     {120, 840, 2295, 375}, 3, Align::Left, kArial9},
    {C::FolderFrame, "FolderFrame", Kind::Frame, {}, "Папка для хранения скриншотов",
     {120, 120, 6735, 880}, 1, Align::Left, {}, {}, Rgb{224, 224, 224}},
    {C::ShotFolderLabel, "ShotFolderLabel", Kind::Label, C::FolderFrame, "C:\\temp",
     {120, 360, 6495, 255}, 7, Align::Left, kArial825, Rgb{64, 64, 64}, {}, true, false, true},
    {C::ExitButton, "ExitButton", Kind::Button, {}, "Выход", {120, 2640, 2055, 375}, 0},
    {C::PublisherLink, "PublisherLink", Kind::Label, {}, "Kelmont", {3510, 2760, 1095, 270}, 13,
     Align::Left, kLinkFont, Rgb{0, 0, 255}, {}, false, true},
    {C::DeveloperLabel, "DeveloperLabel", Kind::Label, {}, "Разработчик:", {2350, 2760, 1095, 270},
     12, Align::Right},
}};
// clang-format on

const std::array<MenuItem, kMenuItemCount> kTrayMenu{{
    {MenuItemId::SettingsItem, "SettingsItem", "Настройки"},
    {MenuItemId::Separator, "Separator", "-"},
    {MenuItemId::ExitItem, "ExitItem", "Выход"},
}};

}  // namespace

const std::array<Control, kControlCount>& Controls() { return kControls; }
const std::array<MenuItem, kMenuItemCount>& TrayMenu() { return kTrayMenu; }

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
  return {x, y, TwipsToPixels(r.left + r.width, dpi) - x, TwipsToPixels(r.top + r.height, dpi) - y};
}

PixelRect PixelsInWindow(const Control& c, int dpi) { return ToPixels(InWindow(c), dpi); }

bool TakesFocus(const Control& c) {
  switch (c.kind) {
    case Kind::Button:
    case Kind::CheckBox:
    case Kind::Edit:
    case Kind::Combo:
      return true;
    default:
      return false;
  }
}

}  // namespace snapwick::layout
