#pragma once
// The hotkey on an X server: edges from its raw key events, mended by the
// keymap at the core's ticks; on a server without raw key events (or in
// the poll-only build), the keymap alone at every tick.

#include <cstddef>
#include <deque>
#include <memory>

#include "platform/linux/session_parts.h"
#include "platform/x11/key_edges.h"
#include "platform/x11/x_display.h"
#include "platform/x11/x_keyboard.h"

namespace snapwick::x11 {

class X11HotkeySource final : public linux::HotkeySource {
 public:
  // `rawEvents`: ask the server for its raw key events; otherwise, or
  // when the server has none, the key is looked at at the ticks.
  X11HotkeySource(std::shared_ptr<XDisplay> display, std::shared_ptr<XKeyboard> keyboard,
                  bool rawEvents);

  void SetKeyHandler(KeyHandler onKey) override { onKey_ = std::move(onKey); }
  HotkeyWatch Watch(int virtualKey) override;
  int EventFd() const override { return display_->ConnectionFd(); }
  void Dispatch() override;
  bool Pending() const override { return !keys_.empty() || display_->EventsQueued(); }
  void Sample() override;

 private:
  struct RawKey {
    Keycode code;
    bool down;
    bool repeat;
  };
  // Raw events wait here from the moment Xlib reads them (perhaps inside a
  // call of the program's) until Dispatch hands them out.
  static constexpr std::size_t kMaxWaiting = 512;

  void Rekey();
  void HandOut();
  void Raise(std::optional<bool> edge);

  std::shared_ptr<XDisplay> display_;
  std::shared_ptr<XKeyboard> keyboard_;
  bool raw_ = false;
  KeyHandler onKey_;
  int virtualKey_ = 0;
  KeyEdges edges_;
  std::deque<RawKey> keys_;
};

}  // namespace snapwick::x11
