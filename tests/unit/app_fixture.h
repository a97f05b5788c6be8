#pragma once

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "fake_platform.h"
#include "ui/win_proc.h"

namespace snapwick::testing {

// A fresh fake system and application state for each test; the hook
// unit's program-wide values start at 0 as they do when the program starts.
class AppTest : public ::testing::Test {
 protected:
  AppTest() { WinProc = {}; }
  ~AppTest() override { WinProc = {}; }

  FakePlatform p;
  AppState s;
};

}  // namespace snapwick::testing
