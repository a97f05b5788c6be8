#pragma once
// The program's place in the system, the clock, sounds, the web browser,
// and the code page that set.ini keeps key names in.

#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace snapwick {

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

class SystemApi {
 public:
  virtual ~SystemApi() = default;

  virtual bool AnotherInstanceRunning() = 0;
  // The folder of the program's executable, as the system gives it.
  virtual std::optional<std::string> ProgramFolder() = 0;
  // '\\' on Windows, '/' elsewhere.
  virtual char PathSeparator() = 0;
  virtual std::optional<LocalDateTime> LocalNow() = 0;

  // Starts playing a WAV file and returns at once.
  virtual Status PlaySound(std::string_view path) = 0;
  // Opens a web address in the user's browser.
  virtual Status OpenAddress(std::string_view address) = 0;

  // Key names in set.ini: the system's ANSI code page on Windows,
  // Windows-1251 elsewhere. Nothing when the text cannot be converted.
  virtual std::optional<std::string> ToAnsi(std::string_view utf8) = 0;
  virtual std::string FromAnsi(std::string_view ansi) = 0;
};

}  // namespace snapwick
