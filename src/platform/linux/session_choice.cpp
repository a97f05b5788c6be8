#include "platform/linux/session_choice.h"

namespace snapwick::linux {

namespace {

template <typename Part, typename Way>
std::unique_ptr<Part> First(const std::vector<Way>& ways) {
  for (const Way& way : ways) {
    if (!way) continue;
    if (auto part = way()) return part;
  }
  return nullptr;
}

}  // namespace

SessionParts ChooseSessionParts(const std::vector<HotkeyWay>& hotkeys,
                                const std::vector<ScreenWay>& screens, std::string_view noHotkey,
                                std::string_view noScreen, const KeylessScreens& keyless) {
  SessionParts parts;
  parts.hotkey = First<HotkeySource>(hotkeys);
  if (!parts.hotkey) {
    parts.screen = First<ScreenSource>(keyless.ways);
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
