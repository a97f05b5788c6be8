#pragma once
// Texts that only the Linux build shows. UTF-8.

#include <string_view>

namespace snapwick::linux {

// A Wayland session whose compositor the program cannot reach: the window
// goes to XWayland, whose X server sees neither the screen nor the keys of
// the Wayland windows, so shots would be black.
constexpr std::string_view kNoCompositorMessage =
    "Snapwick не может связаться с композитором Wayland: через XWayland программа не видит "
    "экран и горячую клавишу, поэтому снимки экрана делаться не будут.\n\n"
    "Чтобы делать снимки, запустите программу из самого сеанса Wayland (с переменной "
    "WAYLAND_DISPLAY) или выберите при входе в систему сеанс X11 (Xorg).";

// A Wayland session where nothing hands the program the hotkey: the
// desktop has no shortcut portal of its own (GNOME before 48) and the
// compositor is not sway.
constexpr std::string_view kNoHotkeyWayMessage =
    "В этом сеансе Wayland программе недоступна глобальная горячая клавиша: рабочий стол "
    "не поддерживает глобальные сочетания клавиш (портал GlobalShortcuts; в GNOME он есть "
    "только с версии 48), а композитор — не sway. Поэтому снимки экрана делаться не будут.\n\n"
    "Чтобы делать снимки, обновите рабочий стол или выберите при входе в систему сеанс X11 "
    "(Xorg).";

// A Wayland session where nothing hands the program the screen.
constexpr std::string_view kNoScreenWayMessage =
    "В этом сеансе Wayland программе недоступно изображение экрана: композитор не "
    "поддерживает wlr-screencopy, а рабочий стол — порталы ScreenCast и Screenshot. Поэтому "
    "снимки экрана делаться не будут.\n\n"
    "Чтобы делать снимки, установите портал своего рабочего стола (xdg-desktop-portal) или "
    "выберите при входе в систему сеанс X11 (Xorg).";

// A Wayland session whose compositor copies the screen but hands the
// program no key (labwc, river, Wayfire, niri, COSMIC; Hyprland without
// its portal): the key comes from a binding in the compositor's own
// configuration that runs the program with an argument. Each {program}
// stands for this copy's command.
constexpr std::string_view kBindInCompositorMessage =
    "В этом сеансе Wayland программе недоступна глобальная горячая клавиша: композитор — не "
    "sway, а рабочий стол не поддерживает глобальные сочетания клавиш (портал GlobalShortcuts). "
    "Поэтому клавиша из настроек снимков не делает.\n\n"
    "Назначьте клавишу в конфигурации композитора так, чтобы при нажатии (и при каждом повторе "
    "удерживаемой клавиши) она запускала команду\n\n"
    "{program} --hotkey-press\n\n"
    "Если композитор умеет запускать команду и при отпускании клавиши, назначьте на нажатие "
    "«{program} --hotkey-down», а на отпускание — «{program} --hotkey-up»: тогда снимки идут, "
    "пока клавиша нажата.";

// What the start that a compositor's binding runs says on stderr when it
// cannot tell the running copy; the door's path follows.
constexpr std::string_view kNoRunningCopyMessage =
    "Snapwick: программа не запущена в этом сеансе, передать нажатие клавиши некому";
constexpr std::string_view kDoorNotOursMessage =
    "Snapwick: сокет запущенной программы принадлежит другому пользователю, нажатие клавиши не "
    "передано";
constexpr std::string_view kKeyNotSentMessage =
    "Snapwick: не удалось передать нажатие клавиши запущенной программе";
constexpr std::string_view kNoRuntimeFolderMessage =
    "Snapwick: переменная XDG_RUNTIME_DIR не задана, запущенную программу не найти";

constexpr std::string_view kNoXServerMessage =
    "Snapwick: нет связи с X-сервером (переменная DISPLAY не задана или сервер недоступен). "
    "Программе нужен графический сеанс X11.";

}  // namespace snapwick::linux
