#include "platform/x11/x11_session.h"

#include "platform/linux/linux_texts.h"
#include "platform/x11/screen_copy.h"
#include "platform/x11/x11_hotkey.h"
#include "platform/x11/x_keyboard.h"

namespace snapwick::x11 {

linux::SessionParts MakeX11Session(std::unique_ptr<XDisplay> display, KeyWake wake) {
  display->TakeErrors();
  const std::shared_ptr<XDisplay> shared(std::move(display));
  auto keyboard = std::make_shared<XKeyboard>(*shared);
  linux::SessionParts parts;
  parts.keymap = std::make_unique<XSessionKeymap>(shared, keyboard);
  if (shared->IsXWayland()) {
    // Shots would be black, and the key would be seen only over our own
    // window.
    parts.notice = linux::kNoCompositorMessage;
    return parts;
  }
  parts.hotkey = std::make_unique<X11HotkeySource>(shared, keyboard, wake == KeyWake::OnPress);
  parts.screen = std::make_unique<ScreenCopier>(shared);
  return parts;
}

}  // namespace snapwick::x11
