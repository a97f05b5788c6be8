#pragma once
// How a session's hotkey and screen are chosen among the ways it offers:
// each from the first way, in order, that gives one. The hotkey comes
// first, and without one the screen is not asked for at all (a desktop's
// screen cast would show its chooser and its "shared" indicator for
// nothing), unless the compositor copies it without asking anyone, for
// the keys its own bindings bring; without either part the other goes
// too, and the notice names what is missing.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/session_parts.h"

namespace snapwick::linux {

using HotkeySourceFactory = std::function<std::unique_ptr<HotkeySource>()>;
using ScreenSourceFactory = std::function<std::unique_ptr<ScreenSource>()>;

// Screens worth having where no hotkey way gives one: a compositor's own
// copy, which asks the user nothing, for the shots of the compositor's own
// key bindings (CompositorKey). The session then keeps the first of them
// that gives one, watches no key, and says `notice` (how to bind the key)
// instead of the notice that no key can be had.
struct KeylessScreens {
  std::vector<ScreenSourceFactory> factories;
  std::string notice;
};

// The factories in order of preference; an empty function counts as one
// that gives nothing. `noHotkey` and `noScreen` are the notices for what is
// missing. The keymap is the caller's to add.
SessionParts ChooseSessionParts(const std::vector<HotkeySourceFactory>& hotkeys,
                                const std::vector<ScreenSourceFactory>& screens,
                                std::string_view noHotkey, std::string_view noScreen,
                                const KeylessScreens& keyless = {});

}  // namespace snapwick::linux
