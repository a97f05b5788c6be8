#pragma once
// Tells whether another copy of the program is running, through a named
// mutex that the first copy creates and holds until it ends.

#include <string>

#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {

// The name every copy of Snapwick uses: one per logon session.
inline constexpr wchar_t kInstanceMutexName[] =
    L"Local\\Snapwick-3F6B2C1E-8D4A-4E57-9B20-5A1C7E0D9F42";

class SingleInstance {
 public:
  explicit SingleInstance(std::wstring name) : name_(std::move(name)) {}

  // Creates the mutex at the first call and keeps it for the object's life;
  // true when it existed already. Later calls give the same answer.
  bool AnotherRunning();

 private:
  std::wstring name_;
  KernelHandle mutex_;
  bool asked_ = false;
  bool another_ = false;
};

}  // namespace snapwick::win32
