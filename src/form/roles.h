#pragma once
// The main window's controls and the tray menu's items, named by what they
// do. Every platform builds them from the tables in layout.h and reports
// their events by these names.

#include <cstdint>

namespace snapwick {

// In creation order.
enum class ControlId : std::uint8_t {
  ApplyButton,
  SettingsFrame,
  SoundCheck,
  HotkeyBox,
  QualityCombo,
  SoundLabel,
  HotkeyLabel,
  QualityLabel,
  FolderFrame,
  ShotFolderLabel,
  ExitButton,
  PublisherLink,
  DeveloperLabel,
};
constexpr int kControlCount = 13;

// In menu order.
enum class MenuItemId : std::uint8_t { SettingsItem, Separator, ExitItem };
constexpr int kMenuItemCount = 3;

}  // namespace snapwick
