#pragma once
// The settings panel: the captured hotkey, the quality list, the sound box
// and the Apply button.

#include <string_view>

namespace snapwick {

class Platform;
struct AppState;

constexpr std::string_view kNoHotkeyMessage = "Горячая клавиша не выбрана";

// A key released in the program's window with a name becomes the pending
// hotkey and shows in the hotkey box; a key other than the hotkey in force
// is greeted with the key-captured sound. A key without a name is ignored.
void OnKeyReleased(Platform& p, AppState& s, int virtualKey, std::string_view name);

// Plays the key-captured sound when sounds are on.
void PlayKeyCapturedSound(Platform& p, const AppState& s);

// A pick from the list becomes the quality text; any other change of the
// combo's text is undone.
void OnQualityPicked(Platform& p, AppState& s);
void OnQualityEdited(Platform& p, const AppState& s);

// Makes the pending key the hotkey, takes quality and sound from the panel
// and saves them; without a pending key only says that none was chosen.
void Apply(Platform& p, AppState& s);

}  // namespace snapwick
