#pragma once
// Plain types shared by the portable logic and every platform layer.
// No system header may be included here: the logic builds without Windows.

#include <cstdint>

namespace snapwick {

// An opaque system handle (window, device context, bitmap, hook, icon,
// GDI+ object). 0 means "none", as it does for the system itself.
using Handle = std::uintptr_t;

// The outcome of a platform call whose failure the caller may ignore.
// Many procedures of the program skip a failed step and go on with the
// next one; returning a status instead of throwing keeps that visible.
enum class Status : std::uint8_t { Ok, Failed };

constexpr bool Succeeded(Status s) { return s == Status::Ok; }

// The controls of the main window. The order is the creation order.
enum class ControlId : std::uint8_t {
  Pictur,
  Timer1,
  Cmd3,
  Frame2,
  Check,
  T_key,
  Cmb,
  Label3,
  Label2,
  Label1,
  Frame1,
  Lb_Pic,
  Cmd1,
  L5,
  L4,
};
constexpr int kControlCount = 15;

// The items of the hidden tray menu.
enum class MenuItemId : std::uint8_t { settings, ff, Exit };

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

}  // namespace snapwick
