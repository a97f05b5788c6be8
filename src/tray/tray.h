#pragma once
// The tray icon and its menu: which of the user's actions act, and how.

#include "form/roles.h"
#include "platform/events.h"

namespace snapwick {

class Platform;
struct AppState;

// Puts the icon into the tray; it stays for the whole run.
void AddTrayIcon(Platform& p, AppState& s);
// A tray that restarted has forgotten the icon; without it a hidden window
// could not be brought back.
void OnTrayRecreated(Platform& p, const AppState& s);

// A double-click (or a tray's single activation) shows or hides the window;
// the right button's press opens the menu. Everything else does nothing.
void OnTrayEvent(Platform& p, TrayEvent event);

// "Настройки" shows the window; "Выход" ends the program.
void OnTrayMenuItem(Platform& p, MenuItemId item);

}  // namespace snapwick
