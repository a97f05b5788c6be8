// Any byte string as set.ini must load without a crash or a sanitizer
// report and leave settings the rest of the program can rely on.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fake_platform.h"
#include "settings/settings_file.h"
#include "state/app_state.h"

using snapwick::AppState;
using snapwick::ControlId;
using snapwick::testing::FakePlatform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakePlatform p;
  AppState s;
  s.appFolder = "C:\\Tools";
  s.titleText = "Snapwick 1.1";
  p.files["C:\\Tools\\set.ini"] = std::vector<std::uint8_t>(data, data + size);

  snapwick::LoadSettings(p, s);

  const bool ok = s.quality >= 10 && s.quality <= 100 && (s.soundOn == 0 || s.soundOn == 1) &&
                  s.hotkey.hotKey >= 1 && s.hotkey.hotKey <= 255 &&
                  p.soundChecked == (s.soundOn == 1) &&
                  p.texts[ControlId::QualityCombo] == s.qualityText;
  if (!ok) std::abort();
  return 0;
}
