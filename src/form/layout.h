#pragma once
// The main window described as data: its size, every control, the fonts
// and colours, and the tray menu. The platform builds the window from these
// tables in one loop; the tests check the geometry on the same tables.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "form/roles.h"

namespace snapwick::layout {

constexpr int kTwipsPerInch = 1440;

enum class Kind : std::uint8_t {
  Button,
  Frame,
  Label,
  CheckBox,
  Edit,
  Combo,
};

enum class Align : std::uint8_t { Left, Right };

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

struct Font {
  std::string_view face;
  double points;
  bool bold = false;
  bool underline = false;
};

struct TwipsRect {
  int left, top, width, height;
};

struct PixelRect {
  int x, y, width, height;
  bool operator==(const PixelRect&) const = default;
};

struct Control {
  ControlId id;
  std::string_view name;
  Kind kind;
  std::optional<ControlId> container;  // none: directly on the window
  std::string_view text;               // UTF-8
  TwipsRect rect;                      // relative to the container
  int tabIndex;
  Align align = Align::Left;
  std::optional<Font> font{};       // none: the window's default font
  std::optional<Rgb> textColor{};   // none: the system's colour
  std::optional<Rgb> background{};  // none: the system's colour
  bool transparent = false;         // the container shows through
  bool handCursor = false;
  // A text too long for the control is shortened in the middle with an
  // ellipsis, so that the end of a path stays in view.
  bool pathEllipsis = false;
};

struct MenuItem {
  MenuItemId id;
  std::string_view name;
  std::string_view caption;  // "-" is a separator
};

// Client area of the window.
constexpr int kClientWidthTwips = 6945;
constexpr int kClientHeightTwips = 3150;
constexpr std::string_view kMenuCaption = "Menu_tray";
constexpr std::uint8_t kCyrillicCharset = 204;
// The shot timer's interval.
constexpr int kTimerIntervalMs = 50;

const std::array<Control, kControlCount>& Controls();
const std::array<MenuItem, kMenuItemCount>& TrayMenu();
const Control& ControlById(ControlId id);

// The control's Left and Top measured from the window's client area.
TwipsRect InWindow(const Control& c);

// Twips to pixels at the given dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);
PixelRect ToPixels(const TwipsRect& r, int dpi);
PixelRect PixelsInWindow(const Control& c, int dpi);

// Whether the control can hold the keyboard focus.
bool TakesFocus(const Control& c);

}  // namespace snapwick::layout
