#include "platform/linux/session_choice.h"

namespace snapwick::linux {

namespace {

template <typename Part, typename Factory>
std::unique_ptr<Part> First(const std::vector<Factory>& factories) {
  for (const Factory& factory : factories) {
    if (!factory) continue;
    if (auto part = factory()) return part;
  }
  return nullptr;
}

}  // namespace

SessionParts ChooseSessionParts(const std::vector<HotkeySourceFactory>& hotkeys,
                                const std::vector<ScreenSourceFactory>& screens,
                                std::string_view noHotkey, std::string_view noScreen,
                                const KeylessScreens& keyless) {
  SessionParts parts;
  parts.hotkey = First<HotkeySource>(hotkeys);
  if (!parts.hotkey) {
    parts.screen = First<ScreenSource>(keyless.factories);
    parts.notice = parts.screen ? keyless.notice : std::string(noHotkey);
    return parts;
  }
  parts.screen = First<ScreenSource>(screens);
  if (!parts.screen) {
    // A key taken from applications for shots that cannot be made.
    parts.hotkey.reset();
    parts.notice = noScreen;
  }
  return parts;
}

}  // namespace snapwick::linux
