#pragma once
// The settings panel: the quality list, the sound box, the captured hotkey
// and the Apply button.

#include <array>
#include <string_view>

namespace snapwick {

class Platform;
struct AppState;

// The quality list, top to bottom.
constexpr std::array<std::string_view, 10> kQualityList{"100", "90", "80", "70", "60",
                                                        "50",  "40", "30", "20", "10"};

constexpr std::string_view kNoHotkeyMessage = "Горячая клавиша не выбрана";
constexpr std::string_view kMessageTitle = "Snapwick";

// Plays the key-captured sound when sounds are on.
void Wav_1(Platform& p, const AppState& s);

void OnQualityPicked(Platform& p, AppState& s);
void OnQualityEdited(Platform& p, const AppState& s);
void Apply(Platform& p, AppState& s);

}  // namespace snapwick
