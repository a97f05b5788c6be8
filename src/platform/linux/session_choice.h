#pragma once
// How a session's hotkey and screen are chosen among the ways it offers:
// each from the first way, in order, that gives one. The hotkey comes
// first, and without one the screen is not asked for at all (a desktop's
// screen cast would show its chooser and its "shared" indicator for
// nothing); without either part the other goes too, and the notice names
// what is missing.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/linux/session_parts.h"

namespace snapwick::linux {

using HotkeyWay = std::function<std::unique_ptr<HotkeySource>()>;
using ScreenWay = std::function<std::unique_ptr<ScreenSource>()>;

// The ways in order of preference; an empty function counts as a way that
// gives nothing. `noHotkey` and `noScreen` are the notices for what is
// missing. The keymap is the caller's to add.
SessionParts ChooseSessionParts(const std::vector<HotkeyWay>& hotkeys,
                                const std::vector<ScreenWay>& screens, std::string_view noHotkey,
                                std::string_view noScreen);

}  // namespace snapwick::linux
