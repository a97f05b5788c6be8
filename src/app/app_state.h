#pragma once
// The application state record: one instance, owned by the main window,
// alive for the whole run. Nothing of it is saved at exit.

#include <cstdint>
#include <string>

#include "platform/shell.h"

namespace snapwick {

struct AppState {
  snapwick::TrayData TrayData;
  std::string PicFolder;    // AppFolder + "\pic", no trailing backslash
  std::string WavFolder;    // AppFolder + "\wav\", with its backslash
  std::string AppFolder;    // never ends in a backslash
  std::string QualityText;  // what the quality combo must show
  std::string TitleText;    // "Snapwick 1.1"
  // Shots named in this run. Wider than the 16 bits a name ever needed so
  // that the count goes on past 32767 and names never repeat.
  std::int32_t ShotCount = 0;
  std::int32_t ScreenW = 0;
  std::int32_t ScreenH = 0;
  std::uint8_t Quality = 0;  // JPEG quality, 10 to 100 once loaded
  std::uint8_t SoundOn = 0;  // 1: sound effects on
};

}  // namespace snapwick
