#pragma once
// Reading and writing set.ini in the program's folder.

#include <string_view>

namespace snapwick {

class Platform;
struct AppState;

constexpr std::string_view kSettingsFileName = "set.ini";
constexpr std::string_view kDefaultCaption = "Snapwick 1.1 (HotKey:F8)";
constexpr int kDefaultHotKey = 119;  // F8
constexpr int kDefaultQuality = 80;

// Fills the quality list and takes quality, sound and hotkey from set.ini,
// or the defaults. Never fails as a whole: a step that fails is skipped.
void LoadSettings(Platform& p, AppState& s);

// Replaces set.ini with the settings in force and the hotkey box's text.
// The old file stays as it was unless the new one was written completely.
void SaveSettings(Platform& p, const AppState& s);

}  // namespace snapwick
