#pragma once
// What the title and the user are told of the key that really makes the
// shots, when the desktop holds another one than the settings name, or
// none (WindowEvents::OnHotkeyBound).

#include <string_view>

namespace snapwick {

class Platform;
struct AppState;

// Said once the desktop has left the program without a key: presses of the
// chosen key make no shots, and the title names no key.
constexpr std::string_view kNoHotkeyBoundMessage =
    "Рабочий стол не назначил программе горячую клавишу, поэтому снимки экрана делаться не "
    "будут.\n\nВыберите другую клавишу и нажмите «Применить» или назначьте клавишу программе "
    "в настройках комбинаций клавиш рабочего стола.";

// The title names `keyName`, the key in force; an empty one leaves the
// title without a key and says why.
void ShowHotkeyInForce(Platform& p, const AppState& s, std::string_view keyName);

// The platform cannot watch the chosen key at all (a session without a way
// to hold one, which says so itself): the title names no key.
void ShowHotkeyUnwatched(Platform& p, const AppState& s);

}  // namespace snapwick
