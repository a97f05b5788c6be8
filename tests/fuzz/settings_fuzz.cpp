// Any byte string as set.ini must load without a crash or a sanitizer
// report and leave settings the rest of the program can rely on.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/app_state.h"
#include "fake_platform.h"
#include "settings/settings_file.h"
#include "ui/win_proc.h"

using snapwick::AppState;
using snapwick::WinProc;
using snapwick::testing::FakePlatform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakePlatform p;
  AppState s;
  s.AppFolder = "C:\\Tools";
  s.TitleText = "Snapwick 1.1";
  WinProc = {};
  p.files["C:\\Tools\\set.ini"] = std::vector<std::uint8_t>(data, data + size);

  snapwick::LoadSettings(p, s);

  const bool ok = s.Quality >= 10 && s.Quality <= 100 && (s.SoundOn == 0 || s.SoundOn == 1) &&
                  WinProc.HotKey >= 1 && WinProc.HotKey <= 255 && p.openFiles == 0 &&
                  p.check == s.SoundOn && p.texts[snapwick::ControlId::Cmb] == s.QualityText;
  if (!ok) std::abort();
  return 0;
}
