#pragma once
// The screen, the keyboard state and the copy of one device context into
// another.

#include <cstdint>

#include "platform/types.h"

namespace snapwick {

constexpr int kSmCxScreen = 0;
constexpr int kSmCyScreen = 1;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;

class ScreenApi {
 public:
  virtual ~ScreenApi() = default;

  virtual int GetSystemMetrics(int index) = 0;
  // The device context of the whole screen; 0 when none can be had.
  virtual Handle GetScreenDC() = 0;
  virtual Status ReleaseScreenDC(Handle dc) = 0;
  virtual Status BitBlt(Handle dest, int x, int y, int width, int height,
                        Handle source, int sx, int sy, std::uint32_t rop) = 0;
  // Bit 0x8000 is set while the key is down, whatever window has the focus.
  virtual std::int16_t GetAsyncKeyState(int virtualKey) = 0;
};

}  // namespace snapwick
