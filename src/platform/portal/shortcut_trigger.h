#pragma once
// The text a desktop's shortcut portal takes as a preferred trigger (the
// XDG shortcuts format: an XKB keysym name, modifiers before it joined by
// "+") for a key as set.ini stores it, a Windows virtual-key code.

#include <optional>
#include <string_view>

namespace snapwick::portal {

// Nothing for a key that cannot be a shortcut by itself: a bare modifier
// (Shift, Ctrl, Alt, the Windows keys), mouse buttons, media keys, or a
// code no key has.
std::optional<std::string_view> TriggerOf(int virtualKey);

}  // namespace snapwick::portal
