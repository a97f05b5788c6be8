#pragma once
// Command identifiers of the controls, the tray menu's items and the timer.
// None is IDOK (1) or IDCANCEL (2), which the dialog manager sends for
// Enter and Escape.

#include <optional>

#include "form/roles.h"

namespace snapwick::win32 {

constexpr unsigned kTimerId = 1;
// Work done a step at a time while the window has nothing else to do.
constexpr unsigned kIdleWorkTimerId = 2;

constexpr int kFirstControlCommand = 100;
constexpr int kFirstMenuCommand = 200;

constexpr int CommandOf(ControlId id) { return kFirstControlCommand + static_cast<int>(id); }
constexpr int CommandOf(MenuItemId id) { return kFirstMenuCommand + static_cast<int>(id); }

constexpr std::optional<ControlId> ControlOfCommand(int command) {
  const int i = command - kFirstControlCommand;
  if (i < 0 || i >= kControlCount) return std::nullopt;
  return static_cast<ControlId>(i);
}

constexpr std::optional<MenuItemId> MenuItemOfCommand(int command) {
  const int i = command - kFirstMenuCommand;
  if (i < 0 || i >= kMenuItemCount) return std::nullopt;
  return static_cast<MenuItemId>(i);
}

// The control that has the focus when the window is first shown: the one
// of lowest tab index among those that take the focus.
ControlId FirstTabStop();

}  // namespace snapwick::win32
