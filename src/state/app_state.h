#pragma once
// The application state: one record, owned by the main window's logic and
// alive for the whole run. Nothing of it is saved at exit; the settings
// outlive a run only through set.ini.

#include <cstdint>
#include <string>

namespace snapwick {

// The hotkey in force and the key the settings panel captured last.
// Virtual-key codes on every platform: they are what set.ini stores.
struct HotkeyState {
  std::int32_t hotKey = 0;      // 0: none, and the tick does nothing
  std::int32_t pendingKey = 0;  // 0: no key captured in this run yet
};

struct AppState {
  bool trayIconAdded = false;  // asked for at start-up; re-added if the tray restarts
  std::string appFolder;       // the executable's folder, never ending in a separator
  std::string picFolder;       // appFolder + separator + "pic"
  std::string wavFolder;       // appFolder + separator + "wav" + separator
  std::string qualityText;     // what the quality combo must show
  std::string titleText;       // "Snapwick 1.1"
  // What the caption names the program by now: titleText from start-up,
  // the bare name once Apply has set the caption. A key the desktop holds,
  // or none, is told after the same words.
  std::string captionLead;
  // Shots named in this run. 32 bits, so that the count goes on past 32767
  // and names never repeat.
  std::int32_t shotCount = 0;
  std::int32_t screenWidth = 0;  // of the last shot, in pixels
  std::int32_t screenHeight = 0;
  std::uint8_t quality = 0;  // JPEG quality, 10 to 100 once loaded
  std::uint8_t soundOn = 0;  // 1: sound effects on
  HotkeyState hotkey;
};

}  // namespace snapwick
