#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {

Win32Platform::Win32Platform(HINSTANCE instance)
    : instance_(instance), window_(instance), singleInstance_(kInstanceMutexName) {}

}  // namespace snapwick::win32
