#pragma once
// Asynchronous playback of a WAV file, read by the program itself.
//
// The sound is read through its wide path and played from memory, because
// some systems (Wine with a Western code page among them) open a sound file
// through an ANSI path and so miss sounds in a folder with Cyrillic letters.

#include "platform/win32/windows_inc.h"

#include <string>
#include <vector>

namespace snapwick::win32 {

class SoundPlayer {
 public:
  SoundPlayer() = default;
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Starts playing the file and returns at once; a sound still playing
  // stops first.
  bool Play(const std::wstring& path);

 private:
  // Must stay alive while its sound plays.
  std::vector<char> playing_;
};

}  // namespace snapwick::win32
