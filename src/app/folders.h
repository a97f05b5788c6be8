#pragma once
// The program's folders, all derived from the folder of its executable.

#include <string>
#include <string_view>

namespace snapwick {

struct Folders {
  std::string app;  // never ends in a backslash: "E:\" becomes "E:"
  std::string pic;  // app + "\pic"
  std::string wav;  // app + "\wav\"
};

Folders DeriveFolders(std::string_view exeFolder);

}  // namespace snapwick
