#pragma once
// Keys, as virtual-key codes on every platform: they are what set.ini
// stores.

#include "platform/status.h"

namespace snapwick {

class KeyboardApi {
 public:
  virtual ~KeyboardApi() = default;

  // Starts reporting the keys released while a window of the program has
  // the focus (WindowEvents::OnKeyReleased); every key still reaches the
  // focused control.
  virtual Status StartKeyCapture() = 0;
  virtual Status StopKeyCapture() = 0;
  // Whether the key is down at this moment, whatever application has the
  // focus.
  virtual bool IsKeyDown(int virtualKey) = 0;
};

}  // namespace snapwick
