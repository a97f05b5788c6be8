#include "app/hotkey_in_force.h"

#include <string>

#include "form/texts.h"
#include "platform/platform.h"
#include "state/app_state.h"

namespace snapwick {

void ShowHotkeyInForce(Platform& p, const AppState& s, std::string_view keyName) {
  if (keyName.empty()) {
    // A title that names a key which will never fire would be a promise
    // the program cannot keep.
    p.SetTitle(s.captionLead);
    p.ShowMessage(kNoHotkeyBoundMessage, kAppName);
    return;
  }
  p.SetTitle(s.captionLead + " (HotKey:" + std::string(keyName) + ")");
}

void ShowHotkeyUnwatched(Platform& p, const AppState& s) {
  if (s.hotkey.hotKey != 0) p.SetTitle(s.captionLead);
}

}  // namespace snapwick
