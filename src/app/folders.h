#pragma once
// The program's folders, all derived from the folder of its executable.

#include <string>
#include <string_view>

namespace snapwick {

struct Folders {
  std::string app;  // never ends in the separator: "E:\" becomes "E:"
  std::string pic;  // app + separator + "pic"
  std::string wav;  // app + separator + "wav" + separator
};

Folders DeriveFolders(std::string_view exeFolder, char separator);

}  // namespace snapwick
