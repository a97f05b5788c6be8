#pragma once
// Texts that only the Linux build shows. UTF-8.

#include <string_view>

namespace snapwick::linux {

// Under a Wayland session the X server sees neither the screen nor the
// keys of the Wayland windows: shots would be black.
constexpr std::string_view kWaylandMessage =
    "Snapwick работает только в сеансе X11. В сеансе Wayland программа не видит "
    "экран и горячую клавишу, поэтому снимки экрана делаться не будут.\n\n"
    "Чтобы делать снимки, выберите при входе в систему сеанс X11 (Xorg).";

constexpr std::string_view kNoXServerMessage =
    "Snapwick: нет связи с X-сервером (переменная DISPLAY не задана или сервер недоступен). "
    "Программе нужен графический сеанс X11.";

}  // namespace snapwick::linux
