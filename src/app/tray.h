#pragma once
// The tray icon: its record, its mouse events, and showing the window.

#include <string_view>

#include "platform/shell.h"

namespace snapwick {

class Platform;

constexpr std::string_view kTrayTip = " Snapwick";
constexpr std::string_view kPublisherPage = "https://kelmont.example/snapwick";

// Mouse messages the tray icon reports.
constexpr int kWmLButtonDblClk = 515;
constexpr int kWmRButtonDown = 516;

TrayData MakeTrayData(Handle window, Handle icon);

// Made visible, restored to normal state, brought to the front.
void ShowFrm(Platform& p);

// A double-click toggles the window; the right button opens the menu.
void OnTrayMouse(Platform& p, int mouseCode);

}  // namespace snapwick
