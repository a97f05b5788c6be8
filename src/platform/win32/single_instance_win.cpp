#include "platform/win32/single_instance_win.h"

namespace snapwick::win32 {

bool SingleInstance::AnotherRunning() {
  if (asked_) return another_;
  asked_ = true;
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name_.c_str());
  const DWORD error = ::GetLastError();
  mutex_ = KernelHandle(mutex);
  // A mutex that exists but cannot be opened (made by a copy running with
  // other rights) counts as another copy too.
  another_ = error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED);
  return another_;
}

}  // namespace snapwick::win32
