#pragma once

#include <gtest/gtest.h>

#include "app/main_window_logic.h"
#include "fake_platform.h"
#include "state/app_state.h"

namespace snapwick::testing {

// A fresh fake system and application state, for the features one by one.
class AppTest : public ::testing::Test {
 protected:
  FakePlatform p;
  AppState s;
};

// The whole program's logic over a fresh fake system, started as the
// platform starts it. The quality combo's change event reaches the logic,
// as it does in the real window.
class StartedProgram : public ::testing::Test {
 protected:
  StartedProgram() {
    p.onQualityEdited = [this] { logic.OnQualityEdited(); };
  }
  void Start() {
    logic.OnStart();
    p.calls.clear();
  }
  const AppState& state() const { return logic.State(); }

  FakePlatform p;
  MainWindowLogic logic{p};
};

}  // namespace snapwick::testing
